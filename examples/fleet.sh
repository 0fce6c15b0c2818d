#!/usr/bin/env bash
# A fleet's changes: tarvel-diff over a host table with GNU parallel, into SQLite, three questions.
set -euo pipefail

usage() {
  cat <<'EOF'
usage: fleet.sh [options] HOSTS_TSV

HOSTS_TSV holds one host a line: NAME<TAB>OLD_IMAGE<TAB>NEW_IMAGE ('#' comments and blank lines
are skipped). Names and paths may hold blanks.

  --tarvel-diff PROGRAM  the program to run (default: tarvel-diff on PATH)
  --known-bad FILE       passed on to tarvel-diff (repeatable)
  --known-good FILE      passed on to tarvel-diff (repeatable)
  --min-hosts N          question 1 lists new autoruns seen on more than N hosts (default 10)
  --top N                question 3 lists the N files modified on most hosts (default 10)
  --db FILE              the SQLite database to write (default fleet.db), table 'changes'
  --csv FILE             the CSV of all hosts to write (default: the database's name with .csv)
  --queries FILE         the questions (default: queries.sql beside this script)
  --mode MODE            sqlite3 output mode of the answers (default 'column --wrap 0';
                         tabs for scripts)
  --sshlogin LOGINS      run the comparisons on these machines (parallel --sshlogin); every
                         machine must see the images, the program and the lists at the same paths
  --jobs N               comparisons at a time on each machine (default: one per core)

Exit status: 0 when every host was compared and the questions answered; 1 otherwise, with the
failing hosts named on standard error.
EOF
}

fail() {
  echo "fleet.sh: $*" >&2
  exit 1
}

tarvel_diff=tarvel-diff
min_hosts=10
top=10
db=fleet.db
csv=
queries="$(dirname "$0")/queries.sql"
mode="column --wrap 0"
parallel_options=()
diff_options=()
while [ $# -gt 0 ]; do
  case "$1" in
    --tarvel-diff) tarvel_diff=${2:?}; shift 2 ;;
    --known-bad | --known-good)
      [ -r "${2:?}" ] || fail "$2: cannot read"
      diff_options+=("$1" "$(realpath -- "$2")"); shift 2 ;;
    --min-hosts) min_hosts=${2:?}; shift 2 ;;
    --top) top=${2:?}; shift 2 ;;
    --db) db=${2:?}; shift 2 ;;
    --csv) csv=${2:?}; shift 2 ;;
    --queries) queries=${2:?}; shift 2 ;;
    --mode) mode=${2:?}; shift 2 ;;
    --sshlogin) parallel_options+=(--sshlogin "${2:?}"); shift 2 ;;
    --jobs) parallel_options+=(--jobs "${2:?}"); shift 2 ;;
    -h | --help) usage; exit 0 ;;
    -*) usage >&2; exit 1 ;;
    *) break ;;
  esac
done
[ $# -eq 1 ] || { usage >&2; exit 1; }
hosts_file=$1
csv=${csv:-${db%.db}.csv}
[[ $min_hosts =~ ^[0-9]+$ && $top =~ ^[0-9]+$ ]] || fail "--min-hosts and --top take a count"
for program in parallel sqlite3 "$tarvel_diff"; do
  command -v "$program" >/dev/null || fail "$program: not found"
done
[ -r "$queries" ] || fail "$queries: cannot read"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The hosts, without comments, blank lines or carriage returns: job N is line N of this file.
sed -e 's/\r$//' -e '/^#/d' -e '/^[[:space:]]*$/d' "$hosts_file" >"$work/hosts.tsv" ||
  fail "$hosts_file: cannot read"
host_count=$(wc -l <"$work/hosts.tsv")
[ "$host_count" -gt 0 ] || fail "$hosts_file: no hosts"
awk -F'\t' 'NF != 3 || $1 == "" { print "fleet.sh: host line " NR " is not NAME<TAB>OLD<TAB>NEW: " $0; bad = 1 }
  seen[$1]++ == 1 { print "fleet.sh: host " $1 " is listed more than once"; bad = 1 }
  END { exit bad }' "$work/hosts.tsv" >&2 || exit 1

# Runs tarvel-diff with the given options over the hosts of a table, on all cores or machines,
# into a file; fails naming every host whose comparison failed. -q quotes every argument, so
# names and paths with blanks pass whole, here and over ssh. parallel's own status counts the
# hosts with differences (status 1) too, so the job log decides: every host must have run once
# and ended with 0 (no differences) or 1 (differences).
compare_hosts() {
  local table=$1 out=$2 status=0 failed ran job host
  shift 2
  parallel --will-cite --colsep '\t' --keep-order --joblog "$work/jobs.log" \
    "${parallel_options[@]}" -q "$tarvel_diff" --host '{1}' --format csv "$@" \
    "${diff_options[@]}" -- '{2}' '{3}' <"$table" >"$out" || status=$?
  failed=$(awk -F'\t' 'NR > 1 && ($7 > 1 || $7 < 0 || $8 != 0) { print $1 }' "$work/jobs.log")
  ran=$(awk 'NR > 1' "$work/jobs.log" | wc -l)
  for job in $failed; do
    host=$(sed -n "${job}p" "$table" | cut -f1)
    echo "fleet.sh: host '$host': $tarvel_diff failed: $(awk -F'\t' -v seq="$job" \
      '$1 == seq { print "exit status " $7 ($8 != 0 ? ", signal " $8 : "") }' "$work/jobs.log")" >&2
  done
  if [ -n "$failed" ] || [ "$ran" -ne "$(wc -l <"$table")" ] || [ "$status" -gt 101 ]; then
    fail "$(echo "$failed" | wc -w) of $(wc -l <"$table") hosts failed, $ran ran" \
      "(parallel status $status); nothing written"
  fi
}

# The first host's rows come with the header row; the others' rows follow them.
echo "fleet.sh: comparing $host_count hosts" >&2
head -n 1 "$work/hosts.tsv" >"$work/first.tsv"
tail -n +2 "$work/hosts.tsv" >"$work/others.tsv"
compare_hosts "$work/first.tsv" "$work/first.csv"
compare_hosts "$work/others.tsv" "$work/others.csv" --no-header
cat "$work/first.csv" "$work/others.csv" >"$work/changes.csv"
# A CSV cell that starts like a formula carries a leading "'"; the database holds the text.
(cd "$work" && sqlite3 -bail fleet.db ".import --csv changes.csv changes" \
  "UPDATE changes SET host = substr(host, 2) WHERE host LIKE '''%';" \
  "UPDATE changes SET path = substr(path, 2) WHERE path LIKE '''%';" \
  "UPDATE changes SET label = substr(label, 2) WHERE label LIKE '''%';" \
  "UPDATE changes SET key = substr(key, 2) WHERE key LIKE '''%';" \
  "UPDATE changes SET line = substr(line, 2) WHERE line LIKE '''%';") ||
  fail "sqlite3 cannot import the changes"
mv -f "$work/changes.csv" "$csv"
mv -f "$work/fleet.db" "$db"
echo "fleet.sh: $(sqlite3 "$db" 'SELECT COUNT(*) FROM changes') changes of $host_count hosts" \
  "in $csv and $db" >&2

sqlite3 -bail -cmd ".mode $mode" -cmd ".parameter set :min_hosts $min_hosts" \
  -cmd ".parameter set :top $top" "$db" <"$queries"
