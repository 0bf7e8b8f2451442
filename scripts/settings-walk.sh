# Sourced after gui-lib.sh: the settings dialog of the running installer walked as a user would, for the
# end-to-end settings walk (tests/e2e/walk_settings.sh) and the demo. The dialog's controls have no X windows, so
# dialog_probe tells where they are and what they show.
#
# The caller sets SETTINGS_PROBE (dialog_probe.exe) and has GUI_MAIN, GUI_OUT, say and fail as for gui-lib.sh.
# SETTINGS_NAMES says how the officer names go into the dialog: "type" (the default; on the keyboard, one character
# at a time) or "paste" (dialog_probe puts each whole name into its edit, as a paste would: for a walk on a machine so
# slow that typing takes minutes, where another walk types for real and the typing is not what this one checks).
SETTINGS_NAMES="${SETTINGS_NAMES:-type}"

# settings_save_dir: the game's save folder (GUI_FACT[save-folder]) in the prefix's documents folder (a plain folder
# inside the prefix).
settings_save_dir() {
    local docs="$WINEPREFIX/drive_c/users/${USER:-$(id -un)}/Documents"
    [ ! -L "$docs" ] || fail "$docs links out of the prefix (run scripts/wine-prefix.sh)"
    printf '%s\n' "$docs/${GUI_FACT[save-folder]//\\//}"
}

# settings_new_save SAVE: a new save of 4096 bytes there (its earlier backup removed), and its copy as
# GUI_OUT/save-original.dat, which settings_walk compares the written save with.
settings_new_save() {
    mkdir -p "$(dirname "$1")"
    rm -f "$1" "$1.bak"
    python3 -c 'import sys; open(sys.argv[1], "wb").write(bytes((i * 7 + 3) & 0xFF for i in range(4096)))' "$1"
    cp "$1" "$GUI_OUT/save-original.dat"
}

# settings_control ID: "ENABLED X Y TEXT" of the control with this id in the shown settings dialog.
settings_control() {
    "$GUI_RUN" "$SETTINGS_PROBE" settings 2>/dev/null | tr -d '\r' |
        awk -F'\t' -v id="$1" '$1 == id { print $2, $3, $4, $5; exit }'
}

# settings_await_dialog [SECONDS]: until the settings dialog is shown; sets SETTINGS_WINDOW to its X id.
settings_await_dialog() {
    SETTINGS_WINDOW=$(gui_find_window "设置" "${1:-$GUI_WAIT}") || true
    [ -n "$SETTINGS_WINDOW" ] || fail "the settings dialog did not appear"
    local deadline=$((SECONDS + GUI_WAIT))
    until [ -n "$(settings_control 1004)" ]; do
        [ "$SECONDS" -le "$deadline" ] || fail "dialog_probe does not find the settings dialog"
        sleep 0.2
    done
    sleep 0.3
}

# settings_click ID: a press in the middle of the control.
settings_click() {
    local enabled x y text
    read -r enabled x y text <<<"$(settings_control "$1")"
    [ -n "$x" ] || fail "the settings dialog has no control $1"
    xdotool mousemove "$x" "$y" click 1
}

# settings_expect ID ENABLED TEXT WHEN: the control is enabled (1) or not (0) and shows TEXT.
settings_expect() {
    local enabled x y text deadline=$((SECONDS + GUI_WAIT))
    while :; do
        read -r enabled x y text <<<"$(settings_control "$1")"
        [ "$enabled" = "$2" ] && [ "$text" = "$3" ] && return 0
        [ "$SECONDS" -le "$deadline" ] ||
            fail "$4: control $1 is enabled=$enabled and shows \"$text\"; expected enabled=$2 and \"$3\""
        sleep 0.2
    done
}

# settings_type_name ID TEXT: clicks into the name edit, removes what it holds and types TEXT on the keyboard, one
# character at a time, each once the edit shows the ones before. xdotool types a character that the keyboard map
# lacks by mapping it to a spare key, pressing it and mapping it back; when Wine reads the press only after that
# (a busy machine, the emulated guest), the character is lost. A lost character is reported and typed again, at most
# five times; an edit that shows anything else is cleared and the name typed anew, at most three times.
_settings_shows() {
    local enabled x y text
    read -r enabled x y text <<<"$(settings_control "$1")"
    SETTINGS_SHOWN=$text
    [ "$text" = "$2" ]
}
settings_type_name() {
    local try typed c n limit=$((GUI_WAIT / 10 > 10 ? GUI_WAIT / 10 : 10)) chars
    # xdotool reads its text in the locale's encoding: UTF-8 whatever the caller's locale (the guest has none).
    mapfile -t chars < <(printf '%s' "$2" | LC_ALL=C.UTF-8 grep -o .)
    for try in 1 2 3; do
        settings_click "$1"
        xdotool key End
        xdotool key --repeat 12 --delay 20 BackSpace
        gui_poll "$limit" _settings_shows "$1" "" || continue
        typed=""
        for c in "${chars[@]}"; do
            for n in 1 2 3 4 5; do
                LC_ALL=C.UTF-8 xdotool type --delay 60 "$c"
                gui_poll "$limit" _settings_shows "$1" "$typed$c" && break
                [ "$SETTINGS_SHOWN" = "$typed" ] || break
                say "   control $1 lost \"$c\" (shows \"$SETTINGS_SHOWN\"); typed again"
            done
            [ "$SETTINGS_SHOWN" = "$typed$c" ] || break
            typed="$typed$c"
        done
        [ "$typed" = "$2" ] && return 0
        say "   control $1 shows \"$SETTINGS_SHOWN\" while typing \"$2\" (try $try)"
    done
    fail "control $1 shows \"$SETTINGS_SHOWN\" after typing \"$2\" three times"
}

