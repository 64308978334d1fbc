#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Checks the benchmark tooling, not the speed: how scripts/benchlib.sh turns
# runs into ratios, standings, target checks and results records, and how
# scripts/bench-table.py turns one results file into the README's tables.
# Commands that print fixed "WALL CPU" figures stand in for real runs.
set -uo pipefail
for tool in /usr/bin/time python3; do
    command -v "$tool" > /dev/null || { echo "skipped: no $tool"; exit 77; }
done
ROOT="$(cd "$(dirname "$0")/../.." && pwd)"
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
FAILURES=0

fail() { echo "FAIL: $*"; FAILURES=$((FAILURES + 1)); }
same() { if [ "$2" = "$3" ]; then echo "ok:   $1"; else fail "$1: got '$2', expected '$3'"; fi; }
# The FIELD-th field of the last results record whose first field is KIND.
field() { awk -F'\t' -v k="$1" -v f="$2" '$1 == k { v = $f } END { print v }' "$BENCH_RESULTS"; }

source "$ROOT/scripts/benchlib.sh"
BENCH_RESULTS="$WORK/results.tsv"
: > "$BENCH_RESULTS"

# Figures.
same "median of an odd count" "$(printf '3\n1\n2\n' | bench_stats)" "2.0000 1.0000 3.0000"
same "median of an even count" "$(printf '4\n1\n2\n3\n' | bench_stats)" "2.5000 1.0000 4.0000"
same "ratio: the peer's time over ours" "$(bench_ratio 3 2)" "1.5000"
same "no ratio when ours is too short to see" "$(bench_ratio 3 0)" ""
same "a floor's band is symmetric" "$(bench_band 0.98 1.01)" "0.9800 1.0204"
same "standing inside the band" "$(bench_standing 1.01 "0.97 1.03")" "level"
same "standing above the band" "$(bench_standing 1.05 "0.97 1.03")" "ahead"
same "standing below the band" "$(bench_standing 0.95 "0.97 1.03")" "behind"
same "no standing without a floor" "$(bench_standing 0.95 "")" ""
same "target >= met at its edge" "$(bench_target_met 1.2 ">= 1.2")" "yes"
same "target >= missed" "$(bench_target_met 1.19 ">= 1.2")" "no"
same "target > missed at its edge" "$(bench_target_met 1.0 "> 1.0")" "no"
same "target < with a unit" "$(bench_target_met 19.9 "< 20 ms")" "yes"
same "target < missed" "$(bench_target_met 20 "< 20 ms")" "no"
same "level target: level is met" "$(bench_target_met 0.98 level level)" "yes"
same "level target: behind is missed" "$(bench_target_met 0.9 level behind)" "no"
same "a target that is not a number is not checked" "$(bench_target_met 1 "no growth")" ""
same "keys" "$(bench_key "HashFile SHA-1 vs botan hash --buf-size=65536")" "hashfile-sha-1-vs-botan-hash-buf-size-65536"

# Pairs, in process: ours 2 ms wall and 2 ms CPU a key, the peer 4 and 3.
bench_record meta size-mib 1024
bench_record meta pairs 5
bench_record meta pairs-write 9
bench_record meta quick 0
bench_record meta commit abc1234
BENCH_FLOOR_KEYGEN=$(bench_band 0.9 1.1)
floor=keygen inproc=1 pairs=3 bench_pair "Fake key generation" ">= 1.5" true "echo 2 2" "fake peer" "echo 4 3" > "$WORK/out"
same "pair: a record of every field" "$(awk -F'\t' 'END { print NF }' "$BENCH_RESULTS")" 30
same "pair: the key" "$(field pair 2)" "fake-key-generation-vs-fake-peer"
same "pair: the unit of an in-process line" "$(field pair 5)" "ms/key"
same "pair: the pairs taken" "$(field pair 6)" 3
same "pair: the wall ratio and its spread" "$(field pair 21) $(field pair 22) $(field pair 23)" "2.0000 2.0000 2.0000"
same "pair: the CPU ratio" "$(field pair 24)" "1.5000"
same "pair: standing against its own floor" "$(field pair 28) $(field pair 30)" "ahead keygen"
same "pair: the target checked on the wall ratio" "$(field pair 29)" "yes"
grep -q "wall 2.00 (2.00-2.00) ahead  cpu 1.50 (1.50-1.50)  \[target >= 1.5: met\]" "$WORK/out" &&
    echo "ok:   pair: the printed line" || fail "pair: the printed line: $(cat "$WORK/out")"

# A floor line: its band is what later lines are judged by.
inproc=1 pairs=2 is_floor=1 bench_pair "Fake floor" "" true "echo 5 5" "itself" "echo 5 5" > /dev/null
same "floor: standing" "$(field pair 28)" "floor"
same "floor: its ratio kept for the band" "$BENCH_LAST_RATIO" "1.0000 1.0000 1.0000"

