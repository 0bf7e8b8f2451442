#!/bin/bash
# Sets up and runs every test: host tests (plain and under ASan/UBSan), the fuzzers for a bounded time, the i686
# product build and its run in a 32-bit guest (scripts/win32-vm/run.sh: the install, settings, hostile and
# maintainer's walks and every test program), and the win64 tests under wine64 on a private Xvfb display. At the
# end it prints a table of the stages: seconds and result (also when a build stops the run), and how many win64
# test programs Wine failed to start and had to start again (build/win64/wine-logs/reruns.txt, scripts/wine64-run.sh).
#   QV_FUZZ_SECONDS     seconds per fuzz target (default 60); the targets run side by side, one per processor
#   QV_SKIP_FUZZ=1      leave the fuzzers out (quick local runs)
#   QV_SKIP_WIN32_VM=1  leave the 32-bit guest out (quick local runs; ignored when CI=true)
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
cd "$ROOT"
FUZZ_SECONDS="${QV_FUZZ_SECONDS:-60}"
JOBS="$(nproc)"
RUN_WIN32_VM=0
if [ "${QV_SKIP_WIN32_VM:-0}" != 1 ] || [ "${CI:-}" = true ]; then
    RUN_WIN32_VM=1
fi

step() { printf '\n== %s\n' "$*"; }

# --- stage times: begin_stage NAME ... end_stage; a failed test marks the stage, a failed build stops the run ----
STAGE_TABLE=()
STAGE=""
STAGE_START=0
STAGE_RESULT=passed
RUN_START=$SECONDS
begin_stage() {
    end_stage
    STAGE=$1
    STAGE_START=$SECONDS
    STAGE_RESULT=passed
    step "$1"
}
end_stage() {
    [ -n "$STAGE" ] || return 0
    STAGE_TABLE+=("$(printf '%-58s %6d  %s' "$STAGE" $((SECONDS - STAGE_START)) "$STAGE_RESULT")")
    STAGE=""
}
stage_failed() { STAGE_RESULT=failed; }
print_stages() {  # print_stages EXIT_STATUS
    local status=$1
    if [ -n "$STAGE" ]; then
        STAGE_RESULT="stopped (exit $status)"
        end_stage
    fi
    printf '\n%-58s %6s  %s\n' stage seconds result
    printf '%s\n' "${STAGE_TABLE[@]}"
    printf '%-58s %6d\n' "all" $((SECONDS - RUN_START))
}
trap 'print_stages $?' EXIT

begin_stage "setting up (packages, dependencies, Wine prefix)"
bash scripts/bootstrap.sh
# The guest's image (packages downloaded and unpacked, hardly any processor) is made while the builds run; the
# guest's stage waits for it. build-image.sh returns at once when the image is up to date.
IMAGE_LOG="$ROOT/build/win32-vm-image.log"
IMAGE_PID=""
if [ "$RUN_WIN32_VM" = 1 ]; then
    mkdir -p build
    bash scripts/win32-vm/build-image.sh >"$IMAGE_LOG" 2>&1 &
    IMAGE_PID=$!
fi
bash scripts/build-deps.sh i686-w64-mingw32
bash scripts/build-deps.sh x86_64-w64-mingw32
bash scripts/wine-prefix.sh

FAILED=()
# run_ctest PRESET [JOBS]: the preset's tests, JOBS (default one a processor) at a time.
run_ctest() {
    local preset=$1 jobs=${2:-$JOBS}
    if ! ctest --preset "$preset" -j"$jobs" --timeout 600; then
        FAILED+=("ctest $preset")
        stage_failed
    fi
}

begin_stage "host: build and test"
cmake --preset host >/dev/null
cmake --build --preset host -j"$JOBS"
run_ctest host

begin_stage "host under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake --preset host-san >/dev/null
cmake --build --preset host-san -j"$JOBS"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1 run_ctest host-san

