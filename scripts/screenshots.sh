#!/usr/bin/env bash
# Takes a picture of every page of the sample setup under Wine on a display
# of its own (Xvfb, 1024x768) and saves them as PNG files in docs/ (or the
# folder given): the English run from the welcome page to the completion
# page with a 100 MiB data file, so that the copy-progress window can be
# seen; a cancelled run (the question and the failed-installation page);
# the first pages in Russian and German.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
out="$(realpath -m "${1:-docs}")"
mkdir -p "$out"

bash scripts/install-deps.sh
bash scripts/build.sh win >/dev/null

# A display of our own, of a fixed size, whatever the caller has.
unset DISPLAY
Xvfb_size="1024x768x24"
source scripts/wine-env.sh
source scripts/sample-env.sh
numfile="$(mktemp)"
Xvfb -displayfd 3 -screen 0 "$Xvfb_size" -nolisten tcp 3>"$numfile" </dev/null >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 100); do
    [ -s "$numfile" ] && break
    sleep 0.1
done
export DISPLAY=":$(tr -d '[:space:]' <"$numfile")"
rm -f "$numfile"
wine_env_start
trap 'wine_env_stop; kill $xvfb 2>/dev/null || true' EXIT

shots="$root/build/win/tests/e2e/sample_screenshots.exe"
sample_prepare 100
wine "$shots" "$out" 'C:\sample'
sample_prepare
for lang in ru de; do
    sample_language "$lang"
    # The program starts the sample in this locale itself; it needs only LOCPATH.
    locpath=()
    for v in "${SAMPLE_ENV[@]}"; do
        [[ $v == LOCPATH=* ]] && locpath+=("$v")
    done
    env "${locpath[@]}" wine "$shots" "$out" 'C:\sample' "$SAMPLE_LOCALE" "sample-$lang-"
    sample_prepare
done
rm -rf "$WINEPREFIX/drive_c/Program Files/Quenfold Sample"
ls -l "$out"/*.png
