# SPDX-License-Identifier: Apache-2.0
# Shared by the benchmark scripts: interleaved pairs of runs, ours against a
# peer doing the same work, one figure per line, and every line also written
# to a results file that scripts/bench-table.py turns into the README's table.
#
# A pair is one run of each side, the side that goes first alternating. Each
# run gives a wall time, a CPU time (user + system, child processes included)
# and a peak memory. The ratios are taken per pair, the peer's time over ours,
# so above 1 means we are faster; a line gives the median ratio and its spread
# (lowest to highest) for the wall time and for the CPU time.
#
# Two kinds of run:
# - whole process (the default): the shell's clock around the command for the
#   wall time, /usr/bin/time for the CPU time and peak memory. The command may
#   be a loop of processes; `per=N` then divides by N and shows ms per key.
# - in process (`inproc=1`): the command times its own work and prints
#   "WALL CPU" (ms per key) as its last line; process start-up is left out on
#   both sides.
#
# Options are set for one call, before the function: `pairs=9 bench_pair ...`.
#   pairs=N     pairs for this line (lines that write files use PAIRS_WRITE)
#   floor=NAME  the noise floor this line is judged against: file (default) or keygen
#   per=N       whole-process runs of N keys: show milliseconds per key
#   per_unit=W  what one of the N is, when not a key (e.g. run)
#   inproc=1    in-process runs, as above
#
# Standing: a median wall ratio inside the noise floor's band is "level";
# above it "ahead", below it "behind". The band is the floor line's spread,
# made symmetric (a ratio and its inverse), since which side is called ours
# in a line of a command against itself is arbitrary.

export LC_ALL=C.UTF-8   # a decimal point in every number, whatever the session's locale

# Quick mode proves the scripts work end to end in a few minutes; its figures
# are too small and too few to quote.
if [ "${QUICK:-0}" = 1 ]; then
    SIZE_MIB="${SIZE_MIB:-64}"
    PAIRS="${PAIRS:-3}"
    PAIRS_WRITE="${PAIRS_WRITE:-$PAIRS}"
fi
PAIRS="${PAIRS:-5}"
# A file write's system time swings widely on this kind of machine, for every
# side alike: the lines that write files take more pairs.
PAIRS_WRITE="${PAIRS_WRITE:-9}"
export QUICK PAIRS PAIRS_WRITE

bench_median() { sort -g | awk '{a[NR]=$1} END { if (NR == 0) print 0; else if (NR % 2) print a[(NR+1)/2]; else print (a[NR/2] + a[NR/2+1]) / 2 }'; }
bench_min() { sort -g | head -n 1; }
bench_max() { sort -g | tail -n 1; }

# "median lowest highest" of the numbers on standard input.
bench_stats() {
    sort -g | awk '{a[NR]=$1} END { if (NR == 0) { print "0 0 0"; exit }
                                    m = (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2
                                    printf "%.4f %.4f %.4f\n", m, a[1], a[NR] }'
}

# "median (lowest-highest)" of the numbers on standard input.
bench_summary() {
    bench_stats | awk '{ printf "%.2f (%.2f-%.2f)", $1, $2, $3 }'
}

# bench_ratio PEER OURS: the peer's figure over ours, or "" when ours is 0
# (too short for the clock to see).
bench_ratio() {
    awk -v p="$1" -v o="$2" 'BEGIN { if (o > 0) printf "%.4f\n", p / o }'
}

# bench_band LOW HIGH: the floor's spread made symmetric, "low high".
bench_band() {
    awk -v lo="$1" -v hi="$2" 'BEGIN { l = lo; h = hi
        if (hi > 0 && 1 / hi < l) l = 1 / hi
        if (lo > 0 && 1 / lo > h) h = 1 / lo
        printf "%.4f %.4f\n", l, h }'
}

# bench_standing MEDIAN BAND: level, ahead or behind; "" without a band.
bench_standing() {
    [ -n "$2" ] || return 0
    awk -v m="$1" -v band="$2" 'BEGIN { split(band, b, " ")
        print (m < b[1] ? "behind" : m > b[2] ? "ahead" : "level") }'
}

# bench_target_met VALUE TARGET STANDING: "yes" or "no" for a target of the
# form ">= X", "> X", "<= X", "< X" or "level" (a standing of level or ahead);
# "" for a target that is not a number to check, or no target.
bench_target_met() {
    local value="$1" target="$2" standing="${3:-}"
    case "$target" in
        level*) [ -n "$standing" ] || return 0
                [ "$standing" = behind ] && echo no || echo yes ;;
        ">="* | ">"* | "<="* | "<"*)
            awk -v v="$value" -v t="$target" 'BEGIN {
                op = t; sub(/[ 0-9.].*$/, "", op); x = t; sub(/^[<>=]+ */, "", x); x += 0
                ok = (op == ">=") ? v >= x : (op == ">") ? v > x : (op == "<=") ? v <= x : v < x
                print (ok ? "yes" : "no") }' ;;
    esac
}

