#!/usr/bin/env bash
# The whole test run: installs what is missing, builds the 32-bit Windows
# programs with every Windows test, the 64-bit programs with the end-to-end
# tests only, and the sanitizer build; runs every Windows test of the 32-bit
# build under Wine (a 64-bit prefix: through WoW64, as on 64-bit Windows), the
# 64-bit end-to-end installs in the same prefix, the sanitizer build's tests
# natively and each fuzz target for a bounded time. Exits non-zero on any
# failure.
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
start=$(date +%s)
status=0

# Each folder of src/ includes only its own and the floors below it.
echo "== include floors"
bash scripts/check-floors.sh || status=1

# The end-to-end installs that run for the 64-bit programs as well: setup,
# the distribution built with -b, unattended, uninstall and restart.
e2e64=(test_e2e_setup test_e2e_install test_e2e_build test_e2e_quiet test_e2e_uninstall test_e2e_restart)

bash scripts/install-deps.sh || exit 1
bash scripts/build.sh win32 native || exit 1
WIN_TARGETS="${e2e64[*]}" bash scripts/build.sh win || exit 1

source scripts/wine-env.sh
# A run killed by its time limit may have left mounts and a test authority
# behind; they go before this run and after it, whatever happens to it.
wine_env_sweep
trap 'wine_env_stop; wine_env_sweep' EXIT
wine_env_start

# The prefix's temporary folder holds nothing of the tests: what an earlier,
# interrupted run left goes first; after the Windows tests it must be empty.
temp="$(wine_env_temp)"
# Wine's own files there may be named here, each with its reason (none so far).
temp_allowed=()
prefix_temp_left() {
    local name allowed
    for name in "$temp"/* "$temp"/.[!.]*; do
        [ -e "$name" ] || [ -L "$name" ] || continue
        name="${name##*/}"
        for allowed in "${temp_allowed[@]}"; do
            [[ "$name" == $allowed ]] && continue 2
        done
        printf '%s\n' "$name"
    done
}
left="$(prefix_temp_left)"
if [ -n "$left" ]; then
    echo "== removing what an earlier run left in the prefix's temporary folder:"
    printf '%s\n' "$left" | sed 's/^/   /'
    while IFS= read -r name; do rm -rf -- "${temp:?}/$name"; done <<<"$left"
fi

# Likewise the machine's folder of the programs (journals, locks, the work
# folders of elevated runs, downloads): empty after the tests.
machine="$WINEPREFIX/drive_c/ProgramData/Quenfold"
machine_left() {
    local name
    for name in "$machine"/* "$machine"/.[!.]*; do
        [ -e "$name" ] || [ -L "$name" ] || continue
        printf '%s\n' "${name##*/}"
    done
}
if [ -n "$(machine_left)" ]; then
    echo "== removing what an earlier run left in $machine:"
    machine_left | sed 's/^/   /'
    rm -rf -- "${machine:?}"
fi

echo "== Windows tests, 32-bit programs (under Wine)"
(cd build/win32 && ctest --output-on-failure -j 2) || status=1

echo "== end-to-end installs, 64-bit programs (under Wine)"
(cd build/win && ctest --output-on-failure -j 2 -R "^($(IFS='|'; echo "${e2e64[*]}"))\$") || status=1

# Fails the run when the Windows tests left anything in a folder: the names
# that lister (a function) prints.
expect_empty() {
    local what="$1" folder="$2" lister="$3" left
    echo "== $what after the Windows tests"
    left="$($lister)"
    if [ -n "$left" ]; then
        echo "the Windows tests left in $folder:"
        printf '%s\n' "$left" | sed 's/^/   /'
        status=1
    else
        echo "empty"
    fi
}
expect_empty "the prefix's temporary folder" "$temp" prefix_temp_left
expect_empty "the machine's folder of the programs" "$machine" machine_left

echo "== native tests (address and undefined-behaviour sanitizers)"
(cd build/native && ctest --output-on-failure -j 2) || status=1

echo "== fuzzing (${FUZZ_SECONDS:-30} s per target)"
bash scripts/fuzz.sh "${FUZZ_SECONDS:-30}" || status=1

echo "test run took $(($(date +%s) - start)) s"
exit $status
