#!/usr/bin/env bash
# clang-tidy: every source file of src/ that the default build compiles, checked with the
# repository's .clang-tidy. Any warning fails the stage.
set -euo pipefail
cd "$(dirname "$0")/../.."

source .ci/packages.sh

ensure_packages cmake ninja-build clang-tidy libgtest-dev nlohmann-json3-dev

started=$SECONDS
commands=build/default/compile_commands.json
if [ ! -f "$commands" ]; then
  cmake --preset default >/dev/null
fi

# The files the build compiles, so each is checked with its real flags; platform code for other
# systems is not compiled here and not checked here.
mapfile -t files < <(sed -n 's/^ *"file": "\(.*\/src\/.*\.cpp\)",\{0,1\}$/\1/p' "$commands" | sort -u)
if [ ${#files[@]} -eq 0 ]; then
  echo "== tidy: no source files of src/ in $commands"
  exit 1
fi
echo "== tidy: ${#files[@]} files"

# clang-tidy reads the g++ flags of the build; a warning option clang lacks is no finding.
# Its count of compiler warnings it did not show is left out of the log.
if ! printf '%s\n' "${files[@]}" |
  xargs -P "$(nproc)" -n 1 clang-tidy -p build/default --quiet \
    --extra-arg=-Wno-unknown-warning-option 2>&1 |
  { grep -v -E '^[0-9]+ warnings? generated\.$' || true; }; then
  echo "== tidy: findings above"
  exit 1
fi
echo "== tidy: clean in $((SECONDS - started))s"
