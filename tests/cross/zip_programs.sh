#!/usr/bin/env bash
# The two programs of the Blender zip, unpacked as Blender's installers
# unpack it (Python's zipfile, no file modes): the Windows x64 program, run
# under wine, gives the same CSV as the Linux program, byte for byte, on the
# scene the add-on exported (blender.install leaves it) and on the built-in
# demo; on the scenes of scenes/ it says how many runs are byte-identical,
# and for the others how far apart they are (COMPARE_RUNS, the cross tests'
# comparer).
#   zip_programs.sh WINE_PREFIX ZIP EXPORTED_SCENE WORK_DIR SCENES_DIR COMPARE_RUNS
# Exit 77 (skipped) when the zip or wine is missing.
set -uo pipefail
prefix=${1:?wine prefix} zip=${2:?zip} exported=${3:?exported scene} work=${4:?work dir} scenes=${5:?scenes dir}
compare=${6:?compare_runs}
here=$(cd "$(dirname "$0")" && pwd)
[ -f "$zip" ] || { echo "SKIP: $zip not made (the blender.install test makes it)"; exit 77; }
fail() { echo "FAIL: $*" >&2; exit 1; }

rm -rf "$work" && mkdir -p "$work/unpacked"
python3 -m zipfile -e "$zip" "$work/unpacked" || fail "cannot unpack $zip"
programs=$work/unpacked/kestrelwood/programs
linux=$programs/linux-x64/bin/kestrelwood
windows=$programs/windows-x64/bin/kestrelwood.exe
[ -f "$linux" ] && [ -f "$windows" ] || fail "the zip lacks a program: $(cd "$programs" && find . -type f | head)"
chmod +x "$linux"
wine() { bash "$here/run_wine.sh" "$prefix" run win64 "$windows" "$@"; }

# One run each, from the folder of FILE (the Windows program takes an
# argument that starts with "/" for an option, as Windows programs do: the
# scene is named relative to where it runs); 0 when the CSVs are the same
# bytes, 1 when they differ.
#   same_run NAME FILE ARGS...
same_run() {
  local name=$1 folder
  folder=$(dirname "$2")
  shift 2
  (cd "$folder" && "$linux" "$@" --csv "$work/$name.linux.csv" >/dev/null 2>&1) ||
    fail "the Linux program failed on $name"
  (cd "$folder" && wine "$@" --csv "$work/$name.windows.csv" >/dev/null 2>"$work/$name.wine.log")
  local rc=$?
  [ $rc -eq 77 ] && { cat "$work/$name.wine.log"; exit 77; }
  [ $rc -eq 0 ] || fail "the Windows program failed on $name: $(tail -3 "$work/$name.wine.log")"
  cmp -s "$work/$name.linux.csv" "$work/$name.windows.csv"
}

[ -f "$exported" ] || fail "$exported missing (the blender.install test exports it)"
same_run exported "$exported" run "$(basename "$exported")" || fail "the scene the add-on exported: the Windows CSV differs from the Linux one"
echo "ok: the scene the add-on exported, $(($(wc -l <"$work/exported.linux.csv") - 1)) rows, byte-identical"
same_run demo "$work/." demo || fail "the built-in demo: the Windows CSV differs from the Linux one"
echo "ok: the built-in demo, $(($(wc -l <"$work/demo.linux.csv") - 1)) rows, byte-identical"

total=0 identical=0
for scene in "$scenes"/*.kwscene.json; do
  name=$(basename "$scene" .kwscene.json)
  total=$((total + 1))
  if same_run "scene-$name" "$scene" run "$(basename "$scene")"; then
    identical=$((identical + 1))
  else
    echo "note: scenes/$name: the Windows CSV differs from the Linux one (largest differences, any frame:" \
      "$("$compare" "$work/scene-$name.linux.csv" "$work/scene-$name.windows.csv" --frames 1 | grep -E '^any|bit-identical' | xargs))"
  fi
done
echo "scenes/: $identical of $total runs byte-identical between the zip's Windows x64 and Linux programs"
