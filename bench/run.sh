#!/usr/bin/env bash
# bench/run.sh [RUNS] [WORK_DIR] [undo]
# Builds the `bench` preset (Release, no sanitizers) and times our ndstool's
# unpack and rebuild against a plain copy, on a 320 MiB image with 5180 files
# in nested folders, then on an 80 MiB one to show that memory stays flat.
# WORK_DIR on tmpfs (e.g. /dev/shm/voderer-bench) leaves out the disk.
# "undo": with VODERER_UNDO_FILE set, as the program runs them.
set -eu
cd "$(dirname "$0")/.."
RUNS=${1:-5}
WORK=${2:-${TMPDIR:-/tmp}/voderer-bench}
UNDO=${3:-}
cmake --preset bench >/dev/null
cmake --build --preset bench
rm -rf "$WORK"
trap 'rm -rf "$WORK"' EXIT
for MIB in 320 80; do
    echo "== $MIB MiB =="
    build/bench/bench/ndstool_bench build/bench/dist/Bin/ndstool "$WORK" "$RUNS" "$MIB" $UNDO
done
