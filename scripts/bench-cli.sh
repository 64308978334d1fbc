#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# quorval-cli as whole processes beside the command-line tools people use for
# the same jobs: hashing one large file and a tree of many files, encrypting
# and decrypting a large file, and starting up. scripts/bench.sh runs it and
# adds its lines to its own results; run alone, it measures its own noise and
# disk floors first and writes a results file of its own, whose table
# scripts/bench-table.py puts between the README's "bench-cli" markers.
#
#   scripts/bench-cli.sh [--quick]
#
# Same work on both sides:
# - every file is in the page cache before a run (read once beforehand), and
#   previous outputs are removed outside the timing;
# - durability: the engine fsyncs what it writes and its folder, so each peer's
#   timed command ends with `sync` on its output and the folder;
# - passwords come from a file on both sides; ours derives its key with
#   Argon2id (64 MiB, 3 passes, 4 lanes), openssl with PBKDF2-HMAC-SHA-256 at
#   600 000 iterations, of a similar time here; age is given a key made by
#   age-keygen (its passphrase mode reads only a terminal), so it derives none.
if [ "${1:-}" = --quick ]; then export QUICK=1; fi
source "$(dirname "$0")/common.sh"
source "$(dirname "$0")/benchlib.sh"
ALONE=0
[ -z "${BENCH_RESULTS:-}" ] && ALONE=1
if [ "$ALONE" = 1 ]; then
    install_missing "${BUILD_PACKAGES[@]}" "${BENCH_PACKAGES[@]}"
    configure
    cmake --build "$BUILD" -j"$(nproc)" --target quorval-cli
fi
bench_setup bench-data
CLI="$BUILD/quorval-cli"
A="$DATA/cli.a" B="$DATA/cli.b"
CLEAN="rm -f $A $B"
SYNC_B="sync $B $DATA"
PW="$DATA/password"
printf 'correct horse battery staple' > "$PW"
ENC="--password-file $PW --algorithm aes --bits 256 --mode cbc --padding pkcs7 --level 0 --encoding binary"
OSSL="-aes-256-cbc -pbkdf2 -iter 600000 -pass file:$PW"

echo "quorval-cli: ${SIZE_MIB} MiB of random bytes, $PAIRS pairs ($PAIRS_WRITE for lines that write files)," \
    "$(nproc) cores, $(awk -F': ' '/^model name/ { print $2; exit }' /proc/cpuinfo)," \
    "load $(cut -d' ' -f1-3 /proc/loadavg)$([ "${QUICK:-0}" = 1 ] && echo ', QUICK: not figures to quote')"

if [ "$ALONE" = 1 ]; then
    bench_noise_floor
    is_floor=1 pairs=$PAIRS_WRITE bench_pair "dd bs=1M conv=fsync against itself (disk floor)" "" "$CLEAN" \
        "dd if=$SRC of=$A bs=1M conv=fsync status=none && sync $DATA" \
        "dd (the same)" "dd if=$SRC of=$B bs=1M conv=fsync status=none && sync $DATA"
fi

# One large file, read only.
bench_pair "quorval-cli hash -a md5" "level" "true" "$CLI hash -a md5 $SRC" "md5sum" "md5sum $SRC"
bench_pair "quorval-cli hash -a md5" "level" "true" "$CLI hash -a md5 $SRC" \
    "botan hash --buf-size=65536" "botan hash --buf-size=65536 --algo=MD5 $SRC"
bench_pair "quorval-cli hash -a sha1" "level" "true" "$CLI hash -a sha1 $SRC" "sha1sum" "sha1sum $SRC"
bench_pair "quorval-cli hash -a sha1" "level" "true" "$CLI hash -a sha1 $SRC" \
    "botan hash --buf-size=65536" "botan hash --buf-size=65536 --algo=SHA-1 $SRC"

# A tree of 10 000 files of 4 KiB to 1 MiB, sizes spread evenly on a log
# scale (squared, so that small files are the many): about SIZE_MIB in all.
# Made once from the random file, then read into the page cache. Both sides
# get the same 10 000 names in one command line (relative, to stay short).
TREE="$DATA/tree-$SIZE_MIB"
if [ ! -f "$TREE/.complete" ]; then
    rm -rf "$TREE"
    python3 - "$SRC" "$TREE" "$SIZE_MIB" <<'EOF'
