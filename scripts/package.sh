#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Installs what is missing, builds the program alone, and makes its Debian
# package in the build folder (build/quorval_<version>_<arch>.deb).
source "$(dirname "$0")/common.sh"
install_missing "${BUILD_PACKAGES[@]}" "${PACKAGE_PACKAGES[@]}"
build_program
(cd "$BUILD" && cpack -G DEB)
