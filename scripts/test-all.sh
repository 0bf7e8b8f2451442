#!/bin/bash
# Sets up and runs every test: host tests (plain and under ASan/UBSan), the fuzzers for a bounded time, the i686
# product build and its run in a 32-bit guest (scripts/win32-vm/run.sh: the install walk and every test program),
# and the win64 tests under wine64 on a private Xvfb display.
#   QV_FUZZ_SECONDS     seconds per fuzz target (default 60)
#   QV_SKIP_FUZZ=1      leave the fuzzers out (quick local runs)
#   QV_SKIP_WIN32_VM=1  leave the 32-bit guest out (quick local runs; ignored when CI=true)
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
cd "$ROOT"
FUZZ_SECONDS="${QV_FUZZ_SECONDS:-60}"
JOBS="$(nproc)"

step() { printf '\n== %s\n' "$*"; }

step "setting up"
bash scripts/bootstrap.sh
bash scripts/build-deps.sh i686-w64-mingw32
bash scripts/build-deps.sh x86_64-w64-mingw32
bash scripts/wine-prefix.sh

FAILED=()
run_ctest() {
    local preset=$1
    if ! ctest --preset "$preset" -j"$JOBS" --timeout 600; then
        FAILED+=("ctest $preset")
    fi
}

step "host: build and test"
cmake --preset host >/dev/null
cmake --build --preset host -j"$JOBS"
run_ctest host

step "host under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake --preset host-san >/dev/null
cmake --build --preset host-san -j"$JOBS"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1 run_ctest host-san

if [ "${QV_SKIP_FUZZ:-0}" != 1 ]; then
    step "fuzzing (${FUZZ_SECONDS}s per target)"
    cmake --preset fuzz >/dev/null
    cmake --build --preset fuzz -j"$JOBS"
    for target in build/fuzz/fuzz/fuzz_*; do
        [ -x "$target" ] || continue
        name="$(basename "$target")"
        corpus="build/fuzz/corpus/$name"
        mkdir -p "$corpus" "build/fuzz/findings/$name"
        seeds="fuzz/seeds/$name"
        [ -d "$seeds" ] || seeds=""
        echo "-- $name"
        if ! "$target" -max_total_time="$FUZZ_SECONDS" -print_final_stats=1 -rss_limit_mb=2048 \
            -artifact_prefix="build/fuzz/findings/$name/" "$corpus" $seeds >"build/fuzz/$name.log" 2>&1; then
            tail -40 "build/fuzz/$name.log"
            FAILED+=("fuzz $name")
        else
            grep -E '^stat::number_of_executed_units|^Done' "build/fuzz/$name.log" | tr '\n' ' '
            echo
        fi
    done
fi

step "win32 (i686 product build)"
cmake --preset win32 >/dev/null
cmake --build --preset win32 -j"$JOBS"

# --- the shipped files: dist/ as a maintainer gets it (sizes, imports, SHA256SUMS) ---------------------------------
step "dist: the shipped 32-bit files and the maintainer's folder"
bash scripts/make-dist.sh
# ------------------------------------------------------------------------------------------------------------------

if [ "${QV_SKIP_WIN32_VM:-0}" != 1 ] || [ "${CI:-}" = true ]; then
    step "win32: the i686 build run in a 32-bit guest (qemu)"
    if ! bash scripts/win32-vm/run.sh; then
        FAILED+=("i686 in the 32-bit guest (build/win32-vm/result.txt)")
    fi
fi

step "win64: build, then test under wine64"
cmake --preset win64 >/dev/null
cmake --build --preset win64 -j"$JOBS"
# One display for the whole run; the wineserver must start with it (a display-less server cannot make windows).
source scripts/xvfb.sh
xvfb_start
trap 'xvfb_stop' EXIT
run_ctest win64

step "summary"
if [ "${#FAILED[@]}" -gt 0 ]; then
    printf 'FAILED: %s\n' "${FAILED[@]}"
    exit 1
fi
echo "all test suites passed"
