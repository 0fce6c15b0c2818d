#!/usr/bin/env bash
# Times two or more builds of tarvel on one image pair against each other and against openssl,
# interleaved, and prints the median wall time, peak memory and CPU time (user plus system) of
# each: for measuring a change before and after on a machine that others share.
#
#   bench/compare_builds.sh RUNS OLD NEW TARVEL...
#
# Copy each build's tarvel elsewhere first (cp build/bench/src/tarvel /tmp/before/), since the
# build directory holds only the latest. Every round runs every contender once.
set -euo pipefail
runs=$1
old=$2
new=$3
shift 3
contenders=("$@" openssl)
logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT

cat "$old" "$new" >/dev/null  # both files in the page cache for every contender
for _ in $(seq "$runs"); do
  for index in "${!contenders[@]}"; do
    program=${contenders[$index]}
    command=("$program" "$old" "$new")
    [ "$program" = openssl ] && command=(openssl dgst -sha256 "$old" "$new")
    start=$EPOCHREALTIME
    usage=$( { /usr/bin/time -f '%M %U %S' "${command[@]}" >/dev/null || true; } 2>&1 | tail -n 1)
    end=$EPOCHREALTIME
    awk -v s="$start" -v e="$end" -v u="$usage" \
      'BEGIN { split(u, f, " "); printf "%.4f %s %.2f\n", e - s, f[1], f[2] + f[3] }' \
      >>"$logs/$index"
  done
done

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
echo "| build | time (s) | peak (MB) | CPU, user + system (s) |"
echo "|---|---:|---:|---:|"
for index in "${!contenders[@]}"; do
  seconds=$(cut -d' ' -f1 "$logs/$index" | median)
  peak=$(cut -d' ' -f2 "$logs/$index" | median)
  cpu=$(cut -d' ' -f3 "$logs/$index" | median)
  awk -v n="${contenders[$index]}" -v t="$seconds" -v p="$peak" -v c="$cpu" \
    'BEGIN { printf "| %s | %.3f | %.0f | %.2f |\n", n, t, p * 1024 / 1e6, c }'
done
echo
echo "Median of $runs interleaved runs; load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)."
