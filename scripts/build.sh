#!/usr/bin/env bash
# Configures and builds: "win32" (mingw-w64 i686 cross build of everything:
# the programs shipped and every Windows test), "win" (the same for x86_64)
# and/or "native" (clang with address and undefined-behaviour sanitizers and the
# libFuzzer targets, portable code only). Default: win32 win native.
# WIN_TARGETS limits the x86_64 build to the targets named (space-separated).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
jobs="${JOBS:-2}"
what=("$@")
[ ${#what[@]} -eq 0 ] && what=(win32 win native)

for w in "${what[@]}"; do
    case "$w" in
    win32)
        cmake -S "$root" -B "$root/build/win32" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
            -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-i686.cmake" >/dev/null
        cmake --build "$root/build/win32" -j "$jobs"
        ;;
    win)
        cmake -S "$root" -B "$root/build/win" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
            -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" >/dev/null
        if [ -n "${WIN_TARGETS:-}" ]; then
            # shellcheck disable=SC2086
            cmake --build "$root/build/win" -j "$jobs" --target $WIN_TARGETS
        else
            cmake --build "$root/build/win" -j "$jobs"
        fi
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
        echo "unknown build: $w (win32, win, native, bench)" >&2
        exit 2
        ;;
    esac
done
