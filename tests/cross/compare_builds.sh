#!/usr/bin/env bash
# The same recorded scene (the built-in demo: 60 agents, six obstacles, a
# hilly terrain of 105,800 triangles) run for 100 frames by the Linux build
# and by a Windows build under wine, compared frame by frame.
#   compare_builds.sh LINUX_KESTRELWOOD COMPARE_RUNS WORK_DIR win64|win32 WINDOWS_BUILD_DIR
# Exit 77 (skipped) when the Windows build or wine is missing.
set -uo pipefail
linux=${1:?linux kestrelwood} compare=${2:?compare_runs} work=${3:?work dir} bits=${4:?win64|win32} winbuild=${5:?}
here=$(cd "$(dirname "$0")" && pwd)
winbuild=$(cd "$winbuild" 2>/dev/null && pwd || echo "$winbuild")
exe=$winbuild/host/kestrelwood.exe
[ -f "$exe" ] || { echo "SKIP: $exe not built (scripts/test.d/40-windows-host)"; exit 77; }
mkdir -p "$work"
"$linux" demo --frames 100 --csv "$work/linux.csv" >/dev/null || exit 1
bash "$here/run_wine.sh" "$winbuild/wineprefix" run "$bits" "$exe" demo --frames 100 --csv "$work/$bits.csv" >/dev/null
rc=$?
[ $rc -eq 0 ] || exit $rc
echo "Linux x86-64 against $bits, demo scene, 100 frames (largest difference over 60 agents):"
exec "$compare" "$work/linux.csv" "$work/$bits.csv" --frames 1,10,100
