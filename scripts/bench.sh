#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Installs what is missing, builds, and measures the engine and the tabs
# beside peer tools on the same file of random bytes (1 GiB by default) held
# in the page cache. See scripts/benchlib.sh for how a figure is taken; every
# line also goes to a results file (build/bench-results/), from which
# scripts/bench-table.py makes the README's table.
#
#   scripts/bench.sh            the full run: 1 GiB, PAIRS=5, PAIRS_WRITE=9
#   scripts/bench.sh --quick    the whole script on 64 MiB, 3 pairs, few keys:
#                               proves it runs, in a few minutes; not figures to quote
#
# Same work on both sides:
# - durability: the engine fsyncs every file it writes and its folder, so each
#   peer's timed command ends with `sync` on its output and the folder;
# - previous outputs are removed before every timed run, outside the timing;
# - key derivation: ours is Argon2id at 64 MiB, 3 passes, 4 lanes (about
#   0.13 s; its own line compares it with Debian's `argon2` command), openssl
#   is given PBKDF2 at 600 000 iterations (`-pbkdf2 -iter 600000`, about 0.5 s),
#   and gpg uses its own iterated S2K with SHA-256 at its highest count, a
#   comparable fraction of a second, all small beside a 1 GiB run.
if [ "${1:-}" = --quick ]; then export QUICK=1; fi
source "$(dirname "$0")/common.sh"
source "$(dirname "$0")/benchlib.sh"
install_missing "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}" "${BENCH_PACKAGES[@]}"
build
bench_setup bench-data
BENCH="$BUILD/bench/quorval_bench"
SPEED="$BUILD/bench/quorval_keygen_speed"
TAB="$BUILD/bench/quorval_hash_tab"
A="$DATA/out.a" B="$DATA/out.b"
CLEAN="rm -f $A $B"
SYNC_B="sync $B $DATA"
PASS=x
GPG="$BENCH_GPG --passphrase $PASS"
OSSL_KDF="-pbkdf2 -iter 600000 -pass pass:$PASS"
if [ "${QUICK:-0}" = 1 ]; then KEYS_SMALL="${KEYS_SMALL:-20}" KEYS_LARGE="${KEYS_LARGE:-4}"; fi
KEYS_SMALL="${KEYS_SMALL:-100}" KEYS_LARGE="${KEYS_LARGE:-20}"

echo "Quorval benchmark: ${SIZE_MIB} MiB of random bytes, $PAIRS pairs ($PAIRS_WRITE for lines that write files)," \
    "$(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)$([ "${QUICK:-0}" = 1 ] && echo ', QUICK: not figures to quote')"

# The noise floor, first: the same command against itself. "Level" below is
# a median wall ratio inside the band its spread gives.
bench_noise_floor

# The disk floor: writing SIZE_MIB and syncing it, with nothing else to do.
# Every line that writes a file has this in both sides' times.
is_floor=1 pairs=$PAIRS_WRITE bench_pair "dd bs=1M conv=fsync against itself (disk floor)" "" "$CLEAN" \
    "dd if=$SRC of=$A bs=1M conv=fsync status=none && sync $DATA" \
    "dd (the same)" "dd if=$SRC of=$B bs=1M conv=fsync status=none && sync $DATA"

# Hashing reads only: nothing to sync.
bench_pair "HashFile MD5" "level" "true" "$BENCH hash md5 $SRC" \
    "botan hash --buf-size=65536" "botan hash --buf-size=65536 --algo=MD5 $SRC"
bench_pair "HashFile MD5" ">= 1.1" "true" "$BENCH hash md5 $SRC" \
    "openssl dgst -md5" "openssl dgst -md5 $SRC"
bench_pair "HashFile MD5" "> 1.0" "true" "$BENCH hash md5 $SRC" "md5sum" "md5sum $SRC"
bench_pair "HashFile SHA-1" ">= 1.2" "true" "$BENCH hash sha1 $SRC" \
    "botan hash --buf-size=65536" "botan hash --buf-size=65536 --algo=SHA-1 $SRC"
bench_pair "HashFile SHA-1" "> 1.0" "true" "$BENCH hash sha1 $SRC" "sha1sum" "sha1sum $SRC"
bench_pair "HashFile Tiger" "level" "true" "$BENCH hash tiger $SRC" \
    "botan hash --buf-size=65536" "botan hash --buf-size=65536 --algo=Tiger $SRC"
# No target: rhash's own Tiger is faster than any library's here.
bench_pair "HashFile Tiger" "" "true" "$BENCH hash tiger $SRC" "rhash --tiger" "rhash --tiger $SRC"
for alg in md5:MD5 sha1:SHA-1 tiger:Tiger; do
    IFS=: read -r ours botan <<< "$alg"
    bench_pair "Hash tab (window) $botan" ">= 0.9" "true" "$TAB $ours $SRC" \
        "botan hash --buf-size=65536" "botan hash --buf-size=65536 --algo=$botan $SRC"
