#!/usr/bin/env bash
# Installs what is missing, builds, and measures the "Asymmetric
# Encrypt/Decrypt" tab: key generation beside `openssl genpkey`, and the
# hybrid RSA encryption of a file beside the AES-256 core it wraps.
# Runs alternate (ours, peer, ours, peer...) over PAIRS pairs; each line gives
# the median of the per-pair ratios with their spread (min-max). Key
# generation: OpenSSL's time over ours (above 1, we are faster). Files: the
# hybrid's time over the AES core's (1.00, no extra cost).
source "$(dirname "$0")/common.sh"
install_missing "${BUILD_PACKAGES[@]}" "${BENCH_PACKAGES[@]}"
build
PAIRS="${PAIRS:-5}"
SIZE_MIB="${SIZE_MIB:-256}"
PARTS="${PARTS:-keygen files}"  # which parts to run
DATA="$BUILD/bench-data"
mkdir -p "$DATA"
TAB="$BUILD/bench/quorval_asym_tab"
export QT_QPA_PLATFORM=offscreen

median() { sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
spread() { sort -g | awk 'NR==1{lo=$1} {hi=$1} END {printf "%.2f-%.2f", lo, hi}'; }
now() { echo "$EPOCHREALTIME"; }
ms_between() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", (b - a) * 1000 }'; }

echo "Quorval asymmetric tab: $PAIRS interleaved pairs, $(nproc) cores"

# Key generation: N keys per run. Ours are timed inside one process (start-up
# excluded); OpenSSL's are N processes minus N runs of `openssl version`.
for spec in 512:40 1024:30 2048:20; do
    [[ " $PARTS " == *" keygen "* ]] || break
    IFS=: read -r bits n <<< "$spec"
    ours=() peer=() ratios=() mem=()
    for _ in $(seq "$PAIRS"); do
        o=$(/usr/bin/time -f %M -o "$DATA/mem.txt" "$TAB" keygen "$bits" "$n" 2>/dev/null)
        mem+=("$(tail -n 1 "$DATA/mem.txt")")
        t0=$(now)
        for _ in $(seq "$n"); do openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:"$bits" -out /dev/null 2>/dev/null; done
        t1=$(now)
        for _ in $(seq "$n"); do openssl version >/dev/null; done
        t2=$(now)
        p=$(awk -v g="$(ms_between "$t0" "$t1")" -v b="$(ms_between "$t1" "$t2")" -v n="$n" 'BEGIN { printf "%.2f", (g - b) / n }')
        ours+=("$o"); peer+=("$p")
        ratios+=("$(awk -v o="$o" -v p="$p" 'BEGIN { printf "%.3f", p / o }')")
    done
    /usr/bin/time -f %M -o "$DATA/mem.txt" openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:"$bits" -out /dev/null 2>/dev/null
    printf 'Generate keys RSA-%-5s %8.1f ms/key %5d MiB peak | openssl genpkey %8.1f ms/key %3d MiB | ratio %s (%s)\n' \
        "$bits" "$(printf '%s\n' "${ours[@]}" | median)" "$(( $(printf '%s\n' "${mem[@]}" | median) / 1024 ))" \
        "$(printf '%s\n' "${peer[@]}" | median)" "$(( $(tail -n 1 "$DATA/mem.txt") / 1024 ))" \
        "$(printf '%s\n' "${ratios[@]}" | median)" "$(printf '%s\n' "${ratios[@]}" | spread)"
done

# A file through the tab with a 2048-bit key beside the same engine's AES-256
# CBC container on the same window and file (no password stretching on
# either side, compression 0, Binary, outputs flushed to disk on both).
[[ " $PARTS " == *" files "* ]] || exit 0
SRC="$DATA/asym-random.bin"
if [ ! -f "$SRC" ] || [ "$(stat -c %s "$SRC")" -ne $((SIZE_MIB * 1024 * 1024)) ]; then
    head -c "$((SIZE_MIB * 1024 * 1024))" /dev/urandom > "$SRC"
fi
cat "$SRC" > /dev/null
re=() rd=() ae=() ad=() enc=() dec=() rmem=() amem=()
for _ in $(seq "$PAIRS"); do
    read -r e d <<< "$(/usr/bin/time -f %M -o "$DATA/mem.txt" "$TAB" rsa "$SRC" 2>/dev/null)"
    re+=("$e"); rd+=("$d"); rmem+=("$(tail -n 1 "$DATA/mem.txt")")
    read -r e2 d2 <<< "$(/usr/bin/time -f %M -o "$DATA/mem.txt" "$TAB" aes "$SRC" 2>/dev/null)"
    ae+=("$e2"); ad+=("$d2"); amem+=("$(tail -n 1 "$DATA/mem.txt")")
    enc+=("$(awk -v r="$e" -v a="$e2" 'BEGIN { printf "%.3f", r / a }')")
    dec+=("$(awk -v r="$d" -v a="$d2" 'BEGIN { printf "%.3f", r / a }')")
done
for op in encrypt decrypt; do
    if [ "$op" = encrypt ]; then r=("${re[@]}"); a=("${ae[@]}"); x=("${enc[@]}"); else r=("${rd[@]}"); a=("${ad[@]}"); x=("${dec[@]}"); fi
    printf '%s %d MiB: RSA-2048 hybrid (tab) %6.2f s %4d MiB peak | AES-256 core %6.2f s %4d MiB peak | time ratio %s (%s)\n' \
        "$op" "$SIZE_MIB" "$(printf '%s\n' "${r[@]}" | median)" "$(( $(printf '%s\n' "${rmem[@]}" | median) / 1024 ))" \
        "$(printf '%s\n' "${a[@]}" | median)" "$(( $(printf '%s\n' "${amem[@]}" | median) / 1024 ))" \
        "$(printf '%s\n' "${x[@]}" | median)" "$(printf '%s\n' "${x[@]}" | spread)"
done
rm -f "$DATA/mem.txt"