# A stable name for a line, for the notes table of scripts/bench-table.py.
bench_key() {
    printf '%s' "$*" | tr 'A-Z' 'a-z' | sed -e 's/[^a-z0-9]\{1,\}/-/g' -e 's/^-//' -e 's/-$//'
}

# Appends one tab-separated record to the results file, if there is one.
bench_record() {
    [ -n "${BENCH_RESULTS:-}" ] || return 0
    local IFS=$'\t'
    printf '%s\n' "$*" >> "$BENCH_RESULTS"
}

# bench_figure LABEL VALUE TARGET [MET] [NUMBER]: a line that is a figure, not a
# ratio (abort latency, memory, start-up). NUMBER, when given, is checked
# against TARGET; MET overrides that check.
bench_figure() {
    local label="$1" value="$2" target="${3:-}" met="${4:-}" number="${5:-}"
    if [ -z "$met" ] && [ -n "$number" ]; then met=$(bench_target_met "$number" "$target"); fi
    printf '%s: %s%s\n' "$label" "$value" "$(bench_verdict "$target" "$met")"
    bench_record figure "$(bench_key "$label")" "$label" "$value" "$target" "$met"
}

# Prints "wall cpu peakKiB" for one run of a shell command line (see above for
# the two kinds); fails if the command fails. Times are in seconds for a
# whole process, in the command's own unit in process.
bench_measure() {
    local cmd="$1" out start end status=0
    out=$(mktemp)
    start=$EPOCHREALTIME
    /usr/bin/time -f '%U %S %M' -o "$out" sh -c "$cmd" >"$out.stdout" 2>"$out.err" || status=$?
    end=$EPOCHREALTIME
    if [ "$status" -ne 0 ]; then
        echo "benchmark command failed ($status): $cmd" >&2
        cat "$out.err" >&2
        rm -f "$out" "$out.stdout" "$out.err"
        return 1
    fi
    if [ "${inproc:-0}" = 1 ]; then
        tail -n 1 "$out.stdout" | awk -v mem="$(tail -n 1 "$out" | awk '{ print $3 }')" \
            'NF >= 2 { printf "%s %s %s\n", $1, $2, mem; found = 1 } END { exit !found }' || {
            echo "no \"WALL CPU\" line from: $cmd" >&2
            rm -f "$out" "$out.stdout" "$out.err"
            return 1
        }
    else
        tail -n 1 "$out" | awk -v a="$start" -v b="$end" -v per="${per:-0}" '{
            wall = b - a; cpu = $1 + $2
            if (per > 0) { wall = wall * 1000 / per; cpu = cpu * 1000 / per }
            printf "%.4f %.4f %s\n", wall, cpu, $3 }'
    fi
    rm -f "$out" "$out.stdout" "$out.err"
}

# "median (lowest-highest)" of a "median lowest highest" triple, "-" for none.
bench_spread() { [ -n "$1" ] && awk '{ printf "%.2f (%.2f-%.2f)", $1, $2, $3 }' <<< "$1" || printf -- "-"; }

# bench_side WALL CPU MIB UNIT: one side of a line, from two triples.
bench_side() {
    local w c fmt="%.2f"
    read -r -a w <<< "$1"; read -r -a c <<< "$2"
    [ "$4" = s ] || fmt="%.1f"
    printf "$fmt %s ($fmt-$fmt), cpu $fmt %s, %d MiB" "${w[0]}" "$4" "${w[1]}" "${w[2]}" "${c[0]}" "$4" "$3"
}

# The verdict of a line against its target, as printed.
bench_verdict() { [ -n "$1" ] && printf '  [target %s%s]' "$1" "${2:+: $([ "$2" = yes ] && echo met || echo MISSED)}"; true; }

