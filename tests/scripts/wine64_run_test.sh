#!/bin/bash
# The Wine wrapper's start rule, with stand-ins for wine64 and wineserver: a program that Wine failed to start is
# started again (at most twice, each logged with Wine's message); a program that started is never run again; a
# program that ended before its main ran never counts as passed; the fixture's server is a persistent one or the
# fixture fails.
#   wine64_run_test.sh WRAPPER WORK_DIR
set -u
WRAPPER=$1
WORK=$2
rm -rf "$WORK"
mkdir -p "$WORK/build/tests/x"
touch "$WORK/build/CMakeCache.txt"
EXE="$WORK/build/tests/x/fake_tests.exe"
touch "$EXE"
LOGS="$WORK/build/wine-logs"
FAILURES=0

# The stand-in wine64: each call takes the next word of $WORK/plan and counts itself in $WORK/calls.
#   nostart    Wine's loader message, no start mark, exit 1      silent0    no message, no mark, exit 0
#   fail       start mark, then a failure with Wine-looking text  pass       start mark, exit 0
#   early      start mark, exit 0 a second later                 late       start mark after 2 s, exit 0
#   nodll      Wine's messages for a DLL the program imports and Wine lacks, no mark, exit 53
cat >"$WORK/wine64" <<'FAKE'
#!/bin/bash
work="$(dirname "$0")"
echo "$*" >>"$work/calls"
n=$(wc -l <"$work/calls")
action=$(tr ' ' '\n' <"$work/plan" | sed -n "${n}p")
mark() { local unix="${QV_STARTED_MARK#Z:}"; echo started >"${unix//\\//}"; }
case "$action" in
    nostart) echo '0024:err:module:LdrInitializeThunk "KERNEL32.dll" failed to initialize, aborting' >&2; exit 1 ;;
    silent0) exit 0 ;;
    nodll) echo '0024:err:module:import_dll Library foo.dll (which is needed by L"fake_tests.exe") not found' >&2
        echo '0024:err:module:LdrInitializeThunk Importing dlls for L"fake_tests.exe" failed, status c0000135' >&2
        exit 53 ;;
    fail) mark; echo '0024:err:module:LdrInitializeThunk "x.dll" failed to initialize, aborting' >&2; exit 1 ;;
    pass) mark; echo '[  PASSED  ] 1 test.'; exit 0 ;;
    early) mark; sleep 1; exit 0 ;;
    late) sleep 2; mark; exit 0 ;;
    plain) exit 7 ;;
esac
exit 99
FAKE
# The stand-in wineserver: records its arguments; -p answers with the next word of $WORK/server-plan (an exit code).
cat >"$WORK/wineserver" <<'FAKE'
#!/bin/bash
work="$(dirname "$0")"
echo "$*" >>"$work/server-calls"
if [ "$1" = -p ]; then
    n=$(grep -cx -- -p "$work/server-calls")
    exit "$(tr ' ' '\n' <"$work/server-plan" | sed -n "${n}p")"
fi
exit 0
FAKE
chmod +x "$WORK/wine64" "$WORK/wineserver"
export QV_WINE64="$WORK/wine64" QV_WINESERVER="$WORK/wineserver" WINEPREFIX="$WORK/prefix"
unset WINEDEBUG

check() {  # check DESCRIPTION CONDITION...
    local what=$1
    shift
    if "$@"; then
        echo "ok: $what"
    else
        echo "FAILED: $what"
        FAILURES=$((FAILURES + 1))
    fi
}
run_case() {  # run_case PLAN ARGS...: runs the wrapper; sets STATUS, CALLS, RERUNS
    rm -rf "$LOGS" "$WORK/calls" "$WORK/server-calls"
    echo "$1" >"$WORK/plan"
    shift
    "$WRAPPER" "$@" >"$WORK/out" 2>"$WORK/err"
    STATUS=$?
    CALLS=$(cat "$WORK/calls" 2>/dev/null | wc -l)
    RERUNS=$(cat "$LOGS/reruns.txt" 2>/dev/null | wc -l)
}

