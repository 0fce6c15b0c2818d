#!/usr/bin/env bash
# Times tarvel against sha256sum and openssl on generated image pairs, and on pairs of extreme
# shapes against ordinary pairs of the same size, and prints Markdown tables of medians.
#
#   bench/run.sh [RUNS] [DATA_DIR]
#
# Builds the "bench" preset first. Images are written once into DATA_DIR (default
# /tmp/tarvel-bench) and reused; they take about 1.6 GB in all. Contenders run interleaved: each
# round runs every contender of a table once, so a slow spell of the machine hits all of them.
# TARVEL_BENCH_SIZES="10000 100000" picks other sizes; TARVEL_BENCH_SHAPES=0 skips the shapes.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-5}
data=${2:-/tmp/tarvel-bench}
sizes=(${TARVEL_BENCH_SIZES:-10000 100000 1000000})

cmake --preset bench >/dev/null
cmake --build --preset bench >/dev/null
tarvel=$PWD/build/bench/src/tarvel
tarvel_diff=$PWD/build/bench/src/tarvel-diff
tarvel_dump=$PWD/build/bench/src/tarvel-dump
make_images=$PWD/build/bench/bench/make_bench_images
mkdir -p "$data"

source bench/timing.sh

# Median seconds and median peak of a log written by time_once.
summary() { echo "$(cut -d' ' -f1 "$1" | median) $(cut -d' ' -f2 "$1" | median)"; }

bytes_of() { echo $(( $(stat -c %s "$1") + $(stat -c %s "$2") )); }

logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT

echo "### Ordinary pairs"
echo
echo "| entries | image pair (MB) | tarvel (s) | sha256sum (s) | openssl (s) | tarvel / sha256sum | tarvel / openssl | tarvel peak (MB) | peak / pair size |"
echo "|---:|---:|---:|---:|---:|---:|---:|---:|---:|"
declare -A tarvel_time
for n in "${sizes[@]}"; do
  [ -s "$data/$n-old.img" ] && [ -s "$data/$n-new.img" ] || "$make_images" "$n" "$data" >/dev/null
done
# Every size in every round, so that the ratio between sizes is measured as interleaved as the
# one between contenders.
for _ in $(seq "$runs"); do
  for n in "${sizes[@]}"; do
    old="$data/$n-old.img"
    new="$data/$n-new.img"
    cat "$old" "$new" >/dev/null  # both files in the page cache for every contender
    time_once "$logs/t$n" "$tarvel" "$old" "$new"
    time_once "$logs/s$n" sha256sum "$old" "$new"
    time_once "$logs/o$n" openssl dgst -sha256 "$old" "$new"
  done
done
for n in "${sizes[@]}"; do
  old="$data/$n-old.img"
  new="$data/$n-new.img"
  read -r t_time t_peak < <(summary "$logs/t$n")
  read -r s_time _ < <(summary "$logs/s$n")
  read -r o_time _ < <(summary "$logs/o$n")
  tarvel_time[$n]=$t_time
  awk -v n="$n" -v b="$(bytes_of "$old" "$new")" -v t="$t_time" -v s="$s_time" -v o="$o_time" -v p="$t_peak" 'BEGIN {
    printf "| %d | %.1f | %.3f | %.3f | %.3f | %.2f | %.2f | %.0f | %.2f |\n",
      n, b / 1e6, t, s, o, (s > 0 ? t / s : 0), (o > 0 ? t / o : 0), p * 1024 / 1e6, p * 1024 / b }'
done
if [ -n "${tarvel_time[100000]:-}" ] && [ -n "${tarvel_time[1000000]:-}" ]; then
  awk -v a="${tarvel_time[100000]}" -v b="${tarvel_time[1000000]}" \
    'BEGIN { printf "\n1,000,000 entries take %.1f times as long as 100,000.\n", b / a }'
fi

# The companions on the largest pair: tarvel-diff writing JSON Lines against tarvel, and
# tarvel-dump writing every record of one image, at two sizes to show its memory stays put.
largest=${sizes[${#sizes[@]}-1]}
echo
echo "### Companions"
echo
echo "| command | image(s) (MB) | time (s) | peak (MB) | time / tarvel | peak / tarvel |"
echo "|---|---:|---:|---:|---:|---:|"
old="$data/$largest-old.img"
new="$data/$largest-new.img"
for _ in $(seq "$runs"); do
  time_once "$logs/ct" "$tarvel" "$old" "$new"
  time_once "$logs/cd" "$tarvel_diff" --format jsonl "$old" "$new"
  time_once "$logs/cu" "$tarvel_dump" "$old"
done
read -r ct_time ct_peak < <(summary "$logs/ct")
read -r cd_time cd_peak < <(summary "$logs/cd")
read -r cu_time cu_peak < <(summary "$logs/cu")
pair_bytes=$(bytes_of "$old" "$new")
awk -v n="$largest" -v b="$pair_bytes" -v t="$ct_time" -v tp="$ct_peak" -v d="$cd_time" -v dp="$cd_peak" 'BEGIN {
  printf "| tarvel OLD NEW (%d entries) | %.1f | %.3f | %.0f | 1.00 | 1.00 |\n", n, b / 1e6, t, tp * 1024 / 1e6
  printf "| tarvel-diff --format jsonl OLD NEW | %.1f | %.3f | %.0f | %.2f | %.2f |\n", b / 1e6, d, dp * 1024 / 1e6, d / t, dp / tp }'
awk -v n="$largest" -v b="$(stat -c %s "$old")" -v u="$cu_time" -v up="$cu_peak" 'BEGIN {
  printf "| tarvel-dump OLD (%d entries) | %.1f | %.3f | %.1f | - | - |\n", n, b / 1e6, u, up * 1024 / 1e6 }'
if [ "${#sizes[@]}" -gt 1 ]; then
  smaller=${sizes[0]}
  for _ in $(seq "$runs"); do
    time_once "$logs/cs" "$tarvel_dump" "$data/$smaller-old.img"
  done
  read -r cs_time cs_peak < <(summary "$logs/cs")
  awk -v n="$smaller" -v b="$(stat -c %s "$data/$smaller-old.img")" -v u="$cs_time" -v up="$cs_peak" 'BEGIN {
    printf "| tarvel-dump OLD (%d entries) | %.1f | %.3f | %.1f | - | - |\n", n, b / 1e6, u, up * 1024 / 1e6 }'
