#!/bin/bash
# The job inside the 32-bit guest, started by its init (/sbin/qv-init) from the shared folder as job.sh.
#
# The host (scripts/win32-vm/run.sh) shares a folder that holds job.env and tree.tar: the files of the source tree
# and of the i686 build that the job needs, under their absolute host paths. They are unpacked to the same paths
# on the guest's own disk, so that the test programs find the build outputs where their compiled-in paths say and
# Wine maps programs from a local disk (a program mapped straight from the 9p share reads back a broken image).
#
# Stages, each timed: the prefix (32-bit, zh_CN, CJK font, as scripts/wine-prefix.sh makes it), every walk of
# QV_WALKS (scripts/win32-vm/walk-NAME.sh, in order), then every test program of QV_TESTS once, as one process (the
# programs of QV_TESTS_PER_CASE one process a suite).
# Writes into out/ of the share: result.txt (lines "stage NAME SECONDS", "walk NAME passed|failed SECONDS [WHY]",
# "test NAME passed|failed SECONDS CASES [WHY]"), the walks' screenshots and the programs' logs.
set -uo pipefail
SHARE=/mnt/share
OUT="$SHARE/out"
mkdir -p "$OUT/tests"
RESULT="$OUT/result.txt"
: >"$RESULT"
echo "booted $(cut -d' ' -f1 /proc/uptime)" >>"$RESULT"

# shellcheck source=/dev/null
source "$SHARE/job.env"  # QV_ROOT, QV_WALKS, QV_TESTS, QV_TEST_SECONDS
say() { printf '%s\n' "$*"; }
record() { echo "$*" >>"$RESULT"; }

say "== unpacking the build into $QV_ROOT"
started=$SECONDS
tar -C / -xf "$SHARE/tree.tar" || { record "stage unpack failed"; exit 1; }
record "stage unpack $((SECONDS - started))"
cd "$QV_ROOT" || exit 1

export WINEPREFIX=/root/wineprefix-win32 WINEARCH=win32 WINEDEBUG=-all
export QV_WINE=/usr/lib/wine/wine QV_SOURCE_DIR="$QV_ROOT"
RUN="$QV_ROOT/scripts/win32-vm/wine32-run.sh"

say "== the 32-bit prefix"
started=$SECONDS
if ! LOCPATH="$QV_ROOT/build/locale" LC_ALL=zh_CN.UTF-8 bash "$QV_ROOT/scripts/wine-prefix.sh"; then
    record "stage prefix failed"
    exit 1
fi
record "stage prefix $((SECONDS - started))"
say "prefix ready in $((SECONDS - started)) s"

# One display for the whole job; the wineserver starts with it and stays until it is ended (-p). A server that a
# program starts by itself ends as soon as the prefix's last program has ended, and a program started in that moment
# finds its connection reset ("wine client error:0: recvmsg: Connection reset by peer") and never runs.
source "$QV_ROOT/scripts/xvfb.sh"
xvfb_start || { record "stage display failed"; exit 1; }
# fresh_server: ends the server that runs (and every program of the prefix with it), then starts the lasting one.
fresh_server() {
    /usr/lib/wine/wineserver -k 2>/dev/null
    /usr/lib/wine/wineserver -w 2>/dev/null
    /usr/lib/wine/wineserver -p 2>/dev/null
    "$RUN" cmd /c exit >/dev/null 2>&1 </dev/null
}
trap '/usr/lib/wine/wineserver -k 2>/dev/null; xvfb_stop' EXIT
fresh_server

for walk in $QV_WALKS; do
    say "== walk: $walk"
    started=$SECONDS
    mkdir -p "$OUT/$walk"
    QV_WALK_OUT="$OUT/$walk" bash "$QV_ROOT/scripts/win32-vm/walk-$walk.sh" 2>&1 | tee "$OUT/$walk/walk.log"
    status=${PIPESTATUS[0]}
    if [ "$status" = 0 ]; then
        record "walk $walk passed $((SECONDS - started))"
    else
        why=$(sed -n 's/^FAIL: //p' "$OUT/$walk/walk.log" | tail -1)
        record "walk $walk failed $((SECONDS - started)) ${why:-exit status $status}"
    fi
    fresh_server
done

# Each test program once, from its build folder (as CTest runs it), with the wineserver of the display kept up.
# run_program TEST NAME [FILTER]: one process of the test program, its result recorded as NAME.
run_program() {
    local test=$1 name=$2 filter=${3:-} started=$SECONDS log status ran passed cases why
    say "== test program: $name"
    log="$OUT/tests/${name//\//_}.log"  # a parameterised case's name holds "/"
    PROGRAM_LOG=$log
    (cd "$(dirname "$test")" && timeout -k 10 "$QV_TEST_SECONDS" "$RUN" "$test" --gtest_color=no ${filter:+"--gtest_filter=$filter"}) \
        >"$log" 2>&1 </dev/null
    status=$?
    ran=$(sed -n 's/^\[==========\] \([0-9]*\) tests\? from .* ran\..*/\1/p' "$log" | tail -1)
    passed=$(sed -n 's/^\[  PASSED  \] \([0-9]*\) tests\?\..*/\1/p' "$log" | tail -1)
    cases="${passed:-0}/${ran:-?}"
    tail -3 "$log"
    if [ "$status" = 0 ] && [ -n "$ran" ] && [ "$passed" = "$ran" ]; then
        record "test $name passed $((SECONDS - started)) $cases"
    else
        if [ "$status" = 124 ] || [ "$status" = 137 ]; then
            why="still running after $QV_TEST_SECONDS s"
        elif [ -z "$ran" ]; then
            why="ended with status $status before its summary"
        else
            why=$(tr -d '\r' <"$log" | sed -n 's/^\[  FAILED  \] \([A-Za-z][^ ]*\).*/\1/p' | sort -u)
            why="$(echo "$why" | wc -l) case(s) failed: $(echo "$why" | head -5 | tr '\n' ' ')"
        fi
        record "test $name failed $((SECONDS - started)) $cases $why"
    fi
    # A program that crashed or timed out may leave windows or processes behind: start the next one clean.
    [ "$status" = 0 ] || fresh_server
}

