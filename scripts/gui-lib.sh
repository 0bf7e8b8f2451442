# Sourced: walks the installer's window on $DISPLAY with xdotool and takes screenshots with ImageMagick. The library
# of every walk: scripts/demo.sh, the end-to-end walks (tests/e2e), the branded window (tests/tools), the
# maintainer's walk (tests/dist) and, through them, the 32-bit guest's walks (scripts/win32-vm).
#
# A walk script reads its arguments with walk_args, starts with walk_begin (the tools, the display, the files it
# needs, its screenshot folder, walk_finish on EXIT) and is then a list of steps: walk_setup_game, walk_package,
# walk_start, walk_install_pack, walk_uninstall, walk_check_game, walk_close and the gui_* steps below them.
# say TEXT (prints a line) and fail MESSAGE (reports and ends the script) are the caller's when it defined them
# before sourcing this file; otherwise each line carries the seconds since the script began, and fail prints
# "FAIL: MESSAGE" (the 32-bit guest's job reads its walks' reasons from that line).
#
# GUI_OUT is the folder for screenshots; WINEPREFIX is exported. gui_start_installer sets GUI_APP (the program's
# process), GUI_MAIN (the X window of its main window) and GUI_LOG (its output); gui_await_box sets GUI_BOX,
# gui_wait_exit GUI_APP_STATUS. The steps that ask Windows what the window shows need GUI_PROBE
# (window_probe.exe); those that look at the screen need GUI_LIT (the highlighted skin picture) and gui_layout's
# GUI_LAYOUT.
#
# What the program itself says about its window and the game is never restated here: the package tool prints it
# from the program's own tables and parser, and the demo pack's generator keeps its output in the build's
# payload/demo folder (layout.txt: "packtool layout" of the layout file the package carries, which every walk's
# installer carries too; facts.txt: "packtool facts"). QV_WALK_FACTS names that folder; it is made on the host, so
# the 32-bit guest, which has no package tool, reads the same files. walk_begin reads them (gui_facts, gui_layout).
# GUI_RUN runs a Windows program: wine64-run.sh, or what QV_GUI_RUN names (the 32-bit guest's wine32-run.sh).
QV_ROOT="${QV_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}"
GUI_RUN="${QV_GUI_RUN:-$QV_ROOT/scripts/wine64-run.sh}"
declare -F say >/dev/null || say() { printf '%4d s %s\n' "$SECONDS" "$*"; }
declare -F fail >/dev/null || fail() {
    printf 'FAIL: %s\n' "$*"
    exit 1
}
GUI_PROBE="${GUI_PROBE:-}"
GUI_LIT="${GUI_LIT:-}"
# GUI_FACT[NAME]: the program's facts by the names "packtool facts" gives them (install-key, game-folder-value,
# installed-folder-value, geforce2mx-value, first-control-id, save-folder, save-file).
declare -A GUI_FACT=()
# The game's registry key (GUI_FACT[install-key]), where the game names its folder (GUI_FACT[game-folder-value]) and
# the pack marks its installation (GUI_FACT[installed-folder-value]).
GUI_GAME_KEY=""
# GUI_LAYOUT[COMMAND.FIELD]: the first record of every command word of the layout: FIELD is id (its control id),
# left, top, right, bottom, x and y (its centre), first and second (its texts, UTF-8; a line feed reads \r\n);
# e.g. GUI_LAYOUT[install.x].
declare -A GUI_LAYOUT=()
# A point of the main window's client area away from every control, where the mouse rests between two looks.
GUI_REST_X=225
GUI_REST_Y=40
GUI_APP=""
GUI_MAIN=""
GUI_LOG=""
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

# _gui_table FILE: GUI_ROWS, the lines of the package tool's table FILE (GBK) as UTF-8, without its '#' and blank
# lines. Ends the walk when the file is missing or is not GBK.
GUI_ROWS=()
_gui_table() {
    local text line
    [ -n "${QV_WALK_FACTS:-}" ] || fail "QV_WALK_FACTS is not set (the build's payload/demo folder)"
    [ -f "$1" ] || fail "$1 is missing (QV_WALK_FACTS names the build's payload/demo folder, which the build fills)"
    text=$(iconv -f GBK -t UTF-8 "$1") || fail "$1 is not GBK text"
    GUI_ROWS=()
    while IFS= read -r line; do
        [ -z "$line" ] || [ "${line:0:1}" = "#" ] || GUI_ROWS+=("$line")
    done <<<"$text"
}
# _gui_fields LINE: GUI_FIELDS, the line's tab-separated fields, empty ones kept.
GUI_FIELDS=()
_gui_fields() {
    mapfile -t -d $'\t' GUI_FIELDS < <(printf '%s\t' "$1")
}

