#!/bin/bash
# The installer on a hostile machine, end to end through its window (xdotool on $DISPLAY), the way a player's
# machine can be: the game sits at the root of a drive (G:, a Wine drive letter linked to the game folder), every
# game file is read-only (no unix write bits: FILE_ATTRIBUTE_READONLY under Wine), and
#
#   planted (before anything is installed) the pack folder "quorvan" is a link to a folder outside, holding an
#           "install-errors.txt", and an "iexplore.exe" of --planted lies in the folder the installer starts from:
#           pressing a web address does not run it; the install is refused with the link named, and nothing behind
#           the link, in the game folder or in the registry changes;
#   link    the pack is installed, then the pack folder "quorvan" is moved away and a link left in its place, with
#           a sentinel file beside the moved pack; the uninstall removes the link alone (nothing behind it) and
#           writes the game's three replaced files back byte for byte;
#   killed  the installer is killed (SIGKILL, as a crash or a power cut) while the pack folder is filling; started
#           again it offers the uninstall, which writes the game's files back byte for byte and removes the pack
#           folder.
#
#   walk_hostile.sh --exe QuorvanSetup.exe (--packtool PACKTOOL | --package DIR) --probe window_probe.exe \
#                   --sample SAMPLE_GAME_DIR --lit window2.bmp --out DIR [--parts "link killed"] \
#                   [--image QuorvanSetup-image.exe --manifest DEMO_MANIFEST] [--planted PROGRAM.exe]
#
# --package is the package as "packtool extract" wrote it; --packtool extracts it first. With --image and
# --manifest (and --packtool) the killed install runs an installer of the demo pack with one more entry of 64 MB
# that does not compress: the demo's own unpack can be over within milliseconds of its first file.
# The install key, the drive letter and the game folders are restored or removed at the end, whatever happened; on a
# failure the screen is saved and described first. Every wait is for a condition (QV_GUI_WAIT seconds, default 120;
# the install QV_E2E_INSTALL_SECONDS, default 300). Environment: WINEPREFIX (as for wine64-run.sh), DISPLAY
# (required), QV_GUI_RUN (gui-lib.sh: the program that runs a Windows program).
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/../.." && pwd)"
source "$ROOT/scripts/gui-lib.sh"

PACKTOOL="" PACKAGE="" PARTS="link killed" IMAGE="" MANIFEST="" PLANTED=""
walk_args walk_hostile "exe packtool? package? probe sample lit out parts? image? manifest? planted?" "$@"
[ -n "$PACKTOOL$PACKAGE" ] || { echo "walk_hostile: --packtool or --package is required" >&2; exit 2; }
GUI_PROBE="$PROBE"
GUI_LIT="$LIT"
walk_begin QvHostile "$OUT" "$EXE" "$PROBE" "$LIT" "$SAMPLE/" ${PACKTOOL:+"$PACKTOOL"}

GAME="$WALK_ROOT/Game"         # the drive's root
MOVED="$WALK_ROOT/MovedPack"   # where the player moved the pack folder to
DRIVE="$WINEPREFIX/dosdevices/g:"
DRIVE_ASIDE="$WINEPREFIX/dosdevices/.qv-hostile-g"
# The game's files that the installation replaces and the uninstall writes back.
REPLACED=(SM3Config.exe psrpc.dll media/data/etc/japanese/loadscreen.png)

# --- the drive and the game folder ----------------------------------------------------------------------------------
DRIVE_TAKEN=""  # 1 once the drive letter is ours; an earlier g: waits in DRIVE_ASIDE
take_drive() {
    rm -f "$DRIVE_ASIDE"
    if [ -e "$DRIVE" ] || [ -L "$DRIVE" ]; then
        mv "$DRIVE" "$DRIVE_ASIDE"
    fi
    DRIVE_TAKEN=1
    ln -s "$GAME" "$DRIVE"
}
give_drive_back() {
    [ -n "$DRIVE_TAKEN" ] || return 0
    rm -f "$DRIVE"
    if [ -e "$DRIVE_ASIDE" ] || [ -L "$DRIVE_ASIDE" ]; then
        mv "$DRIVE_ASIDE" "$DRIVE"
    fi
}

