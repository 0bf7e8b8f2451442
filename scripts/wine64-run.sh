#!/bin/sh
# Runs a 64-bit Windows program under wine64 in the project's private prefix (never ~/.wine), with the
# project's zh_CN locale so that the ANSI code page is 936 (GBK), or the locale that QV_LOCALE names.
# CMake uses it as the cross-compiling emulator, so test discovery and CTest go through it too.
#   wine64-run.sh prog.exe args...   run a program
#   wine64-run.sh --up | --down      start / stop a persistent wineserver for this prefix
#
# A test program (any run with a --gtest_ argument: CTest's cases and their discovery) runs with Wine's error
# channel on (WINEDEBUG=-all,err+all unless WINEDEBUG is set); its stderr goes to <build>/wine-logs/<test>.log and is
# copied to this script's stderr when it ends. The program writes the file named in QV_STARTED_MARK as soon as its
# main runs (tests/common/TestMain.cpp). A program that never got there did not start: when Wine's log says why
# (the loader or the server failed), the start is logged in <build>/wine-logs/reruns.txt with Wine's message and
# made again, at most twice; otherwise the run fails. A program that started is never run again, whatever it did.
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
if [ -z "$WINEPREFIX" ]; then
    WINEPREFIX="$ROOT/build/wineprefix"
fi
export WINEPREFIX
# QV_LOCALE names another locale of build/locale (scripts/wine-prefix.sh makes them): the program then runs under
# that system code page (ja_JP.UTF-8 932, en_US.UTF-8 1252, hi_IN.UTF-8 65001).
QV_LOCALE="${QV_LOCALE:-zh_CN.UTF-8}"
if [ -d "$ROOT/build/locale/$QV_LOCALE" ]; then
    export LOCPATH="$ROOT/build/locale" LC_ALL="$QV_LOCALE"
fi
# QV_WINE64 and QV_WINESERVER name other programs in their place (tests/scripts/wine64_run_test.sh).
WINE="${QV_WINE64:-/usr/lib/wine/wine64}"
# Debian's /usr/lib/wine/wineserver adds -p0: a server that a program starts by itself ends as soon as the prefix's
# last program has ended. A later -p takes precedence.
SERVER="${QV_WINESERVER:-/usr/lib/wine/wineserver}"

case "$1" in
    --up)
        # One server for the whole run, persistent until --down. A server that is still there (test discovery's,
        # or one that is just ending) would make -p answer "already running" and leave the run with a server that
        # comes and goes between tests: end it first, and make sure that the persistent one is the one running.
        export WINEDEBUG="${WINEDEBUG:--all}"
        for attempt in 1 2 3 4 5; do
            "$SERVER" -k >/dev/null 2>&1 </dev/null
            "$SERVER" -w >/dev/null 2>&1 </dev/null
            if "$SERVER" -p >/dev/null 2>&1 </dev/null; then
                exec "$WINE" cmd /c exit >/dev/null 2>&1 </dev/null
            fi
        done
        echo "wine64-run: could not start a persistent wineserver for $WINEPREFIX" >&2
        exit 1 ;;
    --down)
        exec "$SERVER" -k ;;
esac

test_name=""
for arg in "$@"; do
    case "$arg" in
        --gtest_filter=*) test_name="${arg#--gtest_filter=}" ;;
        --gtest_list_tests) test_name="$(basename "$1" .exe).list" ;;
    esac
done
if [ -z "$test_name" ]; then
    export WINEDEBUG="${WINEDEBUG:--all}"
    exec "$WINE" "$@"
fi

# The build tree the program belongs to (the folder with CMakeCache.txt above it), else the program's folder.
build_dir="$(cd "$(dirname "$1")" && pwd)"
program_dir="$build_dir"
while [ "$build_dir" != / ] && [ ! -f "$build_dir/CMakeCache.txt" ]; do
    build_dir="$(dirname "$build_dir")"
done
[ -f "$build_dir/CMakeCache.txt" ] || build_dir="$program_dir"
LOG_DIR="$build_dir/wine-logs"
mkdir -p "$LOG_DIR"
log_name="$(printf '%s' "$test_name" | tr -c 'A-Za-z0-9._-' '_')"
LOG="$LOG_DIR/$log_name.log"
MARK="$LOG_DIR/$log_name.$$.started"  # one per run: two runs of one test may overlap
export WINEDEBUG="${WINEDEBUG:--all,err+all}"
QV_STARTED_MARK="Z:$(printf '%s' "$MARK" | tr '/' '\134')"
export QV_STARTED_MARK

# What Wine prints when a program could not be started: the loader, the server connection or a system DLL's start.
# A DLL that the program imports and Wine lacks, or a crash before main, is the program's own failure, never Wine's.
START_FAILED='wine: could not load|wine: failed to|wine client error|wineserver|LdrInitializeThunk|failed to initialize, aborting'
OWN_FAILURE='import_dll|Unhandled'

attempt=1
while :; do
    rm -f "$MARK"
    # A server started here for a run outside the fixture stays a minute (not Debian's 0 s), detached from CTest's
    # output pipes. When one is already running this only says so.
    "$SERVER" -p60 >/dev/null 2>&1 </dev/null
    "$WINE" "$@" 2>"$LOG"
    status=$?
    if [ -f "$MARK" ]; then
        rm -f "$MARK"
        cat "$LOG" >&2
        exit "$status"
    fi
    wine_says=""
    if ! grep -qE "$OWN_FAILURE" "$LOG"; then
        wine_says="$(grep -E "$START_FAILED" "$LOG" | head -3 | tr '\n' ' ')"
    fi
    if [ -n "$wine_says" ] && [ "$attempt" -lt 3 ]; then
        cp "$LOG" "$LOG_DIR/$log_name.failed-start-$attempt.log"
        line="$(date '+%F %T') $test_name: start $attempt failed (exit $status): $wine_says"
        echo "$line" >>"$LOG_DIR/reruns.txt"
        echo "wine64-run: $line; starting it again" >&2
        attempt=$((attempt + 1))
        continue
    fi
    cat "$LOG" >&2
    echo "wine64-run: $test_name ended (exit $status) before its main ran${wine_says:+; Wine: $wine_says}" >&2
    [ "$status" -ne 0 ] || status=1
    exit "$status"
done
