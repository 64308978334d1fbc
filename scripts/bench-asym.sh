#!/usr/bin/env bash
# Installs what is missing, builds, and measures the "Asymmetric
# Encrypt/Decrypt" tab: key generation beside `openssl genpkey`, and the
# hybrid RSA encryption of a file beside the AES-256 core it wraps.
# Runs alternate (ours, peer, ours, peer...) over PAIRS pairs; each line gives
# the median of the per-pair ratios with their spread (min-max). Key
# generation: OpenSSL's time over ours (above 1, we are faster). Files: the
# hybrid's time over the AES core's (1.00, no extra cost).
source "$(dirname "$0")/common.sh"
source "$(dirname "$0")/benchlib.sh"
install_missing "${BUILD_PACKAGES[@]}" "${BENCH_PACKAGES[@]}"
configure -DQUORVAL_BUILD_BENCH=ON
cmake --build "$BUILD" -j"$(nproc)" --target quorval_asym_tab >/dev/null
SIZE_MIB="${SIZE_MIB:-256}"
bench_setup bench-data/asym
PARTS="${PARTS:-keygen files}"  # which parts to run
TAB="$BUILD/bench/quorval_asym_tab"

echo "Quorval asymmetric tab: $PAIRS interleaved pairs, $(nproc) cores"

# Key generation: N keys per run. Ours are timed inside one process (start-up
# excluded); OpenSSL's are N processes minus N runs of `openssl version`.
if [[ " $PARTS " == *" keygen "* ]]; then
    for keys in 512:40 1024:30 2048:20; do
        IFS=: read -r bits n <<< "$keys"
        bench_keygen "Generate keys RSA-$bits (tab)" "$bits" "$n" "$TAB keygen $bits $n"
    done
fi

# A file through the tab with a 2048-bit key beside the same engine's AES-256
# CBC container on the same window and file (no password stretching on
# either side, compression 0, Binary, outputs flushed to disk on both).
[[ " $PARTS " == *" files "* ]] || exit 0
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
    printf '%s %d MiB: RSA-2048 hybrid (tab) %6.2f s %4d MiB peak | AES-256 core %6.2f s %4d MiB peak | time ratio %s\n' \
        "$op" "$SIZE_MIB" "$(printf '%s\n' "${r[@]}" | bench_median)" "$(( $(printf '%s\n' "${rmem[@]}" | bench_median) / 1024 ))" \
        "$(printf '%s\n' "${a[@]}" | bench_median)" "$(( $(printf '%s\n' "${amem[@]}" | bench_median) / 1024 ))" \
        "$(printf '%s\n' "${x[@]}" | bench_summary)"
done
rm -f "$DATA/mem.txt"
