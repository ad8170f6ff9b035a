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