done

# Inputs for decryption, made once outside the timing.
"$BENCH" encrypt aes "$SRC" "$DATA/aes.qrv"
openssl enc -aes-256-cbc $OSSL_KDF -in "$SRC" -out "$DATA/aes.ossl"
"$BENCH" encrypt twofish "$SRC" "$DATA/twofish.qrv"
$GPG $BENCH_GPG_S2K --symmetric --cipher-algo TWOFISH --compress-algo none -o "$DATA/twofish.gpg" "$SRC"

pairs=$PAIRS_WRITE bench_pair "EncryptFile AES-256 CBC" ">= 0.8" "$CLEAN" "$BENCH encrypt aes $SRC $A" \
    "openssl enc -aes-256-cbc" "openssl enc -aes-256-cbc $OSSL_KDF -in $SRC -out $B && $SYNC_B"
pairs=$PAIRS_WRITE bench_pair "DecryptFile AES-256 CBC" ">= 0.8" "$CLEAN" "$BENCH decrypt aes $DATA/aes.qrv $A" \
    "openssl enc -d -aes-256-cbc" "openssl enc -d -aes-256-cbc $OSSL_KDF -in $DATA/aes.ossl -out $B && $SYNC_B"
pairs=$PAIRS_WRITE bench_pair "EncryptFile Twofish-256 CBC" ">= 1.0" "$CLEAN" "$BENCH encrypt twofish $SRC $A" \
    "gpg --symmetric TWOFISH" "$GPG $BENCH_GPG_S2K --symmetric --cipher-algo TWOFISH --compress-algo none -o $B $SRC && $SYNC_B"
pairs=$PAIRS_WRITE bench_pair "DecryptFile Twofish-256 CBC" ">= 1.0" "$CLEAN" "$BENCH decrypt twofish $DATA/twofish.qrv $A" \
    "gpg -d" "$GPG -o $B -d $DATA/twofish.gpg && $SYNC_B"
rm -f "$DATA"/aes.* "$DATA"/twofish.*

# One key derivation at the cost new containers record (Argon2id, 64 MiB, 3
# passes, 4 lanes): ours through the engine, in one process, against Debian's
# reference command at the same setting, a process per derivation.
KDF_N=$([ "${QUICK:-0}" = 1 ] && echo 3 || echo 10)
per=$KDF_N bench_pair "Argon2id 64 MiB, 3 passes, 4 lanes: one key derivation" ">= 0.9" "true" \
    "$BENCH derive $KDF_N" "argon2 -id -m 16 -t 3 -p 4" \
    "for i in \$(seq $KDF_N); do echo -n $PASS | argon2 quorvalbenchsalt -id -m 16 -t 3 -p 4 -r > /dev/null || exit 1; done"

# Encodings: coreutils writes unbroken lines with -w0, as we do.
"$BENCH" encode base64 "$SRC" "$DATA/src.b64"
"$BENCH" encode hex "$SRC" "$DATA/src.hex"
pairs=$PAIRS_WRITE bench_pair "EncodeFile Base64" ">= 1.0" "$CLEAN" "$BENCH encode base64 $SRC $A" \
    "base64 -w0" "base64 -w0 $SRC > $B && $SYNC_B"
pairs=$PAIRS_WRITE bench_pair "DecodeFile Base64" ">= 2.5" "$CLEAN" "$BENCH decode base64 $DATA/src.b64 $A" \
    "base64 -d" "base64 -d $DATA/src.b64 > $B && $SYNC_B"
pairs=$PAIRS_WRITE bench_pair "EncodeFile Hex" ">= 1.0" "$CLEAN" "$BENCH encode hex $SRC $A" \
    "basenc --base16 -w0" "basenc --base16 -w0 $SRC > $B && $SYNC_B"
pairs=$PAIRS_WRITE bench_pair "DecodeFile Hex" ">= 2.0" "$CLEAN" "$BENCH decode hex $DATA/src.hex $A" \
    "basenc --base16 -d" "tr a-f A-F < $DATA/src.hex | basenc --base16 -d > $B && $SYNC_B"
rm -f "$DATA"/src.b64 "$DATA"/src.hex

