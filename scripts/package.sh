#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Installs what is missing, builds the program and quorval-cli alone, and makes its Debian
# package in the build folder (build/quorval_<version>_<arch>.deb), the same
# bytes from any build of the same commit.
source "$(dirname "$0")/common.sh"
install_missing "${BUILD_PACKAGES[@]}" "${PACKAGE_PACKAGES[@]}"
build_program
cmake --build "$BUILD" -j"$(nproc)" --target quorval-cli
# Every time stamp in the package is this one, so the same commit gives the same bytes.
SOURCE_DATE_EPOCH="${SOURCE_DATE_EPOCH:-$(source_date_epoch)}"
export SOURCE_DATE_EPOCH
(cd "$BUILD" && cpack -G DEB)
