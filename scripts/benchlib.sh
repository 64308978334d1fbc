# Shared by the benchmark scripts: interleaved pairs of whole-process runs,
# ours against a peer doing the same work, and one line of figures per pair.
#
# Both sides are timed as whole processes by /usr/bin/time: wall time, CPU
# time (user + system) and peak memory. Anything a side needs removed first
# (its previous output) is removed outside the timed part. The ratio is taken
# per pair, peer time over ours, so above 1 means we are faster; the line gives
# the median ratio and its spread (lowest to highest) over PAIRS pairs.

PAIRS="${PAIRS:-5}"

# Prints "wall cpu peakKiB" for one run of a shell command line; fails if it fails.
bench_measure() {
    local out
    out=$(mktemp)
    if ! /usr/bin/time -f '%e %U %S %M' -o "$out" sh -c "$1" >/dev/null 2>"$out.err"; then
        echo "benchmark command failed: $1" >&2
        cat "$out.err" >&2
        rm -f "$out" "$out.err"
        return 1
    fi
    awk 'END { printf "%s %.2f %s\n", $1, $2 + $3, $4 }' "$out"
    rm -f "$out" "$out.err"
}

bench_median() { sort -g | awk '{a[NR]=$1} END { if (NR == 0) print 0; else if (NR % 2) print a[(NR+1)/2]; else print (a[NR/2] + a[NR/2+1]) / 2 }'; }
bench_min() { sort -g | head -n 1; }
bench_max() { sort -g | tail -n 1; }

# bench_pair LABEL TARGET CLEAN OURS PEERNAME PEER
#   CLEAN runs (untimed) before every timed run of either side.
bench_pair() {
    local label="$1" target="$2" clean="$3" ours="$4" peername="$5" peer="$6"
    local ratios=() owall=() ocpu=() omem=() pwall=() pcpu=() pmem=() i ow oc om pw pc pm
    for i in $(seq "$PAIRS"); do
        # Alternate which side goes first, so neither always runs on a warmer machine.
        if [ $((i % 2)) -eq 1 ]; then
            sh -c "$clean"; read -r ow oc om < <(bench_measure "$ours") || return 1
            sh -c "$clean"; read -r pw pc pm < <(bench_measure "$peer") || return 1
        else
            sh -c "$clean"; read -r pw pc pm < <(bench_measure "$peer") || return 1
            sh -c "$clean"; read -r ow oc om < <(bench_measure "$ours") || return 1
        fi
        owall+=("$ow"); ocpu+=("$oc"); omem+=("$om"); pwall+=("$pw"); pcpu+=("$pc"); pmem+=("$pm")
        ratios+=("$(awk -v o="$ow" -v p="$pw" 'BEGIN { printf "%.3f", (o > 0 ? p / o : 0) }')")
    done
    sh -c "$clean"
    local r rmin rmax
    r=$(printf '%s\n' "${ratios[@]}" | bench_median)
    rmin=$(printf '%s\n' "${ratios[@]}" | bench_min)
    rmax=$(printf '%s\n' "${ratios[@]}" | bench_max)
    printf '%-36s ours %6.2f s (cpu %6.2f s, %5d MiB) | %-28s %6.2f s (cpu %6.2f s, %5d MiB) | ratio %.2f (%.2f-%.2f)%s\n' \
        "$label" \
        "$(printf '%s\n' "${owall[@]}" | bench_median)" "$(printf '%s\n' "${ocpu[@]}" | bench_median)" \
        "$(( $(printf '%s\n' "${omem[@]}" | bench_max) / 1024 ))" \
        "$peername" \
        "$(printf '%s\n' "${pwall[@]}" | bench_median)" "$(printf '%s\n' "${pcpu[@]}" | bench_median)" \
        "$(( $(printf '%s\n' "${pmem[@]}" | bench_max) / 1024 ))" \
        "$r" "$rmin" "$rmax" "${target:+  [target $target]}"
}

