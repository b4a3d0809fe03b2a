# Sourced by the scripts that run Windows programs: a private Wine prefix with its own
# wineserver and display, all shut down on the way out.
#   wine_session_start BUILD_DIR PREFIX_NAME [user-display]
# "user-display" keeps the caller's DISPLAY (boxes on the user's screen) instead of Xvfb.

wine_session_xvfb_pid=""
wine_session_display_file=""

wine_session_stop() {
    wineserver -k >/dev/null 2>&1
    if [ -n "$wine_session_xvfb_pid" ]; then
        kill "$wine_session_xvfb_pid" 2>/dev/null
        wait "$wine_session_xvfb_pid" 2>/dev/null
    fi
    [ -z "$wine_session_display_file" ] || rm -f "$wine_session_display_file"
}

wine_session_start() {
    session_build=$(cd "$1" && pwd)
    export WINEPREFIX="$session_build/$2"
    # The caller may ask for a pure 32-bit prefix (WINEARCH=win32).
    export WINEARCH=${WINEARCH:-win64}
    export WINEDEBUG=-all
    # No offers to download Mono or Gecko, no menu entries written into the home folder.
    export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
    unset WINESERVER WINELOADER
    trap 'trap - EXIT INT TERM HUP; wine_session_stop' EXIT
    trap 'exit 130' INT
    trap 'exit 143' TERM HUP

    if [ "${3:-}" = user-display ] && [ -n "${DISPLAY:-}" ]; then
        :
    else
        # The display comes first: every Wine process of the run, wineboot included, uses it.
        wine_session_display_file=$(mktemp "${TMPDIR:-/tmp}/xvfb-display.XXXXXX")
        Xvfb -displayfd 3 -nolisten tcp -screen 0 1280x1024x24 3>"$wine_session_display_file" \
            >"$session_build/xvfb.log" 2>&1 &
        wine_session_xvfb_pid=$!
        waited=0
        while [ ! -s "$wine_session_display_file" ]; do
            if ! kill -0 "$wine_session_xvfb_pid" 2>/dev/null || [ "$waited" -ge 100 ]; then
                echo "Xvfb did not start (see $session_build/xvfb.log)" >&2
                return 2
            fi
            sleep 0.1
            waited=$((waited + 1))
        done
        export DISPLAY=":$(head -n 1 "$wine_session_display_file")"
    fi

    rm -rf "$WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    # The server and the prefix's services outlive wineboot and keep the handles they were
    # given: theirs go to a file, never to the caller's pipes.
    wineserver -p >"$session_build/wineserver.log" 2>&1
    if ! wine wineboot --init </dev/null >"$session_build/wineboot.log" 2>&1; then
        echo "wineboot failed (see $session_build/wineboot.log)" >&2
        return 2
    fi
    if [ -n "$wine_session_xvfb_pid" ]; then
        # Without a window manager on the display, Wine waits 2 s for one whenever a
        # managed window (every message box) closes: let Wine place the windows itself.
        wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null \
            >>"$session_build/wineboot.log" 2>&1
    fi
}