# Programs whose suites run apart, each suite in a process of its own: a suite's cases leave the process-wide state
# of the program as CTest's one process a case would never see it, and one process a suite keeps a fault of that
# kind to its suite while sparing the guest a Wine start (seconds on the emulated processor) for each case.
# (Programs of the machine Wine runs on, such as ln, rm and kill, are started by the tests through a go-between
# process, tests/common/HostRun_win.cpp: started by the test process itself, on 32-bit Wine, they spoiled it.)
QV_TESTS_PER_CASE=${QV_TESTS_PER_CASE:-installer_tests}
# Cases left to wine64 (gtest patterns, ":"-separated), in every program: none today.
QV_TESTS_EXCLUDE=${QV_TESTS_EXCLUDE:-}
# matches_any TEXT PATTERNS: TEXT matches one of the space-separated shell patterns.
matches_any() {
    local pattern patterns
    read -ra patterns <<<"$2"  # not expanded as file names
    for pattern in "${patterns[@]}"; do
        # shellcheck disable=SC2053
        [[ "$1" == $pattern ]] && return 0
    done
    return 1
}
# run_cases TEST NAME: the program's suites one process each, its cases counted and its failed cases named on one
# line for the whole program.
run_cases() {
    local test=$1 name=$2 started=$SECONDS list suites=() cases=() suite case total=0 passed=0 failed=() log
    list=$(cd "$(dirname "$test")" && "$RUN" "$test" --gtest_list_tests 2>/dev/null </dev/null | tr -d '\r')
    suite=""
    while IFS= read -r line; do
        case "$line" in
            "  "*)
                case=${line#  }
                case=${case%%  #*}
                [[ "$case" == DISABLED_* || "$suite" == DISABLED_* ]] && continue
                if matches_any "$suite$case" "${QV_TESTS_EXCLUDE//:/ }"; then
                    say "   $suite$case: left to wine64"
                    continue
                fi
                cases+=("$suite$case")
                [[ " ${suites[*]} " == *" $suite "* ]] || suites+=("$suite")
                ;;
            *.) suite=$line ;;
        esac
    done <<<"$list"
    # run_group LABEL FILTER COUNT: one process for COUNT cases; the cases that did not pass go to `failed`.
    run_group() {
        local label=$1 filter=$2 count=$3 ran_here passed_here names
        run_program "$test" "$name.$label" "$filter" >/dev/null
        sed -i '$d' "$RESULT"  # one line for the whole program below
        log=$PROGRAM_LOG
        total=$((total + count))
        passed_here=$(sed -n 's/^\[  PASSED  \] \([0-9]*\) tests\?\..*/\1/p' "$log" | tail -1)
        ran_here=$(sed -n 's/^\[==========\] \([0-9]*\) tests\? from .* ran\..*/\1/p' "$log" | tail -1)
        if [ "${ran_here:-0}" = "$count" ]; then
            passed=$((passed + ${passed_here:-0}))
            mapfile -t names < <(tr -d '\r' <"$log" | sed -n 's/^\[  FAILED  \] \([A-Za-z][^ ,]*\).*/\1/p' | sort -u)
            failed+=("${names[@]}")
        else
            # It ended before its summary, or ran other cases than listed: none of its cases counts as passed.
            failed+=("$label(ran ${ran_here:-none} of $count)")
        fi
    }
    for suite in "${suites[@]}"; do
        local members=0 exclude="" excluded
        for case in "${cases[@]}"; do
            [[ "$case" == "$suite"* ]] && members=$((members + 1))
        done
        # The suite's excluded cases stay out of its process too.
        IFS=: read -ra excluded <<<"$QV_TESTS_EXCLUDE"
        for case in "${excluded[@]}"; do
            [[ "$case" == "$suite"* ]] && exclude="$exclude:$case"
        done
        run_group "${suite%.}" "$suite*${exclude:+-${exclude#:}}" "$members"
    done
    if [ "$total" -gt 0 ] && [ "$passed" = "$total" ] && [ "${#failed[@]}" = 0 ]; then
        record "test $name passed $((SECONDS - started)) $passed/$total (one process a suite)"
    else
        record "test $name failed $((SECONDS - started)) $passed/$total ${#failed[@]} case(s) failed: ${failed[*]:0:8}"
    fi
}
for test in $QV_TESTS; do
    name=$(basename "$test" .exe)
    if [[ " $QV_TESTS_PER_CASE " == *" $name "* ]]; then
        run_cases "$test" "$name"
    else
        run_program "$test" "$name" "${QV_TESTS_EXCLUDE:+-$QV_TESTS_EXCLUDE}"
    fi
done
record "done"
exit 0