# bench_pair LABEL TARGET CLEAN OURS PEERNAME PEER
#   CLEAN runs (untimed) before every timed run of either side. TARGET is
#   checked against the median wall ratio (see bench_target_met).
bench_pair() {
    local label="$1" target="$2" clean="$3" ours="$4" peername="$5" peer="$6"
    local n="${pairs:-$PAIRS}" unit="s"
    if [ -n "${per:-}" ] || [ "${inproc:-0}" = 1 ]; then unit="ms/${per_unit:-key}"; fi
    local walls=() cpus=() owall=() ocpu=() omem=() pwall=() pcpu=() pmem=() i ow oc om pw pc pm r
    for i in $(seq "$n"); do
        # Alternate which side goes first, so neither always runs on a warmer machine.
        if [ $((i % 2)) -eq 1 ]; then
            sh -c "$clean"; read -r ow oc om < <(bench_measure "$ours") && [ -n "$ow" ] || return 1
            sh -c "$clean"; read -r pw pc pm < <(bench_measure "$peer") && [ -n "$pw" ] || return 1
        else
            sh -c "$clean"; read -r pw pc pm < <(bench_measure "$peer") && [ -n "$pw" ] || return 1
            sh -c "$clean"; read -r ow oc om < <(bench_measure "$ours") && [ -n "$ow" ] || return 1
        fi
        owall+=("$ow"); ocpu+=("$oc"); omem+=("$om"); pwall+=("$pw"); pcpu+=("$pc"); pmem+=("$pm")
        r=$(bench_ratio "$pw" "$ow"); if [ -n "$r" ]; then walls+=("$r"); fi
        r=$(bench_ratio "$pc" "$oc"); if [ -n "$r" ]; then cpus+=("$r"); fi
    done
    sh -c "$clean"
    local ow3 oc3 pw3 pc3 wr="" cr="" omax pmax
    ow3=$(printf '%s\n' "${owall[@]}" | bench_stats)
    oc3=$(printf '%s\n' "${ocpu[@]}" | bench_stats)
    pw3=$(printf '%s\n' "${pwall[@]}" | bench_stats)
    pc3=$(printf '%s\n' "${pcpu[@]}" | bench_stats)
    if [ ${#walls[@]} -gt 0 ]; then wr=$(printf '%s\n' "${walls[@]}" | bench_stats); fi
    if [ ${#cpus[@]} -gt 0 ]; then cr=$(printf '%s\n' "${cpus[@]}" | bench_stats); fi
    omax=$(( $(printf '%s\n' "${omem[@]}" | bench_max) / 1024 ))
    pmax=$(( $(printf '%s\n' "${pmem[@]}" | bench_max) / 1024 ))

    local floorname="${floor:-file}" standing="" met=""
    if [ -n "$wr" ]; then standing=$(bench_standing "${wr%% *}" "$(bench_floor_band "$floorname")"); fi
    if [ "${is_floor:-0}" = 1 ]; then standing="floor"; fi
    if [ -n "$wr" ]; then met=$(bench_target_met "${wr%% *}" "$target" "$standing"); fi

    printf '%-64s wall %s %-6s cpu %s%s\n' "$label vs $peername" "$(bench_spread "$wr")" "$standing" \
        "$(bench_spread "$cr")" "$(bench_verdict "$target" "$met")"
    printf '    ours %s | peer %s | %d pairs\n' "$(bench_side "$ow3" "$oc3" "$omax" "$unit")" \
        "$(bench_side "$pw3" "$pc3" "$pmax" "$unit")" "$n"
    bench_record pair "$(bench_key "$label vs $peername")" "$label" "$peername" "$unit" "$n" \
        "$(bench_tabs "$ow3")" "$(bench_tabs "$oc3")" "$omax" "$(bench_tabs "$pw3")" "$(bench_tabs "$pc3")" "$pmax" \
        "$(bench_tabs "$wr")" "$(bench_tabs "$cr")" "$target" "$standing" "$met" "$floorname"
    # For a noise floor: its median wall ratio and spread.
    BENCH_LAST_RATIO="$wr"
}

# A "median lowest highest" triple as three tab-separated fields (empty ones for none).
bench_tabs() { if [ -n "$1" ]; then tr ' ' '\t' <<< "$1"; else printf '\t\t'; fi; }

# bench_floor_band NAME: the band of a measured noise floor, or "".
bench_floor_band() {
    case "$1" in
        file) printf '%s' "${BENCH_FLOOR_FILE:-}" ;;
        keygen) printf '%s' "${BENCH_FLOOR_KEYGEN:-}" ;;
    esac
}

# The noise floor of the file lines: the same command against itself, first.
bench_noise_floor() {
    is_floor=1 bench_pair "botan hash SHA-1 against itself (noise floor)" "" "true" \
        "botan hash --buf-size=65536 --algo=SHA-1 $SRC" \
        "botan hash (the same)" "botan hash --buf-size=65536 --algo=SHA-1 $SRC"
    local r
    read -r -a r <<< "$BENCH_LAST_RATIO"
    BENCH_FLOOR_FILE=$(bench_band "${r[1]}" "${r[2]}")
    export BENCH_FLOOR_FILE
    bench_record meta floor-file "$BENCH_FLOOR_FILE"
}

# The noise floor of the key generation lines: OpenSSL's generator in one
# process against itself, RSA-1024, as many keys a run as the 1024-bit lines.
# Prime search time varies from key to key, so this band is wider than the
# file lines' one.
bench_keygen_floor() {
    local speed="$1" n="$2"
    is_floor=1 floor=keygen inproc=1 bench_pair "OpenSSL RSA-1024 in one process against itself (key generation noise floor)" "" "true" \
        "$speed openssl 1024 $n" "the same" "$speed openssl 1024 $n"
    local r
    read -r -a r <<< "$BENCH_LAST_RATIO"
    BENCH_FLOOR_KEYGEN=$(bench_band "${r[1]}" "${r[2]}")
    export BENCH_FLOOR_KEYGEN
    bench_record meta floor-keygen "$BENCH_FLOOR_KEYGEN"
}

# A file of random bytes of the given size in MiB, made once and read into the page cache.
bench_random_file() {
    local path="$1" mib="$2"
    if [ ! -f "$path" ] || [ "$(stat -c %s "$path")" -ne $((mib * 1024 * 1024)) ]; then
        head -c "$((mib * 1024 * 1024))" /dev/urandom > "$path"
    fi
    cat "$path" > /dev/null
}

# bench_setup FOLDER: the scripts' common ground. DATA is the folder under the
# build, SRC its random file of SIZE_MIB MiB (1 GiB by default) in the page
# cache; gpg keeps its state there, and Qt runs offscreen. Opens the results
# file unless a calling script has one open (BENCH_RESULTS).
bench_setup() {
    SIZE_MIB="${SIZE_MIB:-1024}"
    export SIZE_MIB
    DATA="$BUILD/$1"
    mkdir -p "$DATA"
    SRC="$DATA/random.bin"
    bench_random_file "$SRC" "$SIZE_MIB"
    export GNUPGHOME="$DATA/gnupg"
    mkdir -p "$GNUPGHOME" && chmod 700 "$GNUPGHOME"
    export QT_QPA_PLATFORM=offscreen
    if [ -z "${BENCH_RESULTS:-}" ]; then
        local script commit
        script=$(basename "$0" .sh)
        commit=$(git -C "$ROOT" rev-parse --short HEAD 2>/dev/null || echo unknown)
        [ -n "$(git -C "$ROOT" status --porcelain --untracked-files=no 2>/dev/null)" ] && commit="$commit+changes"
        mkdir -p "$BUILD/bench-results"
        BENCH_RESULTS="$BUILD/bench-results/$script-$(date +%Y%m%d-%H%M%S)-${commit%+changes}$([ "${QUICK:-0}" = 1 ] && echo -quick || true).tsv"
        export BENCH_RESULTS
        {
            printf '# kinds: meta NAME VALUE | figure KEY LABEL VALUE TARGET MET | pair KEY LABEL PEER UNIT PAIRS\n'
            printf '#   OURS_WALL(med lo hi) OURS_CPU(med lo hi) OURS_MIB PEER_WALL(med lo hi) PEER_CPU(med lo hi) PEER_MIB\n'
            printf '#   WALL_RATIO(med lo hi) CPU_RATIO(med lo hi) TARGET STANDING MET FLOOR\n'
        } > "$BENCH_RESULTS"
        bench_record meta script "$script"
        bench_record meta commit "$commit"
        bench_record meta date "$(date '+%Y-%m-%d %H:%M %Z')"
        bench_record meta machine "$(nproc) cores, $(awk -F': ' '/^model name/ { print $2; exit }' /proc/cpuinfo), $(awk '/^MemTotal/ { printf "%d GB", $2 / 1e6 }' /proc/meminfo)"
        bench_record meta load-before "$(cut -d' ' -f1-3 /proc/loadavg)"
        bench_record meta size-mib "$SIZE_MIB"
        bench_record meta pairs "$PAIRS"
        bench_record meta pairs-write "$PAIRS_WRITE"
        bench_record meta quick "${QUICK:-0}"
    fi
}

# Closes the run: the load afterwards, and where the results are.
bench_finish() {
    bench_record meta load-after "$(cut -d' ' -f1-3 /proc/loadavg)"
    echo "Results: $BENCH_RESULTS (load average now $(cut -d' ' -f1-3 /proc/loadavg))"
}

# The gpg command line of both sides' runs, and its strongest iterated S2K
# (SHA-256), the nearest it has to our key derivation's cost.
BENCH_GPG="gpg --batch --yes --quiet --no-symkey-cache --pinentry-mode loopback"
BENCH_GPG_S2K="--s2k-mode 3 --s2k-digest-algo SHA256 --s2k-count 65011712"
