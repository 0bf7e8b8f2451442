#!/bin/sh
# Inside the guest: runs a 32-bit Windows program under the guest's 32-bit Wine, in the job's prefix and the
# project's zh_CN locale (ANSI code page 936) or the one QV_LOCALE names. The guest's counterpart of scripts/wine64-run.sh.
ROOT="$(cd "$(dirname "$0")/../.." && pwd)"
: "${WINEPREFIX:?set WINEPREFIX}"
export WINEPREFIX WINEARCH=win32
export WINEDEBUG="${WINEDEBUG:--all}"
if [ -d "$ROOT/build/locale/zh_CN.UTF-8" ]; then
    export LOCPATH="$ROOT/build/locale"
fi
# QV_LOCALE names another locale of the guest (ja_JP.UTF-8: code page 932), as for wine64-run.sh.
export LC_ALL="${QV_LOCALE:-zh_CN.UTF-8}"
exec /usr/lib/wine/wine "$@"
