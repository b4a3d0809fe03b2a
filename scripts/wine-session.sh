# shellcheck shell=sh
# Sourced by the scripts that run Windows programs, from the top of the work tree: which
# Wine starts which programs, and a private Wine prefix with its own wineserver and
# display, all shut down on the way out.
#   wine_session_machine_kind
#       prints "win32" where the probe found that Wine starts 32-bit programs here, else
#       "twin"; the probe's answer is read here only
#   wine_session_use KIND
#       exports, for KIND win32 or twin, VXWIPE_WINE (the command that starts a Windows
#       program; a name that Wine hands on to the Unix commands that the tests start),
#       WINELOADER, VXWIPE_BUILD (the build folder of the programs and tools that run) and
#       VXWIPE_PROGRAM (the uninstaller that runs)
#   wine_session_start BUILD_DIR PREFIX_NAME [user-display]
#       WINEARCH (win32: a pure 32-bit prefix; win64, the default: a 64-bit prefix, which
#       runs 32-bit programs through WoW64 where wine32 is installed)
#   wine_session_next_prefix PREFIX_NAME ARCH
#       stops the current prefix's server and makes another fresh prefix on the same display
#   wine_session_prefix BUILD_DIR PREFIX_NAME ARCH
#       the first of these two for the session's first prefix, the second for every other
#   wine_session_seal CLONES_DIR
#       stops the current prefix's server once it has written the registry files: the
#       prefix becomes the template (WINE_TEMPLATE) of the clones made in CLONES_DIR
#       (WINE_CLONES), which are stopped with the session too
#   wine_session_clone TEMPLATE CLONE
#       a fresh prefix CLONE, the same as TEMPLATE, in about a tenth of a second
#   wine_session_time_limit SECONDS
#       SECONDS times VXWIPE_TEST_TIME_SCALE, the one setting of every time limit
# "user-display" keeps the caller's DISPLAY (boxes on the user's screen) instead of Xvfb.

# scripts/probe-wine32.sh writes "yes" or "no: <why>" here.
WINE_SESSION_PROBE_ANSWER=build/wine32-probe

wine_session_machine_kind() {
    if grep -q '^yes' "$WINE_SESSION_PROBE_ANSWER" 2>/dev/null; then
        echo win32
    else
        echo twin
    fi
}

# win32: Debian's wine, whose i386 loader starts the shipped PE32 and the i686 tools.
# twin: the 64-bit loader alone (scripts/wine64-only) starts the x86_64 twin and its tools,
# as on a machine whose kernel starts no i386 program.
wine_session_use() {
    case $1 in
    win32)
        VXWIPE_WINE=/usr/bin/wine
        VXWIPE_BUILD=build/win32
        VXWIPE_PROGRAM=dist/win32/vxwipe.exe
        unset WINELOADER
        ;;
    twin)
        VXWIPE_WINE=$(pwd)/scripts/wine64-only
        VXWIPE_BUILD=build/win64
        VXWIPE_PROGRAM=build/win64/bin/vxwipe.exe
        WINELOADER=/usr/lib/wine/wine64
        export WINELOADER
        ;;
    *)
        echo "wine_session_use: win32 or twin, not $1" >&2
        return 2
        ;;
    esac
    export VXWIPE_WINE VXWIPE_BUILD VXWIPE_PROGRAM
}

wine_session_xvfb_pid=""
WINE_SESSION_BOOT_LIMIT=300 # seconds for making a prefix (times the scale); it takes 6-25 s
wine_session_display_file=""

