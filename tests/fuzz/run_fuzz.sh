#!/usr/bin/env bash
# Fuzzes a whole conversion with libFuzzer (clang), starting from the seed
# corpus and the saved regression inputs.
#
#   tests/fuzz/run_fuzz.sh [SECONDS] [BUILD_DIR]     default: 600 s in build-fuzz
#
# New inputs go to a temporary copy of the corpus; a crashing input is left in
# that folder (its path is printed) and the script fails. Keep it as a
# regression test by copying it into tests/fuzz/regressions/.
set -euo pipefail
seconds=${1:-600}
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${2:-$root/build-fuzz}

CXX=${CXX:-clang++} cmake -S "$root" -B "$build" -DKELVOR_FUZZ=ON -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" --target convert_fuzzer -j2 >/dev/null

work=$(mktemp -d)
mkdir -p "$work/corpus"
cp "$root"/tests/fuzz/corpus/* "$work/corpus/"
echo "fuzzing for ${seconds} s; work folder $work"
status=0
"$build/convert_fuzzer" -max_total_time="$seconds" -max_len=4096 -timeout=10 -rss_limit_mb=2048 \
  -artifact_prefix="$work/" -print_final_stats=1 "$work/corpus" "$root/tests/fuzz/regressions" \
  >"$work/log" 2>&1 || status=$?
grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb|#[0-9]+ +DONE)' "$work/log" || true
if [ $status -ne 0 ]; then
  tail -40 "$work/log"
  echo "the fuzzer found a failing input: $(ls "$work"/crash-* "$work"/timeout-* "$work"/oom-* 2>/dev/null)"
  exit $status
fi
echo "corpus grew to $(ls "$work/corpus" | wc -l) inputs; nothing found"
rm -rf "$work"
