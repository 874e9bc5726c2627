#!/usr/bin/env bash
# Runs one Blender test file headless: blender -b with factory settings and
# a user folder of its own, so that nothing of the developer's Blender set-up
# (preferences, installed add-ons) takes part.
#   run_blender_test.sh [--artist] TEST_FILE WORK_DIR
# KESTRELWOOD names the program under test. --artist runs Blender as an
# artist's machine would: a home folder of its own, PATH=/usr/bin:/bin and no
# KESTRELWOOD. Without Blender the test is skipped (exit 77) on a developer's
# machine and fails in CI (CI set), where the set-up script installs it.
set -euo pipefail
artist=0
[ "${1:-}" = --artist ] && { artist=1; shift; }
test_file=$1
work=$2
blender=${BLENDER:-$(command -v blender || true)}
if [ -z "$blender" ]; then
  if [ -n "${CI:-}" ]; then
    echo "error: blender is not installed; scripts/setup installs it (scripts/packages-blender.txt)" >&2
    exit 1
  fi
  echo "SKIP: blender is not installed; run scripts/setup as root to install it (scripts/packages-blender.txt)"
  exit 77
fi
rm -rf "$work"
mkdir -p "$work/user/config" "$work/user/scripts" "$work/tmp"
export BLENDER_USER_CONFIG="$work/user/config"
export BLENDER_USER_SCRIPTS="$work/user/scripts"
export KW_TEST_WORK="$work"
export TMPDIR="$work/tmp"
if [ $artist -eq 1 ]; then
  mkdir -p "$work/home"
  export HOME="$work/home" PATH=/usr/bin:/bin
  unset KESTRELWOOD
fi
here=$(cd "$(dirname "$0")" && pwd)
exec "$blender" -b --factory-startup -noaudio --python-exit-code 1 \
  --python "$here/runner.py" -- "$test_file"
