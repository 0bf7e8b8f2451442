# Sourced: xvfb_start starts a private X display (unless QV_USE_DISPLAY=1 and DISPLAY is set) and restarts the
# project's wineserver so that it belongs to that display; xvfb_stop ends both.
QV_ROOT="${QV_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}"
QV_XVFB_PID=""

xvfb_start() {
    export WINEPREFIX="${WINEPREFIX:-$QV_ROOT/build/wineprefix}"
    /usr/lib/wine/wineserver -k 2>/dev/null || true
    /usr/lib/wine/wineserver -w 2>/dev/null || true
    if [ "${QV_USE_DISPLAY:-0}" = 1 ] && [ -n "${DISPLAY:-}" ]; then
        return 0
    fi
    local n
    for n in $(seq 91 120); do
        [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
        Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
        QV_XVFB_PID=$!
        local i
        for i in $(seq 100); do
            if xdpyinfo -display ":$n" >/dev/null 2>&1; then
                export DISPLAY=":$n"
                return 0
            fi
            kill -0 "$QV_XVFB_PID" 2>/dev/null || break
            sleep 0.1
        done
    done
    echo "xvfb: could not start a display" >&2
    return 1
}

xvfb_stop() {
    /usr/lib/wine/wineserver -k 2>/dev/null || true
    if [ -n "$QV_XVFB_PID" ]; then
        kill "$QV_XVFB_PID" 2>/dev/null || true
        wait "$QV_XVFB_PID" 2>/dev/null || true
        QV_XVFB_PID=""
    fi
}