# Whole processes, per key: two shell loops of five processes.
per=5 pairs=1 bench_pair "Fake loop" "" true "for i in 1 2 3 4 5; do true; done" "loop" "true" > /dev/null
same "per key: shown in ms per key" "$(field pair 5)" "ms/key"

# A failing side stops the line, with no record.
before=$(wc -l < "$BENCH_RESULTS")
if pairs=1 bench_pair "Fails" "" true "exit 3" "peer" "true" > /dev/null 2>&1; then fail "a failing command fails the line"; else
    echo "ok:   a failing command fails the line"; fi
same "a failed line leaves no record" "$(wc -l < "$BENCH_RESULTS")" "$before"

# Figures that are not ratios.
bench_figure "Fake abort" "median 12 ms" "< 20 ms" "" 12 > /dev/null
same "figure: checked against its target" "$(field figure 6)" "yes"
bench_figure "Fake memory" "36 MiB and 36 MiB" "no growth" no > /dev/null
same "figure: a verdict given" "$(field figure 6)" "no"

# The README's tables from these results.
TABLE="$ROOT/scripts/bench-table.py"
printf '# Title\n\n<!-- bench-table:begin (made by scripts/bench-table.py from one run'"'"'s results; do not edit by hand) -->\nold table\n<!-- bench-table:end -->\n\nAfter.\n' > "$WORK/README.md"
if python3 "$TABLE" "$BENCH_RESULTS" --readme "$WORK/README.md" 2> "$WORK/err"; then
    grep -q "^| Fake key generation vs \`fake peer\` | 2.0 / 4.0 ms per key (CPU 2.0 / 3.0) | 2.00 (2.00–2.00), ahead | 1.50 (1.50–1.50) | ≥ 1.5, met |" "$WORK/README.md" &&
        echo "ok:   table: a line with both ratios, standing and target" || fail "table: the line: $(grep Fake "$WORK/README.md")"
    grep -q "^| Fake memory | 36 MiB and 36 MiB | no growth, \*\*missed\*\* |" "$WORK/README.md" &&
        echo "ok:   table: a missed figure stands out" || fail "table: the figure: $(grep memory "$WORK/README.md")"
    grep -q "old table" "$WORK/README.md" && fail "table: the old table is gone" || echo "ok:   table: the old table is gone"
    same "table: the text around it stays" "$(head -n 1 "$WORK/README.md") $(tail -n 1 "$WORK/README.md")" "# Title After."
    grep -q "no note for fake-key-generation-vs-fake-peer" "$WORK/err" && echo "ok:   table: a line without a note is named" ||
        fail "table: no warning for a missing note"
else
    fail "table: $(cat "$WORK/err")"
fi
# Another script's run goes between its own markers and leaves the main table alone.
printf '<!-- bench-table:begin (made by scripts/bench-table.py from one run'"'"'s results; do not edit by hand) -->\nmain\n<!-- bench-table:end -->\n<!-- bench-table:bench-cli:begin (made by scripts/bench-table.py from one run'"'"'s results; do not edit by hand) -->\nold\n<!-- bench-table:bench-cli:end -->\n' > "$WORK/README.md"
sed -e 's/^meta\tquick\t.*/meta\tquick\t0/' "$BENCH_RESULTS" > "$WORK/cli.tsv"
printf 'meta\tscript\tbench-cli\n' >> "$WORK/cli.tsv"
per_unit=run per=5 pairs=1 BENCH_RESULTS="$WORK/cli.tsv" bench_pair "Fake start" "" true "true" "peer" "true" > /dev/null
if python3 "$TABLE" "$WORK/cli.tsv" --readme "$WORK/README.md" 2> "$WORK/err"; then
    same "table: another script's section" "$(sed -n 2p "$WORK/README.md") $(grep -c '^old$' "$WORK/README.md")" "main 0"
    grep -q "^Figures from one run of \`scripts/bench-cli.sh\`" "$WORK/README.md" && grep -q "ms per run" "$WORK/README.md" &&
        echo "ok:   table: the script and the unit named" || fail "table: $(cat "$WORK/README.md")"
else
    fail "table: another script: $(cat "$WORK/err")"
fi
bench_record meta quick 1
if python3 "$TABLE" "$BENCH_RESULTS" > /dev/null 2> "$WORK/err"; then fail "table: a quick run refused"; else
    grep -q "a quick run" "$WORK/err" && echo "ok:   table: a quick run refused" || fail "table: $(cat "$WORK/err")"; fi
python3 "$TABLE" "$BENCH_RESULTS" --force > /dev/null 2>&1 && echo "ok:   table: --force takes it" || fail "table: --force"
printf 'pair\tbroken\n' >> "$BENCH_RESULTS"
if python3 "$TABLE" "$BENCH_RESULTS" --force > /dev/null 2>&1; then fail "table: a broken line refused"; else
    echo "ok:   table: a broken line refused"; fi

[ "$FAILURES" -eq 0 ] && echo "all passed" || echo "$FAILURES failed"
[ "$FAILURES" -eq 0 ]
