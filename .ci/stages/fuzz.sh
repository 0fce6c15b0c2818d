#!/usr/bin/env bash
# Fuzzing: builds the libFuzzer targets (the fuzz preset: clang, ASan and UBSan) and runs each one
# for a minute from its seed corpus. Any crash, sanitizer report, leak, timeout or memory blow-up
# fails the stage; the input that caused it is kept in build/fuzz/findings/.
set -euo pipefail
cd "$(dirname "$0")/../.."

source .ci/packages.sh

# libclang-rt-14-dev holds libFuzzer and the sanitizer runtimes for clang 14.
ensure_packages cmake ninja-build clang libclang-rt-14-dev nlohmann-json3-dev

SECONDS_PER_TARGET=${TARVEL_FUZZ_SECONDS:-60}
started=$SECONDS
echo "== fuzz: build"
cmake --workflow --preset fuzz >/dev/null

build=build/fuzz/fuzz
findings=build/fuzz/findings
mkdir -p "$findings"
for target in parse_image property_block whole_run writers; do
  # A fresh working corpus each run, so CI never depends on what an earlier run found. The
  # writers take pairs of images, as whole_run does, and start from its seeds.
  corpus=$(mktemp -d)
  seeds=$target
  [ "$target" = writers ] && seeds=whole_run
  log="$findings/$target.log"
  echo "== fuzz: $target for ${SECONDS_PER_TARGET}s"
  status=0
  "$build/${target}_fuzzer" -max_total_time="$SECONDS_PER_TARGET" -timeout=10 \
    -rss_limit_mb=2048 -dict=fuzz/image.dict -print_final_stats=1 \
    -artifact_prefix="$findings/$target-" "$corpus" "$build/seeds/$seeds" >"$log" 2>&1 ||
    status=$?
  rm -rf "$corpus"
  if [ "$status" -ne 0 ]; then
    tail -n 60 "$log"
    echo "== fuzz: $target failed (exit $status); the input is in $findings/"
    exit 1
  fi
  grep -E '^#[0-9]+[[:space:]]+DONE' "$log" || tail -n 3 "$log"
done
echo "== fuzz: passed in $((SECONDS - started))s"
