# Sourced by sample.sh and screenshots.sh: the sample setup's product in the
# Wine prefix, and the Windows language the sample is started in.
#   sample_prepare [BIG_MB]   C:\sample holds the four sample files and their
#                             archive files.1 (made with qarc); with BIG_MB the
#                             data file has that many MiB, so that the
#                             copy-progress window stays long enough to be seen.
#   sample_language de|ru|en  sets SAMPLE_LOCALE (de_DE, ...) and SAMPLE_ENV,
#                             the variables to start Wine with so that it
#                             takes that locale as the user's language: the
#                             locale is compiled into build/locale when the
#                             system does not have it. Started with env, as
#                             this shell itself cannot switch to such a locale.

sample_prepare() {
    local big="${1:-}"
    local dist="$WINEPREFIX/drive_c/sample"
    rm -rf "$dist"
    mkdir -p "$dist"
    printf 'The Quenfold sample program.\r\n' >"$dist/sample.txt"
    if [ -n "$big" ]; then
        head -c "$((big * 1024 * 1024))" /dev/urandom >"$dist/sample.dat"
    else
        printf 'sample data\r\n' >"$dist/sample.dat"
    fi
    printf 'How to use the sample program.\r\n' >"$dist/manual.txt"
    printf 'Free to copy.\r\n' >"$dist/licence.txt"
    # Each member carries the UniqueID of its install file in the stored
    # project and its bare name, as the install files name no source folder:
    # qarc runs in the folder (Wine starts it in C:\sample).
    local qarc="$root/build/win/tools/qarc/qarc.exe" id=1 name
    for name in sample.txt sample.dat manual.txt licence.txt; do
        if [ "$id" = 1 ]; then
            (cd "$dist" && wine "$qarc" create files.1 --id "$id" "$name" >/dev/null)
        else
            (cd "$dist" && wine "$qarc" add files.1 --id "$id" "$name" >/dev/null)
        fi
        id=$((id + 1))
    done
    # A run before leaves its files; the next one starts clean.
    rm -rf "$WINEPREFIX/drive_c/Program Files/Quenfold Sample"
}

sample_language() {
    local locale
    SAMPLE_ENV=()
    case "${1:-en}" in
    de) locale=de_DE ;;
    ru) locale=ru_RU ;;
    en) locale=en_US ;;
    *)
        echo "unknown language: $1 (de, ru, en)" >&2
        return 2
        ;;
    esac
    if ! locale -a 2>/dev/null | grep -qi "^$locale.utf-\?8$"; then
        local dir="$root/build/locale"
        if [ ! -f "$dir/$locale.UTF-8/LC_CTYPE" ]; then
            mkdir -p "$dir"
            # localedef exits 1 when it has only warned.
            localedef -c -i "$locale" -f UTF-8 "$dir/$locale.UTF-8" || test -f "$dir/$locale.UTF-8/LC_CTYPE"
        fi
        SAMPLE_ENV+=("LOCPATH=$dir")
    fi
    SAMPLE_LOCALE="$locale"
    SAMPLE_ENV+=("LC_ALL=$locale.UTF-8" "LANG=$locale.UTF-8")
}
