#!/usr/bin/env bash
# Runs every libFuzzer target of the native build for a bounded time on its
# checked-in seed corpus (copied, so the corpus in git stays as it is).
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-30}"
status=0
shopt -s nullglob
for target in "$root"/build/native/fuzz/fuzz_*; do
    [ -x "$target" ] || continue
    name="$(basename "$target")"
    work="$root/build/native/fuzz/work_$name"
    rm -rf "$work" && mkdir -p "$work"
    [ -d "$root/fuzz/corpus/$name" ] && cp -r "$root/fuzz/corpus/$name/." "$work/"
    if "$target" "$work" -max_total_time="$seconds" -max_len=65536 -rss_limit_mb=2048 -timeout=10 \
        -print_final_stats=1 >"$work.log" 2>&1; then
        echo "fuzz $name: clean ($(grep -o 'stat::number_of_executed_units: *[0-9]*' "$work.log" | grep -o '[0-9]*$' || true) runs)"
    else
        echo "fuzz $name: FINDING"
        tail -40 "$work.log"
        status=1
    fi
done
exit $status
