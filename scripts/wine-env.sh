# Sourced by the scripts that run Windows programs: a Wine prefix of the build
# tree, a display (Xvfb when none), and a detached wineserver kept alive so
# that each program starts fast and no Wine helper holds the caller's pipes.
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export WINEPREFIX="${WINEPREFIX:-$root/build/wineprefix}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
QFD_XVFB_PID=""
# The screen of the Xvfb started when there is no display.
QFD_XVFB_SIZE="${QFD_XVFB_SIZE:-1280x1024x24}"

wine_env_start() {
    if [ -z "${DISPLAY:-}" ]; then
        # Xvfb picks a free display itself and writes its number to fd 3.
        local numfile
        numfile="$(mktemp)"
        Xvfb -displayfd 3 -screen 0 "$QFD_XVFB_SIZE" -nolisten tcp 3>"$numfile" </dev/null >/dev/null 2>&1 &
        QFD_XVFB_PID=$!
        for _ in $(seq 100); do
            [ -s "$numfile" ] && break
            sleep 0.1
        done
        export DISPLAY=":$(tr -d '[:space:]' <"$numfile")"
        rm -f "$numfile"
    fi
    mkdir -p "$WINEPREFIX"
    setsid wineserver -p </dev/null >/dev/null 2>&1 || true
    setsid wine wineboot </dev/null >/dev/null 2>&1 || true
    # Wine finds its own Marlett (Debian's fonts-wine) only in the prefix's
    # Fonts folder; without it the close boxes and arrows draw as letters.
    if [ -f /usr/share/wine/fonts/marlett.ttf ] && [ -d "$WINEPREFIX/drive_c/windows" ]; then
        mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
        cp -n /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
    fi
    # Xvfb has no window manager: unmanaged windows hide at once instead of
    # Wine waiting two seconds for a manager that never answers.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1 || true
    # One desktop for the whole session, started here without our pipes: a
    # desktop started by a test would hold ctest's output pipe open (see
    # tests/support/DesktopKeeper.cpp). wine_env_stop ends it with the rest.
    # Either build's keeper will do; the 32-bit one is built with every test.
    local keeper="$root/build/win32/tests/support/qfd_desktop_keeper.exe"
    [ -f "$keeper" ] || keeper="$root/build/win/tests/support/qfd_desktop_keeper.exe"
    if [ -f "$keeper" ] && [ -z "${QFD_NO_DESKTOP_KEEPER:-}" ]; then
        (setsid wine "$keeper" </dev/null >/dev/null 2>&1 &)
    fi
}

wine_env_stop() {
    wineserver -k </dev/null >/dev/null 2>&1 || true
    if [ -n "$QFD_XVFB_PID" ]; then
        kill "$QFD_XVFB_PID" 2>/dev/null || true
        wait "$QFD_XVFB_PID" 2>/dev/null || true
    fi
}
