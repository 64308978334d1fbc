#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Installs what is missing, then builds and tests four times, each build in its
# own folder:
#   plain  build/       Release, every suite
#   asan   build-asan/  AddressSanitizer (with LeakSanitizer) and UndefinedBehaviorSanitizer, every suite
#   tsan   build-tsan/  ThreadSanitizer, the engine, logic, command-line and parity suites but the 4 GiB hash
#   fuzz   build-fuzz/  clang, libFuzzer with ASan and UBSan: the engine and the fuzz targets,
#                       each run QUORVAL_FUZZ_SECONDS (30) on its seed corpus
# Any sanitizer report or fuzzing finding fails its test. QUORVAL_TEST_BUILDS picks builds,
# e.g. "plain"; QUORVAL_JOBS sets the parallel jobs of building and testing (default: the cores).
source "$(dirname "$0")/common.sh"
SANITIZER_PACKAGES=(libasan8 libubsan1 libtsan2)
install_missing "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}" "${SANITIZER_PACKAGES[@]}" "${FUZZ_PACKAGES[@]}"

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1"

BUILDS="${QUORVAL_TEST_BUILDS:-plain asan tsan fuzz}"
for b in $BUILDS; do
    case "$b" in
        plain | asan | tsan | fuzz) ;;
        *) echo "Unknown build '$b' in QUORVAL_TEST_BUILDS (plain, asan, tsan, fuzz)" >&2; exit 2 ;;
    esac
done
SUMMARY=()
FAILED=0
JOBS="${QUORVAL_JOBS:-$(nproc)}"
TICKS=$(getconf CLK_TCK)

# Sets CPU to the whole seconds (user and system) used so far by this shell's
# waited-for children: cutime and cstime of /proc/$$/stat, fields 16 and 17.
child_cpu() {
    local stat fields
    stat=$(< "/proc/$$/stat")
    read -r -a fields <<< "${stat##*) }"  # fields from the third on; the name may hold blanks
    CPU=$(((fields[13] + fields[14]) / TICKS))
}

# Configure options a build adds to those of test_build (the fuzz build's compiler).
EXTRA_CONFIG=()

# test_build NAME DIR WHAT SANITIZE TARGETS [CTEST ARGS...]: configure, build and
# run ctest; records one summary line and never stops the later builds.
test_build() {
    local name="$1" dir="$2" what="$3" sanitize="$4" targets="$5"
    shift 5
    # The run command may have configured the same folder without the tests.
    local start=$SECONDS cpu_start status="passed" config=(-DQUORVAL_SANITIZE="$sanitize" -DQUORVAL_BUILD_TESTS=ON) build_args=()
    child_cpu
    cpu_start=$CPU
    echo
    echo "===== Build '$name' in $dir: $what ====="
    if [ -n "$sanitize" ]; then config+=(-DQUORVAL_BUILD_BENCH=OFF); else config+=(-DQUORVAL_BUILD_BENCH=ON); fi
    config+=("${EXTRA_CONFIG[@]}")
    for t in $targets; do build_args+=(--target "$t"); done
    mkdir -p "$dir"
    # Configure output is noise when it works and the only clue when it does not.
    if ! cmake -S "$ROOT" -B "$dir" -DCMAKE_BUILD_TYPE=Release "${config[@]}" > "$dir/configure.log" 2>&1; then
        cat "$dir/configure.log"
        status="FAILED to configure"
    elif ! cmake --build "$dir" -j"$JOBS" "${build_args[@]}"; then
        status="FAILED to build"
    elif ! (cd "$dir" && ctest --output-on-failure -j"$JOBS" "$@"); then
        status="FAILED its tests"
    fi
    [ "$status" = "passed" ] || FAILED=1
    child_cpu
    local took=$((SECONDS - start)) cpu=$((CPU - cpu_start))
    SUMMARY+=("$(printf '%-6s %-40s %-18s %2d min %02d s (CPU %2d min %02d s)' "$name" "$what" "$status" \
        $((took / 60)) $((took % 60)) $((cpu / 60)) $((cpu % 60)))")
    echo "===== Build '$name' $status ====="
}

for b in $BUILDS; do
    case "$b" in
        plain) test_build plain "$BUILD" "Release, every suite" "" "" ;;
        asan) test_build asan "$BUILD-asan" "ASan+LSan+UBSan, every suite" "address,undefined" "" ;;
        # The 4 GiB hash adds half a minute here and no thread path the smaller files miss.
        tsan) test_build tsan "$BUILD-tsan" "TSan, engine+logic+cli+parity but the 4 GiB hash" "thread" \
            "engine_tests logic_tests quorval-cli parity_tests" -L '^(engine|logic|cli|parity)$' -E 'Above4GiB' ;;
        # The engine and the fuzz targets only, with clang; the targets run as tests, as many at once as jobs.
        fuzz)
            EXTRA_CONFIG=(-DCMAKE_CXX_COMPILER=clang++-14 -DQUORVAL_BUILD_FUZZ=ON -DQUORVAL_BUILD_TESTS=OFF
                -DQUORVAL_BUILD_BENCH=OFF -DQUORVAL_FUZZ_SECONDS="${QUORVAL_FUZZ_SECONDS:-30}")
            test_build fuzz "$BUILD-fuzz" "libFuzzer+ASan+UBSan, 5 targets" "address,undefined" "fuzz" -L '^fuzz$'
            EXTRA_CONFIG=() ;;
    esac
done

echo
echo "===== Summary: ${#SUMMARY[@]} builds ran (wall time, and CPU time over all cores) ====="
printf '%s\n' "${SUMMARY[@]}"
if [ "$FAILED" -ne 0 ]; then
    echo "FAILED"
    exit 1
fi
echo "All builds passed"
