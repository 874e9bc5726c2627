#!/usr/bin/env bash
# Runs a Windows program of the cross builds under wine, in a throwaway wine
# prefix of the build folder, with wine's own messages off.
#   run_wine.sh PREFIX_DIR boot            create the prefix (once; later runs reuse it)
#   run_wine.sh PREFIX_DIR stop            end the prefix's wineserver
#   run_wine.sh PREFIX_DIR run win64|win32 PROGRAM ARGS...
#   run_wine.sh PREFIX_DIR exec PROGRAM ARGS...   (the cross build's test emulator)
#   run_wine.sh - runs32                   exit 0 when 32-bit programs can run here, else 77 with the reason
# Exit 77 (skipped) when wine, its 32-bit half or the program is missing, or
# when this machine cannot run 32-bit x86 code at all (a kernel without IA-32
# emulation): wine's own launcher then fails to start, so the 64-bit loader
# is used directly and 32-bit programs are skipped with the reason.
set -uo pipefail
export WINEPREFIX=${1:?prefix dir}
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY=
mode=${2:?mode}
skip() { echo "SKIP: $*"; exit 77; }

command -v wine >/dev/null 2>&1 || skip "wine is not installed"
server=$(command -v wineserver || echo /usr/lib/wine/wineserver)

# The launcher to run: wine's own, unless its 32-bit loader is installed but
# cannot execute here.
wine=wine
runs32=1
if [ -x /usr/lib/wine/wine ] && ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
  runs32=0
  if [ -x /usr/lib/wine/wine64 ]; then
    wine=/usr/lib/wine/wine64
    export WINELOADER=$wine
  fi
fi
no32="this machine cannot run 32-bit x86 programs (its kernel has no IA-32 emulation)"

# The processor a PE program is built for: 14c (x86) or 8664 (x64).
pe_machine() {
  local at
  at=$(od -An -tu4 -j60 -N4 "$1" 2>/dev/null | tr -d ' ')
  [ -n "$at" ] && od -An -tx2 -j$((at + 4)) -N2 "$1" 2>/dev/null | tr -d ' '
}

case "$mode" in
  runs32)
    [ $runs32 -eq 1 ] || skip "$no32"
    exit 0
    ;;
  boot)
    mkdir -p "$(dirname "$WINEPREFIX")"
    [ -f "$WINEPREFIX/system.reg" ] && exit 0
    "$wine" wineboot --init >/dev/null 2>&1 || { echo "FAIL: wineboot could not create $WINEPREFIX" >&2; exit 1; }
    "$server" -w
    [ -f "$WINEPREFIX/system.reg" ] || { echo "FAIL: no wine prefix in $WINEPREFIX" >&2; exit 1; }
    ;;
  stop)
    [ -d "$WINEPREFIX" ] && "$server" -k 2>/dev/null
    exit 0
    ;;
  run)
    bits=${3:?win64|win32}
    prog=${4:?program}
    shift 4
    [ -f "$prog" ] || skip "$prog not built (cmake --preset $bits && cmake --build --preset $bits)"
    [ -f "$WINEPREFIX/system.reg" ] || skip "no wine prefix (the boot fixture failed or did not run)"
    if [ "$bits" = win32 ] && [ ! -x /usr/lib/wine/wine ] && ! command -v wine32 >/dev/null 2>&1; then
      skip "wine's 32-bit half (wine32:i386) is not installed"
    fi
    [ "$bits" = win32 ] && [ $runs32 -eq 0 ] && skip "$no32"
    exec "$wine" "$prog" "$@"
    ;;
  exec)
    prog=${3:?program}
    shift 3
    [ -f "$WINEPREFIX/system.reg" ] || { echo "FAIL: no wine prefix in $WINEPREFIX (run the wine.boot test)" >&2; exit 1; }
    [ $runs32 -eq 0 ] && [ "$(pe_machine "$prog")" = 014c ] && skip "$no32"
    exec "$wine" "$prog" "$@"
    ;;
  *)
    echo "unknown mode $mode" >&2
    exit 2
    ;;
esac
