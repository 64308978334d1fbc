#!/usr/bin/env bash
# Installs what is missing, builds, and starts Quorval.
source "$(dirname "$0")/common.sh"
install_missing "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}"
build
exec "$BUILD/quorval"