if [ "${QV_SKIP_FUZZ:-0}" != 1 ]; then
    begin_stage "fuzzing (${FUZZ_SECONDS}s of a processor per target, side by side)"
    cmake --preset fuzz >/dev/null
    cmake --build --preset fuzz -j"$JOBS"
    # libFuzzer uses one processor. The targets all run at once, each for as long as gives it FUZZ_SECONDS of a
    # processor when there are more targets than processors (three on two: 90 s each), so that none fuzzes less than
    # alone and no processor waits idle for a last round.
    fuzz_targets=()
    for target in build/fuzz/fuzz/fuzz_*; do
        if [ -x "$target" ]; then
            fuzz_targets+=("$target")
        fi
    done
    fuzz_wall=$FUZZ_SECONDS
    if [ "${#fuzz_targets[@]}" -gt "$JOBS" ]; then
        fuzz_wall=$(((FUZZ_SECONDS * ${#fuzz_targets[@]} + JOBS - 1) / JOBS))
    fi
    fuzz_names=()
    fuzz_pids=()
    for target in "${fuzz_targets[@]}"; do
        name="$(basename "$target")"
        corpus="build/fuzz/corpus/$name"
        mkdir -p "$corpus" "build/fuzz/findings/$name"
        seeds="fuzz/seeds/$name"
        [ -d "$seeds" ] || seeds=""
        echo "-- $name ($fuzz_wall s)"
        "$target" -max_total_time="$fuzz_wall" -print_final_stats=1 -rss_limit_mb=2048 \
            -artifact_prefix="build/fuzz/findings/$name/" "$corpus" $seeds >"build/fuzz/$name.log" 2>&1 &
        fuzz_names+=("$name")
        fuzz_pids+=($!)
    done
    for i in "${!fuzz_pids[@]}"; do
        name="${fuzz_names[$i]}"
        if wait "${fuzz_pids[$i]}"; then
            echo "-- $name: $(grep -E '^stat::number_of_executed_units|^Done' "build/fuzz/$name.log" | tr '\n' ' ')"
        else
            tail -40 "build/fuzz/$name.log"
            FAILED+=("fuzz $name")
            stage_failed
        fi
    done
fi

begin_stage "win32 (i686 product build)"
cmake --preset win32 >/dev/null
cmake --build --preset win32 -j"$JOBS"

# --- the shipped files: dist/ as a maintainer gets it (sizes, imports, SHA256SUMS) ---------------------------------
begin_stage "dist: the shipped 32-bit files and the maintainer's folder"
bash scripts/make-dist.sh
# ------------------------------------------------------------------------------------------------------------------

if [ "$RUN_WIN32_VM" = 1 ]; then
    begin_stage "win32: the i686 build run in a 32-bit guest (qemu)"
    # The image made in the background since the set-up; run.sh makes it itself if that failed.
    wait "$IMAGE_PID" || echo "win32-vm image: the build beside the others failed; run.sh tries again"
    cat "$IMAGE_LOG"
    if ! bash scripts/win32-vm/run.sh; then
        FAILED+=("i686 in the 32-bit guest (build/win32-vm/result.txt)")
        stage_failed
    fi
fi

begin_stage "win64: build"
cmake --preset win64 >/dev/null
cmake --build --preset win64 -j"$JOBS"
begin_stage "win64: test under wine64"
# One display for the whole run; the wineserver must start with it (a display-less server cannot make windows).
source scripts/xvfb.sh
xvfb_start
trap 'qv_status=$?; xvfb_stop; print_stages $qv_status' EXIT
RERUNS="build/win64/wine-logs/reruns.txt"
rm -f "$RERUNS"
# One job more than processors: a Windows test spends part of its time waiting (Wine starting a process, a walk
# waiting for a window), and the walks have three lanes (scripts/walk-lanes.sh). On two processors: 173 s with three
# jobs, 232 s with two, 177 s with four.
run_ctest win64 $((JOBS + 1))
end_stage

step "summary"
if [ -s "$RERUNS" ]; then
    echo "win64: $(wc -l <"$RERUNS") start(s) that Wine failed, made again (scripts/wine64-run.sh):"
    cat "$RERUNS"
else
    echo "win64: no start that Wine failed"
fi
if [ "${#FAILED[@]}" -gt 0 ]; then
    printf 'FAILED: %s\n' "${FAILED[@]}"
    exit 1
fi
echo "all test suites passed"
