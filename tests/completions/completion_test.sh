#!/usr/bin/env bash
# The bash completion of tarvel-diff and tarvel-dump, loaded the way bash-completion loads it
# where that is installed (found by the command's name under XDG_DATA_DIRS), else sourced
# directly, and asked for completions of command lines typed so far.
# Usage: completion_test.sh COMPLETION_FILE
set -u
completion=$(realpath "$1")
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# A data folder as an install makes it, and a working folder with images to complete.
mkdir -p "$scratch/share/bash-completion/completions" "$scratch/work/old dir"
for program in tarvel-diff tarvel-dump; do
  ln -s "$completion" "$scratch/share/bash-completion/completions/$program"
done
touch "$scratch/work/old.img" "$scratch/work/new.img" "$scratch/work/rules.txt"
cd "$scratch/work" || exit 1

loader=${TARVEL_BASH_COMPLETION_LOADER:-/usr/share/bash-completion/bash_completion}
if [ -r "$loader" ]; then
  export XDG_DATA_DIRS="$scratch/share"
  # shellcheck disable=SC1090
  source "$loader"
  for program in tarvel-diff tarvel-dump; do
    if declare -F _comp_load >/dev/null; then
      _comp_load "$program"
    else
      __load_completion "$program"
    fi
  done
  echo "loaded by bash-completion from $XDG_DATA_DIRS"
else
  # shellcheck disable=SC1090
  source "$completion"
  echo "bash-completion is not installed; sourced $completion"
fi

failures=0
# Completes the words of a command line, the last of them being typed, the way bash splits them
# (at '=' too), and compares the sorted replies with what is expected.
check() {
  local line=$1 expected=$2
  local -a words
  read -r -a words <<<"$line"
  [[ $line == *" " ]] && words+=("")
  local spec function
  spec=$(complete -p "${words[0]}" 2>/dev/null) || {
    echo "FAIL: no completion for ${words[0]}"
    failures=$((failures + 1))
    return
  }
  function=$(sed -n 's/.*-F \([^ ]*\).*/\1/p' <<<"$spec")
  COMP_WORDS=("${words[@]}")
  COMP_CWORD=$((${#words[@]} - 1))
  COMP_LINE=$line
  COMP_POINT=${#line}
  COMPREPLY=()
  "$function" "${words[0]}" "${words[COMP_CWORD]}" "${words[COMP_CWORD - 1]:-}"
  local got
  got=$(printf '%s\n' "${COMPREPLY[@]}" | sort | paste -sd ' ')
  if [ "$got" != "$expected" ]; then
    echo "FAIL: '$line': expected '$expected', got '$got'"
    failures=$((failures + 1))
  fi
}

# line typed so far (words split as bash splits them)   expected completions, sorted
check "tarvel-diff --f"                    "--format"
check "tarvel-diff --format "              "csv jsonl text"
check "tarvel-diff --format j"             "jsonl"
check "tarvel-diff --format = c"           "csv"
check "tarvel-diff --format = "            "csv jsonl text"
check "tarvel-diff --format=j"             "--format=jsonl"
check "tarvel-diff --e"                    "--exclude-from"
check "tarvel-diff --exclude-from r"       "rules.txt"
check "tarvel-diff -o "                    "new.img old dir old.img rules.txt"
check "tarvel-diff -q o"                   "old dir old.img"
check "tarvel-diff --format csv n"         "new.img"
check "tarvel-diff -- --"                  ""
check "tarvel-diff -"                      "--exclude-from --format --help --host --no-header --output --quiet --summary --version -h -o -q"
check "tarvel-diff --h"                    "--help --host"
check "tarvel-diff --n"                    "--no-header"
check "tarvel-diff --host "                ""
check "tarvel-diff --host o"               ""
check "tarvel-diff --host = o"             ""
check "tarvel-diff --host=o"               ""
check "tarvel-diff --host h1 o"            "old dir old.img"
check "tarvel-diff --no-header o"          "old dir old.img"
check "tarvel-diff -- --host o"            "old dir old.img"
check "tarvel-dump -"                      "--format --help --verify --version -h"
check "tarvel-dump --format "              "csv jsonl"
check "tarvel-dump --verify o"             "old dir old.img"
check "tarvel-dump --format csv --v"       "--verify --version"

if [ "$failures" -ne 0 ]; then
  echo "$failures completion checks failed"
  exit 1
fi
echo "all completion checks passed"
