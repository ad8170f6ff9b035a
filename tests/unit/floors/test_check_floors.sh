#!/usr/bin/env bash
# test_check_floors.sh CHECK SRC: runs the floor check on small source trees
# made in a temporary folder (with a blank and a non-ASCII letter in its
# path) and expects each fault named and the exit code, then on SRC, which
# must pass. Prints "N passed, N failed".
set -uo pipefail
# Both taken as absolute paths: the check runs from another folder.
check="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
src="$(cd "$2" && pwd)"
work="$(mktemp -d "${TMPDIR:-/tmp}/floors check ä.XXXXXX")"
trap 'rm -rf "$work"' EXIT
passed=0
failed=0

fail() {
    echo "FAIL: $1"
}

# tree NAME FILE LINE [FILE LINE ...]: a fresh tree with each file holding its line.
tree() {
    root="$work/$1"
    shift
    rm -rf "$root"
    while [ $# -gt 0 ]; do
        mkdir -p "$(dirname "$root/src/$1")"
        printf '%s\n' "// a unit" "$2" >>"$root/src/$1"
        shift 2
    done
}

# expect NAME CODE [TEXT ...]: the check of the last tree ends with CODE and
# prints each TEXT; a failing check names nothing beyond the texts given.
expect() {
    local name="$1" code="$2"
    shift 2
    out="$(cd / && bash "$check" "$root/src" 2>&1)"
    rc=$?
    local ok=1
    if [ "$rc" -ne "$code" ]; then
        fail "$name: exit $rc, expected $code; output: $out"
        ok=0
    fi
    for text in "$@"; do
        if ! grep -qF -- "$text" <<<"$out"; then
            fail "$name: output lacks '$text'; output: $out"
            ok=0
        fi
    done
    if [ "$code" -eq 1 ] && [ "$(grep -c . <<<"$out")" -ne $# ]; then
        fail "$name: expected $# lines, got: $out"
        ok=0
    fi
    if [ $ok -eq 1 ]; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
    fi
}

# Every floor on the ones below it; own folder by bare name; the programs
# share their floor; an indented include and a comment are read as they are.
tree clean \
    platform/a.cpp '#include "platform/a.h"' \
    toolkit/b.cpp '#include "platform/a.h"' \
    archive/c.cpp '#include "toolkit/b.h"' \
    translate/d.cpp '#include "toolkit/b.h"' \
    objects/e.cpp '#include "archive/c.h"' \
    dialogs/f.cpp '#include "translate/d.h"' \
    engine/g.cpp '#include "dialogs/f.h"' \
    engine/h.cpp '#include "g.h"' \
    sample/i.cpp '#include "setup/j.h"' \
    setup/j.cpp '#include "engine/g.h"' \
    loader/k.cpp '// #include "engine/g.h" is not an include' \
    uninstall/l.cpp '#include <engine/g.h>'
expect "a tree in order" 0 "12 files, every include stands"

tree up \
    platform/a.cpp '#include "toolkit/b.h"' \
    objects/e.h '  #  include "engine/g.h"' \
    dialogs/f.cpp '#include "engine/g.h"' \
    engine/g.cpp '#include "sample/i.h"' \
    toolkit/b.cpp '#include "platform/a.h"'
expect "upward includes" 1 \
    'src/platform/a.cpp:2: includes "toolkit/b.h": toolkit stands above platform' \
    'src/objects/e.h:2: includes "engine/g.h": engine stands above objects' \
    'src/dialogs/f.cpp:2: includes "engine/g.h": engine stands above dialogs' \
    'src/engine/g.cpp:2: includes "sample/i.h": sample stands above engine'

tree sideways \
    archive/c.cpp '#include "translate/d.h"' \
    translate/d.cpp '#include "archive/c.h"'
expect "archive and translate apart" 1 \
    'src/archive/c.cpp:2: includes "translate/d.h": archive and translate share a floor and stay apart' \
    'src/translate/d.cpp:2: includes "archive/c.h": translate and archive share a floor and stay apart'

tree strange \
    objects/e.cpp '#include "../engine/g.h"' \
    engine/g.cpp '#include "nowhere/x.h"' \
    "new folder/m.cpp" '#include "platform/a.h"'
expect "relative paths and unknown folders" 1 \
    'src/objects/e.cpp:2: includes "../engine/g.h": name the folder from src/' \
    "src/engine/g.cpp:2: includes \"nowhere/x.h\" from 'nowhere', which is no folder of src/" \
    "src/new folder/m.cpp: folder 'new folder' has no floor"

tree empty
mkdir -p "$root/src/platform"
expect "no source files" 2 "no source files"

root="$(dirname "$src")"
expect "the project's own src/" 0 "every include stands on its own floor or below"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
