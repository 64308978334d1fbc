#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Measures the "Symetric Encrypt/Decrypt" tab (the window logic over offscreen
# Qt, the real engine) beside openssl enc and gpg --symmetric on the same file
# of random bytes in the page cache, in the same folder.
#
# Both sides do the same work: 256-bit keys, CBC, no compression, a key
# derivation of a fraction of a second (ours: Argon2id, 64 MiB, 3 passes, 4
# lanes; openssl: 600 000 PBKDF2-HMAC-SHA-256 iterations; gpg: its strongest
# iterated S2K with SHA-256),
# and the output flushed to disk with its folder (we fsync; the peers are
# followed by sync on the output and the folder). Outputs of earlier runs are
# removed outside the timed part. Pairs are taken as scripts/benchlib.sh
# says: wall and CPU ratios per pair (the peer's time over ours), median and
# spread; these lines write files, so they take PAIRS_WRITE pairs (9).
# --quick: 64 MiB and 3 pairs, to see that it runs.
if [ "${1:-}" = --quick ]; then export QUICK=1; fi
source "$(dirname "$0")/common.sh"
source "$(dirname "$0")/benchlib.sh"
install_missing "${BUILD_PACKAGES[@]}" "${BENCH_PACKAGES[@]}"
configure -DQUORVAL_BUILD_BENCH=ON
cmake --build "$BUILD" -j2 --target quorval_sym_tab >/dev/null
bench_setup bench-sym
TAB="$BUILD/bench/quorval_sym_tab"
PASS="benchmark-password"
GPG="$BENCH_GPG --passphrase $PASS"

echo "Symmetric tab: ${SIZE_MIB} MiB of random bytes, $PAIRS_WRITE interleaved pairs, $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
bench_noise_floor
IN="$DATA/in.bin"   # our outputs: inEnc.bin, then inEncDec.bin
ln -f "$SRC" "$IN"
for alg in aes twofish; do
    rm -f "$DATA/inEnc.bin"
    "$TAB" encrypt "$alg" "$PASS" "$IN" >/dev/null 2>&1
    mv "$DATA/inEnc.bin" "$DATA/sealed-$alg.bin"   # decrypts to sealed-$algDec.bin
done
openssl enc -aes-256-cbc -pbkdf2 -iter 600000 -pass pass:"$PASS" -in "$SRC" -out "$DATA/sealed.ossl"
$GPG $BENCH_GPG_S2K --symmetric --cipher-algo TWOFISH --compress-algo none -o "$DATA/sealed.gpg" "$SRC"

pairs=$PAIRS_WRITE bench_pair "Encrypt AES-256 CBC" ">= 0.8" "rm -f $DATA/inEnc.bin $DATA/out.ossl" \
    "$TAB encrypt aes '$PASS' $IN" \
    "openssl enc -pbkdf2" \
    "openssl enc -aes-256-cbc -pbkdf2 -iter 600000 -pass pass:'$PASS' -in $SRC -out $DATA/out.ossl && sync $DATA/out.ossl $DATA"
pairs=$PAIRS_WRITE bench_pair "Decrypt AES-256 CBC" ">= 0.8" "rm -f $DATA/sealed-aesDec.bin $DATA/out.ossl" \
    "$TAB decrypt aes '$PASS' $DATA/sealed-aes.bin" \
    "openssl enc -d -pbkdf2" \
    "openssl enc -d -aes-256-cbc -pbkdf2 -iter 600000 -pass pass:'$PASS' -in $DATA/sealed.ossl -out $DATA/out.ossl && sync $DATA/out.ossl $DATA"
pairs=$PAIRS_WRITE bench_pair "Encrypt Twofish-256 CBC" ">= 1.0" "rm -f $DATA/inEnc.bin $DATA/out.gpg" \
    "$TAB encrypt twofish '$PASS' $IN" \
    "gpg --symmetric" \
    "$GPG $BENCH_GPG_S2K --symmetric --cipher-algo TWOFISH --compress-algo none -o $DATA/out.gpg $SRC && sync $DATA/out.gpg $DATA"
pairs=$PAIRS_WRITE bench_pair "Decrypt Twofish-256 CBC" ">= 1.0" "rm -f $DATA/sealed-twofishDec.bin $DATA/out.gpg" \
    "$TAB decrypt twofish '$PASS' $DATA/sealed-twofish.bin" \
    "gpg -d" \
    "$GPG -o $DATA/out.gpg -d $DATA/sealed.gpg && sync $DATA/out.gpg $DATA"
"$TAB" decrypt twofish "$PASS" "$DATA/sealed-twofish.bin" >/dev/null 2>&1 && cmp -s "$SRC" "$DATA/sealed-twofishDec.bin" &&
    echo "Twofish round trip through the tab: identical to the source" || echo "Twofish round trip: DIFFERENT"
rm -f "$DATA"/sealed* "$DATA"/out.* "$DATA/in.bin" "$DATA"/*Dec.bin "$DATA"/*Enc.bin
bench_finish
