#!/usr/bin/env bash
# Runs the sample setup: installs what is missing, builds, puts the sample
# product into C:\sample of the Wine prefix and starts sample.exe under Wine.
#   --lang de|ru|en   (first argument) the Windows user's language; the
#                     sample's windows follow it (default: the machine's).
# Other arguments go to sample.exe.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
lang=""
if [ "${1:-}" = "--lang" ]; then
    lang="${2:?--lang needs de, ru or en}"
    shift 2
fi

bash scripts/install-deps.sh
bash scripts/build.sh win >/dev/null

source scripts/wine-env.sh
source scripts/sample-env.sh
wine_env_start
trap wine_env_stop EXIT
sample_prepare
SAMPLE_ENV=()
[ -n "$lang" ] && sample_language "$lang"
status=0
env "${SAMPLE_ENV[@]}" wine "$root/build/win/src/sample/sample.exe" '-sC:\sample' "$@" || status=$?
echo "installed into: $WINEPREFIX/drive_c/Program Files/Quenfold Sample"
temp="$(wine cmd /c echo %TEMP% 2>/dev/null | tr -d '\r')"
logs="$(realpath -m "$(winepath -u "$temp" 2>/dev/null || true)")"
newest="$(ls -t "$logs"/Setup\ Log\ *.txt 2>/dev/null | head -1 || true)"
[ -n "$newest" ] && echo "log of the run: $newest"
exit $status
