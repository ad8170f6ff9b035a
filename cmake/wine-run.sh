#!/usr/bin/env bash
# Runs a Windows program of the build under Wine. ctest uses this as the
# cross-compiling emulator; scripts/test.sh sets WINEPREFIX and keeps a
# wineserver alive for the whole run.
: "${WINEPREFIX:=$HOME/.wine-setupfw}"
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
exec wine "$@"
