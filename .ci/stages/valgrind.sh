#!/usr/bin/env bash
# Valgrind: the whole test suite once under memcheck, from the default build that the main stage
# made. Any invalid read or write, use of uninitialised memory or leak fails the stage. The
# tarvel processes that the end-to-end tests start run natively; the sanitizer build covers them.
set -euo pipefail
cd "$(dirname "$0")/../.."

source .ci/packages.sh

ensure_packages cmake ninja-build g++ libgtest-dev nlohmann-json3-dev valgrind

started=$SECONDS
tests=build/default/tests/tarvel_tests
if [ ! -f build/default/build.ninja ]; then
  cmake --preset default >/dev/null
fi
cmake --build --preset default >/dev/null  # nothing to do after the main stage

echo "== valgrind: $tests under memcheck"
log=build/default/valgrind.log
status=0
valgrind --tool=memcheck --error-exitcode=1 --suppressions=.ci/valgrind.supp --leak-check=full --show-leak-kinds=definite,indirect,possible \
  --errors-for-leak-kinds=definite,indirect,possible --log-file="$log" \
  "$tests" --gtest_brief=1 || status=$?
if [ "$status" -ne 0 ]; then
  cat "$log"
  echo "== valgrind: failed (exit $status)"
  exit 1
fi
grep -E 'ERROR SUMMARY|definitely lost|in use at exit' "$log" || true
echo "== valgrind: clean in $((SECONDS - started))s"
