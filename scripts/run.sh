#!/usr/bin/env bash
# Runs the product: installs what is missing, builds the Windows programs and
# starts setup.exe under Wine. Arguments go to setup.exe. The 32-bit programs
# by default (build/win32; the one setup.exe for every Windows); QFD_WIDTH=64
# takes the 64-bit ones (build/win).
#   --screenshot FILE   (first argument) also saves a picture of the screen
#                       after a few seconds and then ends the program; for
#                       machines without a display of their own.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
#   --build             (first argument) builds the sample's self-extracting
#                       setup.exe into C:\dist with -b, copies it alone into
#                       a new Wine prefix (build/wineprefix-clean) and installs
#                       the product there from it; --screenshot may follow.
shot=""
build=""
if [ "${1:-}" = "--build" ]; then
    build=1
    shift
fi
if [ "${1:-}" = "--screenshot" ]; then
    shot="$(realpath -m "${2:?--screenshot needs a file name}")"
    shift 2
fi

case "${QFD_WIDTH:-32}" in
32) config=win32 ;;
64) config=win ;;
*)
    echo "QFD_WIDTH is 32 or 64, not ${QFD_WIDTH}" >&2
    exit 2
    ;;
esac
bin="$root/build/$config"

bash scripts/install-deps.sh
bash scripts/build.sh "$config" >/dev/null

source scripts/wine-env.sh
wine_env_start
trap wine_env_stop EXIT
exe="$bin/src/setup/setup.exe"

# The system folder the setup program sees, under its real name in the
# prefix: a 32-bit program in a 64-bit prefix has syswow64.
system_folder() {
    if [ "$config" = win32 ] && [ -d "$1/drive_c/windows/syswow64" ]; then
        echo "$1/drive_c/windows/syswow64"
    else
        echo "$1/drive_c/windows/system32"
    fi
}

# The product as the screen-saver setup expects it: files.inf in the system
# folder names the screen saver, a second file and the uninstaller; the
# distribution folder C:\build holds them and their archive files.1, which the
# setup program reads as its main archive (started with -sC:\build, as the
# loading program would start it). Each member carries the identifier of its
# install file in the stored project: the second file 0, the screen saver 1,
# the uninstaller 5.
sample="$WINEPREFIX/drive_c/build"
mkdir -p "$sample"
printf 'a screen saver\r\n' >"$sample/Starry Night.scr"
printf 'Starry Night screen saver\r\n' >"$sample/readme.txt"
# The framework's own uninstaller: the product can be removed again from the
# system's list of installed programs.
cp "$bin/src/uninstall/uninstall.exe" "$sample/uninstall.exe"
printf 'C:\\build\\Starry Night.scr\r\nC:\\build\\readme.txt\r\nC:\\build\\uninstall.exe\r\n' \
    >"$(system_folder "$WINEPREFIX")/files.inf"
qarc="$bin/tools/qarc/qarc.exe"
rm -f "$sample/files.1"
wine "$qarc" create 'C:\build\files.1' --id 1 'C:\build\Starry Night.scr' >/dev/null
wine "$qarc" add 'C:\build\files.1' --id 0 'C:\build\readme.txt' >/dev/null
wine "$qarc" add 'C:\build\files.1' --id 5 'C:\build\uninstall.exe' >/dev/null

# The run's log lies in the temporary folder of the Wine prefix.
temp="$(wine cmd /c echo %TEMP% 2>/dev/null | tr -d '\r')"
logs="$(realpath -m "$(winepath -u "$temp" 2>/dev/null || true)")"
show_log() {
    local newest
    newest="$(ls -t "$logs"/Setup\ Log\ *.txt 2>/dev/null | head -1 || true)"
    [ -n "$newest" ] && echo "log of the run: $newest"
    return 0
}

if [ -n "$build" ]; then
    # The author's side: setup.exe -b reads BUILD.INF beside it and builds
    # setup.exe (the loading program with setup.1 and files.1 appended),
    # setup.1 and files.1 into C:\dist.
    rm -rf "$WINEPREFIX/drive_c/dist"
    printf 'C:\\dist\r\n' >"$bin/src/setup/BUILD.INF"
    wine "$exe" -b
    ls -l "$WINEPREFIX/drive_c/dist"
    [ -s "$WINEPREFIX/drive_c/dist/setup.exe" ] || { echo "the build made no setup.exe" >&2; exit 1; }
    # The user's side: a new prefix that has nothing of the product but the
    # self-extracting setup.exe, copied alone to C:\.
    clean="$root/build/wineprefix-clean"
    rm -rf "$clean"
    stop_clean() {
        WINEPREFIX="$clean" wineserver -k </dev/null >/dev/null 2>&1 || true
        wine_env_stop
    }
    trap stop_clean EXIT
    WINEPREFIX="$clean" setsid wineserver -p </dev/null >/dev/null 2>&1 || true
    WINEPREFIX="$clean" setsid wine wineboot </dev/null >/dev/null 2>&1 || true
    WINEPREFIX="$clean" wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f \
        </dev/null >/dev/null 2>&1 || true
    cp "$WINEPREFIX/drive_c/dist/setup.exe" "$clean/drive_c/setup.exe"
    echo "installing from $clean/drive_c/setup.exe"
    if [ -z "$shot" ]; then
        status=0
        WINEPREFIX="$clean" wine 'C:\setup.exe' "$@" || status=$?
        ls -l "$(system_folder "$clean")/"*.scr 2>/dev/null || true
        exit $status
    fi
    WINEPREFIX="$clean" wine 'C:\setup.exe' "$@" &
    pid=$!
    sleep "${SHOT_DELAY:-8}"
    xwd -root -silent | convert xwd:- "$shot"
    echo "screenshot: $shot"
    ls -l "$(system_folder "$clean")/"*.scr 2>/dev/null || true
    kill "$pid" 2>/dev/null || true
    exit 0
fi
if [ -z "$shot" ]; then
    status=0
    wine "$exe" '-sC:\build' "$@" || status=$?
    show_log
    exit $status
fi
wine "$exe" '-sC:\build' "$@" &
pid=$!
sleep "${SHOT_DELAY:-4}"
xwd -root -silent | convert xwd:- "$shot"
echo "screenshot: $shot"
kill "$pid" 2>/dev/null || true
wineserver -k || true
show_log
