#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The end-to-end test: the real program on a private X server and D-Bus session,
# driven by journeys.py with real mouse and key events.
# Usage: run.sh PROGRAM SCREENSHOT_FOLDER [JOURNEY...]. Exits 77 (skipped) when a tool it needs is missing.
set -u
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
program="$1"
shots="$2"
python=/usr/bin/python3  # Debian's, which has the GObject bindings

missing=()
command -v Xvfb >/dev/null || missing+=(xvfb)
command -v xdotool >/dev/null || missing+=(xdotool)
command -v xclip >/dev/null || missing+=(xclip)
command -v import >/dev/null || missing+=(imagemagick)
command -v rhash >/dev/null || missing+=(rhash)
command -v openssl >/dev/null || missing+=(openssl)
command -v dbus-run-session >/dev/null || missing+=(dbus-daemon)
[ -x /usr/libexec/at-spi-bus-launcher ] || missing+=(at-spi2-core)
"$python" -c 'import gi; gi.require_version("Atspi", "2.0"); from gi.repository import Atspi' 2>/dev/null ||
    missing+=(python3-gi gir1.2-atspi-2.0)
if [ ${#missing[@]} -ne 0 ]; then
    echo "Skipped: needs ${missing[*]}"
    exit 77
fi

work="$(mktemp -d)"
XVFB_PID=""
trap '[ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null && wait "$XVFB_PID" 2>/dev/null; rm -rf "$work"' EXIT
source "$here/../support/private-display.sh"
start_private_display "$work/xvfb.log" || exit 1

mkdir -p "$work/runtime" "$work/files"
chmod 700 "$work/runtime"
export XDG_RUNTIME_DIR="$work/runtime"
export QT_QPA_PLATFORM=xcb
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
export QT_SCALE_FACTOR=1
# No desktop settings of the machine running the test: Qt's own dialogs, the same look everywhere.
unset QT_QPA_PLATFORMTHEME XDG_CURRENT_DESKTOP DESKTOP_SESSION
export HOME="$work/runtime"
# The session bus starts the accessibility bus and its registry on demand.
dbus-run-session -- "$python" "$here/journeys.py" "$program" "$shots" "$work/files" "${@:3}" \
    2> >(grep -v -e 'fd limit' -e '^dbus-daemon' -e '^X connection to' -e '^XIO: ' -e ' requests (.* known processed)' >&2)
