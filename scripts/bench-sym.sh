#!/usr/bin/env bash
# Measures the "Symetric Encrypt/Decrypt" tab (the window logic over offscreen
# Qt, the real engine) beside openssl enc and gpg --symmetric on the same file
# of random bytes in the page cache, in the same folder.
#
# Both sides do the same work: 256-bit keys, CBC, no compression, 600 000
# PBKDF2-HMAC-SHA-256 iterations (gpg: its strongest iterated S2K with SHA-256),
# and the output flushed to disk with its folder (we fsync; the peers are
# followed by sync on the output and the folder). Outputs of earlier runs are
# removed outside the timed part. Runs alternate, ours then the peer's; each
# pair gives one ratio (our throughput over the peer's), reported as median and
# range, with both sides' median time and peak memory.
source "$(dirname "$0")/common.sh"
install_missing "${BUILD_PACKAGES[@]}" "${BENCH_PACKAGES[@]}"
cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$BUILD" -j2 --target quorval_sym_tab >/dev/null
PAIRS="${PAIRS:-5}"
SIZE_MIB="${SIZE_MIB:-1024}"
DATA="$BUILD/bench-sym"
mkdir -p "$DATA"
SRC="$DATA/random.bin"
if [ ! -f "$SRC" ] || [ "$(stat -c %s "$SRC")" -ne $((SIZE_MIB * 1024 * 1024)) ]; then
    head -c "$((SIZE_MIB * 1024 * 1024))" /dev/urandom > "$SRC"
fi
TAB="$BUILD/bench/quorval_sym_tab"
PASS="benchmark-password"
export GNUPGHOME="$DATA/gnupg"
mkdir -p "$GNUPGHOME" && chmod 700 "$GNUPGHOME"
export QT_QPA_PLATFORM=offscreen
GPG=(gpg --batch --yes --quiet --no-symkey-cache --pinentry-mode loopback --passphrase "$PASS")
GPG_S2K=(--s2k-mode 3 --s2k-digest-algo SHA256 --s2k-count 65011712)

# Prints "seconds peakKiB" for one run of a command line; fails when it fails.
measure() {
    /usr/bin/time -f '%e %M' -o "$DATA/time.txt" sh -c "$1" >/dev/null 2>"$DATA/err.txt" || {
        echo "failed: $1" >&2; cat "$DATA/err.txt" >&2; exit 1; }
    tail -n 1 "$DATA/time.txt"
}
median() { sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

# pair LABEL TARGET CLEANUP OURS PEER PEERNAME
pair() {
    local label="$1" target="$2" cleanup="$3" ours="$4" peer="$5" peername="$6"
    local ot=() om=() pt=() pm=() ratios=() t m u n
    for _ in $(seq "$PAIRS"); do
        sh -c "$cleanup"; cat "$SRC" >/dev/null
        read -r t m < <(measure "$ours")
        sh -c "$cleanup"; cat "$SRC" >/dev/null
        read -r u n < <(measure "$peer")
        ot+=("$t"); om+=("$m"); pt+=("$u"); pm+=("$n")
        ratios+=("$(awk -v o="$t" -v p="$u" 'BEGIN { printf "%.3f", p / o }')")
    done
    sh -c "$cleanup"
    local o p omem pmem r lo hi
    o=$(printf '%s\n' "${ot[@]}" | median); p=$(printf '%s\n' "${pt[@]}" | median)
    omem=$(printf '%s\n' "${om[@]}" | median); pmem=$(printf '%s\n' "${pm[@]}" | median)
    r=$(printf '%s\n' "${ratios[@]}" | median)
    lo=$(printf '%s\n' "${ratios[@]}" | sort -g | head -n 1); hi=$(printf '%s\n' "${ratios[@]}" | sort -g | tail -n 1)
    printf '%-28s ours %6.2f s %5.0f MB/s %4d MiB | %-22s %6.2f s %4d MiB | ratio %.2f (%.2f-%.2f)%s\n' \
        "$label" "$o" "$(awk -v s="$SIZE_MIB" -v o="$o" 'BEGIN { print s * 1.048576 / o }')" "$((omem / 1024))" \
        "$peername" "$p" "$((pmem / 1024))" "$r" "$lo" "$hi" "${target:+ (target $target)}"
}

echo "Symmetric tab: ${SIZE_MIB} MiB of random bytes, $PAIRS interleaved pairs, $(nproc) cores"
IN="$DATA/in.bin"   # our outputs: inEnc.bin, then inEncDec.bin
ln -f "$SRC" "$IN"
for alg in aes twofish; do
    rm -f "$DATA/inEnc.bin"
    "$TAB" encrypt "$alg" "$PASS" "$IN" >/dev/null 2>&1
    mv "$DATA/inEnc.bin" "$DATA/sealed-$alg.bin"   # decrypts to sealed-$algDec.bin
done
openssl enc -aes-256-cbc -pbkdf2 -iter 600000 -pass pass:"$PASS" -in "$SRC" -out "$DATA/sealed.ossl"
"${GPG[@]}" "${GPG_S2K[@]}" --symmetric --cipher-algo TWOFISH --compress-algo none -o "$DATA/sealed.gpg" "$SRC"

pair "Encrypt AES-256 CBC" ">= 0.8" "rm -f $DATA/inEnc.bin $DATA/out.ossl" \
    "$TAB encrypt aes '$PASS' $IN" \
    "openssl enc -aes-256-cbc -pbkdf2 -iter 600000 -pass pass:'$PASS' -in $SRC -out $DATA/out.ossl && sync $DATA/out.ossl $DATA" \
    "openssl enc -pbkdf2"
pair "Decrypt AES-256 CBC" ">= 0.8" "rm -f $DATA/sealed-aesDec.bin $DATA/out.ossl" \
    "$TAB decrypt aes '$PASS' $DATA/sealed-aes.bin" \
    "openssl enc -d -aes-256-cbc -pbkdf2 -iter 600000 -pass pass:'$PASS' -in $DATA/sealed.ossl -out $DATA/out.ossl && sync $DATA/out.ossl $DATA" \
    "openssl enc -d -pbkdf2"
pair "Encrypt Twofish-256 CBC" ">= 1.0" "rm -f $DATA/inEnc.bin $DATA/out.gpg" \
    "$TAB encrypt twofish '$PASS' $IN" \
    "${GPG[*]} ${GPG_S2K[*]} --symmetric --cipher-algo TWOFISH --compress-algo none -o $DATA/out.gpg $SRC && sync $DATA/out.gpg $DATA" \
    "gpg --symmetric"
pair "Decrypt Twofish-256 CBC" ">= 1.0" "rm -f $DATA/sealed-twofishDec.bin $DATA/out.gpg" \
    "$TAB decrypt twofish '$PASS' $DATA/sealed-twofish.bin" \
    "${GPG[*]} -o $DATA/out.gpg -d $DATA/sealed.gpg && sync $DATA/out.gpg $DATA" \
    "gpg -d"
"$TAB" decrypt twofish "$PASS" "$DATA/sealed-twofish.bin" >/dev/null 2>&1 && cmp -s "$SRC" "$DATA/sealed-twofishDec.bin" &&
    echo "Twofish round trip through the tab: identical to the source" || echo "Twofish round trip: DIFFERENT"
rm -f "$DATA"/sealed* "$DATA"/out.* "$DATA/in.bin" "$DATA"/*Dec.bin "$DATA"/*Enc.bin
