#!/usr/bin/env bash
# Installs what is missing, builds, and measures the engine and the tabs
# beside peer tools on the same file of random bytes (1 GiB by default) held
# in the page cache. See scripts/benchlib.sh for how a figure is taken.
#
# Same work on both sides:
# - durability: the engine fsyncs every file it writes, so each peer's timed
#   command ends with `sync FILE` on its output;
# - previous outputs are removed before every timed run, outside the timing;
# - key derivation: ours is PBKDF2-HMAC-SHA-256 at 600 000 iterations, and
#   openssl is given the same (`-pbkdf2 -iter 600000`); gpg uses its own
#   iterated S2K with SHA-256 at its highest count, a comparable fraction of a
#   second, small beside a 1 GiB run.
source "$(dirname "$0")/common.sh"
source "$(dirname "$0")/benchlib.sh"
install_missing "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}" "${BENCH_PACKAGES[@]}"
build
bench_setup bench-data
BENCH="$BUILD/bench/quorval_bench"
TAB="$BUILD/bench/quorval_hash_tab"
A="$DATA/out.a" B="$DATA/out.b"
CLEAN="rm -f $A $B"
PASS=x
GPG="$BENCH_GPG --passphrase $PASS"
OSSL_KDF="-pbkdf2 -iter 600000 -pass pass:$PASS"

echo "Quorval benchmark: ${SIZE_MIB} MiB of random bytes, $PAIRS interleaved pairs, $(nproc) cores"

# The noise floor: the same command against itself. "Level" below means a
# median ratio inside the spread this line shows (about 3 % either way here).
bench_pair "botan hash SHA-1 against itself" "" "true" "botan hash --buf-size=65536 --algo=SHA-1 $SRC" \
    "botan hash (the same)" "botan hash --buf-size=65536 --algo=SHA-1 $SRC"

# Hashing reads only: nothing to sync. The target against botan hash is level:
# for SHA-1 and Tiger both sides run Botan's code over reads of the same kind.
for alg in md5:MD5:md5sum sha1:SHA-1:sha1sum tiger:Tiger:"rhash --tiger"; do
    IFS=: read -r ours botan peer <<< "$alg"
    bench_pair "HashFile $botan" "level, >= 0.97" "true" "$BENCH hash $ours $SRC" \
        "botan hash --buf-size=65536" "botan hash --buf-size=65536 --algo=$botan $SRC"
    # Targets against coreutils only: rhash's own Tiger is faster than any library's here.
    bench_pair "HashFile $botan" "$([ "$ours" = tiger ] || echo '> 1.0')" "true" "$BENCH hash $ours $SRC" "$peer" "$peer $SRC"
    bench_pair "Hash tab (window) $botan" ">= 0.9" "true" "$TAB $ours $SRC" \
        "botan hash --buf-size=65536" "botan hash --buf-size=65536 --algo=$botan $SRC"
done

# Inputs for decryption, made once outside the timing.
"$BENCH" encrypt aes "$SRC" "$DATA/aes.qrv"
openssl enc -aes-256-cbc $OSSL_KDF -in "$SRC" -out "$DATA/aes.ossl"
"$BENCH" encrypt twofish "$SRC" "$DATA/twofish.qrv"
$GPG $BENCH_GPG_S2K --symmetric --cipher-algo TWOFISH --compress-algo none -o "$DATA/twofish.gpg" "$SRC"

bench_pair "EncryptFile AES-256 CBC" ">= 0.8" "$CLEAN" "$BENCH encrypt aes $SRC $A" \
    "openssl enc -aes-256-cbc" "openssl enc -aes-256-cbc $OSSL_KDF -in $SRC -out $B && sync $B"
bench_pair "DecryptFile AES-256 CBC" ">= 0.8" "$CLEAN" "$BENCH decrypt aes $DATA/aes.qrv $A" \
    "openssl enc -d -aes-256-cbc" "openssl enc -d -aes-256-cbc $OSSL_KDF -in $DATA/aes.ossl -out $B && sync $B"