# settings_paste_name ID TEXT: puts TEXT into the name edit at once, through dialog_probe, and waits until it shows it.
settings_paste_name() {
    "$GUI_RUN" "$SETTINGS_PROBE" name "$1" "$2" >/dev/null 2>&1 ||
        fail "dialog_probe could not put \"$2\" into control $1"
    gui_poll "$GUI_WAIT" _settings_shows "$1" "$2" ||
        fail "control $1 shows \"$SETTINGS_SHOWN\" after \"$2\" was put into it"
}

# settings_enter_name ID TEXT: the name typed or pasted, as SETTINGS_NAMES says.
settings_enter_name() {
    case "$SETTINGS_NAMES" in
        type) settings_type_name "$1" "$2" ;;
        paste) settings_paste_name "$1" "$2" ;;
        *) fail "SETTINGS_NAMES is \"$SETTINGS_NAMES\"; it is type or paste" ;;
    esac
}

# settings_walk GAME_DIR SAVE NAME1 NAME2: from the main window (with the pack installed into GAME_DIR and the save
# at SAVE): "设置", "打开", the two names typed, "保存", the note answered, "返回". Then the save and both textures
# are checked (the names must be two-byte characters: NAME1 the first positions, NAME2 the others) and pictures
# of the textures saved as texture-high.png and texture-low.png in GUI_OUT. Needs gui_layout's GUI_LAYOUT.
settings_walk() {
    local game=$1 save=$2 name1=$3 name2=$4 check="$QV_ROOT/tests/e2e/check_settings.py" quality glyph fillers k
    say "   press \"设置\""
    gui_click "${GUI_LAYOUT[setting.x]}" "${GUI_LAYOUT[setting.y]}"
    settings_await_dialog
    settings_expect 1004 1 "打开" "the dialog as it opens"
    settings_expect 1006 0 "" "the dialog as it opens"
    settings_expect 1012 0 "选择字体" "the dialog as it opens"
    gui_shot settings "$GUI_MAIN" "$SETTINGS_WINDOW"

    say "   press \"打开\": the save in the documents folder is opened"
    settings_click 1004
    settings_expect 1004 1 "保存" "after 打开"
    settings_expect 1006 1 "测试名称" "after 打开"
    settings_expect 1008 1 "测试名称" "after 打开"
    local enabled x y shown
    read -r enabled x y shown <<<"$(settings_control 1007)"
    [[ "$shown" == *"\\${GUI_FACT[save-folder]}\\${GUI_FACT[save-file]}" ]] ||
        fail "the dialog shows \"$shown\" as the save's path"
    say "   the dialog shows the save's path $shown"
    gui_shot settings-open "$GUI_MAIN" "$SETTINGS_WINDOW"

    say "   $SETTINGS_NAMES the names \"$name1\" and \"$name2\""
    settings_enter_name 1006 "$name1"
    settings_enter_name 1008 "$name2"
    settings_expect 1006 1 "$name1" "after entering name 1"
    settings_expect 1008 1 "$name2" "after entering name 2"
    gui_shot settings-names "$GUI_MAIN" "$SETTINGS_WINDOW"

    say "   press \"保存\""
    settings_click 1004
    gui_await_box "提示"
    say "   message box \"提示\" appeared"
    gui_shot settings-saved "$GUI_MAIN" "$SETTINGS_WINDOW" "$GUI_BOX"
    gui_dismiss_box "提示"
    settings_expect 1004 1 "打开" "after saving"
    settings_expect 1006 0 "$name1" "after saving"

    say "   press \"返回\""
    settings_click 1
    gui_wait_gone "设置" || fail "the settings dialog did not close on 返回"

    python3 "$check" save --save "$save" --original "$GUI_OUT/save-original.dat" --backup "$save.bak" \
        --name1-codes "$(printf '%s' "$name1" | iconv -f UTF-8 -t GBK | wc -c | awk '{ print $1 / 2 }')" \
        --name2-codes "$(printf '%s' "$name2" | iconv -f UTF-8 -t GBK | wc -c | awk '{ print $1 / 2 }')" |
        sed 's/^/   /' || fail "the save is not what the dialog should have written"
    fillers=""
    for ((k = $(printf '%s' "$name1" | iconv -f UTF-8 -t GBK | wc -c) / 2; k < 4; k++)); do fillers="$fillers$k,"; done
    for ((k = 4 + $(printf '%s' "$name2" | iconv -f UTF-8 -t GBK | wc -c) / 2; k < 8; k++)); do fillers="$fillers$k,"; done
    for quality in high low; do
        glyph=32
        [ "$quality" = high ] || glyph=20
        python3 "$check" texture --tga "$game/quorvan/bg/$quality/user_font01b.tga" \
            --source "$game/quorvan/data/common/japanese/$quality/font01b.png" --glyph "$glyph" --fillers "$fillers" \
            --picture "$GUI_OUT/texture-$quality.png" | sed 's/^/   /' ||
            fail "the $quality texture is not what the library should have rendered"
    done
}