run_case "nostart pass" "$EXE" --gtest_filter=Suite.Case
check "a start that Wine failed is made again and then passes" [ "$STATUS" = 0 ] && [ "$CALLS" = 2 ]
check "the new start is logged with Wine's message" [ "$RERUNS" = 1 ] &&
    grep -q 'Suite.Case: start 1 failed (exit 1): .*KERNEL32.dll" failed to initialize' "$LOGS/reruns.txt"
check "the failed start's output is kept" grep -q KERNEL32 "$LOGS/Suite.Case.failed-start-1.log"
check "the program's output of the start that ran reaches the caller" grep -q PASSED "$WORK/out"

run_case "nostart nostart nostart pass" "$EXE" --gtest_filter=Suite.Case
check "three failed starts fail the test" [ "$STATUS" != 0 ] && [ "$CALLS" = 3 ] && [ "$RERUNS" = 2 ]
check "the last failed start's message is shown" grep -q 'before its main ran; Wine: .*KERNEL32' "$WORK/err"

run_case "fail pass" "$EXE" --gtest_filter=Suite.Case
check "a program that started and failed is not run again" [ "$STATUS" = 1 ] && [ "$CALLS" = 1 ] && [ "$RERUNS" = 0 ]
check "its Wine errors are in its log and on stderr" grep -q 'x.dll' "$LOGS/Suite.Case.log" &&
    grep -q 'x.dll' "$WORK/err"

run_case "silent0 pass" "$EXE" --gtest_filter=Suite.Case
check "a program that ended before its main, saying nothing, fails and is not run again" \
    [ "$STATUS" != 0 ] && [ "$CALLS" = 1 ] && [ "$RERUNS" = 0 ]

run_case "nodll pass" "$EXE" --gtest_filter=Suite.Case
check "a program whose own DLL is missing is not started again" [ "$STATUS" = 53 ] && [ "$CALLS" = 1 ] &&
    [ "$RERUNS" = 0 ] && grep -q 'foo.dll' "$WORK/err"

run_case "nostart pass" "$EXE" --gtest_list_tests
check "test discovery follows the same rule" [ "$STATUS" = 0 ] && [ "$CALLS" = 2 ] &&
    grep -q 'fake_tests.list: start 1 failed' "$LOGS/reruns.txt"

run_case "pass" "$EXE" --gtest_filter='Param/Suite.Case/0'
check "a parameterised name makes a log of its own" [ -f "$LOGS/Param_Suite.Case_0.log" ]

rm -rf "$LOGS" "$WORK/calls"
echo "early late" >"$WORK/plan"  # the second starts while the first runs, and writes its mark after the first ended
"$WRAPPER" "$EXE" --gtest_filter=Suite.Case >/dev/null 2>&1 &
first=$!
sleep 0.5
"$WRAPPER" "$EXE" --gtest_filter=Suite.Case >/dev/null 2>&1
second=$?
wait "$first"
check "two runs of one test at the same time keep their own start marks" [ "$?" = 0 ] && [ "$second" = 0 ]

run_case "plain" "$EXE" some-argument
check "a program that is not a test runs once, its exit status untouched, without a log" \
    [ "$STATUS" = 7 ] && [ "$CALLS" = 1 ] && [ ! -d "$LOGS" ]

echo "2 0" >"$WORK/server-plan"
run_case "pass" --up
check "the fixture ends a server that is still there and starts a persistent one" [ "$STATUS" = 0 ] &&
    [ "$(tr '\n' ' ' <"$WORK/server-calls")" = "-k -w -p -k -w -p " ]
echo "2 2 2 2 2" >"$WORK/server-plan"
run_case "pass" --up
check "the fixture fails when no persistent server could be started" [ "$STATUS" != 0 ] && [ "$CALLS" = 0 ]

[ "$FAILURES" = 0 ] || { echo "$FAILURES check(s) failed"; exit 1; }
echo "all checks passed"
