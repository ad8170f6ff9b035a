#!/usr/bin/env bash
# Configures and builds: "win" (mingw-w64 cross build of everything) and/or
# "native" (clang with address and undefined-behaviour sanitizers and the
# libFuzzer targets, portable code only). Default: both.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
jobs="${JOBS:-2}"
what=("$@")
[ ${#what[@]} -eq 0 ] && what=(win native)

for w in "${what[@]}"; do
    case "$w" in
    win)
        cmake -S "$root" -B "$root/build/win" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
            -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" >/dev/null
        cmake --build "$root/build/win" -j "$jobs"
        ;;
    native)
        CC=clang CXX=clang++ cmake -S "$root" -B "$root/build/native" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
            -DQFD_FUZZ=ON >/dev/null
        cmake --build "$root/build/native" -j "$jobs"
        ;;
    bench)
        CC=clang CXX=clang++ cmake -S "$root" -B "$root/build/bench" -G Ninja -DCMAKE_BUILD_TYPE=Release \
            -DQFD_BENCH=ON >/dev/null
        cmake --build "$root/build/bench" -j "$jobs"
        ;;
    *)
        echo "unknown build: $w (win, native, bench)" >&2
        exit 2
        ;;
    esac
done
