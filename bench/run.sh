#!/usr/bin/env bash
# Times tarvel against sha256sum and openssl on generated image pairs of 10,000, 100,000 and
# 1,000,000 entries, in one run, and prints a Markdown table of medians.
#
#   bench/run.sh [RUNS] [DATA_DIR]
#
# Builds the "bench" preset first. Images are written once into DATA_DIR (default
# /tmp/tarvel-bench) and reused; they take about 800 MB for the largest pair.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-5}
data=${2:-/tmp/tarvel-bench}
sizes=(${TARVEL_BENCH_SIZES:-10000 100000 1000000})

cmake --preset bench >/dev/null
cmake --build --preset bench >/dev/null
tarvel=build/bench/src/tarvel
mkdir -p "$data"

# Median of the numbers on standard input.
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# Runs a command RUNS times; prints "median_seconds median_peak_kb".
measure() {
  local times=() peaks=() out
  local start end
  for _ in $(seq "$runs"); do
    start=$EPOCHREALTIME
    out=$( { /usr/bin/time -f '%M' "$@" >/dev/null; } 2>&1 | tail -n 1)
    end=$EPOCHREALTIME
    times+=("$(awk -v s="$start" -v e="$end" 'BEGIN { printf "%.4f", e - s }')")
    peaks+=("$out")
  done
  echo "$(printf '%s\n' "${times[@]}" | median) $(printf '%s\n' "${peaks[@]}" | median)"
}

echo "| entries | image pair (MB) | tarvel (s) | sha256sum (s) | openssl (s) | tarvel / sha256sum | tarvel / openssl | tarvel peak (MB) | peak / pair size |"
echo "|---:|---:|---:|---:|---:|---:|---:|---:|---:|"
declare -A tarvel_time
for n in "${sizes[@]}"; do
  old="$data/$n-old.img"
  new="$data/$n-new.img"
  [ -s "$old" ] && [ -s "$new" ] || build/bench/bench/make_bench_images "$n" "$data" >/dev/null
  cat "$old" "$new" >/dev/null  # both files in the page cache for every contender
  bytes=$(( $(stat -c %s "$old") + $(stat -c %s "$new") ))
  read -r t_time t_peak < <(measure "$tarvel" "$old" "$new")
  read -r s_time _ < <(measure sha256sum "$old" "$new")
  read -r o_time _ < <(measure openssl dgst -sha256 "$old" "$new")
  tarvel_time[$n]=$t_time
  awk -v n="$n" -v b="$bytes" -v t="$t_time" -v s="$s_time" -v o="$o_time" -v p="$t_peak" 'BEGIN {
    printf "| %d | %.1f | %.3f | %.3f | %.3f | %.2f | %.2f | %.0f | %.2f |\n",
      n, b / 1e6, t, s, o, (s > 0 ? t / s : 0), (o > 0 ? t / o : 0), p / 1024, p * 1024 / b }'
done
if [ -n "${tarvel_time[100000]:-}" ] && [ -n "${tarvel_time[1000000]:-}" ]; then
  awk -v a="${tarvel_time[100000]}" -v b="${tarvel_time[1000000]}" \
    'BEGIN { printf "\n1,000,000 entries take %.1f times as long as 100,000.\n", b / a }'
fi
echo
echo "Median of $runs runs each; $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')."
