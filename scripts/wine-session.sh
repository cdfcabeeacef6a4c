# Sourced, not run: starts a private Wine session on its own virtual display
# and tears it all down on exit. Wine's service processes inherit stdout and
# stderr, so they must be killed (wineserver -k) or a CI pipe never closes.
#   wine_session_start   sets DISPLAY, WINEPREFIX and WINE_SESSION_DIR
#   wine_session_stop    called by the EXIT trap; safe to call twice

wine_session_stop() {
    if [ -n "${WINEPREFIX:-}" ] && [ -d "${WINEPREFIX}" ]; then
        WINEPREFIX="$WINEPREFIX" wineserver -k >/dev/null 2>&1 || true
        WINEPREFIX="$WINEPREFIX" timeout 10 wineserver -w >/dev/null 2>&1 || true
    fi
    [ -n "${WINE_SESSION_WM_PID:-}" ] && kill "$WINE_SESSION_WM_PID" >/dev/null 2>&1
    [ -n "${WINE_SESSION_X_PID:-}" ] && kill "$WINE_SESSION_X_PID" >/dev/null 2>&1
    [ -n "${WINE_SESSION_DIR:-}" ] && rm -rf "$WINE_SESSION_DIR"
    WINE_SESSION_WM_PID="" WINE_SESSION_X_PID="" WINE_SESSION_DIR=""
}

wine_session_start() {
    export WINE_SESSION_DIR
    WINE_SESSION_DIR=$(mktemp -d /tmp/tavrik-wine.XXXXXX)
    trap wine_session_stop EXIT
    trap 'exit 130' INT TERM

    # -displayfd picks a free display number: others may be in use.
    local fifo="$WINE_SESSION_DIR/displayfd"
    mkfifo "$fifo"
    Xvfb -displayfd 3 -nolisten tcp -screen 0 1280x1024x24 3>"$fifo" \
        >"$WINE_SESSION_DIR/xvfb.log" 2>&1 </dev/null &
    WINE_SESSION_X_PID=$!
    local display
    read -r -t 20 display <"$fifo" || { echo "Xvfb did not start" >&2; return 1; }
    export DISPLAY=":$display"

    # Without a window manager Wine undoes a maximise and hide/close stall.
    openbox >"$WINE_SESSION_DIR/openbox.log" 2>&1 </dev/null &
    WINE_SESSION_WM_PID=$!

    export WINEPREFIX="$WINE_SESSION_DIR/prefix"
    export WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml="
    timeout 120 wineboot -i >/dev/null 2>&1 </dev/null || { echo "wineboot failed" >&2; return 1; }
    timeout 30 wineserver -w >/dev/null 2>&1 || true
}