# Key generation, two ways, each the same on both sides:
# - in one process: N keys timed inside the process, start-up left out; the
#   peer is the library generator called directly (quorval_keygen_speed):
#   OpenSSL's EVP_PKEY_generate, and at 2048 bits also Botan's, which the
#   engine builds on there;
# - whole processes: a process per key, `quorval_bench keygen BITS` against
#   `openssl genpkey`, each process's start-up included.
# Prime search time varies widely from key to key, so each side makes many;
# these lines are judged against a noise floor of their own.
bench_record meta keys "$KEYS_SMALL a run, $KEYS_LARGE at 2048 bits"
bench_keygen_floor "$SPEED" "$KEYS_SMALL"
for keys in 512:$KEYS_SMALL 1024:$KEYS_SMALL 2048:$KEYS_LARGE; do
    IFS=: read -r bits n <<< "$keys"
    # At 512 and 1024 bits the engine runs OpenSSL's generator: level is the aim.
    target=$([ "$bits" -lt 2048 ] && echo level || echo '>= 1.0')
    floor=keygen inproc=1 bench_pair "NewKeyPair RSA-$bits in one process" "$target" "true" \
        "$BENCH keygen-ms $bits $n" "OpenSSL EVP_PKEY_generate" "$SPEED openssl $bits $n"
    if [ "$bits" -ge 2048 ]; then
        floor=keygen inproc=1 bench_pair "NewKeyPair RSA-$bits in one process" "" "true" \
            "$BENCH keygen-ms $bits $n" "Botan RSA_PrivateKey" "$SPEED botan $bits $n"
    fi
    floor=keygen per=$n bench_pair "NewKeyPair RSA-$bits, a process per key" \
        "$([ "$bits" -ge 2048 ] && echo '>= 1.0')" "true" \
        "for i in \$(seq $n); do $BENCH keygen $bits || exit 1; done" \
        "openssl genpkey" \
        "for i in \$(seq $n); do openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:$bits -out /dev/null || exit 1; done"
done

# The window's memory does not grow with the file.
head -c $((64 * 1024 * 1024)) "$SRC" > "$DATA/small.bin"
read -r _ _ small < <(bench_measure "$TAB md5 $DATA/small.bin")
read -r _ _ large < <(bench_measure "$TAB md5 $SRC")
bench_figure "Hash tab peak memory, 64 MiB and $SIZE_MIB MiB files" \
    "$((small / 1024)) MiB and $((large / 1024)) MiB" "no growth" \
    "$([ $((large - small)) -le 4096 ] && echo yes || echo no)"
rm -f "$DATA/small.bin"

# Typing into a large text box: the window keeps no copy to compare with.
KEY_MIB=$([ "${QUICK:-0}" = 1 ] && echo 16 || echo 100)
read -r key_median key_slowest < <("$TAB" keystroke "$KEY_MIB" 20 2>/dev/null)
bench_figure "Keystroke in a $KEY_MIB MiB text box (real Qt box, offscreen, 20 keys)" \
    "median $key_median ms, slowest $key_slowest ms" "O(1)"

# Abort: a click at a random moment (100-400 ms in) of a 1 GiB SHA-1 hash, to
# the return of the call. A smaller run's file is too short for that: it
# clicks into a sparse 1 GiB file instead.
ABORT_SRC="$SRC"
if [ "$SIZE_MIB" -lt 1024 ]; then ABORT_SRC="$DATA/sparse.bin"; truncate -s 1G "$ABORT_SRC"; fi
lat=()
for _ in $(seq 15); do lat+=("$("$BENCH" abort-latency "$ABORT_SRC")"); done
read -r abort_median _ _ < <(printf '%s\n' "${lat[@]}" | bench_stats)
bench_figure "Abort: the engine alone, a stop asked at a random moment of a 1 GiB SHA-1 hash, to the return of the call (15 times)" \
    "median $(printf '%s\n' "${lat[@]}" | bench_summary) ms" "" "" "$abort_median"
rm -f "$DATA/sparse.bin"

# Start-up: engine creation and the window's first paint, measured by its own
# script, which adds its lines to this run's results file (BENCH_RESULTS).
if [ -f "$ROOT/scripts/bench-startup.sh" ]; then
    bash "$ROOT/scripts/bench-startup.sh" || {
        echo "scripts/bench-startup.sh failed: its lines are missing from this run" >&2
        bench_record meta startup failed
    }
fi

# quorval-cli beside the command-line tools, by its own script, which adds its
# lines to this run's results file.
if [ -f "$ROOT/scripts/bench-cli.sh" ]; then
    bash "$ROOT/scripts/bench-cli.sh" || {
        echo "scripts/bench-cli.sh failed: its lines are missing from this run" >&2
        bench_record meta cli failed
    }
fi

# Abort as the user feels it: real clicks on the button in the real window.
if [ -f "$ROOT/scripts/bench-abort.sh" ]; then
    bash "$ROOT/scripts/bench-abort.sh" || {
        echo "scripts/bench-abort.sh failed: its lines are missing from this run" >&2
        bench_record meta abort-clicks failed
    }
fi

# Crafted input that once made decoding quadratic and decompression slow.
"$BUILD/bench/quorval_scaling" "${SCALING_MIB:-$([ "${QUICK:-0}" = 1 ] && echo 16 || echo 64)}" "$DATA"
bench_finish