# make_read_only: every file of the game loses its write bits, as a game copied from its CD keeps its read-only
# attribute; Wine must then report each replaced file as read-only.
make_read_only() {
    local file attributes line commands=""
    find "$GAME" -path "$GAME/quorvan" -prune -o -type f -exec chmod a-w {} +
    # One cmd for the three: every Wine program start costs seconds in the 32-bit guest.
    for file in "${REPLACED[@]}"; do
        commands="$commands${commands:+ & }attrib G:\\${file//\//\\}"
    done
    attributes=$("$GUI_RUN" cmd /c "$commands" 2>/dev/null | tr -d '\r')
    for file in "${REPLACED[@]}"; do
        line=$(printf '%s\n' "$attributes" | grep -F "G:\\${file//\//\\}" | head -1)
        [[ "${line%%G:*}" == *R* ]] || fail "Wine does not show G:\\$file as read-only (attrib: \"$line\")"
    done
    say "   every game file is read-only (attrib shows R on the three the pack replaces)"
}

# tree_digest DIR: every file under DIR with its MD5, one a line, in order.
tree_digest() {
    (cd "$1" && find . -type f -print0 | LC_ALL=C sort -z | xargs -0 -r md5sum)
}

# expect_mark_at_drive WHEN: "QuorvanInfo" names the drive's root, as "G:" or "G:\".
expect_mark_at_drive() {
    local mark
    mark=$(gui_reg_value "${GUI_FACT[installed-folder-value]}")
    case "$mark" in
        'REG_SZ    G:' | 'REG_SZ    G:\') say "   registry: QuorvanInfo = ${mark#REG_SZ    }" ;;
        *) fail "registry value QuorvanInfo is \"$mark\" $1, expected the drive root G: or G:\\" ;;
    esac
}

# expect_original_game WHEN: the game folder is the original game again, byte for byte.
expect_original_game() {
    local file
    walk_check_game uninstalled "$1"
    for file in "${REPLACED[@]}"; do
        say "   $file: $(stat -c '%A' "$GAME/$file"), the original bytes"
    done
}

# _box_has_text CAPTION: the shown box with this caption has a text; it is in GUI_BOX_TEXT.
_box_has_text() {
    GUI_BOX_TEXT=$(gui_box_text "$1")
    [ -n "$GUI_BOX_TEXT" ]
}

# --- the player's browser ------------------------------------------------------------------------------------------
# A web address opens in the program the machine names for "http": here a copy of --planted in a folder of its own,
# named in the prefix's own classes for the walk (Wine's own browser hand-off is not what is tested, and it has
# taken Wine's desktop process down with it). BROWSER_SAVED keeps the command that was there.
BROWSER_KEY='HKLM\Software\Classes\http\shell\open\command'
BROWSER_SAVED=""  # empty until set_browser has run; then "-" when there was no command, else the command
set_browser() {
    local saved
    saved=$("$GUI_RUN" reg query "$BROWSER_KEY" /ve 2>/dev/null | tr -d '\r' |
        awk -F'    ' '/REG_SZ/ { print $NF; exit }') || true
    BROWSER_SAVED=${saved:--}
    "$GUI_RUN" reg add "$BROWSER_KEY" /ve /t REG_SZ /d "\"$1\" \"%1\"" /f >/dev/null ||
        fail "could not name the stand-in browser for http"
}
restore_browser() {
    [ -n "$BROWSER_SAVED" ] || return 0
    if [ "$BROWSER_SAVED" = - ]; then
        "$GUI_RUN" reg delete "$BROWSER_KEY" /ve /f >/dev/null 2>&1 || true
    else
        "$GUI_RUN" reg add "$BROWSER_KEY" /ve /t REG_SZ /d "$BROWSER_SAVED" /f >/dev/null 2>&1 ||
            say "could not put back the command for http"
    fi
    BROWSER_SAVED=""
}

