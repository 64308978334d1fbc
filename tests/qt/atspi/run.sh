#!/usr/bin/env bash
# The AT-SPI test: the real program on a private X server and D-Bus session
# with accessibility on, walked by atspi_tree.py as a screen reader sees it.
# Usage: run.sh PROGRAM. Exits 77 (skipped) when a tool it needs is missing.
set -u
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
program="$1"
python=/usr/bin/python3  # Debian's, which has the GObject bindings

missing=()
command -v Xvfb >/dev/null || missing+=(xvfb)
command -v xdotool >/dev/null || missing+=(xdotool)
command -v dbus-run-session >/dev/null || missing+=(dbus-daemon)
[ -x /usr/libexec/at-spi-bus-launcher ] || missing+=(at-spi2-core)
"$python" -c 'import gi; gi.require_version("Atspi", "2.0"); from gi.repository import Atspi' 2>/dev/null ||
    missing+=(python3-gi gir1.2-atspi-2.0)
if [ ${#missing[@]} -ne 0 ]; then
    echo "Skipped: needs ${missing[*]}"
    exit 77
fi

work="$(mktemp -d)"
xvfb=""
trap '[ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null && wait "$xvfb" 2>/dev/null; rm -rf "$work"' EXIT
# A display of our own, with its lock file, and answering before the program starts.
for number in $(seq 90 189); do
    [ -e "/tmp/.X$number-lock" ] && continue
    # -noreset: the server would restart whenever its last client leaves, the probe below for one.
    Xvfb ":$number" -noreset -screen 0 1280x1024x24 -nolisten tcp 2>"$work/xvfb.log" &
    xvfb=$!
    for _ in $(seq 100); do
        kill -0 "$xvfb" 2>/dev/null || break
        DISPLAY=":$number" xdotool getdisplaygeometry >/dev/null 2>&1 && break 2
        sleep 0.1
    done
    kill "$xvfb" 2>/dev/null
    wait "$xvfb" 2>/dev/null
    xvfb=""
done
if [ -z "$xvfb" ]; then
    echo "Xvfb did not start:"
    cat "$work/xvfb.log"
    exit 1
fi

export DISPLAY=":$number"
export XDG_RUNTIME_DIR="$work"
export QT_QPA_PLATFORM=xcb
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
export QT_SCALE_FACTOR=1
# The session bus starts the accessibility bus and its registry on demand.
dbus-run-session -- "$python" "$here/atspi_tree.py" "$program" \
    2> >(grep -v -e 'fd limit' -e '^dbus-daemon' -e '^X connection to' >&2)
