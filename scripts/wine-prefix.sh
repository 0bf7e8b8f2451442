#!/bin/bash
# Prepares the private Wine prefix (build/wineprefix) and the zh_CN locale (build/locale) that the Windows tests
# and the demo run in: ANSI code page 936, a CJK font standing in for SimSun, and unmanaged windows (there is no
# window manager under Xvfb). Idempotent: a stamp makes later runs return at once. With --user-folders it only turns
# the user's folders that Wine linked to the real home into plain folders inside the prefix.
# QV_WINE names another Wine loader (the 32-bit guest of scripts/win32-vm uses /usr/lib/wine/wine).
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
export WINEPREFIX="${WINEPREFIX:-$ROOT/build/wineprefix}"
export WINEDEBUG=-all
LOCALE_DIR="$ROOT/build/locale"
W="${QV_WINE:-/usr/lib/wine/wine64}"

# zh_CN (code page 936) for every run; the others for the runs under another system code page (QV_LOCALE of
# wine64-run.sh): ja_JP 932, en_US 1252, hi_IN UTF-8 (65001).
for locale in zh_CN ja_JP en_US hi_IN; do
    if [ ! -d "$LOCALE_DIR/$locale.UTF-8" ]; then
        mkdir -p "$LOCALE_DIR"
        localedef -i "$locale" -f UTF-8 "$LOCALE_DIR/$locale.UTF-8" 2>/dev/null || true
    fi
done

STAMP="$WINEPREFIX/.qv-configured"

# Wine links the user's documents and the like to the real home folder. The tests and the demo put a save file into
# the documents folder, so those links become plain folders inside the prefix (also in prefixes made before).
private_user_folders() {
    local link
    for link in "$WINEPREFIX"/drive_c/users/*/{Documents,Desktop,Downloads,Music,Pictures,Videos}; do
        if [ -L "$link" ]; then
            rm "$link"
            mkdir "$link"
        fi
    done
}

if [ "${1:-}" = --user-folders ]; then  # only that, for the tests' set-up
    [ -d "$WINEPREFIX/drive_c/users" ] && private_user_folders
    exit 0
fi
if [ -f "$STAMP" ]; then
    private_user_folders
    exit 0
fi

echo "wine-prefix: creating $WINEPREFIX"
# Keep the server's environment free of a display that may vanish, then create the prefix.
/usr/lib/wine/wineserver -k 2>/dev/null || true
DISPLAY= $W wineboot -i >/dev/null 2>&1 || true

FONT_FILE=/usr/share/fonts/truetype/wqy/wqy-microhei.ttc
FONT_FAMILY="WenQuanYi Micro Hei"
if [ -f "$FONT_FILE" ]; then
    cp "$FONT_FILE" "$WINEPREFIX/drive_c/windows/Fonts/"
fi
cat > "$WINEPREFIX/qv-setup.reg" <<REG
REGEDIT4

[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]
"SimSun"="$FONT_FAMILY"
"NSimSun"="$FONT_FAMILY"
"MS Shell Dlg"="$FONT_FAMILY"

[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]
"Managed"="N"

[HKEY_CURRENT_USER\\Software\\Wine\\WineDbg]
"ShowCrashDialog"=dword:00000000
REG
DISPLAY= $W reg import 'C:\qv-setup.reg' >/dev/null 2>&1 || DISPLAY= $W reg import "$WINEPREFIX/qv-setup.reg" >/dev/null 2>&1
DISPLAY= $W reg add 'HKCU\Software\Wine\Fonts\Replacements' /v '宋体' /d "$FONT_FAMILY" /f >/dev/null 2>&1
/usr/lib/wine/wineserver -w
private_user_folders
touch "$STAMP"
