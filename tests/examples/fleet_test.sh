#!/usr/bin/env bash
# examples/fleet.sh on a generated fleet: its answers against the generator's, and failing hosts.
# usage: fleet_test.sh MAKE_BENCH_IMAGES TARVEL_DIFF FLEET_SH
set -euo pipefail
generator=$1
tarvel_diff=$2
fleet=$3

work=$(mktemp -d "${TMPDIR:-/tmp}/fleet test.XXXXXX")
trap 'rm -rf "$work"' EXIT
images="$work/fleet images"
mkdir "$images" "$work/out"
"$generator" --fleet 20 2000 "$images" >/dev/null
failures=0
problem() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# One infected host gets a name with blanks that CSV guards as a formula, and a host with no
# differences joins the table; neither changes the other answers.
renamed="=Front desk PC 1"
infected=$(sed -n 2p "$images/expected-known-bad-hosts.tsv" | cut -f1)
[ -n "$infected" ] || { echo "FAIL: the generator infected no host" >&2; exit 1; }
tab=$'\t'
sed "s/^$infected$tab/$renamed$tab/" "$images/hosts.tsv" >"$work/hosts.tsv"
first_old=$(head -n 1 "$images/hosts.tsv" | cut -f2)
printf '# a host whose images are the same\nquiet host\t%s\t%s\n' "$first_old" "$first_old" \
  >>"$work/hosts.tsv"
{
  head -n 1 "$images/expected-known-bad-hosts.tsv"
  tail -n +2 "$images/expected-known-bad-hosts.tsv" | sed "s/^$infected$tab/$renamed$tab/" |
    LC_ALL=C sort
} >"$work/expected-known-bad-hosts.tsv"

min_hosts=5
top=10
# The answer under heading NUMBER of an output, header row first; nothing when it has no rows.
answer() {
  awk -v n="$2" '/^## /{ section++; next } section == n' "$1"
}
# An expected answer: the generator's table with NUMBER... as the query filters it.
expected() {
  local table
  case $1 in
    1) table=$(awk -F'\t' -v n="$min_hosts" 'NR == 1 || $2 > n' "$images/expected-new-autoruns.tsv") ;;
    2) table=$(cat "$work/expected-known-bad-hosts.tsv") ;;
    3) table=$(head -n $((top + 1)) "$images/expected-modified-files.tsv") ;;
  esac
  [ "$(printf '%s\n' "$table" | wc -l)" -gt 1 ] && printf '%s\n' "$table"
  return 0
}

# How the comparisons are run: on this machine's cores, and as on other machines.
run_ways=(
  "all cores|"
  "sshlogin, this machine as two|--sshlogin 2/:"
)
for way in "${run_ways[@]}"; do
  name=${way%%|*}
  read -ra options <<<"${way#*|}"
  db="$work/out/fleet $name.db"
  if ! "$fleet" --tarvel-diff "$tarvel_diff" --known-bad "$images/known-bad.txt" \
    --min-hosts "$min_hosts" --top "$top" --db "$db" --mode tabs "${options[@]}" \
    "$work/hosts.tsv" >"$work/answers.txt" 2>"$work/errors.txt"; then
    problem "$name: fleet.sh failed: $(cat "$work/errors.txt")"
    continue
  fi
  for question in 1 2 3; do
    if ! diff <(expected "$question") <(answer "$work/answers.txt" "$question") >"$work/diff.txt"; then
      problem "$name: answer $question differs from the generator's (expected <, got >):"
      cat "$work/diff.txt" >&2
    fi
  done
  csv="${db%.db}.csv"
  header_rows=$(grep -c '^host,host_hex,section,' "$csv" || true)
  if [ "$(head -c 5 "$csv")" != "host," ] || [ "$header_rows" -ne 1 ]; then
    problem "$name: the CSV has $header_rows header rows, or not first"
  fi
done

# Hosts that fail: each run must fail, name the host, and leave the database as it was.
db="$work/out/fleet all cores.db"
before=$(sha256sum "$db" 2>/dev/null || echo "no database")
second_old=$(sed -n 2p "$images/hosts.tsv" | cut -f2)
head -c 1000 "$second_old" >"$work/cut short.img"
failing_cases=(
  "missing image|lost host|$work/no such.img"
  "truncated image|cut host|$work/cut short.img"
)
for case in "${failing_cases[@]}"; do
  IFS='|' read -r name host image <<<"$case"
  cp "$work/hosts.tsv" "$work/failing.tsv"
  printf '%s\t%s\t%s\n' "$host" "$first_old" "$image" >>"$work/failing.tsv"
  if "$fleet" --tarvel-diff "$tarvel_diff" --db "$db" "$work/failing.tsv" \
    >/dev/null 2>"$work/errors.txt"; then
    problem "$name: fleet.sh succeeded"
  fi
  grep -q "host '$host'" "$work/errors.txt" || problem "$name: no line names '$host':
$(cat "$work/errors.txt")"
  [ "$(sha256sum "$db" 2>/dev/null || echo "no database")" = "$before" ] ||
    problem "$name: the database changed"
done

# Tables that are not what they should be.
malformed_tables=(
  "two columns|alone${tab}$first_old|is not NAME<TAB>OLD<TAB>NEW"
  "a host twice|twin${tab}$first_old${tab}$first_old\ntwin${tab}$first_old${tab}$first_old|twin is listed more than once"
)
for case in "${malformed_tables[@]}"; do
  IFS='|' read -r name lines message <<<"$case"
  printf '%b\n' "$lines" >"$work/malformed.tsv"
  if "$fleet" --tarvel-diff "$tarvel_diff" --db "$db" "$work/malformed.tsv" \
    >/dev/null 2>"$work/errors.txt" || ! grep -qF "$message" "$work/errors.txt"; then
    problem "$name: not refused with '$message': $(cat "$work/errors.txt")"
  fi
done

[ "$failures" -eq 0 ] || exit 1
echo "fleet example: the answers match the generator's; failing hosts fail the run"
