#!/usr/bin/env bash
# compare_runs reads the CSV by column name: a run compared with itself is
# bit-identical, and still is when the second file has a column added at
# the end, or its columns in another order.
#   compare_runs_added_column.sh KESTRELWOOD COMPARE_RUNS WORK_DIR
set -euo pipefail
kestrelwood=${1:?kestrelwood} compare=${2:?compare_runs} work=${3:?work dir}
mkdir -p "$work"
"$kestrelwood" demo --frames 3 --cells 8 --csv "$work/a.csv" >/dev/null
awk 'NR == 1 { print $0 ",speed"; next } { print $0 ",1.5" }' "$work/a.csv" >"$work/added.csv"
# The demo's names hold no commas: plain fields, the last two columns swapped.
awk -F, 'BEGIN { OFS = "," } { t = $18; $18 = $19; $19 = t; print }' "$work/a.csv" >"$work/swapped.csv"
for other in added swapped; do
  out=$("$compare" "$work/a.csv" "$work/$other.csv" --frames 1)
  echo "$out"
  grep -q "^240 of 240 agent rows are bit-identical$" <<<"$out" || { echo "FAIL: $other.csv"; exit 1; }
done
# A file without a column compared is refused, naming it.
cut -d, -f1-18 "$work/a.csv" >"$work/short.csv"
if "$compare" "$work/a.csv" "$work/short.csv" 2>"$work/err.txt"; then echo "FAIL: short.csv accepted"; exit 1; fi
grep -q 'the header has no column "b"' "$work/err.txt" || { cat "$work/err.txt"; exit 1; }
