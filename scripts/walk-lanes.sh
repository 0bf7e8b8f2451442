#!/bin/bash
# Lanes for the walks through the window under wine64: each lane is an X display (Xvfb) and a Wine prefix of its own
# (a copy of the project's prefix), with a persistent wineserver that belongs to that display. A walk on a lane owns
# its screen, mouse, install key, drive letters and documents folder, so walks run side by side, and beside the test
# programs, which keep the project's prefix and the run's own display.
#
#   walk-lanes.sh up [COUNT]          makes COUNT lanes (default 3) in DIR, each ready for a walk
#   walk-lanes.sh down                ends the lanes' servers and displays and removes their prefixes
#   walk-lanes.sh run COMMAND...      runs COMMAND on the first free lane (waits for one), with DISPLAY and
#                                     WINEPREFIX of that lane
#
# DIR is QV_WALK_LANES_DIR (default build/walk-lanes); the project's prefix is WINEPREFIX (default build/wineprefix),
# which scripts/wine-prefix.sh has made. CTest brings the lanes up and down as the fixture "walk_lanes".
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
DIR="${QV_WALK_LANES_DIR:-$ROOT/build/walk-lanes}"
MAIN_PREFIX="${WINEPREFIX:-$ROOT/build/wineprefix}"
RUN="$ROOT/scripts/wine64-run.sh"

# lane_down ID: the lane's server and display ended, its folder removed.
lane_down() {
    local lane="$DIR/lane-$1" pid
    [ -d "$lane" ] || return 0
    if [ -d "$lane/prefix" ]; then
        WINEPREFIX="$lane/prefix" "$RUN" --down >/dev/null 2>&1 || true
        WINEPREFIX="$lane/prefix" /usr/lib/wine/wineserver -w >/dev/null 2>&1 || true
    fi
    if [ -f "$lane/xvfb.pid" ]; then
        pid=$(cat "$lane/xvfb.pid")
        kill "$pid" 2>/dev/null || true
    fi
    chmod -R u+w "$lane" 2>/dev/null || true
    rm -rf "$lane"
}

# lane_up ID: a copy of the project's prefix (user folders inside it, as for the test programs), a private display
# (scripts/xvfb.sh), and the prefix's persistent server started on that display.
lane_up() {
    local id=$1 lane="$DIR/lane-$1"
    mkdir -p "$lane"
    cp -a "$MAIN_PREFIX" "$lane/prefix"
    WINEPREFIX="$lane/prefix" bash "$ROOT/scripts/wine-prefix.sh" --user-folders
    (
        export WINEPREFIX="$lane/prefix" QV_USE_DISPLAY=0
        # shellcheck disable=SC1091  # the project's display helper
        source "$ROOT/scripts/xvfb.sh"
        xvfb_start </dev/null >/dev/null 2>&1 || { echo "walk-lanes: no display for lane $id" >&2; exit 1; }
        echo "$QV_XVFB_PID" >"$lane/xvfb.pid"
        "$RUN" --up </dev/null >/dev/null 2>&1 || { echo "walk-lanes: no wineserver for lane $id" >&2; exit 1; }
        printf 'export DISPLAY=%q WINEPREFIX=%q\n' "$DISPLAY" "$WINEPREFIX" >"$lane/env"
        echo "walk-lanes: lane $id on display $DISPLAY, prefix $WINEPREFIX"
    )
}

case "${1:-}" in
    up)
        count=${2:-3}
        mkdir -p "$DIR"
        for lane in "$DIR"/lane-*; do
            [ -d "$lane" ] && lane_down "${lane##*-}"
        done
        for ((id = 0; id < count; id++)); do
            lane_up "$id"
        done
        ;;
    down)
        for lane in "$DIR"/lane-*; do
            [ -d "$lane" ] && lane_down "${lane##*-}"
        done
        ;;
    run)
        shift
        [ $# -gt 0 ] || { echo "walk-lanes: run needs a command" >&2; exit 2; }
        lanes=("$DIR"/lane-*/env)
        [ -f "${lanes[0]}" ] || { echo "walk-lanes: no lanes in $DIR (walk-lanes.sh up makes them)" >&2; exit 2; }
        # The first lane whose lock is free. flock holds it until the command ends, and closes it in the command (-o):
        # a program that the walk leaves running, such as a desktop process started again, never keeps the lane.
        while :; do
            for env in "${lanes[@]}"; do
                status=0
                # shellcheck disable=SC2016  # expanded by the inner shell: $0 is the lane's env file
                flock -n -o -E 200 "${env%/env}/lock" bash -c 'source "$0" && exec "$@"' "$env" "$@" || status=$?
                [ "$status" = 200 ] || exit "$status"
            done
            sleep 1
        done
        ;;
    *)
        echo "usage: walk-lanes.sh up [COUNT] | down | run COMMAND..." >&2
        exit 2
        ;;
esac
