#!/usr/bin/env bash
# Installs what is missing, builds, and measures the engine and the hash tab
# beside peer tools on the same 1 GiB file of random bytes in the page cache.
# Each figure is the median of RUNS whole-process runs, ours and the peer's
# alternating; the ratio is our throughput over the peer's.
source "$(dirname "$0")/common.sh"
install_missing "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}" "${BENCH_PACKAGES[@]}"
build
RUNS="${RUNS:-3}"
SIZE_MIB="${SIZE_MIB:-1024}"
DATA="$BUILD/bench-data"
mkdir -p "$DATA"
SRC="$DATA/random.bin"
if [ ! -f "$SRC" ] || [ "$(stat -c %s "$SRC")" -ne $((SIZE_MIB * 1024 * 1024)) ]; then
    head -c "$((SIZE_MIB * 1024 * 1024))" /dev/urandom > "$SRC"
fi
cat "$SRC" > /dev/null
BENCH="$BUILD/bench/quorval_bench"
TAB="$BUILD/bench/quorval_hash_tab"
export GNUPGHOME="$DATA/gnupg"
mkdir -p "$GNUPGHOME" && chmod 700 "$GNUPGHOME"
export QT_QPA_PLATFORM=offscreen

# Prints "seconds peakKiB" for one run of a shell command line.
measure() {
    /usr/bin/time -f '%e %M' -o "$DATA/time.txt" sh -c "$1" >/dev/null 2>&1
    tail -n 1 "$DATA/time.txt"
}

median() { sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

# pair LABEL TARGET OURS PEER PEERNAME: one line with both medians and the ratio.
pair() {
    local label="$1" target="$2" ours="$3" peer="$4" peername="$5"
    local ot=() om=() pt=() pm=() r
    for _ in $(seq "$RUNS"); do
        read -r t m < <(measure "$ours"); ot+=("$t"); om+=("$m")
        read -r t m < <(measure "$peer"); pt+=("$t"); pm+=("$m")
    done
    local o p omem pmem
    o=$(printf '%s\n' "${ot[@]}" | median); p=$(printf '%s\n' "${pt[@]}" | median)
    omem=$(printf '%s\n' "${om[@]}" | median); pmem=$(printf '%s\n' "${pm[@]}" | median)
    r=$(awk -v o="$o" -v p="$p" 'BEGIN { if (o > 0) printf "%.2f", p / o; else print "n/a" }')
    printf '%-34s %7.2f s %8.0f MB/s %6d MiB peak | %-26s %7.2f s %6d MiB peak | ratio %s%s\n' \
        "$label" "$o" "$(awk -v s="$SIZE_MIB" -v o="$o" 'BEGIN { print (o > 0 ? s * 1.048576 / o : 0) }')" \
        "$((omem / 1024))" "$peername" "$p" "$((pmem / 1024))" "$r" "${target:+ (target $target)}"
}

echo "Quorval benchmark: ${SIZE_MIB} MiB of random bytes, median of $RUNS runs, $(nproc) cores"
for alg in md5:MD5:md5sum sha1:SHA-1:sha1sum tiger:Tiger:"rhash --tiger"; do
    IFS=: read -r ours botan peer <<< "$alg"
    pair "HashFile $botan" ">= 0.9" "$BENCH hash $ours $SRC" "botan hash --buf-size=65536 --algo=$botan $SRC" "botan hash"
    pair "HashFile $botan" "" "$BENCH hash $ours $SRC" "$peer $SRC" "$peer"
    pair "Hash tab (window) $botan" ">= 0.9" "$TAB $ours $SRC" "botan hash --buf-size=65536 --algo=$botan $SRC" "botan hash"
done

rm -f "$DATA"/out.*
"$BENCH" encrypt aes "$SRC" "$DATA/aes.qrv"
openssl enc -aes-256-cbc -pbkdf2 -pass pass:x -in "$SRC" -out "$DATA/aes.ossl"
pair "EncryptFile AES-256 CBC" ">= 0.8" "rm -f $DATA/out.a; $BENCH encrypt aes $SRC $DATA/out.a" \
    "openssl enc -aes-256-cbc -pbkdf2 -pass pass:x -in $SRC -out $DATA/out.b" "openssl enc"
pair "DecryptFile AES-256 CBC" ">= 0.8" "rm -f $DATA/out.a; $BENCH decrypt aes $DATA/aes.qrv $DATA/out.a" \
    "openssl enc -d -aes-256-cbc -pbkdf2 -pass pass:x -in $DATA/aes.ossl -out $DATA/out.b" "openssl enc -d"
"$BENCH" encrypt twofish "$SRC" "$DATA/twofish.qrv"
gpg --batch --yes --quiet --pinentry-mode loopback --passphrase x --symmetric --cipher-algo TWOFISH \
    --compress-algo none -o "$DATA/twofish.gpg" "$SRC"
pair "EncryptFile Twofish-256 CBC" ">= 1.0" "rm -f $DATA/out.a; $BENCH encrypt twofish $SRC $DATA/out.a" \
    "gpg --batch --yes --quiet --pinentry-mode loopback --passphrase x --symmetric --cipher-algo TWOFISH --compress-algo none -o $DATA/out.b $SRC" \
    "gpg --symmetric"
pair "DecryptFile Twofish-256 CBC" ">= 1.0" "rm -f $DATA/out.a; $BENCH decrypt twofish $DATA/twofish.qrv $DATA/out.a" \
    "gpg --batch --yes --quiet --pinentry-mode loopback --passphrase x -o $DATA/out.b -d $DATA/twofish.gpg" "gpg -d"
rm -f "$DATA"/aes.* "$DATA"/twofish.* "$DATA"/out.*

pair "EncodeFile Base64" "" "rm -f $DATA/out.a; $BENCH encode base64 $SRC $DATA/out.a" "base64 -w0 $SRC > $DATA/out.b" "base64"
pair "EncodeFile Hex" "" "rm -f $DATA/out.a; $BENCH encode hex $SRC $DATA/out.a" "basenc --base16 -w0 $SRC > $DATA/out.b" "basenc --base16"
rm -f "$DATA"/out.*

# Key generation is short: time each run in milliseconds, over more runs.
ms_of() {
    local t0=$EPOCHREALTIME
    sh -c "$1" >/dev/null 2>&1
    awk -v a="$t0" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.1f\n", (b - a) * 1000 }'
}
for bits in 512 1024 2048; do
    ours=(); peer=()
    for _ in $(seq 11); do
        ours+=("$(ms_of "$BENCH keygen $bits")")
        peer+=("$(ms_of "openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:$bits -out /dev/null")")
    done
    o=$(printf '%s\n' "${ours[@]}" | median); p=$(printf '%s\n' "${peer[@]}" | median)
    printf '%-34s %7.1f ms per key (whole process) | %-26s %7.1f ms | ratio %s\n' "NewKeyPair RSA-$bits" "$o" \
        "openssl genpkey" "$p" "$(awk -v o="$o" -v p="$p" 'BEGIN { printf "%.2f", p / o }')"
done

# The window's memory does not grow with the file.
head -c $((64 * 1024 * 1024)) "$SRC" > "$DATA/small.bin"
read -r _ small < <(measure "$TAB md5 $DATA/small.bin")
read -r _ large < <(measure "$TAB md5 $SRC")
printf 'Hash tab peak memory: %d MiB for 64 MiB, %d MiB for %d MiB\n' "$((small / 1024))" "$((large / 1024))" "$SIZE_MIB"
rm -f "$DATA/small.bin"

lat=()
for _ in $(seq "$RUNS"); do lat+=("$("$BENCH" abort-latency "$SRC")"); done
printf 'Abort to return (HashFile SHA-1): %s ms median\n' "$(printf '%s\n' "${lat[@]}" | median)"

# Crafted input that once made decoding quadratic and decompression slow.
"$BUILD/bench/quorval_scaling" "${SCALING_MIB:-64}" "$DATA"
