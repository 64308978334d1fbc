# SPDX-License-Identifier: Apache-2.0
# Shared by the run, test and bench scripts: install what is missing, build.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${QUORVAL_BUILD_DIR:-$ROOT/build}"

BUILD_PACKAGES=(g++ cmake make pkg-config qt6-base-dev libgl-dev libbotan-2-dev libssl-dev zlib1g-dev libargon2-dev fonts-dejavu-core fonts-liberation2)
# Loaded at run time: Qt's platform plugin for Wayland sessions.
RUN_PACKAGES=(qt6-wayland)
# `cpack -G DEB` finds the dependencies with dpkg-shlibdeps, and its binaries with file.
PACKAGE_PACKAGES=(dpkg-dev file)
TEST_PACKAGES=(googletest libgtest-dev libgmock-dev libbenchmark-dev openssl rhash coreutils time python3)
# The independent reader of password containers: Argon2id, HKDF and AES for Debian's Python.
TEST_PACKAGES+=(python3-argon2 python3-cryptography)
# The package check: the validators of the desktop entry and the metainfo, and cpack's tools.
TEST_PACKAGES+=(desktop-file-utils appstream "${PACKAGE_PACKAGES[@]}")
# ... and its reviewers: lintian, hardening-check (devscripts), man for the manual page.
TEST_PACKAGES+=(lintian devscripts man-db)
# The real window on a private X server, read through the accessibility bus, driven by real key events.
TEST_PACKAGES+=(xvfb xdotool at-spi2-core dbus-daemon python3-gi gir1.2-atspi-2.0)
# The end-to-end journeys: the X clipboard read back, and screenshots of the real display.
TEST_PACKAGES+=(xclip imagemagick)
# argon2: the reference command for one key derivation.
BENCH_PACKAGES=(botan openssl gnupg rhash coreutils time argon2)
# quorval-cli's lines: age beside it, findutils' xargs to run rhash on every core, python3 to make the tree.
BENCH_PACKAGES+=(age findutils python3)
# The fuzz build: Debian's clang 14 and its libFuzzer and sanitizer runtimes.
FUZZ_PACKAGES=(clang-14 libclang-rt-14-dev)

install_missing() {
    local missing=()
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# Configures BUILD; the options given override the cached ones.
configure() {
    cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
}

# The time stamp that makes the package reproducible: the last commit's, or
# outside a git checkout the changelog's latest entry.
source_date_epoch() {
    git -C "$ROOT" log -1 --format=%ct 2>/dev/null || dpkg-parsechangelog -l "$ROOT/packaging/changelog" -STimestamp
}

# The program alone: no tests, no benchmarks (the run and package commands).
build_program() {
    configure -DQUORVAL_BUILD_TESTS=OFF -DQUORVAL_BUILD_BENCH=OFF "$@"
    cmake --build "$BUILD" -j"$(nproc)" --target quorval
}

# The program and the benchmark drivers (the benchmark scripts).
build() {
    configure -DQUORVAL_BUILD_BENCH=ON "$@"
    cmake --build "$BUILD" -j"$(nproc)"
}