import math, os, random, sys
src, tree, mib = sys.argv[1], sys.argv[2], int(sys.argv[3])
random.seed(29)
scale = mib / 1024  # a smaller run keeps the count and shrinks the files
with open(src, "rb") as data:
    for i in range(10000):
        size = max(1, int(4096 * math.exp(math.log(256) * random.random() ** 2) * scale))
        folder = os.path.join(tree, "d%02d" % (i % 100))
        os.makedirs(folder, exist_ok=True)
        if data.tell() + size > os.fstat(data.fileno()).st_size:
            data.seek(0)
        with open(os.path.join(folder, "f%05d" % i), "wb") as out:
            out.write(data.read(size))
open(os.path.join(tree, ".complete"), "w").close()
EOF
fi
cat "$TREE"/d*/* > /dev/null
tree_mib=$(du -sm --apparent-size "$TREE" | cut -f1)
bench_record meta tree "10000 files, $tree_mib MiB"
echo "tree: 10000 files, $tree_mib MiB"
bench_pair "quorval-cli hash -a sha1, 10 000 files" ">= 1.7" "true" "cd $TREE && $CLI hash -a sha1 d*/* > /dev/null" \
    "sha1sum" "cd $TREE && sha1sum d*/* > /dev/null"
bench_pair "quorval-cli hash -a sha1, 10 000 files" "level" "true" "cd $TREE && $CLI hash -a sha1 d*/* > /dev/null" \
    "rhash --sha1 on $(nproc) processes" \
    "cd $TREE && printf '%s\\0' d*/* | xargs -0 -P$(nproc) -n 500 rhash --sha1 > /dev/null"

# One large file encrypted and decrypted, outputs synced on both sides.
KEY="$DATA/age-key.txt"
[ -f "$KEY" ] || age-keygen -o "$KEY" 2> /dev/null
RECIPIENT=$(age-keygen -y "$KEY")
"$CLI" encrypt $ENC -o "$DATA/cli.qrv" "$SRC"
openssl enc $OSSL -in "$SRC" -out "$DATA/cli.ossl"
age -r "$RECIPIENT" -o "$DATA/cli.age" "$SRC"
cat "$DATA"/cli.qrv "$DATA"/cli.ossl "$DATA"/cli.age > /dev/null
pairs=$PAIRS_WRITE bench_pair "quorval-cli encrypt AES-256 CBC" ">= 0.8" "$CLEAN" "$CLI encrypt $ENC -o $A $SRC" \
    "openssl enc -aes-256-cbc" "openssl enc $OSSL -in $SRC -out $B && $SYNC_B"
pairs=$PAIRS_WRITE bench_pair "quorval-cli decrypt AES-256 CBC" ">= 0.8" "$CLEAN" \
    "$CLI decrypt --password-file $PW --algorithm aes --bits 256 -o $A $DATA/cli.qrv" \
    "openssl enc -d -aes-256-cbc" "openssl enc -d $OSSL -in $DATA/cli.ossl -out $B && $SYNC_B"
pairs=$PAIRS_WRITE bench_pair "quorval-cli encrypt AES-256 CBC" "" "$CLEAN" "$CLI encrypt $ENC -o $A $SRC" \
    "age -r (X25519, ChaCha20-Poly1305)" "age -r $RECIPIENT -o $B $SRC && $SYNC_B"
pairs=$PAIRS_WRITE bench_pair "quorval-cli decrypt AES-256 CBC" "" "$CLEAN" \
    "$CLI decrypt --password-file $PW --algorithm aes --bits 256 -o $A $DATA/cli.qrv" \
    "age -d -i (X25519, ChaCha20-Poly1305)" "age -d -i $KEY -o $B $DATA/cli.age && $SYNC_B"
rm -f "$DATA"/cli.qrv "$DATA"/cli.ossl "$DATA"/cli.age

# Start-up: a process that prints its version and ends, 100 a run.
STARTS=$([ "${QUICK:-0}" = 1 ] && echo 20 || echo 100)
per_unit=run per=$STARTS bench_pair "quorval-cli --version, a process each" ">= 0.67" "true" \
    "for i in \$(seq $STARTS); do $CLI --version > /dev/null || exit 1; done" "openssl version" \
    "for i in \$(seq $STARTS); do openssl version > /dev/null || exit 1; done"

[ "$ALONE" = 1 ] && bench_finish
true
