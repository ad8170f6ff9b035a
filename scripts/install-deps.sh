#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the benchmarks need.
# Idempotent: packages already present are left alone; the package lists are
# refreshed only when something is missing.
set -euo pipefail

SUDO=""
if [ "$(id -u)" != "0" ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive

# The 32-bit half of Wine (wine32:i386) runs the 32-bit programs, also in a
# 64-bit prefix; it needs the i386 architecture in dpkg.
added_arch=0
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
    added_arch=1
fi

PACKAGES=(
    cmake make ninja-build pkg-config
    mingw-w64 g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
    g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686
    libz-mingw-w64-dev
    googletest
    wine64 wine32:i386 wine fonts-wine
    xvfb x11-apps x11-utils imagemagick
    clang libclang-rt-14-dev zlib1g-dev
    python3 python3-pyftpdlib
    openssl osslsigncode ca-certificates
    clang-format
    locales
)

missing=()
for p in "${PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ] && [ $added_arch -eq 0 ]; then
    exit 0
fi

echo "installing: ${missing[*]}"
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
