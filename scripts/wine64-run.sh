#!/bin/sh
# Runs a 64-bit Windows program under wine64 in the project's private prefix (never ~/.wine), with the
# project's zh_CN locale so that the ANSI code page is 936 (GBK).
# CMake uses it as the cross-compiling emulator, so test discovery and CTest go through it too.
#   wine64-run.sh prog.exe args...   run a program
#   wine64-run.sh --up | --down      start / stop a persistent wineserver for this prefix
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
if [ -z "$WINEPREFIX" ]; then
    WINEPREFIX="$ROOT/build/wineprefix"
fi
export WINEPREFIX
export WINEDEBUG="${WINEDEBUG:--all}"
if [ -d "$ROOT/build/locale/zh_CN.UTF-8" ]; then
    export LOCPATH="$ROOT/build/locale" LC_ALL=zh_CN.UTF-8
fi
case "$1" in
    --up)
        /usr/lib/wine/wineserver -p >/dev/null 2>&1 </dev/null
        exec /usr/lib/wine/wine64 cmd /c exit >/dev/null 2>&1 </dev/null ;;
    --down)
        exec /usr/lib/wine/wineserver -k ;;
esac
exec /usr/lib/wine/wine64 "$@"
