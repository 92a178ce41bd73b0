#!/usr/bin/env bash
# run-fuzz.sh FUZZER SECONDS WORK_CORPUS [SEED_DIR ...]
# Runs a libFuzzer binary for SECONDS, growing WORK_CORPUS from the seed
# folders that exist (sample ROMs may be absent on some machines). Exits
# non-zero on a finding; the crashing input is left in WORK_CORPUS/../.
set -euo pipefail
fuzzer=$1 seconds=$2 work=$3
shift 3
mkdir -p "$work"
dirs=("$work")
for d in "$@"; do
  if [ -d "$d" ]; then dirs+=("$d"); else echo "run-fuzz: no seed folder $d, going on without it"; fi
done
cd "$(dirname "$work")"
exec "$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
  -artifact_prefix="$(pwd)/" "${dirs[@]}"
