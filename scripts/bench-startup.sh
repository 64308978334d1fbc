#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Start-up: how long a process that uses the engine takes to start, beside
# `openssl version`, and how long the window takes from launch to its first
# paint, beside a bare Qt window with the same caption and size (no controls,
# no text), on a private Xvfb display. RUNS (default 15) interleaved runs of
# each, the side that goes first alternating.
#
# First paint is timed from outside (bench/quorval_first_paint): an X client
# on the same display notes, through the DAMAGE extension, when something is
# first drawn into the window; nothing in the program is hooked.
source "$(dirname "$0")/common.sh"
source "$(dirname "$0")/benchlib.sh"
install_missing "${BUILD_PACKAGES[@]}" "${BENCH_PACKAGES[@]}" xvfb
build
RUNS="${RUNS:-15}"
STARTUP="$BUILD/bench/quorval_startup"
PAINT="$BUILD/bench/quorval_first_paint"

XVFB_PID=""
cleanup() { [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null; }
trap cleanup EXIT
# Not the real-window tests' display helper: it keeps the server from resetting
# between clients, and each launch here is timed on a freshly reset server.
exec {fd}<> <(:)
Xvfb -displayfd "$fd" -screen 0 1024x768x24 -nolisten tcp > /dev/null 2>&1 &
XVFB_PID=$!
read -r -t 10 -u "$fd" number || { echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$number"
export QT_QPA_PLATFORM=xcb

echo "Start-up: $RUNS interleaved runs each, $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"

# "median (lowest-highest)" of column COL of the lines in FILE that start with NAME.
column_summary() { awk -v n="$2" -v c="$3" '$1 == n && NF >= c { print $c }' "$1" | bench_summary; }
# The per-run ratio NAME/BASE of column COL, runs paired in the order they came.
ratio_summary() {
    paste <(awk -v n="$2" -v c="$4" '$1 == n { print $c + 0 }' "$1") <(awk -v n="$3" -v c="$4" '$1 == n { print $c + 0 }' "$1") |
        awk '$1 > 0 && $2 > 0 { printf "%.3f\n", $1 / $2 }' | bench_summary
}

# A process that creates the engine and ends; one that also gets its first
# object, which runs the libraries' self-test first; and `openssl version`.
out=$(mktemp)
for i in $(seq "$RUNS"); do
    order="create ready openssl"
    [ $((i % 2)) -eq 0 ] && order="openssl ready create"
    for side in $order; do
        case $side in
            create|ready) cmd=("$STARTUP" "$side") ;;
            openssl) cmd=(openssl version) ;;
        esac
        echo "$side $("$STARTUP" time "${cmd[@]}" 2>/dev/null | tail -n 1)" >> "$out"
    done
done
for side in create ready openssl; do
    printf '%-44s wall %s ms, cpu %s ms\n' "$(case $side in
        create) echo "engine created, process ends" ;;
        ready) echo "engine created, first object (self-test)" ;;
        openssl) echo "openssl version" ;;
    esac)" "$(column_summary "$out" "$side" 2)" "$(column_summary "$out" "$side" 3)"
done
printf 'engine created / openssl version (wall, per run): %s\n' "$(ratio_summary "$out" create openssl 2)"
# The engine's own part: the process that creates it, less `openssl version`
# (a process that loads libcrypto and ends), run by run.
paste <(awk '$1 == "create" { print $2 + 0 }' "$out") <(awk '$1 == "openssl" { print $2 + 0 }' "$out") |
    awk '{ printf "%.3f\n", $1 - $2 }' > "$out.extra"
read -r create_median _ _ < <(awk '$1 == "create" { print $2 }' "$out" | bench_stats)
bench_figure "Start-up: a process that creates the engine and ends, wall ($RUNS runs; openssl version beside it)" \
    "median $(column_summary "$out" create 2) ms, openssl version $(column_summary "$out" openssl 2) ms" "" ""
read -r extra_median _ _ < <(bench_stats < "$out.extra")
bench_figure "Start-up: engine creation, the process above less openssl version, per run" \
    "median $(bench_summary < "$out.extra") ms" "< 5 ms" "" "$extra_median"
rm -f "$out" "$out.extra"

# Launch to first paint: ours against the bare window of the same size (our
# window's at 96 dpi, Xvfb's default).
width=528 height=659
out=$(mktemp)
for i in $(seq "$RUNS"); do
    order="ours bare"
    [ $((i % 2)) -eq 0 ] && order="bare ours"
    for side in $order; do
        case $side in
            ours) cmd=("$BUILD/quorval") ;;
            bare) cmd=("$BUILD/bench/quorval_bare_window" "$width" "$height") ;;
        esac
        echo "$side $("$PAINT" Exemple "${cmd[@]}" 2>/dev/null)" >> "$out"
    done
done
printf '%-44s %s ms (mapped %s ms, cpu %s ms)\n' "First paint, Quorval" "$(column_summary "$out" ours 3)" \
    "$(column_summary "$out" ours 2)" "$(column_summary "$out" ours 4)"
printf '%-44s %s ms (mapped %s ms, cpu %s ms)\n' "First paint, bare Qt window" "$(column_summary "$out" bare 3)" \
    "$(column_summary "$out" bare 2)" "$(column_summary "$out" bare 4)"
ratios=$(paste <(awk '$1 == "ours" { print $3 + 0 }' "$out") <(awk '$1 == "bare" { print $3 + 0 }' "$out") |
    awk '$1 > 0 && $2 > 0 { printf "%.3f\n", $1 / $2 }')
read -r paint_median _ _ < <(bench_stats <<< "$ratios")
bench_figure "Start-up: launch to first paint, Quorval over a bare Qt window, per run ($RUNS runs, Xvfb)" \
    "median $(bench_summary <<< "$ratios"); $(column_summary "$out" ours 3) ms against $(column_summary "$out" bare 3) ms" \
    "<= 1.3" "" "$paint_median"
rm -f "$out"