wine_session_stop_clones() {
    [ -n "${WINE_CLONES:-}" ] && [ -d "$WINE_CLONES" ] || return 0
    for clone in "$WINE_CLONES"/*/; do
        [ -d "$clone" ] && WINEPREFIX=${clone%/} wineserver -k >/dev/null 2>&1
    done
    return 0
}

wine_session_stop() {
    wineserver -k >/dev/null 2>&1
    wine_session_stop_clones
    if [ -n "$wine_session_xvfb_pid" ]; then
        kill "$wine_session_xvfb_pid" 2>/dev/null
        wait "$wine_session_xvfb_pid" 2>/dev/null
    fi
    [ -z "$wine_session_display_file" ] || rm -f "$wine_session_display_file"
}

wine_session_start() {
    session_build=$(cd "$1" && pwd)
    # The caller may ask for a pure 32-bit prefix (WINEARCH=win32).
    export WINEARCH="${WINEARCH:-win64}"
    export WINEDEBUG=-all
    # No offers to download Mono or Gecko, no menu entries written into the home folder.
    export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
    # The loader is the caller's choice (wine_session_use), the server Wine's own.
    unset WINESERVER WINE_TEMPLATE WINE_CLONES
    if [ -z "${VXWIPE_WINE:-}" ]; then
        echo "wine_session_start: no Wine chosen (wine_session_use)" >&2
        return 2
    fi
    trap 'trap - EXIT INT TERM HUP; wine_session_stop' EXIT
    trap 'exit 130' INT
    trap 'exit 143' TERM HUP

    if [ "${3:-}" = user-display ] && [ -n "${DISPLAY:-}" ]; then
        :
    else
        # The display comes first: every Wine process of the run, wineboot included, uses it.
        wine_session_display_file=$(mktemp "${TMPDIR:-/tmp}/xvfb-display.XXXXXX")
        Xvfb -displayfd 3 -nolisten tcp -screen 0 1280x1024x24 3>"$wine_session_display_file" \
            >"$session_build/$2.xvfb.log" 2>&1 &
        wine_session_xvfb_pid=$!
        waited=0
        while [ ! -s "$wine_session_display_file" ]; do
            if ! kill -0 "$wine_session_xvfb_pid" 2>/dev/null || [ "$waited" -ge 100 ]; then
                echo "Xvfb did not start (see $session_build/$2.xvfb.log)" >&2
                return 2
            fi
            sleep 0.1
            waited=$((waited + 1))
        done
        DISPLAY=":$(head -n 1 "$wine_session_display_file")"
        export DISPLAY
    fi
    wine_session_make_prefix "$2"
}

wine_session_next_prefix() {
    wineserver -k >/dev/null 2>&1
    wine_session_stop_clones
    unset WINE_TEMPLATE WINE_CLONES
    export WINEARCH="$2"
    wine_session_make_prefix "$1"
}

wine_session_prefix() {
    if [ -z "${wine_session_started:-}" ]; then
        export WINEARCH="$3"
        wine_session_start "$1" "$2" || return 2
        wine_session_started=yes
    else
        wine_session_next_prefix "$2" "$3"
    fi
}

wine_session_make_prefix() {
    export WINEPREFIX="$session_build/$1"
    rm -rf "$WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    # The server and the prefix's services outlive wineboot and keep the handles they were
    # given: theirs go to a file, never to the caller's pipes.
    wineserver -p >"$WINEPREFIX.wineserver.log" 2>&1
    boot_limit=$(wine_session_time_limit "$WINE_SESSION_BOOT_LIMIT")
    if ! timeout -k 5 "$boot_limit" "$VXWIPE_WINE" wineboot --init </dev/null \
        >"$WINEPREFIX.wineboot.log" 2>&1; then
        echo "wineboot failed (see $WINEPREFIX.wineboot.log)" >&2
        return 2
    fi
    if [ -n "$wine_session_xvfb_pid" ]; then
        # Without a window manager on the display, Wine waits 2 s for one whenever a
        # managed window (every message box) closes: let Wine place the windows itself.
        "$VXWIPE_WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null \
            >>"$WINEPREFIX.wineboot.log" 2>&1
    fi
}

wine_session_seal() {
    # The server keeps the registry in memory and writes the files when it stops: the
    # last value written before (or the prefix's own user.reg) shows that it has.
    wineserver -k >/dev/null 2>&1
    wineserver -w >/dev/null 2>&1
    if [ -n "$wine_session_xvfb_pid" ] &&
        ! grep -q '^"Managed"="N"' "$WINEPREFIX/user.reg" 2>/dev/null; then
        echo "the server of $WINEPREFIX stopped without writing its registry" >&2
        return 2
    fi
    rm -rf "$1"
    mkdir -p "$1"
    WINE_TEMPLATE=$WINEPREFIX
    WINE_CLONES=$(cd "$1" && pwd)
    export WINE_TEMPLATE WINE_CLONES
}

# Binaries are hard links to the template's: nothing writes into them. Every other file,
# the registry files that the clone's server rewrites among them, is copied, so that no
# write in the clone can reach the template.
wine_session_clone() {
    rm -rf "$2"
    cp -a --link "$1" "$2" || return 2
    (cd "$1" && find . -type f ! \( -iname '*.dll' -o -iname '*.exe' -o -iname '*.drv' \
        -o -iname '*.sys' -o -iname '*.acm' -o -iname '*.ax' -o -iname '*.cpl' \
        -o -iname '*.ocx' -o -iname '*.tlb' -o -iname '*.ds' -o -iname '*.msstyles' \
        -o -iname '*.nls' -o -iname '*.ttf' -o -iname '*.fon' -o -iname '*.com' \) -print0 |
        xargs -0 -r cp -p --parents --remove-destination -t "$2") || return 2
}

wine_session_time_limit() {
    echo $(($1 * ${VXWIPE_TEST_TIME_SCALE:-1}))
}
