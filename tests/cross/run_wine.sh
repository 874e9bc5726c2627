#!/usr/bin/env bash
# Runs a Windows program of the cross builds under wine, in a throwaway wine
# prefix of the build folder, with wine's own messages off.
#   run_wine.sh PREFIX_DIR boot            create the prefix (once; later runs reuse it)
#   run_wine.sh PREFIX_DIR stop            end the prefix's wineserver
#   run_wine.sh PREFIX_DIR run win64|win32 PROGRAM ARGS...
#   run_wine.sh PREFIX_DIR exec PROGRAM ARGS...   (the cross build's test emulator)
# Exit 77 (skipped) when wine, its 32-bit half or the program is missing.
set -uo pipefail
export WINEPREFIX=${1:?prefix dir}
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY=
mode=${2:?mode}
skip() { echo "SKIP: $*"; exit 77; }

command -v wine >/dev/null 2>&1 || skip "wine is not installed"
server=$(command -v wineserver || echo /usr/lib/wine/wineserver)

case "$mode" in
  boot)
    mkdir -p "$(dirname "$WINEPREFIX")"
    [ -f "$WINEPREFIX/system.reg" ] && exit 0
    wineboot --init >/dev/null 2>&1 || { echo "FAIL: wineboot could not create $WINEPREFIX" >&2; exit 1; }
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
    exec wine "$prog" "$@"
    ;;
  exec)
    prog=${3:?program}
    shift 3
    [ -f "$WINEPREFIX/system.reg" ] || { echo "FAIL: no wine prefix in $WINEPREFIX (run the wine.boot test)" >&2; exit 1; }
    exec wine "$prog" "$@"
    ;;
  *)
    echo "unknown mode $mode" >&2
    exit 2
    ;;
esac
