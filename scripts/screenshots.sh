#!/usr/bin/env bash
# Takes pictures under Wine on a display of its own (Xvfb, 1024x768) and saves
# them as PNG files in docs/ (or the folder given):
#   the sample setup: the English run from the welcome page to the completion
#   page with a 100 MiB data file, so that the copy-progress window can be
#   seen; a cancelled run (the question and the failed-installation page);
#   the first pages in Russian and German, the German groups page with the
#   Program group typed onto drive Q:, a small disk of 1 MiB where the
#   system lets us mount one, so that its row shows the no-room mark;
#   setup.exe itself, installing the screen-saver product with a 150 MiB
#   screen saver: the copy-progress window in the middle of that file and
#   the good-installation page.
#   --only sample|setup   (first argument) takes only those pictures.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
only=""
if [ "${1:-}" = "--only" ]; then
    only="${2:-}"
    case "$only" in
    sample | setup) ;;
    *)
        echo "--only needs sample or setup" >&2
        exit 2
        ;;
    esac
    shift 2
fi
out="$(realpath -m "${1:-docs}")"
mkdir -p "$out"

bash scripts/install-deps.sh
bash scripts/build.sh win >/dev/null

# A display of our own, of a fixed size, whatever the caller has.
unset DISPLAY
QFD_XVFB_SIZE="1024x768x24"
source scripts/wine-env.sh
source scripts/sample-env.sh
wine_env_start
scratch=""
small=""
finish() {
    wine_env_stop
    if [ -n "$scratch" ]; then
        rm -rf "$scratch"
    fi
    if [ -n "$small" ]; then
        rm -f "$WINEPREFIX/dosdevices/q:"
        if mountpoint -q "$small"; then umount "$small" || umount -l "$small"; fi
        rmdir "$small" 2>/dev/null || true
    fi
}
trap finish EXIT

sample_pictures() {
    local shots="$root/build/win/tests/e2e/sample_screenshots.exe" lang v
    sample_prepare 100
    wine "$shots" "$out" 'C:\sample'
    # Drive Q: for the German page: 1 MiB, too little for the Program group.
    small="$root/build/small-drive"
    mkdir -p "$small"
    mount -t tmpfs -o size=1m qfdsmalldrive "$small" 2>/dev/null ||
        echo "no small disk for drive Q: (its row shows the free space of $small)" >&2
    ln -sfn "$small" "$WINEPREFIX/dosdevices/q:"
    sample_prepare 100
    for lang in ru de; do
        local typed=()
        [ "$lang" = de ] && typed=('q:\quenfold sample')
        sample_language "$lang"
        # The program starts the sample in this locale itself; it needs only LOCPATH.
        local locpath=()
        for v in "${SAMPLE_ENV[@]}"; do
            [[ $v == LOCPATH=* ]] && locpath+=("$v")
        done
        env "${locpath[@]}" wine "$shots" "$out" 'C:\sample' "$SAMPLE_LOCALE" "sample-$lang-" "${typed[@]}"
        sample_prepare 100
    done
    rm -f "$WINEPREFIX/dosdevices/q:"
    rm -rf "$WINEPREFIX/drive_c/Program Files/Quenfold Sample"
}

setup_pictures() {
    # setup.exe writes into the system folder and the registry (the files, the
    # uninstall entry, its install record, the current screen saver), so it
    # runs in a scratch copy of the prefix, which goes afterwards: later runs
    # and tests find the prefix as it was. Stopping the prefix's wineserver
    # first writes its registry out for the copy.
    wineserver -k </dev/null >/dev/null 2>&1 || true
    scratch="$root/build/wineprefix-shots"
    rm -rf "$scratch"
    cp -a "$WINEPREFIX" "$scratch"
    export WINEPREFIX="$scratch"
    setsid wineserver -p </dev/null >/dev/null 2>&1 || true

    # The product as scripts/run.sh makes it, with a screen saver big enough
    # that the copy-progress window stays up while it is extracted.
    local dist="$WINEPREFIX/drive_c/build"
    rm -rf "$dist"
    mkdir -p "$dist"
    head -c "$((150 * 1024 * 1024))" /dev/urandom >"$dist/Starry Night.scr"
    printf 'Starry Night screen saver\r\n' >"$dist/readme.txt"
    cp "$root/build/win/src/uninstall/uninstall.exe" "$dist/uninstall.exe"
    printf 'C:\\build\\Starry Night.scr\r\nC:\\build\\readme.txt\r\nC:\\build\\uninstall.exe\r\n' \
        >"$WINEPREFIX/drive_c/windows/system32/files.inf"
    local qarc="$root/build/win/tools/qarc/qarc.exe"
    wine "$qarc" create 'C:\build\files.1' --id 1 'C:\build\Starry Night.scr' >/dev/null
    wine "$qarc" add 'C:\build\files.1' --id 0 'C:\build\readme.txt' >/dev/null
    wine "$qarc" add 'C:\build\files.1' --id 5 'C:\build\uninstall.exe' >/dev/null

    wine "$root/build/win/tests/e2e/setup_screenshots.exe" "$out" 'C:\build'
    wineserver -k </dev/null >/dev/null 2>&1 || true
    rm -rf "$scratch"
    scratch=""
}

[ "$only" = setup ] || sample_pictures
[ "$only" = sample ] || setup_pictures
ls -l "$out"/*.png
