#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Installs what is missing, builds the program alone, and starts Quorval.
source "$(dirname "$0")/common.sh"
install_missing "${BUILD_PACKAGES[@]}" "${RUN_PACKAGES[@]}"
build_program
exec "$BUILD/quorval"
