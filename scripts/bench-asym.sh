#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Installs what is missing, builds, and measures the "Asymmetric
# Encrypt/Decrypt" tab: key generation beside the library generators, and the
# hybrid RSA encryption of a file beside the AES-256 core it wraps.
# Runs alternate (ours, peer, ours, peer...) over PAIRS pairs; each line gives
# the median of the per-pair ratios with their spread (min-max), for the wall
# and the CPU time. Key generation: the library's time over ours (above 1, we
# are faster). Files: the hybrid's time over the AES core's (1.00, no extra
# cost); they write files, so they take PAIRS_WRITE pairs (9).
# --quick: 64 MiB, 3 pairs and few keys, to see that it runs.
if [ "${1:-}" = --quick ]; then export QUICK=1; fi
source "$(dirname "$0")/common.sh"
source "$(dirname "$0")/benchlib.sh"
install_missing "${BUILD_PACKAGES[@]}" "${BENCH_PACKAGES[@]}"
configure -DQUORVAL_BUILD_BENCH=ON
cmake --build "$BUILD" -j"$(nproc)" --target quorval_asym_tab quorval_keygen_speed >/dev/null
SIZE_MIB="${SIZE_MIB:-256}"
bench_setup bench-data/asym
PARTS="${PARTS:-keygen files}"  # which parts to run
TAB="$BUILD/bench/quorval_asym_tab"
SPEED="$BUILD/bench/quorval_keygen_speed"
KEYS="${KEYS:-$([ "${QUICK:-0}" = 1 ] && echo "512:10 1024:10 2048:3" || echo "512:40 1024:30 2048:20")}"

echo "Quorval asymmetric tab: $PAIRS interleaved pairs, $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"

# Key generation: N presses of "Generate keys" against N keys of the library
# generator called directly, both timed inside their process (start-up left
# out). At 512 and 1024 bits the engine runs OpenSSL's generator, at 2048
# Botan's: compared with both there.
if [[ " $PARTS " == *" keygen "* ]]; then
    bench_keygen_floor "$SPEED" "$(tr ' ' '\n' <<< "$KEYS" | awk -F: '$1 == 1024 { print $2 }')"
    for keys in $KEYS; do
        IFS=: read -r bits n <<< "$keys"
        floor=keygen inproc=1 bench_pair "Generate keys RSA-$bits (tab)" "" true "$TAB keygen $bits $n" \
            "OpenSSL EVP_PKEY_generate" "$SPEED openssl $bits $n"
        if [ "$bits" -ge 2048 ]; then
            floor=keygen inproc=1 bench_pair "Generate keys RSA-$bits (tab)" "" true "$TAB keygen $bits $n" \
                "Botan RSA_PrivateKey" "$SPEED botan $bits $n"
        fi
    done
fi

# A file through the tab with a 2048-bit key beside the same engine's AES-256
# CBC container on the same window and file (no password stretching on
# either side, compression 0, Binary, outputs flushed to disk on both).
if [[ " $PARTS " == *" files "* ]]; then
    # Each run prints "wall cpu" of encryption, then of decryption.
    re=() rd=() ae=() ad=() rmem=() amem=()
    for i in $(seq "$PAIRS_WRITE"); do
        for side in $([ $((i % 2)) -eq 1 ] && echo "rsa aes" || echo "aes rsa"); do
            out=$(/usr/bin/time -f %M -o "$DATA/mem.txt" "$TAB" "$side" "$SRC" 2>/dev/null) ||
                { echo "benchmark command failed: $TAB $side $SRC" >&2; exit 1; }
            read -r ew ec dw dc <<< "$out"
            if [ "$side" = rsa ]; then
                re+=("$ew $ec"); rd+=("$dw $dc"); rmem+=("$(tail -n 1 "$DATA/mem.txt")")
            else
                ae+=("$ew $ec"); ad+=("$dw $dc"); amem+=("$(tail -n 1 "$DATA/mem.txt")")
            fi
        done
    done
    # One line per direction: the hybrid's time over the core's, wall and CPU.
    for op in encrypt decrypt; do
        if [ "$op" = encrypt ]; then r=("${re[@]}"); a=("${ae[@]}"); else r=("${rd[@]}"); a=("${ad[@]}"); fi
        walls=() cpus=()
        for i in "${!r[@]}"; do
            read -r rw rc <<< "${r[$i]}"; read -r aw ac <<< "${a[$i]}"
            walls+=("$(bench_ratio "$rw" "$aw")"); cpus+=("$(bench_ratio "$rc" "$ac")")
        done
        printf '%s %d MiB: RSA-2048 hybrid (tab) %6.2f s, cpu %6.2f s, %4d MiB peak | AES-256 core %6.2f s, cpu %6.2f s, %4d MiB peak | hybrid/core wall %s cpu %s, %d pairs\n' \
            "$op" "$SIZE_MIB" \
            "$(printf '%s\n' "${r[@]}" | awk '{ print $1 }' | bench_median)" "$(printf '%s\n' "${r[@]}" | awk '{ print $2 }' | bench_median)" \
            "$(( $(printf '%s\n' "${rmem[@]}" | bench_max) / 1024 ))" \
            "$(printf '%s\n' "${a[@]}" | awk '{ print $1 }' | bench_median)" "$(printf '%s\n' "${a[@]}" | awk '{ print $2 }' | bench_median)" \
            "$(( $(printf '%s\n' "${amem[@]}" | bench_max) / 1024 ))" \
            "$(printf '%s\n' "${walls[@]}" | bench_summary)" "$(printf '%s\n' "${cpus[@]}" | bench_summary)" "$PAIRS_WRITE"
    done
    rm -f "$DATA/mem.txt"
fi
bench_finish
