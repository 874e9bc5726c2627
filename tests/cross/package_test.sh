#!/usr/bin/env bash
# scripts/package gathers the three built modules and res/ into the folder a
# user installs; a second run replaces the first without leaving pieces of it.
#   package_test.sh SOURCE_DIR WORK_DIR
set -uo pipefail
src=${1:?source dir}
work=${2:?work dir}
for f in win64/plugins/Kestrelwood/Kestrelwood.rir64 win32/plugins/Kestrelwood/Kestrelwood.cdl \
  macos/plugins/Kestrelwood/Kestrelwood.dylib; do
  [ -f "$src/build/$f" ] || { echo "SKIP: build/$f not built"; exit 77; }
done
fail() { echo "FAIL: $*" >&2; exit 1; }

rm -rf "$work" && mkdir -p "$work"
"$src/scripts/package" --no-build --out "$work" || fail "scripts/package failed"
pkg=$work/Kestrelwood
for f in Kestrelwood.rir64 Kestrelwood.cdl Kestrelwood.dylib INSTALL.txt; do
  [ -s "$pkg/$f" ] || fail "$f missing from the package"
done
cmp -s "$pkg/Kestrelwood.rir64" "$src/build/win64/plugins/Kestrelwood/Kestrelwood.rir64" || fail "rir64 is not the built one"
diff -r "$src/res" "$pkg/res" >&2 || fail "res/ in the package differs from the source's"
grep -q '@' "$pkg/INSTALL.txt" && fail "INSTALL.txt has unfilled placeholders"
extra=$(ls -A "$pkg" | grep -vxE 'Kestrelwood\.(rir64|cdl|dylib)|res|INSTALL\.txt')
[ -z "$extra" ] || fail "unexpected files in the package: $extra"

# A stale file from an earlier package must not survive a new run.
touch "$pkg/stale.txt"
"$src/scripts/package" --no-build --out "$work" >/dev/null || fail "second run failed"
[ ! -e "$pkg/stale.txt" ] || fail "second run kept a file of the first"
[ -z "$(ls -A "$work" | grep -v -e '^Kestrelwood$' -e '^Kestrelwood-.*\.tar\.gz$')" ] || fail "leftovers in $work: $(ls -A "$work")"
tar -tzf "$work"/Kestrelwood-*.tar.gz | grep -qx 'Kestrelwood/Kestrelwood.cdl' || fail "archive lacks Kestrelwood/Kestrelwood.cdl"
echo "ok: package"