fi

if [ "${TARVEL_BENCH_SHAPES:-1}" != 0 ]; then
  # Each shape: its name, the count it is made with, and the ordinary twin it is timed against
  # ("-" for the shapes that bound memory only).
  shapes=(
    "entry-collisions 100000 entry-ordinary"
    "hosts-collisions 100000 hosts-ordinary"
    "application-collisions 100000 application-ordinary"
    "applications 1000000 -"
    "hosts 3000000 -"
    "reported 1000000 -"
  )
  echo
  echo "### Extreme shapes"
  echo
  echo "| shape | image pair (MB) | tarvel (s) | ordinary twin (s) | time / twin | peak (MB) | peak / pair size | bound: 4 × pair + 32 MiB (MB) |"
  echo "|---|---:|---:|---:|---:|---:|---:|---:|"
  for line in "${shapes[@]}"; do
    read -r shape count twin <<<"$line"
    for name in "$shape" "$twin"; do
      [ "$name" = - ] && continue
      [ -s "$data/$name-$count-old.img" ] || "$make_images" --shape "$name" "$count" "$data" >/dev/null
      cat "$data/$name-$count-old.img" "$data/$name-$count-new.img" >/dev/null
    done
    for _ in $(seq "$runs"); do
      time_once "$logs/$shape" "$tarvel" "$data/$shape-$count-old.img" "$data/$shape-$count-new.img"
      if [ "$twin" != - ]; then
        time_once "$logs/$twin" "$tarvel" "$data/$twin-$count-old.img" "$data/$twin-$count-new.img"
      fi
    done
    read -r s_time s_peak < <(summary "$logs/$shape")
    w_time=0
    if [ "$twin" != - ]; then
      read -r w_time _ < <(summary "$logs/$twin")
    fi
    awk -v name="$shape $count" -v b="$(bytes_of "$data/$shape-$count-old.img" "$data/$shape-$count-new.img")" \
      -v t="$s_time" -v w="$w_time" -v p="$s_peak" 'BEGIN {
      twin = w > 0 ? sprintf("%.3f", w) : "-"; ratio = w > 0 ? sprintf("%.2f", t / w) : "-"
      printf "| %s | %.1f | %.3f | %s | %s | %.0f | %.2f | %.0f |\n",
        name, b / 1e6, t, twin, ratio, p * 1024 / 1e6, p * 1024 / b, (4 * b + 32 * 1048576) / 1e6 }'
  done
fi
if [ "${TARVEL_BENCH_RULES:-1}" != 0 ]; then
  # tarvel-diff with 10,000 exclusion rules against the same run without rules, on a pair whose
  # every entry is listed twice.
  count=57000
  [ -s "$data/reported-$count-old.img" ] || "$make_images" --shape reported "$count" "$data" >/dev/null
  [ -s "$data/rules-10000.txt" ] || "$make_images" --rules 10000 "$data/rules-10000.txt"
  old="$data/reported-$count-old.img"
  new="$data/reported-$count-new.img"
  cat "$old" "$new" >/dev/null
  items=$("$tarvel_diff" --format jsonl "$old" "$new" | grep -c '"type":"change"' || true)
  excluded=$("$tarvel_diff" --format jsonl --exclude-from "$data/rules-10000.txt" "$old" "$new" |
    grep -c '"type":"change"' || true)
  for _ in $(seq "$runs"); do
    time_once "$logs/r0" "$tarvel_diff" --format jsonl "$old" "$new"
    time_once "$logs/r1" "$tarvel_diff" --format jsonl --exclude-from "$data/rules-10000.txt" "$old" "$new"
  done
  read -r r0_time r0_peak < <(summary "$logs/r0")
  read -r r1_time r1_peak < <(summary "$logs/r1")
  echo
  echo "### Exclusion rules"
  echo
  echo "| tarvel-diff --format jsonl, reported $count | listed items | time (s) | peak (MB) | time / without rules |"
  echo "|---|---:|---:|---:|---:|"
  awk -v i="$items" -v e="$excluded" -v a="$r0_time" -v ap="$r0_peak" -v b="$r1_time" -v bp="$r1_peak" 'BEGIN {
    printf "| without rules | %d | %.3f | %.0f | 1.00 |\n", i, a, ap * 1024 / 1e6
    printf "| with 10,000 rules | %d | %.3f | %.0f | %.2f |\n", e, b, bp * 1024 / 1e6, b / a }'
fi
echo
echo "Median of $runs interleaved runs each; $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')."