# A file of random bytes of the given size in MiB, made once and read into the page cache.
bench_random_file() {
    local path="$1" mib="$2"
    if [ ! -f "$path" ] || [ "$(stat -c %s "$path")" -ne $((mib * 1024 * 1024)) ]; then
        head -c "$((mib * 1024 * 1024))" /dev/urandom > "$path"
    fi
    cat "$path" > /dev/null
}

# "median (lowest-highest)" of the numbers on standard input.
bench_summary() {
    sort -g | awk '{a[NR]=$1} END { m = (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2
                                    printf "%.2f (%.2f-%.2f)", m, a[1], a[NR] }'
}

# Milliseconds per key of `openssl genpkey` without its process start-up: N
# runs less N runs of `openssl version`.
bench_openssl_keygen_ms() {
    local bits="$1" n="$2" t0 t1 t2
    t0=$EPOCHREALTIME
    for _ in $(seq "$n"); do openssl genpkey -algorithm RSA -pkeyopt "rsa_keygen_bits:$bits" -out /dev/null 2>/dev/null; done
    t1=$EPOCHREALTIME
    for _ in $(seq "$n"); do openssl version >/dev/null; done
    t2=$EPOCHREALTIME
    awk -v a="$t0" -v b="$t1" -v c="$t2" -v n="$n" 'BEGIN { printf "%.2f\n", ((b - a) - (c - b)) * 1000 / n }'
}

# bench_keygen LABEL BITS N OURS TARGET: OURS makes N keys in one process and
# prints its milliseconds per key; openssl's figure is taken the same way.
# One line: both medians, our peak memory, and the ratio openssl over ours.
bench_keygen() {
    local label="$1" bits="$2" n="$3" ours="$4" target="${5:-}"
    local o p mem out ratios=() owns=() peers=() mems=()
    out=$(mktemp)
    for _ in $(seq "$PAIRS"); do
        o=$(/usr/bin/time -f %M -o "$out" sh -c "$ours" 2>/dev/null) || { echo "benchmark command failed: $ours" >&2; return 1; }
        mem=$(tail -n 1 "$out")
        p=$(bench_openssl_keygen_ms "$bits" "$n")
        owns+=("$o"); peers+=("$p"); mems+=("$mem")
        ratios+=("$(awk -v o="$o" -v p="$p" 'BEGIN { printf "%.3f", p / o }')")
    done
    rm -f "$out"
    printf '%-36s ours %7.2f ms per key (%4d MiB) | openssl genpkey %7.2f ms per key | ratio %s%s\n' \
        "$label" "$(printf '%s\n' "${owns[@]}" | bench_median)" "$(( $(printf '%s\n' "${mems[@]}" | bench_max) / 1024 ))" \
        "$(printf '%s\n' "${peers[@]}" | bench_median)" "$(printf '%s\n' "${ratios[@]}" | bench_summary)" \
        "${target:+  [target $target]}"
}

# bench_setup FOLDER: the scripts' common ground. DATA is the folder under the
# build, SRC its random file of SIZE_MIB MiB (1 GiB by default) in the page
# cache; gpg keeps its state there, and Qt runs offscreen.
bench_setup() {
    SIZE_MIB="${SIZE_MIB:-1024}"
    DATA="$BUILD/$1"
    mkdir -p "$DATA"
    SRC="$DATA/random.bin"
    bench_random_file "$SRC" "$SIZE_MIB"
    export GNUPGHOME="$DATA/gnupg"
    mkdir -p "$GNUPGHOME" && chmod 700 "$GNUPGHOME"
    export QT_QPA_PLATFORM=offscreen
}

# The gpg command line of both sides' runs, and its strongest iterated S2K
# (SHA-256), the nearest it has to our PBKDF2 cost.
BENCH_GPG="gpg --batch --yes --quiet --no-symkey-cache --pinentry-mode loopback"
BENCH_GPG_S2K="--s2k-mode 3 --s2k-digest-algo SHA256 --s2k-count 65011712"
