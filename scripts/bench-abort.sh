#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Abort as the user feels it: the "Hash" tab hashes the 1 GiB file (SHA-1) on
# a private Xvfb display, and xdotool clicks "Abort transaction" for real at a
# random moment, CLICKS times (default 15). A line gives the milliseconds from
# the click (the button's release, by the X server's clock) to the return of
# the engine call, and to the first paint of the "aborted" box.
#
# Then what the yields cost: RUNS (default 5) whole hashes through the tab,
# with the time spent in the window's progress handler (its yields and the
# bar's repaints) beside the call's own.
source "$(dirname "$0")/common.sh"
source "$(dirname "$0")/benchlib.sh"
install_missing "${BUILD_PACKAGES[@]}" "${BENCH_PACKAGES[@]}" xvfb xdotool
build
bench_setup bench-data
CLICKS="${CLICKS:-15}"
RUNS="${RUNS:-5}"
DRIVER="$BUILD/bench/quorval_abort_click"

# A display of our own, started as the real-window tests start theirs.
source "$ROOT/tests/support/private-display.sh"
XVFB_DIR=$(mktemp -d)
XVFB_PID=""
cleanup() { [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null; rm -rf "$XVFB_DIR"; }
trap cleanup EXIT
start_private_display "$XVFB_DIR/xvfb.log" >&2 || exit 1
export QT_QPA_PLATFORM=xcb

echo "Abort: ${SIZE_MIB} MiB SHA-1 through the Hash tab on Xvfb, $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"
out=$(mktemp)
"$DRIVER" clicks "$CLICKS" "$SRC" > "$out" 2>/dev/null || true
read -r click_median _ _ < <(awk '{ print $1 }' "$out" | bench_stats)
bench_figure "Abort: a real click (xdotool, Xvfb) at a random moment of a $SIZE_MIB MiB SHA-1 hash in the Hash tab, to the return of the call ($(wc -l < "$out") clicks)" \
    "median $(awk '{ print $1 }' "$out" | bench_summary) ms; to the aborted box $(awk '{ print $2 }' "$out" | bench_summary) ms" \
    "< 20 ms" "" "$click_median"

: > "$out"
for _ in $(seq "$RUNS"); do "$DRIVER" hash "$SRC" 2>/dev/null >> "$out"; done
# Columns: call wall, call cpu, reports, handler wall, handler cpu (milliseconds).
printf 'Hash tab, %d runs: call %s ms (cpu %s ms), %s reports, in the handler %s ms (cpu %s ms, %s %% of the call'"'"'s cpu)\n' \
    "$RUNS" "$(awk '{ print $1 }' "$out" | bench_summary)" "$(awk '{ print $2 }' "$out" | bench_summary)" \
    "$(awk '{ print $3 }' "$out" | bench_median)" "$(awk '{ print $4 }' "$out" | bench_summary)" \
    "$(awk '{ print $5 }' "$out" | bench_summary)" "$(awk '{ printf "%.2f\n", 100 * $5 / $2 }' "$out" | bench_summary)"
read -r share_median _ _ < <(awk '{ printf "%.3f\n", 100 * $5 / $2 }' "$out" | bench_stats)
bench_figure "Abort: the window's yields and bar repaints during a whole hash, share of the call's CPU ($RUNS runs)" \
    "median $(awk '{ printf "%.3f\n", 100 * $5 / $2 }' "$out" | bench_summary) %" "<= 2 %" "" "$share_median"
rm -f "$out"
