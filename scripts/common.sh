# Shared by the run, test and bench scripts: install what is missing, build.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${QUORVAL_BUILD_DIR:-$ROOT/build}"

BUILD_PACKAGES=(g++ cmake make pkg-config qt6-base-dev libgl-dev libbotan-2-dev libssl-dev zlib1g-dev fonts-dejavu-core fonts-liberation2)
TEST_PACKAGES=(googletest libgtest-dev libgmock-dev libbenchmark-dev openssl rhash coreutils)
BENCH_PACKAGES=(botan openssl gnupg rhash coreutils time)

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

build() {
    cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
    cmake --build "$BUILD" -j"$(nproc)"
}