# end_desktop_process: ends Wine's desktop process (explorer.exe /desktop) of this prefix and waits until it is gone.
# It ran the web address for the installer; on a loaded machine it has gone down seconds after the installer ended, in
# the middle of the next part, and the one started again made a new desktop: every probe after that saw none of the
# installer's windows. Ended here, with no window of ours open, the next program starts a fresh one.
end_desktop_process() {
    local pid
    for pid in $(pgrep -f 'explorer\.exe /desktop' || true); do
        tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" || continue
        kill "$pid" 2>/dev/null || continue
        gui_poll "$GUI_WAIT" test ! -e "/proc/$pid" || fail "Wine's desktop process $pid did not end"
        say "   Wine's desktop process ended after the web address (the next program starts a new one)"
    done
}

# The drive letter and the browser back as they were, and the large pack's folder removed (walk_finish).
walk_cleanup() {
    restore_browser
    give_drive_back
    rm -rf "$OUT/slow"
}

# --- set-up ---------------------------------------------------------------------------------------------------------
say "== setting up"
walk_package "$EXE" "$PACKTOOL" "$PACKAGE"
PACK_FILES=$(find "$WALK_PACKAGE/quorvan" -type f | wc -l)
KILLED_EXE="$EXE"
if [ -n "$IMAGE" ] && [ -n "$MANIFEST" ] && [ -n "$PACKTOOL" ]; then
    # The demo's manifest names most of its files relative to its own folder: here they get that folder in front.
    rm -rf "$OUT/slow"
    mkdir -p "$OUT/slow"
    head -c $((64 << 20)) /dev/urandom >"$OUT/slow/large.bin"
    { LC_ALL=C sed "s|\t\([^/]\)|\t$(dirname "$MANIFEST")/\1|" "$MANIFEST"
      printf 'quorvan\\zz-large.bin\t%s\r\n' "$OUT/slow/large.bin"; } >"$OUT/slow/manifest.txt"
    "$PACKTOOL" pack --append-to "$IMAGE" "$OUT/slow/QuorvanSetup.exe" "$OUT/slow/manifest.txt" \
        >"$OUT/slow/pack.log" 2>&1 || fail "packtool could not pack the large pack: $(cat "$OUT/slow/pack.log")"
    rm -f "$OUT/slow/large.bin"
    KILLED_EXE="$OUT/slow/QuorvanSetup.exe"
    PACK_FILES=$((PACK_FILES + 1))
    say "   the killed install runs $KILLED_EXE: the demo pack and a 64 MB entry"
fi
walk_setup_game "$SAMPLE" Game none
take_drive
say "   the game folder is the root of drive G: ($GAME)"

