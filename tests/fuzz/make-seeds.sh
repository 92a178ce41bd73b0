#!/usr/bin/env bash
# make-seeds.sh GEN_NDS NDSTOOL OUT SAMPLE_ROMS
# Seeds for the image, layout, result file and undo record fuzzers: the
# generated images (random odd ones among them), the layout files -x writes
# for them and for the sample ROMs (when present), result files and an undo
# record.
set -euo pipefail
gen=$1 ndstool=$2 out=$3 samples=$4
rm -rf "$out"
mkdir -p "$out/images" "$out/layouts" "$out/work"
for v in sdk sdk-encrypted dsi-enhanced zero-padded; do
  "$gen" "$out/images/$v.nds" --variant "$v" >/dev/null
done
# Odd images a DS boots: empty items past the end, no FNT, shared bytes, ...
for seed in $(seq 1 24); do
  "$gen" "$out/images/random-$seed.nds" --random "$seed" >/dev/null
done
roms=("$out"/images/*.nds)
if [ -d "$samples" ]; then roms+=("$samples"/*.nds); else echo "make-seeds: no sample ROMs at $samples"; fi
for rom in "${roms[@]}"; do
  w="$out/work/$(basename "$rom" .nds)"
  mkdir -p "$w"
  "$ndstool" -x "$rom" -9 "$w/arm9.bin" -7 "$w/arm7.bin" -y9 "$w/y9.bin" -y7 "$w/y7.bin" \
    -d "$w/data" -y "$w/overlay" -t "$w/banner.bin" -h "$w/header.bin" >/dev/null
  cp "$w/header.bin.layout" "$out/layouts/$(basename "$rom" .nds).layout"
done
# Result files as ndstool leaves them: a patch (a round trip of a copy), and
# an unpack refused followed by the rebuild that has nothing to rebuild.
mkdir -p "$out/results" "$out/undo"
parts() {
  local w=$3
  "$ndstool" "$1" "$2" -9 "$w/arm9.bin" -7 "$w/arm7.bin" -y9 "$w/y9.bin" -y7 "$w/y7.bin" \
    -d "$w/data" -y "$w/overlay" -t "$w/banner.bin" -h "$w/header.bin" >/dev/null 2>&1
}
rm -rf "$out/work" && mkdir -p "$out/work/patched" "$out/work/refused"
cp "$out/images/sdk.nds" "$out/work/patched.nds"
export VODERER_RESULT_FILE="$out/results/patched.result" VODERER_UNDO_FILE="$out/undo/patched.undo"
parts -x "$out/work/patched.nds" "$out/work/patched" && parts -c "$out/work/patched.nds" "$out/work/patched"
unset VODERER_UNDO_FILE
export VODERER_RESULT_FILE="$out/results/undone.result"
"$ndstool" --undo "$out/undo/patched.undo" "$out/work/patched.nds" >/dev/null 2>&1 || true
printf 'not a DS image' >"$out/work/refused.nds"
export VODERER_RESULT_FILE="$out/results/refused.result"
parts -x "$out/work/refused.nds" "$out/work/refused" || parts -c "$out/work/refused.nds" "$out/work/refused" || true
unset VODERER_RESULT_FILE
rm -rf "$out/work"
