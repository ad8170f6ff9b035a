#!/usr/bin/env bash
# Runs the product: installs what is missing, builds the Windows programs and
# starts setup.exe under Wine. Arguments go to setup.exe.
#   --screenshot FILE   (first argument) also saves a picture of the screen
#                       after a few seconds and then ends the program; for
#                       machines without a display of their own.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
shot=""
if [ "${1:-}" = "--screenshot" ]; then
    shot="$(realpath -m "${2:?--screenshot needs a file name}")"
    shift 2
fi

bash scripts/install-deps.sh
bash scripts/build.sh win >/dev/null

source scripts/wine-env.sh
wine_env_start
trap wine_env_stop EXIT
exe="$root/build/win/src/setup/setup.exe"

# The product as the screen-saver setup expects it: files.inf in the system
# folder names the screen saver, a second file and the uninstaller.
sample="$WINEPREFIX/drive_c/build"
mkdir -p "$sample"
printf 'a screen saver\r\n' >"$sample/Starry Night.scr"
printf 'Starry Night screen saver\r\n' >"$sample/readme.txt"
printf 'an uninstaller\r\n' >"$sample/uninstall.exe"
printf 'C:\\build\\Starry Night.scr\r\nC:\\build\\readme.txt\r\nC:\\build\\uninstall.exe\r\n' \
    >"$WINEPREFIX/drive_c/windows/system32/files.inf"

if [ -z "$shot" ]; then
    wine "$exe" "$@"
    exit $?
fi
wine "$exe" "$@" &
pid=$!
sleep "${SHOT_DELAY:-4}"
xwd -root -silent | convert xwd:- "$shot"
echo "screenshot: $shot"
kill "$pid" 2>/dev/null || true
wineserver -k || true
