#!/usr/bin/env bash
# Times loading hash set files, one value a line and NSRL-style CSV, against sha256sum reading
# the same file, interleaved, and prints a Markdown table of medians.
#
#   bench/hash_sets.sh [RUNS] [DATA_DIR]
#
# RUNS defaults to 11. The files are written once into DATA_DIR (default /tmp/tarvel-hash-sets)
# and reused: 1,000,000 and 10,000,000 lines in each layout, about 2 GB in all;
# TARVEL_BENCH_LINES="1000000" picks other sizes. Each round runs the loader and then sha256sum
# once, so a slow spell of the machine falls on both; the file is read once beforehand, so both
# find it in the page cache.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-11}
data=${2:-/tmp/tarvel-hash-sets}
sizes=(${TARVEL_BENCH_LINES:-1000000 10000000})

cmake --preset bench >/dev/null
cmake --build --preset bench --target hash_set_bench >/dev/null
bench=$PWD/build/bench/bench/hash_set_bench
mkdir -p "$data"

source bench/timing.sh

logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT

echo "| layout | lines | file (MB) | load (s) | sha256sum (s) | load / sha256sum | load peak (MB) |"
echo "|---|---:|---:|---:|---:|---:|---:|"
for n in "${sizes[@]}"; do
  for layout in lines csv; do
    file="$data/$layout-$n.txt"
    [ -s "$file" ] || "$bench" write "$layout" "$n" "$file"
    cat "$file" >/dev/null
    "$bench" load "$file" >/dev/null  # the timed runs below would not notice a failure
    for _ in $(seq "$runs"); do
      time_once "$logs/l-$layout-$n" "$bench" load "$file"
      time_once "$logs/s-$layout-$n" sha256sum "$file"
    done
    load=$(cut -d' ' -f1 "$logs/l-$layout-$n" | median)
    peak=$(cut -d' ' -f2 "$logs/l-$layout-$n" | median)
    sum=$(cut -d' ' -f1 "$logs/s-$layout-$n" | median)
    awk -v layout="$layout" -v n="$n" -v b="$(stat -c %s "$file")" -v l="$load" -v s="$sum" -v p="$peak" 'BEGIN {
      printf "| %s | %d | %.1f | %.3f | %.3f | %.2f | %.0f |\n", layout, n, b / 1e6, l, s, l / s, p * 1024 / 1e6 }'
  done
done