bench_pair "EncryptFile Twofish-256 CBC" ">= 1.0" "$CLEAN" "$BENCH encrypt twofish $SRC $A" \
    "gpg --symmetric TWOFISH" "$GPG $BENCH_GPG_S2K --symmetric --cipher-algo TWOFISH --compress-algo none -o $B $SRC && sync $B"
bench_pair "DecryptFile Twofish-256 CBC" ">= 1.0" "$CLEAN" "$BENCH decrypt twofish $DATA/twofish.qrv $A" \
    "gpg -d" "$GPG -o $B -d $DATA/twofish.gpg && sync $B"
rm -f "$DATA"/aes.* "$DATA"/twofish.*

# Encodings: coreutils writes unbroken lines with -w0, as we do.
"$BENCH" encode base64 "$SRC" "$DATA/src.b64"
"$BENCH" encode hex "$SRC" "$DATA/src.hex"
bench_pair "EncodeFile Base64" ">= 1.0" "$CLEAN" "$BENCH encode base64 $SRC $A" \
    "base64 -w0" "base64 -w0 $SRC > $B && sync $B"
bench_pair "DecodeFile Base64" ">= 2.0" "$CLEAN" "$BENCH decode base64 $DATA/src.b64 $A" \
    "base64 -d" "base64 -d $DATA/src.b64 > $B && sync $B"
bench_pair "EncodeFile Hex" ">= 1.0" "$CLEAN" "$BENCH encode hex $SRC $A" \
    "basenc --base16 -w0" "basenc --base16 -w0 $SRC > $B && sync $B"
bench_pair "DecodeFile Hex" ">= 2.0" "$CLEAN" "$BENCH decode hex $DATA/src.hex $A" \
    "basenc --base16 -d" "tr a-f A-F < $DATA/src.hex | basenc --base16 -d > $B && sync $B"
rm -f "$DATA"/src.b64 "$DATA"/src.hex

# Key generation, per key, without process start-up on either side: ours
# generates N keys in one process and reports the mean; openssl's figure is N
# `openssl genpkey` runs less N `openssl version` runs, which still leaves in
# genpkey's own set-up and PEM output (about 3 ms a run here). The time to
# find primes varies widely from key to key, so each side makes many.
for keys in 512:${KEYS_SMALL:-100} 1024:${KEYS_SMALL:-100} 2048:${KEYS_LARGE:-20}; do
    IFS=: read -r bits n <<< "$keys"
    bench_keygen "NewKeyPair RSA-$bits (in-process)" "$bits" "$n" "$BENCH keygen-ms $bits $n" \
        "$([ "$bits" -gt 512 ] && echo '>= 1.0')"
done

# The window's memory does not grow with the file.
head -c $((64 * 1024 * 1024)) "$SRC" > "$DATA/small.bin"
read -r _ _ small < <(bench_measure "$TAB md5 $DATA/small.bin")
read -r _ _ large < <(bench_measure "$TAB md5 $SRC")
printf 'Hash tab peak memory: %d MiB for 64 MiB, %d MiB for %d MiB\n' "$((small / 1024))" "$((large / 1024))" "$SIZE_MIB"
rm -f "$DATA/small.bin"

# Typing into a 100 MiB text box: the window keeps no copy to compare with.
read -r key_median key_slowest < <("$TAB" keystroke 100 20 2>/dev/null)
printf 'Keystroke in a 100 MiB text box (20 keys): median %s ms, slowest %s ms\n' "$key_median" "$key_slowest"

# Abort: a click at a random moment of a SHA-1 run, to the return of the call.
lat=()
for _ in $(seq 15); do lat+=("$("$BENCH" abort-latency "$SRC")"); done
printf 'Abort click to return (HashFile SHA-1, 15 random clicks): %s ms  [target < 30]\n' \
    "$(printf '%s\n' "${lat[@]}" | bench_summary)"

# Crafted input that once made decoding quadratic and decompression slow.
"$BUILD/bench/quorval_scaling" "${SCALING_MIB:-64}" "$DATA"
