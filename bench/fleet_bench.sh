#!/usr/bin/env bash
# Times examples/fleet.sh over a generated fleet against the sum of single tarvel-diff runs per core.
# usage: bench/fleet_bench.sh [ROUNDS] [HOSTS] [ENTRIES] [DATA_DIR]
# Uses the default preset's programs (build/default; TARVEL_DIFF names another tarvel-diff).
# Each round runs the recipe once and every pair alone once, one after the other, so a slow
# spell of a shared machine falls on both; prints each round and the medians.
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/timing.sh
rounds=${1:-3}
hosts=${2:-1000}
entries=${3:-10000}
data=${4:-/tmp/tarvel-fleet-$hosts-$entries}
build=build/default
diff_program=$(realpath "${TARVEL_DIFF:-$build/src/tarvel-diff}")
cores=$(nproc)

if [ ! -f "$data/hosts.tsv" ]; then
  mkdir -p "$data"
  "$build/bench/make_bench_images" --fleet "$hosts" "$entries" "$data"
fi
cat "$data"/*.img >/dev/null  # into the page cache, for every contender alike
pair_bytes=$(du -cb "$data"/*.img | tail -n 1 | cut -f1)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

echo "fleet: $hosts pairs of $entries entries ($((pair_bytes / 1000000)) MB), $cores cores," \
  "load average $(cut -d' ' -f1-3 /proc/loadavg)"
printf '| round | recipe (s) | pairs/s | sum of single runs (s) | sum / cores (s) | recipe / (sum / cores) |\n'
printf '|---:|---:|---:|---:|---:|---:|\n'
for round in $(seq "$rounds"); do
  start=$EPOCHREALTIME
  examples/fleet.sh --tarvel-diff "$diff_program" --known-bad "$data/known-bad.txt" \
    --db "$work/fleet.db" "$data/hosts.tsv" >/dev/null 2>&1
  recipe=$(echo "$EPOCHREALTIME - $start" | bc -l)
  sum=0
  while IFS=$'\t' read -r host old new; do
    start=$EPOCHREALTIME
    "$diff_program" --host "$host" --format csv --no-header --known-bad "$data/known-bad.txt" \
      -- "$old" "$new" >"$work/one.csv" || [ $? -eq 1 ]
    sum=$(echo "$sum + $EPOCHREALTIME - $start" | bc -l)
  done <"$data/hosts.tsv"
  printf '| %d | %.2f | %.1f | %.2f | %.2f | %.2f |\n' "$round" "$recipe" \
    "$(echo "$hosts / $recipe" | bc -l)" "$sum" "$(echo "$sum / $cores" | bc -l)" \
    "$(echo "$recipe / ($sum / $cores)" | bc -l)" | tee -a "$work/rounds"
done
# Medians of the recipe's time and of the sum, each on its own.
recipe=$(cut -d'|' -f3 "$work/rounds" | median)
sum=$(cut -d'|' -f5 "$work/rounds" | median)
printf '| median | %.2f | %.1f | %.2f | %.2f | %.2f |\n' "$recipe" \
  "$(echo "$hosts / $recipe" | bc -l)" "$sum" "$(echo "$sum / $cores" | bc -l)" \
  "$(echo "$recipe / ($sum / $cores)" | bc -l)"
echo "load average at the end $(cut -d' ' -f1-3 /proc/loadavg)"
