#!/usr/bin/env bash
# The whole test run: installs what is missing, builds both configurations,
# runs every Windows test under Wine, the sanitizer build's tests natively and
# each fuzz target for a bounded time. Exits non-zero on any failure.
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
start=$(date +%s)

bash scripts/install-deps.sh || exit 1
bash scripts/build.sh win native || exit 1

status=0
source scripts/wine-env.sh
wine_env_start
trap wine_env_stop EXIT

echo "== Windows tests (under Wine)"
(cd build/win && ctest --output-on-failure -j 2) || status=1

echo "== native tests (address and undefined-behaviour sanitizers)"
(cd build/native && ctest --output-on-failure -j 2) || status=1

echo "== fuzzing (${FUZZ_SECONDS:-30} s per target)"
bash scripts/fuzz.sh "${FUZZ_SECONDS:-30}" || status=1

echo "test run took $(($(date +%s) - start)) s"
exit $status
