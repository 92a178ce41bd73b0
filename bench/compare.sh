#!/usr/bin/env bash
# bench/compare.sh OTHER_NDSTOOL [ROUNDS] [WORK_DIR]
# Times -x and -c of another ndstool (without the undo record) against this
# tree's (with it, as the program runs it), on the 320 MiB image of run.sh,
# one after the other in every round: on a disk, the cost of creating files
# drifts over a minute by more than the difference sought, so blocks of runs
# one after the other compare the drift, not the programs.
set -eu
cd "$(dirname "$0")/.."
OTHER=$(realpath "$1")
ROUNDS=${2:-25}
WORK=${3:-${TMPDIR:-/tmp}/voderer-compare}
cmake --preset bench >/dev/null
cmake --build --preset bench >/dev/null
OURS=$PWD/build/bench/dist/Bin/ndstool
rm -rf "$WORK"
trap 'rm -rf "$WORK"' EXIT
# One run of the bench leaves the image and the larger arm7.bin behind.
build/bench/bench/ndstool_bench "$OURS" "$WORK" 1 320 >/dev/null
cd "$WORK/Bin"
PARTS=(-9 ../UNPACK/arm9.bin -y9 ../UNPACK/y9.bin -y7 ../UNPACK/y7.bin -d ../UNPACK/data
    -y ../UNPACK/overlay -t ../UNPACK/banner.bin -h ../UNPACK/header.bin)
ms() { local s e; s=$(date +%s%N); "$@" >/dev/null; e=$(date +%s%N); echo $(((e - s) / 1000000)); }
# One unpack and rebuild by $1, with the record when $2 is "undo"; both times in ms.
round() {
    rm -rf ../UNPACK ../rebuilt.nds ../deruzuz.undo
    mkdir ../UNPACK
    cp ../big.nds ../rebuilt.nds
    if [ "$2" = undo ]; then export VODERER_UNDO_FILE=$WORK/deruzuz.undo; else unset VODERER_UNDO_FILE; fi
    echo "$(ms "$1" -x ../rebuilt.nds "${PARTS[@]}" -7 ../UNPACK/arm7.bin)" \
        "$(ms "$1" -c ../rebuilt.nds "${PARTS[@]}" -7 arm7.bin)"
}
median() {
    cut -d' ' -f"$1" "$WORK/times" | sort -n |
        awk '{ a[NR] = $1 } END { print (NR % 2 ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2) }'
}
for _ in $(seq "$ROUNDS"); do echo "$(round "$OTHER" none) $(round "$OURS" undo)"; done >"$WORK/times"
echo "$ROUNDS rounds, medians in ms: other ndstool without the record, ours with it"
for step in "unpack 1 3" "rebuild 2 4"; do
    set -- $step
    awk -v name="$1" -v a="$(median "$2")" -v b="$(median "$3")" \
        'BEGIN { printf "%-8s other %7.1f   ours %7.1f   (%+.1f%%)\n", name, a, b, 100 * (b / a - 1) }'
done
echo "undo record $(stat -c %s "$WORK/deruzuz.undo") bytes"
