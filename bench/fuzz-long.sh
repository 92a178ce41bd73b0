#!/usr/bin/env bash
# bench/fuzz-long.sh [SECONDS]   (default 1800 per target)
# The fuzz targets' long run: same binaries and corpora as the short run in
# the test command, for longer. Prints each target's final stats.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-1800}
cmake --preset fuzz >/dev/null
cmake -B build/fuzz -DVODERER_FUZZ_SECONDS="$seconds" >/dev/null
cmake --build --preset fuzz
status=0
log=build/fuzz/fuzz-long.log
ctest --preset fuzz -V --timeout $((seconds + 600)) >"$log" 2>&1 || status=1
grep -E 'stat::|Test #|run-fuzz|ERROR' "$log" || true
cmake -B build/fuzz -DVODERER_FUZZ_SECONDS=60 >/dev/null
for d in build/fuzz/tests/fuzz/corpus/*/; do
  echo "corpus $(basename "$d"): $(find "$d" -type f | wc -l) inputs"
done
exit $status
