#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Times a fresh clone of this checkout's HEAD to Quorval's window: `git clone`
# into an empty folder, then `bash scripts/run.sh` on a private Xvfb display,
# until the "Exemple" window is mapped. Prints that time and the CPU time of
# run.sh (build and start), then closes the window and removes the clone.
source "$(dirname "$0")/common.sh"
install_missing "${BUILD_PACKAGES[@]}" "${RUN_PACKAGES[@]}" xvfb xdotool x11-utils

WORK=$(mktemp -d)
XVFB_PID=""
cleanup() {
    [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null
    rm -rf "$WORK"
}
trap cleanup EXIT

# A display of our own, started as the real-window tests start theirs.
source "$ROOT/tests/support/private-display.sh"
start_private_display "$WORK/xvfb.log" >&2 || exit 1

echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
start=$EPOCHREALTIME
git clone -q "$ROOT" "$WORK/quorval"
(cd "$WORK/quorval" && exec /usr/bin/time -f '%U %S' -o "$WORK/cpu" bash scripts/run.sh > "$WORK/run.log" 2>&1) &
RUN_PID=$!
if ! window=$(timeout 900 xdotool search --sync --onlyvisible --name '^Exemple$' | head -n 1) || [ -z "$window" ]; then
    echo "no window; the run said:" >&2
    cat "$WORK/run.log" >&2
    exit 1
fi
mapped=$EPOCHREALTIME
pid=$(xprop -id "$window" _NET_WM_PID | awk '{ print $3 }')
kill "$pid"
wait "$RUN_PID" || true  # ends by the signal
awk -v a="$start" -v b="$mapped" 'BEGIN { printf "fresh clone to window: %.1f s\n", b - a }'
tail -n 1 "$WORK/cpu" | awk '{ printf "CPU time of run.sh: %.1f s (user %.1f s, system %.1f s)\n", $1 + $2, $1, $2 }'
echo "files compiled: $(grep -c 'Building CXX' "$WORK/run.log")"
