#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# run.sh FUZZER CORPUS WORK SECONDS [libFuzzer options...]: runs one fuzz target
# for SECONDS on its seed corpus, new inputs going to WORK/new (the committed
# corpus is only read). Any finding fails: a crash, a sanitizer report, a failed
# check (abort), a timeout, running out of memory; its input is kept in
# WORK/findings/ and the log in WORK/log.
set -euo pipefail
fuzzer="$1" corpus="$2" work="$3" seconds="$4"
shift 4
rm -rf "$work"
mkdir -p "$work/new" "$work/findings"
status=0
"$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=8192 -print_final_stats=1 -entropic_scale_per_exec_time=1 \
    -artifact_prefix="$work/findings/" "$@" "$work/new" "$corpus" > "$work/log" 2>&1 || status=$?
if [ "$status" -ne 0 ] || [ -n "$(ls -A "$work/findings")" ]; then
    tail -n 80 "$work/log"
    echo "$(basename "$fuzzer"): FINDING (exit status $status); inputs in $work/findings/"
    exit 1
fi
# The last progress line and the final figures: executions, coverage, corpus.
grep -E '^#[0-9]+' "$work/log" | tail -n 1
grep -E '^stat::(number_of_executed_units|peak_rss_mb)' "$work/log"
echo "$(basename "$fuzzer"): no finding in ${seconds} s"
