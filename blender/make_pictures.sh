#!/usr/bin/env bash
# Remakes the pictures of the Blender add-on (docs/blender-panel.png,
# docs/blender-crowd.png, docs/blender-walk.png): Blender draws its window
# under a virtual X server (xvfb-run, Mesa's software OpenGL) and screenshots
# one of its areas. The panel is the one of Blender's own layout at its
# default width in a window 1400 pixels wide (made taller, to show the whole
# panel); the picture is refused when a label of the panel would be cut.
#   blender/make_pictures.sh [OUTPUT_FOLDER]     (default: docs/)
# KESTRELWOOD, the PATH or the release build provides the program.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out=$(realpath -m "${1:-$here/../docs}")
mkdir -p "$out"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
export BLENDER_USER_CONFIG="$tmp" BLENDER_USER_SCRIPTS="$tmp"
# Opening a file keeps the splash screen away.
blender -b --factory-startup -noaudio --python-expr \
  "import bpy; bpy.ops.wm.save_as_mainfile(filepath='$tmp/start.blend')" >/dev/null
for picture in ${KW_PICTURES:-crowd:1400x1000 walk:1400x1000 panel:1400x1900}; do
  xvfb-run -a -s "-screen 0 ${picture#*:}x24" \
    blender --factory-startup -noaudio --python-exit-code 1 "$tmp/start.blend" \
    --python "$here/pictures.py" -- "$out" "${picture%%:*}"
done
