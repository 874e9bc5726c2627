#!/usr/bin/env bash
# Makes the README's pictures of the add-on into WORK_DIR as
# blender/make_pictures.sh makes them (under a virtual X server), which fails
# when a text of the panel would be cut at its default width or the tag's
# probes are not drawn in the viewport.
#   run_pictures_test.sh WORK_DIR
# Without Blender or xvfb-run the test is skipped (exit 77) on a developer's
# machine and fails in CI (CI set), where the set-up script installs them.
set -euo pipefail
work=$1
for tool in blender xvfb-run; do
  if ! command -v "$tool" >/dev/null; then
    if [ -n "${CI:-}" ]; then
      echo "error: $tool is not installed; scripts/setup installs it (scripts/packages-blender.txt)" >&2
      exit 1
    fi
    echo "SKIP: $tool is not installed; run scripts/setup as root to install it (scripts/packages-blender.txt)"
    exit 77
  fi
done
rm -rf "$work"
mkdir -p "$work"
here=$(cd "$(dirname "$0")" && pwd)
"$here/../../blender/make_pictures.sh" "$work"