# gui_facts: reads GUI_FACT from QV_WALK_FACTS/facts.txt and sets GUI_GAME_KEY.
gui_facts() {
    local line name
    _gui_table "$QV_WALK_FACTS/facts.txt"
    GUI_FACT=()
    for line in "${GUI_ROWS[@]}"; do
        _gui_fields "$line"
        [ "${#GUI_FIELDS[@]}" = 2 ] || fail "facts.txt: \"$line\" is not NAME<TAB>VALUE"
        GUI_FACT[${GUI_FIELDS[0]}]=${GUI_FIELDS[1]}
    done
    for name in install-key game-folder-value installed-folder-value geforce2mx-value save-folder save-file; do
        [ -n "${GUI_FACT[$name]:-}" ] || fail "facts.txt names no $name"
    done
    GUI_GAME_KEY=${GUI_FACT[install-key]}
}

# gui_layout: reads GUI_LAYOUT from QV_WALK_FACTS/layout.txt; the walks need the install, uninstall, setting and
# close controls.
gui_layout() {
    local line command left top right bottom
    _gui_table "$QV_WALK_FACTS/layout.txt"
    GUI_LAYOUT=()
    for line in "${GUI_ROWS[@]}"; do
        _gui_fields "$line"
        [ "${#GUI_FIELDS[@]}" = 8 ] || fail "layout.txt: \"$line\" does not have the table's 8 fields"
        command=${GUI_FIELDS[0]}
        left=${GUI_FIELDS[2]} top=${GUI_FIELDS[3]} right=${GUI_FIELDS[4]} bottom=${GUI_FIELDS[5]}
        GUI_LAYOUT[$command.id]=${GUI_FIELDS[1]}
        GUI_LAYOUT[$command.left]=$left
        GUI_LAYOUT[$command.top]=$top
        GUI_LAYOUT[$command.right]=$right
        GUI_LAYOUT[$command.bottom]=$bottom
        GUI_LAYOUT[$command.x]=$(((left + right) / 2))
        GUI_LAYOUT[$command.y]=$(((top + bottom) / 2))
        GUI_LAYOUT[$command.first]=${GUI_FIELDS[6]}
        GUI_LAYOUT[$command.second]=${GUI_FIELDS[7]}
    done
    for command in install uninstall setting close; do
        [ -n "${GUI_LAYOUT[$command.id]:-}" ] || fail "layout.txt has no $command control"
    done
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
# a hidden one leaves the window's own picture there. The control's area of the picture is cut once a walk; the
# screen's is read by compare itself (one program a look: on the 32-bit guest's emulated processor each start of an
# ImageMagick program takes a good part of a second).
declare -A GUI_LIT_AREAS=()
gui_lit_difference() {
    local X Y WIDTH HEIGHT SCREEN WINDOW left=${GUI_LAYOUT[$1.left]} top=${GUI_LAYOUT[$1.top]} width height lit
    width=$((GUI_LAYOUT[$1.right] - left))
    height=$((GUI_LAYOUT[$1.bottom] - top))
    lit=${GUI_LIT_AREAS[$1 $2]:-}
    if [ -z "$lit" ] || [ ! -f "$lit" ]; then
        lit="$GUI_OUT/.lit-$1-${#GUI_LIT_AREAS[@]}.png"
        convert "$2" -crop "${width}x${height}+$left+$top" +repage "$lit"
        GUI_LIT_AREAS[$1 $2]=$lit
    fi
    eval "$(xdotool getwindowgeometry --shell "$GUI_MAIN")"
    compare -metric AE -fuzz 4% "x:root[${width}x${height}+$((X + left))+$((Y + top))]" "$lit" null: 2>&1 || true
}

# gui_is_lit COMMAND LIT_PICTURE: true when at most one pixel in twenty of the control differs from its
# highlighted picture.
gui_is_lit() {
    local differing area
    differing=$(gui_lit_difference "$1" "$2")
    area=$(((GUI_LAYOUT[$1.right] - GUI_LAYOUT[$1.left]) * (GUI_LAYOUT[$1.bottom] - GUI_LAYOUT[$1.top])))
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
# With GUI_LOCALE set (a locale of build/locale, such as ja_JP.UTF-8) the program runs under that system code page;
# the probes and the registry tool keep the default.
gui_start_installer() {
    GUI_LOG=$2
    env ${GUI_LOCALE:+QV_LOCALE="$GUI_LOCALE"} "$GUI_RUN" "$1" >"$2" 2>&1 &
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

# --- the game's registry key -----------------------------------------------------------------------------------------
# gui_reg_value NAME: prints "TYPE    DATA" of the value (as UTF-8), nothing when it is absent. "reg" runs under the
# default locale and writes to a pipe in its code page, 936. The whole key is listed, so that a failure of reg itself
# (on a loaded machine Wine now and then fails to start a program) is told from an absent value: reg is asked again,
# up to three times in all, and only a key that is not there lists nothing each time.
gui_reg_value() {
    local listing="" try
    for try in 1 2 3; do
        listing=$("$GUI_RUN" reg query "$GUI_GAME_KEY" 2>/dev/null) && break
        listing=""
        sleep 1
    done
    printf '%s\n' "$listing" | iconv -f GBK -t UTF-8 | tr -d '\r' | sed -n "s/^    $1    //p" || true
}
gui_reg_set() { "$GUI_RUN" reg add "$GUI_GAME_KEY" /v "$1" /t REG_SZ /d "$2" /f >/dev/null; }
gui_reg_unset() { "$GUI_RUN" reg delete "$GUI_GAME_KEY" /v "$1" /f >/dev/null 2>&1 || true; }
# gui_expect_value NAME "TYPE    DATA" WHEN, gui_expect_no_value NAME WHEN.
gui_expect_value() {
    local actual
    actual=$(gui_reg_value "$1")
    [ "$actual" = "$2" ] || fail "registry value $1 is \"$actual\", expected \"$2\" ($3)"
}
gui_expect_no_value() {
    local actual
    actual=$(gui_reg_value "$1")
    [ -z "$actual" ] || fail "registry value $1 is \"$actual\", expected none ($2)"
}

# gui_save_key WINDOWS_FILE UNIX_FILE: keeps the key as it is (in that file of the prefix) for gui_restore_key,
# which puts it back as it was, or removes it when there was none.
GUI_KEY_SAVED=""  # empty until gui_save_key has run; then 1 when the key existed, 0 when it did not
GUI_KEY_FILE_WIN=""
GUI_KEY_FILE=""
gui_save_key() {
    GUI_KEY_FILE_WIN=$1
    GUI_KEY_FILE=$2
    rm -f "$GUI_KEY_FILE"
    if "$GUI_RUN" reg query "$GUI_GAME_KEY" >/dev/null 2>&1; then
        "$GUI_RUN" reg export "$GUI_GAME_KEY" "$GUI_KEY_FILE_WIN" /y >/dev/null 2>&1 || fail "could not save the install key"
        GUI_KEY_SAVED=1
    else
        GUI_KEY_SAVED=0
    fi
}
gui_restore_key() {
    [ -n "$GUI_KEY_SAVED" ] || return 0
    "$GUI_RUN" reg delete "$GUI_GAME_KEY" /f >/dev/null 2>&1 || true
    if [ "$GUI_KEY_SAVED" = 1 ]; then
        "$GUI_RUN" reg import "$GUI_KEY_FILE_WIN" >/dev/null 2>&1 || say "could not restore the install key"
    fi
    rm -f "$GUI_KEY_FILE"
}

# --- what the window shows, asked of Windows through window_probe ---------------------------------------------------
# gui_box_text CAPTION: the text of the shown message box with this caption (line breaks as "\n").
gui_box_text() {
    "$GUI_RUN" "$GUI_PROBE" boxes 2>/dev/null | awk -F'\t' -v caption="$1" '$1 == caption { print $2; exit }'
}
GUI_BOX_TEXT=""
_gui_box_says() {
    GUI_BOX_TEXT=$(gui_box_text "$1")
    [[ "$GUI_BOX_TEXT" == *"$2"* ]]
}
# gui_await_box_text CAPTION TEXT [SECONDS]: waits for the message box and for its text to hold TEXT.
gui_await_box_text() {
    gui_await_box "$1" "${3:-$GUI_WAIT}"
    gui_poll "$GUI_WAIT" _gui_box_says "$1" "$2" ||
        fail "the message box \"$1\" says \"$GUI_BOX_TEXT\", expected \"$2\" in it"
    say "   message box \"$1\": $GUI_BOX_TEXT"
}
# gui_answer_text CAPTION TEXT SHOT [SECONDS]: gui_await_box_text, then a screenshot, then Return.
gui_answer_text() {
    gui_await_box_text "$1" "$2" "${4:-$GUI_WAIT}"
    gui_shot "$3" "$GUI_MAIN" "$GUI_BOX"
    gui_dismiss_box "$1"
}

# gui_expect_controls INSTALL UNINSTALL WHEN: the install and uninstall controls are (or, within the wait, become)
# visible or hidden as given: the controls are refreshed right after the box before them is answered.
GUI_CONTROLS=""
_gui_controls_are() {
    local states install uninstall
    states=$("$GUI_RUN" "$GUI_PROBE" controls 2>/dev/null) || { GUI_CONTROLS="no main window"; return 1; }
    install=$(printf '%s\n' "$states" | tr -d '\r' | awk -v id="${GUI_LAYOUT[install.id]}" '$1 == id { print $2 }')
    uninstall=$(printf '%s\n' "$states" | tr -d '\r' | awk -v id="${GUI_LAYOUT[uninstall.id]}" '$1 == id { print $2 }')
    GUI_CONTROLS="install control $install, uninstall control $uninstall"
    [ "$install $uninstall" = "$1 $2" ]
}
gui_expect_controls() {
    gui_poll "$GUI_WAIT" _gui_controls_are "$1" "$2" || fail "$3: $GUI_CONTROLS; expected $1 and $2"
    say "   controls: install $1, uninstall $2"
}

# --- what the window shows on the screen ------------------------------------------------------------------------------
_gui_mouse_at() {
    local X Y SCREEN WINDOW
    eval "$(xdotool getmouselocation --shell 2>/dev/null)"
    [ "$X $Y" = "$1 $2" ]
}
# gui_mouse_to X Y: moves the mouse to client position X,Y of the main window and waits until it is there.
gui_mouse_to() {
    local X Y WIDTH HEIGHT SCREEN WINDOW
    eval "$(xdotool getwindowgeometry --shell "$GUI_MAIN")"
    xdotool mousemove --window "$GUI_MAIN" "$1" "$2"
    gui_poll "$GUI_WAIT" _gui_mouse_at $((X + $1)) $((Y + $2)) || fail "the mouse did not reach $1,$2 of the window"
}
_gui_lit() { gui_is_lit "$1" "$GUI_LIT"; }
# gui_expect_look COMMAND lit|unlit WHEN: moves the mouse to the resting point and then onto the control of
# COMMAND, which must light up when it is shown and stay as the window's picture when it is hidden.
gui_expect_look() {
    local i
    gui_mouse_to "$GUI_REST_X" "$GUI_REST_Y"
    gui_mouse_to "${GUI_LAYOUT[$1.x]}" "${GUI_LAYOUT[$1.y]}"
    if [ "$2" = lit ]; then
        gui_poll "$GUI_WAIT" _gui_lit "$1" ||
            fail "$3: the $1 control does not light up under the mouse ($(gui_lit_difference "$1" "$GUI_LIT") pixels differ)"
    else
        # A hidden control has nothing to light: it must stay unlit for a while under the mouse.
        for i in 1 2 3 4 5 6; do
            ! _gui_lit "$1" || fail "$3: the $1 control lights up under the mouse, but it should be hidden"
            sleep 0.2
        done
    fi
    say "   under the mouse the $1 control is $2"
}
# gui_expect_state INSTALL UNINSTALL WHEN SHOT: the controls' visibility through the probe and under the mouse, then
# a screenshot with the mouse over the control that is shown.
gui_expect_state() {
    local shown=install hidden=uninstall
    [ "$1" = visible ] || { shown=uninstall; hidden=install; }
    gui_expect_controls "$1" "$2" "$3"
    gui_expect_look "$hidden" unlit "$3"
    gui_expect_look "$shown" lit "$3"
    gui_shot "$4" "$GUI_MAIN"
}

# gui_report_screen: what is on the screen at a failure: a screenshot, every shown window and every message box.
gui_report_screen() {
    local id
    say "--- on the screen at the failure:"
    gui_screen failure.png
    for id in $(xdotool search --onlyvisible --name '.' 2>/dev/null); do
        say "   window $id \"$(xdotool getwindowname "$id" 2>/dev/null)\" $(xdotool getwindowgeometry "$id" 2>/dev/null |
            sed -n 's/^ *Position: \([^ ]*\).*/at \1/p')"
    done
    if [ -n "$GUI_PROBE" ]; then
        local boxes status=0
        boxes=$("$GUI_RUN" "$GUI_PROBE" boxes 2>&1) || status=$?
        say "   window_probe boxes: exit status $status"
        printf '%s\n' "$boxes" | sed '/^$/d; s/^/   box: /'
    fi
    # Wine's own processes with their start times: a desktop process (explorer.exe /desktop) younger than the
    # program under test means programs started since are on another desktop and cannot see its windows.
    ps -eo pid,lstart,args 2>/dev/null | grep -E 'explorer|wineserver|services|\.exe' | grep -v grep |
        sed 's/^/   process: /' || true
}


# --- a walk: its arguments, its start and its end ---------------------------------------------------------------------
# walk_args WALK NAMES ARGUMENT...: reads the "--name value" pairs of ARGUMENT into variables named in capitals
# (--packtool-exe into PACKTOOL_EXE), for the names in NAMES (separated by spaces; a name that ends in "?" may be left
# out, and its variable keeps what the caller set). Any other argument, a name without its value or a name left out
# ends the script with status 2.
walk_args() {
    local walk=$1 known=$2 name var
    shift 2
    while [ $# -gt 0 ]; do
        name=${1#--}
        if [ "$name" = "$1" ] || [[ " ${known//\?/} " != *" $name "* ]]; then
            echo "$walk: unknown argument $1" >&2
            exit 2
        fi
        [ $# -ge 2 ] || { echo "$walk: $1 needs a value" >&2; exit 2; }
        var=${name^^}
        printf -v "${var//-/_}" '%s' "$2"
        shift 2
    done
    for name in $known; do
        [[ "$name" != *\? ]] || continue
        var=${name^^}
        var=${var//-/_}
        [ -n "${!var:-}" ] || { echo "$walk: --$name is required" >&2; exit 2; }
    done
}

# walk_need_tools TOOL...: each is a command on the PATH.
walk_need_tools() {
    local tool
    for tool in "$@"; do
        command -v "$tool" >/dev/null || fail "$tool is not installed (scripts/bootstrap.sh installs it)"
    done
}

# walk_begin NAME OUT [NEEDED...]: the common start of a walk on the screen. The tools are there and the display
# answers; every NEEDED path exists (a folder when it ends in "/"); GUI_OUT is OUT, made, without the screenshots of an
# earlier run; GUI_FACT and GUI_LAYOUT are read; walk_finish runs on EXIT. The walk's own folder in the prefix is
# C:\NAME: WALK_ROOT (WALK_ROOT_WIN as Windows names it), removed at the end with whatever is in it.
walk_begin() {
    local need
    export WINEPREFIX="${WINEPREFIX:-$QV_ROOT/build/wineprefix}" WINEDEBUG=-all
    WALK_ROOT_WIN="C:\\$1"
    WALK_ROOT="$WINEPREFIX/drive_c/$1"
    GUI_OUT=$2
    shift 2
    trap 'walk_finish $?' EXIT
    walk_need_tools xdotool xdpyinfo import convert compare python3 iconv
    [ -n "${DISPLAY:-}" ] || fail "no DISPLAY: run through scripts/test-all.sh, or start Xvfb (scripts/xvfb.sh) first"
    xdpyinfo >/dev/null 2>&1 || fail "the display $DISPLAY does not answer"
    for need in "$@"; do
        case "$need" in
            */) [ -d "$need" ] || fail "${need%/} is missing (build the tree first)" ;;
            *) [ -f "$need" ] || fail "$need is missing (build the tree first)" ;;
        esac
    done
    mkdir -p "$GUI_OUT"
    rm -f "$GUI_OUT"/*.png
    gui_facts
    gui_layout
}

# walk_finish STATUS: the end of a walk (on EXIT). A failure is reported while it is on the screen (gui_report_screen
# and the end of the installer's output); then the installer is ended, the install key put back as it was, the
# walk's walk_cleanup called when it defines one, and WALK_ROOT, the package extracted into GUI_OUT and the cut
# areas of the highlighted picture removed.
walk_finish() {
    local status=$1
    trap - EXIT
    set +e
    if [ "$status" != 0 ]; then
        gui_report_screen
        [ -z "$GUI_LOG" ] || [ ! -s "$GUI_LOG" ] || sed 's/^/   installer: /' "$GUI_LOG" | tail -20
    fi
    gui_kill_installer
    gui_restore_key
    ! declare -F walk_cleanup >/dev/null || walk_cleanup
    if [ -n "${WALK_ROOT:-}" ]; then
        chmod -R u+w "$WALK_ROOT" 2>/dev/null
        rm -rf "$WALK_ROOT"
    fi
    rm -rf "$GUI_OUT/package" "$GUI_OUT"/.lit-*.png
    exit "$status"
}

# --- a walk's steps ---------------------------------------------------------------------------------------------------
# The install itself may take longer than any other wait: QV_E2E_INSTALL_SECONDS (default 300).
WALK_INSTALL_SECONDS="${QV_E2E_INSTALL_SECONDS:-300}"
WALK_SAMPLE=""
WALK_GAME=""
WALK_GAME_WIN=""
WALK_PACKAGE=""
WALK_NAMES=""

# walk_setup_game SAMPLE FOLDER registry|none: the stand-in game. The install key is kept for walk_finish; WALK_GAME
# (FOLDER in WALK_ROOT; WALK_GAME_WIN as Windows names it) is a fresh copy of SAMPLE; the game's folder value
# (InstallInfo) names it (registry) or is removed (none); the pack's mark (QuorvanInfo) is removed.
walk_setup_game() {
    WALK_SAMPLE=$1
    WALK_GAME="$WALK_ROOT/$2"
    WALK_GAME_WIN="$WALK_ROOT_WIN\\${2//\//\\}"
    gui_save_key "$WALK_ROOT_WIN-saved-key.reg" "$WALK_ROOT-saved-key.reg"
    chmod -R u+w "$WALK_ROOT" 2>/dev/null || true
    rm -rf "$WALK_ROOT"
    mkdir -p "$WALK_GAME"
    cp -r "$WALK_SAMPLE/." "$WALK_GAME/"
    case "$3" in
        registry)
            gui_reg_set "${GUI_FACT[game-folder-value]}" "$WALK_GAME_WIN" || fail "reg add failed"
            gui_expect_value "${GUI_FACT[game-folder-value]}" "REG_SZ    $WALK_GAME_WIN" "as just written"
            ;;
        none) gui_reg_unset "${GUI_FACT[game-folder-value]}" ;;
        *) fail "walk_setup_game: \"$3\" is neither registry nor none" ;;
    esac
    gui_reg_unset "${GUI_FACT[installed-folder-value]}"
}

# walk_package EXE PACKTOOL PACKAGE: WALK_PACKAGE is the package of EXE, for walk_check_game: PACKAGE when it is given
# (as "packtool extract" wrote it), else extracted by PACKTOOL into GUI_OUT/package. With PACKTOOL, WALK_NAMES is its
# table of names; without, check_game.py reads names.txt beside the sample game.
walk_package() {
    WALK_PACKAGE=$3
    WALK_NAMES=""
    if [ -z "$WALK_PACKAGE" ]; then
        WALK_PACKAGE="$GUI_OUT/package"
        rm -rf "$WALK_PACKAGE"
        "$2" extract "$1" "$WALK_PACKAGE" >/dev/null || fail "packtool could not extract the package of $1"
    fi
    [ -d "$WALK_PACKAGE/quorvan" ] || fail "$WALK_PACKAGE holds no pack folder"
    if [ -n "$2" ]; then
        WALK_NAMES="$GUI_OUT/names.txt"
        "$2" names >"$WALK_NAMES" || fail "packtool could not print the installer's table of names"
    fi
}

# walk_start EXE: starts the installer (its output in GUI_OUT/installer.log) and says how its window came.
walk_start() {
    local started=$SECONDS X Y WIDTH HEIGHT SCREEN WINDOW
    gui_start_installer "$1" "$GUI_OUT/installer.log"
    eval "$(xdotool getwindowgeometry --shell "$GUI_MAIN")"
    say "   the window \"Install\" is shown after $((SECONDS - started)) s: ${WIDTH}x${HEIGHT} at $X,$Y"
}

# walk_install_pack FOLDER [PREFIX]: presses install; then walk_install_confirmed.
walk_install_pack() {
    gui_click "${GUI_LAYOUT[install.x]}" "${GUI_LAYOUT[install.y]}"
    walk_install_confirmed "$@"
}

# walk_install_confirmed FOLDER [PREFIX]: the confirmation names FOLDER as the install folder and is answered; the
# success box comes while both controls are hidden (the install is not over before it is answered) and is answered;
# then the uninstall control is shown and the install control hidden. Screenshots PREFIXinstall-confirm,
# PREFIXinstall-done and PREFIXinstalled.
walk_install_confirmed() {
    local prefix=${2:-} started
    gui_answer_text "安装确认" "安装目录: $1 (磁盘剩余空间: " "${prefix}install-confirm"
    started=$SECONDS
    gui_await_box_text "提示" "安装成功结束!" "$WALK_INSTALL_SECONDS"
    say "   the install took $((SECONDS - started)) s after the confirmation"
    gui_expect_controls hidden hidden "while the install's last message is shown"
    gui_shot "${prefix}install-done" "$GUI_MAIN" "$GUI_BOX"
    gui_dismiss_box "提示"
    gui_expect_state hidden visible "after the install" "${prefix}installed"
}

# walk_uninstall_press [PREFIX]: presses uninstall and answers its confirmation (screenshot PREFIXuninstall-confirm).
walk_uninstall_press() {
    gui_click "${GUI_LAYOUT[uninstall.x]}" "${GUI_LAYOUT[uninstall.y]}"
    gui_answer_text "卸载确认" "是否卸载简体中文汉化包?" "${1:-}uninstall-confirm"
}

# walk_uninstall [PREFIX [WHEN]]: walk_uninstall_press, then the box that says the uninstall is over is answered;
# the install control is shown, the uninstall control hidden and the pack's mark (QuorvanInfo) is gone. Screenshots
# PREFIXuninstall-done and PREFIXuninstalled.
walk_uninstall() {
    local prefix=${1:-} when=${2:-after the uninstall}
    walk_uninstall_press "$prefix"
    gui_answer_text "提示" "卸载完成!" "${prefix}uninstall-done" "$WALK_INSTALL_SECONDS"
    gui_expect_state visible hidden "$when" "${prefix}uninstalled"
    gui_expect_no_value "${GUI_FACT[installed-folder-value]}" "$when"
}

# walk_check_game installed|uninstalled [WHEN]: WALK_GAME byte for byte against WALK_PACKAGE and the installer's
# table of names, or against the original game WALK_SAMPLE (tests/e2e/check_game.py).
walk_check_game() {
    local when=${2:+$2: }
    if [ "$1" = installed ]; then
        python3 "$QV_ROOT/tests/e2e/check_game.py" installed --package "$WALK_PACKAGE" --original "$WALK_SAMPLE" \
            --game "$WALK_GAME" ${WALK_NAMES:+--names "$WALK_NAMES"} | sed 's/^/   /' ||
            fail "${when}the installed game folder is not what the package says"
    else
        python3 "$QV_ROOT/tests/e2e/check_game.py" uninstalled --original "$WALK_SAMPLE" --game "$WALK_GAME" |
            sed 's/^/   /' || fail "${when}the game folder is not the original game again"
    fi
}

# walk_close: the mouse onto the close control (screenshot hover-close) and a press: the installer must end, with
# exit code 0.
walk_close() {
    gui_mouse_to "${GUI_LAYOUT[close.x]}" "${GUI_LAYOUT[close.y]}"
    gui_shot hover-close "$GUI_MAIN"
    xdotool click 1
    gui_wait_exit || fail "the installer is still running after close"
    [ "$GUI_APP_STATUS" = 0 ] || fail "the installer ended with exit code $GUI_APP_STATUS"
    say "   the installer ended with exit code 0"
}
