#!/usr/bin/env bash
# The "Encode/Decode" tab beside coreutils on the same file of random bytes
# (1 GiB unless SIZE_MIB says otherwise), held in the page cache.
#
# Whole processes, ours and the peer's taking turns PAIRS times (default 5):
# ours is the tab's file operation (window logic over offscreen Qt); the peer
# is base64 or basenc writing through the shell, then `sync` on its output and
# the folder, since ours flushes its output and folder before it renames the
# file into place. Outputs are removed before each run, outside the timing.
# The ratio is the peer's time over ours per pair (higher is better for us).
#
# Then, inside one process, the tab's file operation beside the same engine
# codec on the same bytes in memory: what reading, chunking, progress and
# writing add to the codec.
source "$(dirname "$0")/common.sh"
install_missing "${BUILD_PACKAGES[@]}" "${BENCH_PACKAGES[@]}"
cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$BUILD" -j"$(nproc)" --target quorval_enc_tab
PAIRS="${PAIRS:-5}"
SIZE_MIB="${SIZE_MIB:-1024}"
DATA="$BUILD/bench-data/enc"
mkdir -p "$DATA"
SRC="$DATA/random.bin"
if [ ! -f "$SRC" ] || [ "$(stat -c %s "$SRC")" -ne $((SIZE_MIB * 1024 * 1024)) ]; then
    head -c "$((SIZE_MIB * 1024 * 1024))" /dev/urandom > "$SRC"
fi
# Decoding inputs: coreutils' own output; basenc decodes upper-case digits only.
base64 -w0 "$SRC" > "$DATA/random.b64"
basenc --base16 -w0 "$SRC" > "$DATA/random.hex"
cat "$SRC" "$DATA/random.b64" "$DATA/random.hex" > /dev/null
TAB="$BUILD/bench/quorval_enc_tab"
export QT_QPA_PLATFORM=offscreen

# Prints "seconds peakKiB" for one run of a shell command line.
measure() {
    /usr/bin/time -f '%e %M' -o "$DATA/time.txt" sh -c "$1" >/dev/null 2>&1 || { echo "failed: $1" >&2; exit 1; }
    tail -n 1 "$DATA/time.txt"
}

stats() { sort -g | awk '{a[NR]=$1} END {printf "median %.2f (%.2f-%.2f)", a[int((NR+1)/2)], a[1], a[NR]}'; }

# pair LABEL OURS_OUTPUT OURS PEER PEERNAME: PAIRS turns, one line.
pair() {
    local label="$1" ourOut="$2" ours="$3" peer="$4" peername="$5"
    local ot=() om=() pt=() pm=() ratios=() t m pte
    for _ in $(seq "$PAIRS"); do
        rm -f "$ourOut"; sync
        read -r t m < <(measure "$ours"); ot+=("$t"); om+=("$m")
        rm -f "$DATA/out.peer"; sync
        read -r pte m < <(measure "$peer"); pt+=("$pte"); pm+=("$m")
        ratios+=("$(awk -v o="$t" -v p="$pte" 'BEGIN { printf "%.3f", p / o }')")
    done
    rm -f "$ourOut" "$DATA/out.peer"
    printf '%-22s ours s %s, peak %s MiB | %-18s s %s, peak %s MiB | ratio %s\n' "$label" \
        "$(printf '%s\n' "${ot[@]}" | stats)" "$(( $(printf '%s\n' "${om[@]}" | sort -g | tail -n1) / 1024 ))" \
        "$peername" "$(printf '%s\n' "${pt[@]}" | stats)" "$(( $(printf '%s\n' "${pm[@]}" | sort -g | tail -n1) / 1024 ))" \
        "$(printf '%s\n' "${ratios[@]}" | stats)"
}

echo "Encode/Decode tab: ${SIZE_MIB} MiB of random bytes, $PAIRS pairs, $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
syncPeer="sync $DATA/out.peer $DATA"
pair "Encode Base64" "$DATA/randomEnc.bin" "$TAB encode base64 $SRC" \
    "base64 -w0 $SRC > $DATA/out.peer && $syncPeer" "base64 -w0"
pair "Decode Base64" "$DATA/randomDec.b64" "$TAB decode base64 $DATA/random.b64" \
    "base64 -d $DATA/random.b64 > $DATA/out.peer && $syncPeer" "base64 -d"
pair "Encode Hex" "$DATA/randomEnc.bin" "$TAB encode hex $SRC" \
    "basenc --base16 -w0 $SRC > $DATA/out.peer && $syncPeer" "basenc --base16 -w0"
pair "Decode Hex (upper)" "$DATA/randomDec.hex" "$TAB decode hex $DATA/random.hex" \
    "basenc --base16 -d $DATA/random.hex > $DATA/out.peer && $syncPeer" "basenc --base16 -d"

# The tab's memory does not grow with the file.
head -c $((64 * 1024 * 1024)) "$SRC" > "$DATA/small.bin"
base64 -w0 "$DATA/small.bin" > "$DATA/small.b64"
rm -f "$DATA/smallEnc.bin" "$DATA/smallDec.b64"
read -r _ es < <(measure "$TAB encode base64 $DATA/small.bin")
read -r _ ds < <(measure "$TAB decode base64 $DATA/small.b64")
rm -f "$DATA/randomEnc.bin" "$DATA/randomDec.b64"
read -r _ el < <(measure "$TAB encode base64 $SRC")
read -r _ dl < <(measure "$TAB decode base64 $DATA/random.b64")
printf 'Peak memory, Base64: encode %d MiB for 64 MiB, %d MiB for %d MiB; decode %d MiB, %d MiB\n' \
    "$((es / 1024))" "$((el / 1024))" "$SIZE_MIB" "$((ds / 1024))" "$((dl / 1024))"
rm -f "$DATA"/small* "$DATA/randomEnc.bin" "$DATA/randomDec.b64"

echo "File pipeline over the same codec in memory (file time / memory time; lower is better, target <= 1.10):"
for run in "encode base64 $SRC" "decode base64 $DATA/random.b64" "encode hex $SRC" "decode hex $DATA/random.hex"; do
    echo "-- $run"
    "$TAB" pipeline $run "$PAIRS" 2>/dev/null | grep -v '^pair' || { echo "failed: pipeline $run" >&2; exit 1; }
done
