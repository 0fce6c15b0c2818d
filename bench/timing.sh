# Timing helpers that the benchmark scripts source.

# Median of the numbers on standard input.
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# Runs a command once; appends "seconds peak_kb" to the file named first.
time_once() {
  local log=$1 start end peak
  shift
  start=$EPOCHREALTIME
  # tarvel-diff ends with 1 when the images differ: not a failure here.
  peak=$( { /usr/bin/time -f '%M' "$@" >/dev/null || true; } 2>&1 | tail -n 1)
  end=$EPOCHREALTIME
  awk -v s="$start" -v e="$end" -v p="$peak" 'BEGIN { printf "%.4f %s\n", e - s, p }' >>"$log"
}