for part in $PARTS; do
    case "$part" in
        planted)
            # What an unelevated program of the player's session can leave before the installer runs: the pack
            # folder a link to a folder of its own (holding an "install-errors.txt" that a clean install would
            # delete), and an "iexplore.exe" in the folder the installer is started from.
            say "== planted: G:\\quorvan a link to a folder outside, an iexplore.exe where the installer starts"
            [ -n "$PLANTED" ] || fail "the planted part needs --planted (a program that leaves a mark when it runs)"
            outside="$WALK_ROOT/Outside"
            start_dir="$WALK_ROOT/Downloads"
            browser_dir="$WALK_ROOT/Browser"
            mkdir -p "$outside" "$start_dir" "$browser_dir"
            cp "$PLANTED" "$browser_dir/browser.exe"
            set_browser "$WALK_ROOT_WIN\\Browser\\browser.exe"
            echo "a file of the program that planted the link" >"$outside/install-errors.txt"
            ln -s "$outside" "$GAME/quorvan"
            tree_digest "$outside" >"$OUT/outside-before.txt"
            cp "$EXE" "$start_dir/QuorvanSetup.exe"
            cp "$PLANTED" "$start_dir/iexplore.exe"
            gui_reg_unset "${GUI_FACT[installed-folder-value]}"
            gui_reg_set "${GUI_FACT[game-folder-value]}" 'G:'
            pushd "$start_dir" >/dev/null
            walk_start "$start_dir/QuorvanSetup.exe"
            popd >/dev/null
            gui_expect_state visible hidden "before the install" planted-start

            # A web address opens in the player's browser, never through a program found in the start folder.
            gui_click "${GUI_LAYOUT[iejump.x]}" "${GUI_LAYOUT[iejump.y]}"
            gui_poll "$GUI_WAIT" test -e "$browser_dir/planted-program-ran.txt" ||
                fail "pressing a web address did not open the player's browser"
            [ ! -e "$start_dir/planted-program-ran.txt" ] ||
                fail "pressing a web address ran the iexplore.exe planted where the installer started"
            say "   a web address pressed: the player's browser ran, the planted iexplore.exe did not"

            gui_click "${GUI_LAYOUT[install.x]}" "${GUI_LAYOUT[install.y]}"
            gui_answer_text "安装确认" "安装目录: G:\\ (磁盘剩余空间: " planted-install-confirm
            gui_await_box_text "错误" "安装已取消, 游戏文件没有改动:\n    是链接, 未写入: quorvan" "$WALK_INSTALL_SECONDS"
            gui_shot planted-refused "$GUI_MAIN" "$GUI_BOX"
            gui_dismiss_box "错误"
            tree_digest "$outside" >"$OUT/outside-after.txt"
            cmp -s "$OUT/outside-before.txt" "$OUT/outside-after.txt" ||
                fail "the install changed the folder behind the planted link"
            [ -L "$GAME/quorvan" ] && [ "$(readlink "$GAME/quorvan")" = "$outside" ] ||
                fail "the planted link G:\\quorvan is not as it was"
            gui_expect_no_value "${GUI_FACT[installed-folder-value]}" "after the refused install"
            gui_expect_state visible hidden "after the refused install" planted-refused-state
            rm "$GAME/quorvan"
            expect_original_game "after the refused install"
            say "   refused with the link named; behind it and in the game folder nothing changed, no mark"
            walk_close
            restore_browser
            rm -rf "$outside" "$start_dir" "$browser_dir"
            end_desktop_process
            ;;
        link)
            say "== link: install into G: with read-only game files"
            gui_reg_unset "${GUI_FACT[installed-folder-value]}"
            make_read_only
            gui_reg_set "${GUI_FACT[game-folder-value]}" 'G:'
            walk_start "$EXE"
            gui_expect_state visible hidden "before the install" link-start
            walk_install_pack 'G:\' link-
            expect_mark_at_drive "after the install"
            walk_check_game installed "the read-only game at G:\\ after the install"

            say "== link: the pack folder moved away, a link left in its place"
            mv "$GAME/quorvan" "$MOVED"
            echo "the player's own file beside the moved pack" >"$MOVED/sentinel.txt"
            ln -s "$MOVED" "$GAME/quorvan"
            tree_digest "$MOVED" >"$OUT/moved-before.txt"
            say "   G:\\quorvan -> $MOVED ($(wc -l <"$OUT/moved-before.txt") files there, sentinel.txt among them)"

            say "== link: uninstall"
            # The link is removed as a link, or, where the system offers no way to remove it without following it
            # (Wine opens every link of the machine it runs on as what it points at), left standing and named in
            # the last box. What lies behind it stays, either way.
            walk_uninstall_press link-
            gui_await_box "提示" "$WALK_INSTALL_SECONDS"
            gui_poll "$GUI_WAIT" _box_has_text "提示" || true
            link_left=""
            case "$GUI_BOX_TEXT" in
                *"卸载完成!"*) ;;
                *": quorvan\n"* | *": quorvan") link_left=1 ;;
                *) fail "after the uninstall through the link the box says \"$GUI_BOX_TEXT\"" ;;
            esac
            say "   message box \"提示\": $GUI_BOX_TEXT"
            gui_shot link-uninstall-done "$GUI_MAIN" "$GUI_BOX"
            gui_dismiss_box "提示"
            [ -d "$MOVED" ] || fail "the uninstall removed the folder behind the link"
            tree_digest "$MOVED" >"$OUT/moved-after.txt"
            cmp -s "$OUT/moved-before.txt" "$OUT/moved-after.txt" || {
                say "   behind the link: $(wc -l <"$OUT/moved-after.txt") files left of $(wc -l <"$OUT/moved-before.txt")"
                diff "$OUT/moved-before.txt" "$OUT/moved-after.txt" | head -5 | sed 's/^/   /'
                fail "the uninstall changed what lies behind the link"
            }
            if [ -z "$link_left" ]; then
                [ ! -e "$GAME/quorvan" ] && [ ! -L "$GAME/quorvan" ] || fail "the link G:\\quorvan is still there"
                gui_expect_state visible hidden "after the uninstall through the link" link-uninstalled
                gui_expect_no_value "${GUI_FACT[installed-folder-value]}" "after the uninstall through the link"
                say "   the link is gone; behind it every file, sentinel.txt among them, is as it was"
            else
                [ -L "$GAME/quorvan" ] && [ "$(readlink "$GAME/quorvan")" = "$MOVED" ] ||
                    fail "the uninstall named the link G:\\quorvan but did not leave it as it was"
                say "   the link stands, named in the box; behind it every file, sentinel.txt among them, is as it was"
                mark=$(gui_reg_value "${GUI_FACT[installed-folder-value]}")
                say "   registry: QuorvanInfo \"$mark\"; the player removes the link by hand"
                rm "$GAME/quorvan"
                rm -f "$GAME/uninstall-errors.txt"
            fi
            expect_original_game "after the uninstall through the link"
            walk_close
            rm -rf "$MOVED"
            ;;
        killed)
            say "== killed: install into G:\\ with read-only game files, killed during the unpack"
            gui_reg_unset "${GUI_FACT[installed-folder-value]}"
            make_read_only
            gui_reg_set "${GUI_FACT[game-folder-value]}" 'G:\'
            walk_start "$KILLED_EXE"
            gui_expect_state visible hidden "before the install" killed-start
            gui_click "${GUI_LAYOUT[install.x]}" "${GUI_LAYOUT[install.y]}"
            gui_answer_text "安装确认" '安装目录: G:\ (磁盘剩余空间: ' killed-install-confirm
            # The first file of the unpack in the pack folder is watched for every few milliseconds, and the kill
            # follows at once. The install record (and the new file it is written as, "qv*.tmp", before it takes its
            # name), written before the mark, is not the unpack's.
            python3 - "$GAME/quorvan" "$GUI_APP" "$WALK_INSTALL_SECONDS" <<'PY' || fail "the pack folder never filled"
