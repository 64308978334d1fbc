#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The window on small real screens: qt_tests' ScreenFit tests (each under a 9 and a
# 12 pt font) on private Xvfb displays of 1366x768 and 1280x720, at QT_SCALE_FACTOR
# 1, 1.25 and 2, option buttons clicked through the X server by xdotool. Pictures of
# the whole screen, tab by tab, go to SHOTS/<size>-scale-<factor>/.
# Usage: run.sh QT_TESTS SHOTS. Exits 77 (skipped) when Xvfb or xdotool is missing.
set -u
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
qt_tests="$1"
shots="$2"

missing=()
command -v Xvfb >/dev/null || missing+=(xvfb)
command -v xdotool >/dev/null || missing+=(xdotool)
command -v dbus-run-session >/dev/null || missing+=(dbus-daemon)
if [ ${#missing[@]} -ne 0 ]; then
    echo "Skipped: needs ${missing[*]}"
    exit 77
fi

work="$(mktemp -d)"
XVFB_PID=""
stop_display() {
    [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null && wait "$XVFB_PID" 2>/dev/null
    XVFB_PID=""
}
trap 'stop_display; rm -rf "$work"' EXIT
source "$here/../../support/private-display.sh"

export QT_QPA_PLATFORM=xcb
export XDG_RUNTIME_DIR="$work"
# No desktop settings of the machine running the test: the font is the test's.
unset QT_QPA_PLATFORMTHEME XDG_CURRENT_DESKTOP DESKTOP_SESSION QT_FONT_DPI
status=0
for size in 1366x768 1280x720; do
    start_private_display "$work/xvfb-$size.log" "$size" || exit 1
    for scale in 1 1.25 2; do
        echo "== $size at scale $scale"
        rm -rf "$shots/$size-scale-$scale"
        # A session bus of its own, as a desktop has: without one, Qt's attempts to reach
        # it leave an allocation of libdbus behind, which LeakSanitizer reports.
        QT_SCALE_FACTOR="$scale" QUORVAL_SCREEN_SHOTS="$shots/$size-scale-$scale" \
            dbus-run-session -- "$qt_tests" --gtest_filter='ScreenFit.*' --gtest_brief=1 \
            2> >(grep -v -e 'fd limit' -e '^dbus-daemon' >&2) || status=1
    done
    stop_display
done
exit "$status"
