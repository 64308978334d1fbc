#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The "Encode/Decode" tab beside coreutils on the same file of random bytes
# (1 GiB unless SIZE_MIB says otherwise), held in the page cache.
#
# Whole processes in interleaved pairs (scripts/benchlib.sh): ours is the
# tab's file operation (window logic over offscreen Qt); the peer is base64
# or basenc writing through the shell, then `sync` on its output and the
# folder, since ours flushes its output and folder before it renames the file
# into place. Outputs are removed before each run, outside the timing.
# The ratios (wall and CPU) are the peer's time over ours per pair (higher is
# better for us); these lines write files, so they take PAIRS_WRITE pairs (9).
# --quick: 64 MiB and 3 pairs, to see that it runs.
#
# Then, inside one process, the tab's file operation beside the same engine
# codec on the same bytes in memory: what reading, chunking, progress and
# writing add to the codec.
if [ "${1:-}" = --quick ]; then export QUICK=1; fi
source "$(dirname "$0")/common.sh"
source "$(dirname "$0")/benchlib.sh"
install_missing "${BUILD_PACKAGES[@]}" "${BENCH_PACKAGES[@]}"
configure -DQUORVAL_BUILD_BENCH=ON
cmake --build "$BUILD" -j"$(nproc)" --target quorval_enc_tab
bench_setup bench-data/enc
# Decoding inputs: coreutils' own output; basenc decodes upper-case digits only.
base64 -w0 "$SRC" > "$DATA/random.b64"
basenc --base16 -w0 "$SRC" > "$DATA/random.hex"
cat "$SRC" "$DATA/random.b64" "$DATA/random.hex" > /dev/null
TAB="$BUILD/bench/quorval_enc_tab"

echo "Encode/Decode tab: ${SIZE_MIB} MiB of random bytes, $PAIRS_WRITE pairs, $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
bench_noise_floor
syncPeer="sync $DATA/out.peer $DATA"
clean() { echo "rm -f $1 $DATA/out.peer"; }
pairs=$PAIRS_WRITE bench_pair "Encode Base64" ">= 1.0" "$(clean "$DATA/randomEnc.bin")" "$TAB encode base64 $SRC" \
    "base64 -w0" "base64 -w0 $SRC > $DATA/out.peer && $syncPeer"
pairs=$PAIRS_WRITE bench_pair "Decode Base64" ">= 2.0" "$(clean "$DATA/randomDec.b64")" "$TAB decode base64 $DATA/random.b64" \
    "base64 -d" "base64 -d $DATA/random.b64 > $DATA/out.peer && $syncPeer"
pairs=$PAIRS_WRITE bench_pair "Encode Hex" ">= 1.0" "$(clean "$DATA/randomEnc.bin")" "$TAB encode hex $SRC" \
    "basenc --base16 -w0" "basenc --base16 -w0 $SRC > $DATA/out.peer && $syncPeer"
pairs=$PAIRS_WRITE bench_pair "Decode Hex (upper)" ">= 2.0" "$(clean "$DATA/randomDec.hex")" "$TAB decode hex $DATA/random.hex" \
    "basenc --base16 -d" "basenc --base16 -d $DATA/random.hex > $DATA/out.peer && $syncPeer"

# The tab's memory does not grow with the file.
head -c $((64 * 1024 * 1024)) "$SRC" > "$DATA/small.bin"
base64 -w0 "$DATA/small.bin" > "$DATA/small.b64"
rm -f "$DATA/smallEnc.bin" "$DATA/smallDec.b64"
read -r _ _ es < <(bench_measure "$TAB encode base64 $DATA/small.bin")
read -r _ _ ds < <(bench_measure "$TAB decode base64 $DATA/small.b64")
rm -f "$DATA/randomEnc.bin" "$DATA/randomDec.b64"
read -r _ _ el < <(bench_measure "$TAB encode base64 $SRC")
read -r _ _ dl < <(bench_measure "$TAB decode base64 $DATA/random.b64")
printf 'Peak memory, Base64: encode %d MiB for 64 MiB, %d MiB for %d MiB; decode %d MiB, %d MiB\n' \
    "$((es / 1024))" "$((el / 1024))" "$SIZE_MIB" "$((ds / 1024))" "$((dl / 1024))"
rm -f "$DATA"/small* "$DATA/randomEnc.bin" "$DATA/randomDec.b64"

echo "File pipeline over the same codec in memory (file time / memory time; lower is better, target <= 1.10):"
for run in "encode base64 $SRC" "decode base64 $DATA/random.b64" "encode hex $SRC" "decode hex $DATA/random.hex"; do
    echo "-- $run"
    "$TAB" pipeline $run "$PAIRS" 2>/dev/null | grep -v '^pair' || { echo "failed: pipeline $run" >&2; exit 1; }
done
bench_finish