import fnmatch, os, signal, sys, time
folder, pid, deadline = sys.argv[1], int(sys.argv[2]), time.monotonic() + float(sys.argv[3])
def before_the_mark(top, name):
    return top == folder and (name == "install.rec" or fnmatch.fnmatch(name.lower(), "qv*.tmp"))
def filling():
    for top, _, names in os.walk(folder):
        if [name for name in names if not before_the_mark(top, name)]:
            return True
    return False
while not filling():
    if time.monotonic() > deadline:
        sys.exit(1)
    time.sleep(0.003)
os.kill(pid, signal.SIGKILL)
PY
            wait "$GUI_APP" 2>/dev/null || true
            GUI_APP=""
            unpacked=$(find "$GAME/quorvan" -type f ! -path "$GAME/quorvan/install.rec" | wc -l)
            # The fixed copies over the game's files come after the unpack: psrpc.dll still the game's own proves that
            # the kill came before the end.
            if cmp -s "$GAME/psrpc.dll" "$SAMPLE/psrpc.dll" && [ "$unpacked" -lt "$PACK_FILES" ]; then
                say "   killed with $unpacked of the $PACK_FILES pack-folder files written"
            else
                fail "the install ended before it was killed ($unpacked of $PACK_FILES pack-folder files)"
            fi
            gui_wait_gone Install || fail "the killed installer's window is still shown"
            say "   registry after the kill: QuorvanInfo \"$(gui_reg_value "${GUI_FACT[installed-folder-value]}")\""

            say "== killed: started again, the uninstall is offered"
            walk_start "$KILLED_EXE"
            gui_expect_state hidden visible "after the killed install" killed-restarted
            walk_uninstall killed- "after the uninstall of the killed install"
            [ ! -e "$GAME/quorvan" ] || fail "the pack folder is still there"
            expect_original_game "after the uninstall of the killed install"
            walk_close
            ;;
        *) fail "unknown part $part" ;;
    esac
done
say "== hostile: passed"
