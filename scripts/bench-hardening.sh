#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# What Debian's hardening flags cost: the program's engine and hash tab built
# twice, with the flags (BUILD) and without (BUILD-unhardened), and the same
# lines of scripts/bench.sh run on both in interleaved pairs on the same file
# (256 MiB unless SIZE_MIB says otherwise). "ours" is the hardened build and
# the peer the unhardened one, so a ratio below 1 is what hardening costs.
# --quick: 64 MiB and 3 pairs, to see that it runs.
if [ "${1:-}" = --quick ]; then export QUICK=1; fi
source "$(dirname "$0")/common.sh"
source "$(dirname "$0")/benchlib.sh"
install_missing "${BUILD_PACKAGES[@]}" "${BENCH_PACKAGES[@]}"
PLAIN="$BUILD-unhardened"
for side in "$BUILD:ON" "$PLAIN:OFF"; do
    BUILD="${side%:*}" configure -DQUORVAL_BUILD_BENCH=ON -DQUORVAL_HARDEN="${side##*:}"
    cmake --build "${side%:*}" -j"$(nproc)" --target quorval_bench quorval_hash_tab
done
SIZE_MIB="${SIZE_MIB:-256}"
bench_setup bench-data/hardening
A="$DATA/out.a"
CLEAN="rm -f $A"

echo "Hardening: ${SIZE_MIB} MiB of random bytes, $PAIRS pairs, $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
bench_noise_floor
"$BUILD/bench/quorval_bench" encrypt twofish "$SRC" "$DATA/twofish.qrv"
"$BUILD/bench/quorval_bench" encode hex "$SRC" "$DATA/src.hex"
# hardened and unhardened BIN ARGS...: one line of both builds' drivers.
line() {
    local label="$1" bin="$2"
    shift 2
    pairs=${pairs:-$PAIRS} bench_pair "$label, hardened" "" "$CLEAN" "$BUILD/bench/$bin $*" \
        "unhardened" "$PLAIN/bench/$bin $*"
}
line "HashFile MD5" quorval_bench hash md5 "$SRC"
line "HashFile SHA-1" quorval_bench hash sha1 "$SRC"
line "HashFile Tiger" quorval_bench hash tiger "$SRC"
line "Hash tab (window) SHA-1" quorval_hash_tab sha1 "$SRC"
line "EncryptFile AES-256 CBC" quorval_bench encrypt aes "$SRC" "$A"
line "DecryptFile Twofish-256 CBC" quorval_bench decrypt twofish "$DATA/twofish.qrv" "$A"
line "EncodeFile Base64" quorval_bench encode base64 "$SRC" "$A"
line "DecodeFile Hex" quorval_bench decode hex "$DATA/src.hex" "$A"
inproc=1 line "NewKeyPair RSA-1024 in one process" quorval_bench keygen-ms 1024 "${KEYS:-40}"
rm -f "$DATA/twofish.qrv" "$DATA/src.hex"
bench_finish
