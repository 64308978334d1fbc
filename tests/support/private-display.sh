# SPDX-License-Identifier: Apache-2.0
# Sourced by the real-window tests: start_private_display LOG [WIDTHxHEIGHT]
# starts an Xvfb display of its own, 1280x1024 unless told, and exports
# DISPLAY; XVFB_PID names the server for the caller's trap. Returns non-zero,
# with the log on standard output, when no server started.
start_private_display() {
    local log="$1" size="${2:-1280x1024}" number_file="$1.number" number=""
    : > "$number_file"
    # The server picks a free number itself and writes it once it takes
    # clients: tests started side by side never share a display.
    # -noreset: the server would restart whenever its last client leaves.
    # -r: no auto-repeat, or a key sender descheduled between press and
    # release on a loaded machine would type the key over and over.
    Xvfb -displayfd 3 -noreset -r -screen 0 "${size}x24" -nolisten tcp 3>"$number_file" 2>"$log" &
    XVFB_PID=$!
    for _ in $(seq 300); do  # 30 s: the keymap is compiled at start, slowly on a loaded machine
        kill -0 "$XVFB_PID" 2>/dev/null || break
        # Whole once the line has ended.
        read -r number < "$number_file" && break
        number=""
        sleep 0.1
    done
    if [ -z "$number" ]; then
        echo "Xvfb did not start:"
        cat "$log"
        kill "$XVFB_PID" 2>/dev/null
        wait "$XVFB_PID" 2>/dev/null
        XVFB_PID=""
        return 1
    fi
    export DISPLAY=":$number"
}
