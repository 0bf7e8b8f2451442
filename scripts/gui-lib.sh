# Sourced: walks the installer's window on $DISPLAY with xdotool and takes screenshots with ImageMagick. Shared by
# scripts/demo.sh and the end-to-end test (tests/e2e).
#
# The caller defines say TEXT (prints a line) and fail MESSAGE (reports and ends the script), sets GUI_OUT (the
# folder for screenshots) and has WINEPREFIX exported. gui_start_installer sets GUI_APP (the program's process) and
# GUI_MAIN (the X window of its main window); gui_await_box sets GUI_BOX, gui_wait_exit GUI_APP_STATUS.
QV_ROOT="${QV_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}"
GUI_RUN="$QV_ROOT/scripts/wine64-run.sh"
GUI_APP=""
GUI_MAIN=""
GUI_BOX=""
GUI_APP_STATUS=""
GUI_SHOT_COUNT=0
# Every wait here is for a condition, polled every tenth of a second, with a limit that holds on a busy machine: GUI_WAIT
# seconds (QV_GUI_WAIT, default 120) unless the caller gives its own.
GUI_WAIT="${QV_GUI_WAIT:-120}"

# gui_poll SECONDS COMMAND...: runs COMMAND until it succeeds; false when SECONDS have passed first.
gui_poll() {
    local deadline=$((SECONDS + $1))
    shift
    until "$@"; do
        [ "$SECONDS" -lt "$deadline" ] || return 1
        sleep 0.1
    done
}

# gui_layout: shell assignments for the first record of every command word in the demo layout file (the one the
# package carries): LAYOUT_<COMMAND>_ID (its control id), _LEFT, _TOP, _RIGHT, _BOTTOM, _X and _Y (its centre) and
# _FIRST, _SECOND (its text arguments), e.g. LAYOUT_INSTALL_X. Use as: eval "$(gui_layout)".
gui_layout() {
    python3 - "$QV_ROOT/payload/demo" <<'PY'
import os, shlex, sys
sys.dont_write_bytecode = True
sys.path.insert(0, sys.argv[1])
import winpos
_, records = winpos.load(os.path.join(sys.argv[1], "winpos.txt"))
seen = set()
for index, r in enumerate(records):
    if r.command in seen:
        continue
    seen.add(r.command)
    left, top, right, bottom = r.rect
    values = {"ID": 1000 + index, "LEFT": left, "TOP": top, "RIGHT": right, "BOTTOM": bottom,
              "X": (left + right) // 2, "Y": (top + bottom) // 2, "FIRST": r.first, "SECOND": r.second}
    for key, value in values.items():
        print("LAYOUT_%s_%s=%s" % (r.command.upper(), key, shlex.quote(str(value))))
PY
}

# gui_find_window NAME [SECONDS]: the X id of the visible window with exactly this title (empty when none came).
gui_find_window() {
    timeout "${2:-$GUI_WAIT}" xdotool search --sync --onlyvisible --name "^$1\$" 2>/dev/null | head -1
}

_gui_shown() { xdotool search --onlyvisible --name "^$1\$" >/dev/null 2>&1; }
_gui_not_shown() { ! _gui_shown "$1"; }

# gui_wait_gone NAME [SECONDS]: until no window with exactly this title is shown; false after the time.
gui_wait_gone() {
    gui_poll "${2:-$GUI_WAIT}" _gui_not_shown "$1"
}

# gui_wait_ready NAME [SECONDS]: until a window with exactly this title is shown and settled: it has the X input
# focus, or the same X window has been shown for a second (Wine passes keys on to the active window of the program
# even when X gave the focus to another of its windows). Sets GUI_READY to its X id; false after the time.
GUI_READY=""
_GUI_SEEN=""
_GUI_SEEN_AT=0
_gui_ready() {
    local id
    id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1)
    [ -n "$id" ] || { _GUI_SEEN=""; return 1; }
    if [ "$id" != "$_GUI_SEEN" ]; then  # Wine may replace the X window while it shows a box
        _GUI_SEEN=$id
        _GUI_SEEN_AT=$(date +%s%N)
    fi
    GUI_READY=$id
    [ "$(xdotool getwindowfocus 2>/dev/null)" = "$id" ] || [ $(($(date +%s%N) - _GUI_SEEN_AT)) -ge 1000000000 ]
}
gui_wait_ready() {
    _GUI_SEEN=""
    gui_poll "${2:-$GUI_WAIT}" _gui_ready "$1"
}

# gui_shot NAME WINDOW_ID...: a screenshot of the smallest area that holds the windows, numbered in order, into
# $GUI_OUT.
gui_shot() {
    local file x0=100000 y0=100000 x1=0 y1=0 id X Y WIDTH HEIGHT SCREEN WINDOW
    GUI_SHOT_COUNT=$((GUI_SHOT_COUNT + 1))
    file=$(printf '%02d-%s.png' "$GUI_SHOT_COUNT" "$1")
    shift
    sleep 0.4  # the last repaint of what is shown, for the picture only; no result depends on it
    for id in "$@"; do
        eval "$(xdotool getwindowgeometry --shell "$id")"
        [ "$X" -lt "$x0" ] && x0=$X
        [ "$Y" -lt "$y0" ] && y0=$Y
        [ $((X + WIDTH)) -gt "$x1" ] && x1=$((X + WIDTH))
        [ $((Y + HEIGHT)) -gt "$y1" ] && y1=$((Y + HEIGHT))
    done
    import -window root -crop "$((x1 - x0))x$((y1 - y0))+$x0+$y0" +repage "$GUI_OUT/$file"
    say "   screenshot: $GUI_OUT/$file"
}

