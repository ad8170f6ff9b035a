# Sourced by the scripts that run Windows programs: a Wine prefix of the build
# tree, a display (Xvfb when none), and a detached wineserver kept alive so
# that each program starts fast and no Wine helper holds the caller's pipes.
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export WINEPREFIX="${WINEPREFIX:-$root/build/wineprefix}"
export WINEDEBUG=-all
# Names what the tests of this prefix leave outside it (a test authority
# among the host's): the sweep below takes away this prefix's own.
QFD_TEST_TAG="p$(readlink -f "$WINEPREFIX" 2>/dev/null | md5sum | cut -c1-8)"
export QFD_TEST_TAG
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
    # It must have the desktop before the first test starts: a test program
    # that came first would start the desktop itself, with ctest's pipes.
    if [ -f "$keeper" ] && [ -z "${QFD_NO_DESKTOP_KEEPER:-}" ]; then
        local ready
        ready="$(mktemp -u /tmp/qfd-desktop.XXXXXX)"
        (setsid wine "$keeper" "Z:${ready//\//\\}" </dev/null >/dev/null 2>&1 &)
        for _ in $(seq 600); do
            [ -e "$ready" ] && break
            sleep 0.1
        done
        [ -e "$ready" ] || echo "wine-env: the desktop did not come up within 60 s" >&2
        rm -f "$ready"
    fi
}

# The prefix's temporary folder (%TEMP% of its user) as a Unix path.
wine_env_temp() {
    local users="$WINEPREFIX/drive_c/users/$(id -un)"
    if [ -d "$users/AppData/Local/Temp" ] && [ ! -d "$users/Temp" ]; then
        echo "$users/AppData/Local/Temp"
    else
        echo "$users/Temp"
    fi
}

# What a test killed by its time limit may have left outside the prefix's
# files: the small disks of the disk tests (a tmpfs as drive A:, an overlay
# on the system folder) still mounted in the prefix, drive A:'s link, and a
# test authority of the download tests among the host's trusted ones (this
# prefix's, or one older than any test run: another run's current one stays).
# Only while no test of this prefix runs.
wine_env_sweep() {
    local prefix mount source point
    prefix="$(readlink -f "$WINEPREFIX")"
    # Innermost first: /proc/mounts lists them in the order they were made.
    while read -r source point; do
        # /proc/mounts writes blanks and other special letters as octal escapes.
        mount="$(printf '%b' "${point//\\/\\0}")"
        case "$mount" in "$prefix"/*) ;; *) continue ;; esac
        echo "wine-env: unmounting $source left on $mount"
        umount "$mount" 2>/dev/null || umount -l "$mount" 2>/dev/null || true
    done < <(awk '$1 == "qfdfloppy" || $1 == "qfdsmalldisk" { print $1, $2 }' /proc/mounts | tac)
    local devices="$WINEPREFIX/dosdevices"
    if [ -L "$devices/a:" ] && [[ "$(readlink "$devices/a:")" == */qfdtest_* ]]; then
        rm -f "$devices/a:"
    fi
    if [ ! -e "$devices/a:" ] && [ ! -L "$devices/a:" ] && [ -L "$devices/a:.qfdsaved" ]; then
        mv -fT "$devices/a:.qfdsaved" "$devices/a:"
    fi
    local anchors=/usr/local/share/ca-certificates stale
    stale="$( (find "$anchors" -maxdepth 1 -name "quenfold-test-$QFD_TEST_TAG-*.crt"
        find "$anchors" -maxdepth 1 -name 'quenfold-test-*.crt' -mmin +60) 2>/dev/null | sort -u)"
    if [ -n "$stale" ]; then
        echo "wine-env: removing stale test authorities: $stale"
        local name
        for name in $stale; do
            name="$(basename "$name" .crt)"
            rm -f "$anchors/$name.crt" "/etc/ssl/certs/$name.pem"
            find /etc/ssl/certs -maxdepth 1 -lname "$name.pem" -exec rm -f {} +
        done
        flock -w 50 /tmp/qfd-ca-certificates.lock update-ca-certificates >/dev/null 2>&1 || true
    fi
}

wine_env_stop() {
    wineserver -k </dev/null >/dev/null 2>&1 || true
    if [ -n "$QFD_XVFB_PID" ]; then
        kill "$QFD_XVFB_PID" 2>/dev/null || true
        wait "$QFD_XVFB_PID" 2>/dev/null || true
    fi
}
