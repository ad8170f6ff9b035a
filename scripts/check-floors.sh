#!/usr/bin/env bash
# Checks that every folder of src/ stands only on the folders below it: a
# file may include its own folder and any lower floor, never a higher one,
# and the archive and the translator (one floor) never include each other.
#
#   platform <- toolkit <- archive, translate <- objects <- dialogs <- engine
#            <- programs (loader, setup, uninstall, sample)
#
# Prints each offending file and include and exits 1; exits 0 when the
# floors hold. Works from any folder; an argument names another source root.
set -uo pipefail
src="${1:-$(cd "$(dirname "$0")/.." && pwd)/src}"
if [ ! -d "$src" ]; then
    echo "check-floors: no source folder $src" >&2
    exit 2
fi

declare -A floor=(
    [platform]=0
    [toolkit]=1
    [archive]=2 [translate]=2
    [objects]=3
    [dialogs]=4
    [engine]=5
    [loader]=6 [setup]=6 [uninstall]=6 [sample]=6
)
# Folders of one floor that must not include each other. The programs share
# the top floor and may use each other's units.
declare -A apart=([archive]=1 [translate]=1)

status=0
checked=0
files=()
while IFS= read -r -d '' file; do
    rel="${file#"$src"/}"
    dir="${rel%%/*}"
    [ "$dir" = "$rel" ] && continue # a file at the top of src/ (none but CMakeLists.txt)
    if [ -z "${floor[$dir]+x}" ]; then
        echo "check-floors: src/$rel: folder '$dir' has no floor (add it to scripts/check-floors.sh)"
        status=1
        continue
    fi
    files+=("$file")
done < <(find "$src" -type f \( -name '*.h' -o -name '*.cpp' -o -name '*.rc' -o -name '*.rc.in' \) -print0 | sort -z)
checked=${#files[@]}
if [ "$checked" -eq 0 ]; then
    echo "check-floors: no source files under $src" >&2
    exit 2
fi

# One grep over all files: "file:line:text" for each quoted include.
while IFS= read -r hit; do
    file="${hit%%:*}"
    rest="${hit#*:}"
    lineno="${rest%%:*}"
    line="${rest#*:}"
    [[ "$line" =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*\"([^\"]+)\" ]] || continue
    inc="${BASH_REMATCH[1]}"
    case "$inc" in
    */*) ;;
    *) continue ;; # its own folder
    esac
    rel="${file#"$src"/}"
    dir="${rel%%/*}"
    target="${inc%%/*}"
    if [ "$target" = "." ] || [ "$target" = ".." ]; then
        echo "src/$rel:$lineno: includes \"$inc\": name the folder from src/ instead of a relative path"
        status=1
    elif [ -z "${floor[$target]+x}" ]; then
        echo "src/$rel:$lineno: includes \"$inc\" from '$target', which is no folder of src/"
        status=1
    elif [ "$target" = "$dir" ]; then
        continue
    elif [ "${floor[$target]}" -gt "${floor[$dir]}" ]; then
        echo "src/$rel:$lineno: includes \"$inc\": $target stands above $dir"
        status=1
    elif [ "${floor[$target]}" -eq "${floor[$dir]}" ] && [ -n "${apart[$dir]+x}" ]; then
        echo "src/$rel:$lineno: includes \"$inc\": $dir and $target share a floor and stay apart"
        status=1
    fi
done < <(grep -HnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' -- "${files[@]}")

if [ $status -eq 0 ]; then
    echo "check-floors: $checked files, every include stands on its own floor or below"
fi
exit $status