# gui_screen FILE: the whole screen, as it is, into $GUI_OUT/FILE (for failure reports).
gui_screen() {
    import -window root "$GUI_OUT/$1" 2>/dev/null && say "   screenshot of the whole screen: $GUI_OUT/$1"
}

# gui_click X Y: a press at client position X,Y of the main window (its client area starts at its corner).
gui_click() {
    xdotool mousemove --window "$GUI_MAIN" "$1" "$2" click 1
}

# gui_lit_difference COMMAND LIT_PICTURE: how many pixels of the control of COMMAND (its first record) on the screen
# differ from the same area of the highlighted skin picture. A control that is shown lights up under the mouse;
# a hidden one leaves the window's own picture there.
gui_lit_difference() {
    local command=${1^^} X Y WIDTH HEIGHT SCREEN WINDOW left top width height
    eval "left=\$LAYOUT_${command}_LEFT top=\$LAYOUT_${command}_TOP"
    eval "width=\$((LAYOUT_${command}_RIGHT - left)) height=\$((LAYOUT_${command}_BOTTOM - top))"
    eval "$(xdotool getwindowgeometry --shell "$GUI_MAIN")"
    import -window root -crop "${width}x${height}+$((X + left))+$((Y + top))" +repage "$GUI_OUT/.area.png"
    convert "$2" -crop "${width}x${height}+$left+$top" +repage "$GUI_OUT/.lit.png"
    compare -metric AE -fuzz 4% "$GUI_OUT/.area.png" "$GUI_OUT/.lit.png" null: 2>&1 || true
    rm -f "$GUI_OUT/.area.png" "$GUI_OUT/.lit.png"
}

# gui_is_lit COMMAND LIT_PICTURE: true when at most one pixel in twenty of the control differs from its
# highlighted picture.
gui_is_lit() {
    local command=${1^^} differing area
    differing=$(gui_lit_difference "$1" "$2")
    eval "area=\$(((LAYOUT_${command}_RIGHT - LAYOUT_${command}_LEFT) * (LAYOUT_${command}_BOTTOM - LAYOUT_${command}_TOP)))"
    [ "${differing:-$area}" -le $((area / 20)) ] 2>/dev/null
}

# gui_await_box CAPTION [SECONDS]: waits for a message box with this caption to be shown and settled, and sets
# GUI_BOX to its X id.
gui_await_box() {
    GUI_BOX=""
    gui_wait_ready "$1" "${2:-$GUI_WAIT}" && GUI_BOX=$GUI_READY
    [ -n "$GUI_BOX" ] || fail "no message box \"$1\" appeared"
}

# gui_dismiss_box CAPTION [KEY]: presses KEY (Return), which Wine delivers to the box, once the box has settled, and
# waits until it is gone.
gui_dismiss_box() {
    gui_wait_ready "$1" || fail "the message box \"$1\" is not shown"
    xdotool key "${2:-Return}"
    gui_wait_gone "$1" || fail "the message box \"$1\" did not close"
}

# gui_answer CAPTION NAME [SECONDS]: waits for a message box with this caption, takes a screenshot of it over the
# main window and answers it with Return.
gui_answer() {
    gui_await_box "$1" "${3:-$GUI_WAIT}"
    say "   message box \"$1\" appeared (its caption reached X as Chinese text)"
    gui_shot "$2" "$GUI_MAIN" "$GUI_BOX"
    gui_dismiss_box "$1"
    say "   answered it with Return"
}

# gui_start_installer EXE LOG [SECONDS]: starts the program under wine64 and waits for its main window "Install".
gui_start_installer() {
    "$GUI_RUN" "$1" >"$2" 2>&1 &
    GUI_APP=$!
    GUI_MAIN=$(gui_find_window Install "${3:-$GUI_WAIT}") || true
    [ -n "$GUI_MAIN" ] || fail "the installer's window did not appear (log: $2)"
}

# gui_wait_exit [SECONDS]: waits for the program to end and sets GUI_APP_STATUS to its exit code; false when it is
# still running after the time.
_gui_app_ended() { ! kill -0 "$GUI_APP" 2>/dev/null; }
gui_wait_exit() {
    gui_poll "${1:-$GUI_WAIT}" _gui_app_ended || return 1
    GUI_APP_STATUS=0
    wait "$GUI_APP" || GUI_APP_STATUS=$?
    GUI_APP=""
}

# gui_kill_installer: ends the program if it still runs (for the clean-up after a failure).
gui_kill_installer() {
    if [ -n "$GUI_APP" ] && kill -0 "$GUI_APP" 2>/dev/null; then
        kill "$GUI_APP" 2>/dev/null || true
        wait "$GUI_APP" 2>/dev/null || true
    fi
    GUI_APP=""
}
