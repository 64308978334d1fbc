#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Keeps the bad-input catalogue honest: every table of the page whose last
# column is "test" must name, in each row, at least one test in backticks,
# and every test it names must exist in the test programs given, as
# `--gtest_list_tests` lists them. "Prefix/Suite.Test/*" stands for the
# instances of a parameterised test: at least one must exist.
#   check.sh PAGE PROGRAM...
set -uo pipefail
PAGE="$1"
shift
[ -f "$PAGE" ] || { echo "FAIL: no page $PAGE"; exit 1; }
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
: > "$WORK/tests"
for program in "$@"; do
    if ! "$program" --gtest_list_tests > "$WORK/list" 2> "$WORK/errors"; then
        echo "FAIL: $program could not list its tests"
        cat "$WORK/errors"
        exit 1
    fi
    # "Suite." lines, then "  Test" lines; comments ("  # GetParam() = …") dropped.
    awk '/^[^ ]/ { suite = $1; next } /^  / { print suite $1 }' "$WORK/list" >> "$WORK/tests"
done
[ -s "$WORK/tests" ] || { echo "FAIL: no tests were listed"; exit 1; }

# One line per row of a test table: its line number, then the names in its last cell.
awk -F'|' '
    function trim(s) { gsub(/^[ \t]+|[ \t]+$/, "", s); return s }
    !/^\|/ { table = 0; header = 0; next }
    !table && !header { header = 1; table = (trim($(NF - 1)) == "test"); next }
    /^\|[-| :]+\|$/ { next }
    table {
        cell = $(NF - 1); names = ""
        while (match(cell, /`[^`]+`/)) {
            names = names " " substr(cell, RSTART + 1, RLENGTH - 2)
            cell = substr(cell, RSTART + RLENGTH)
        }
        print NR names
    }' "$PAGE" > "$WORK/rows"

FAILURES=0
ROWS=0
NAMED=0
while read -r line names; do
    ROWS=$((ROWS + 1))
    if [ -z "${names:-}" ]; then
        echo "FAIL: line $line of $PAGE names no test"
        FAILURES=$((FAILURES + 1))
        continue
    fi
    for name in $names; do
        NAMED=$((NAMED + 1))
        if ! [[ "$name" =~ ^[A-Za-z0-9_/]+\.[A-Za-z0-9_]+(/[A-Za-z0-9_*]+)?$ ]]; then
            echo "FAIL: line $line: '$name' is not a test name"
            FAILURES=$((FAILURES + 1))
        elif [[ "$name" == */\* ]]; then
            grep -qxF -- "${name%\*}" <(sed 's|/[^/]*$|/|' "$WORK/tests") ||
                { echo "FAIL: line $line: no test $name"; FAILURES=$((FAILURES + 1)); }
        elif ! grep -qxF -- "$name" "$WORK/tests"; then
            echo "FAIL: line $line: no test $name"
            FAILURES=$((FAILURES + 1))
        fi
    done
done < "$WORK/rows"

[ "$ROWS" -gt 0 ] || { echo "FAIL: $PAGE has no table of tests"; exit 1; }
echo "$ROWS rows name $NAMED tests ($(sort -u "$WORK/tests" | wc -l) tests listed); $FAILURES failures"
[ "$FAILURES" -eq 0 ]
