#!/usr/bin/env bash
# make-seeds.sh GEN_NDS NDSTOOL OUT SAMPLE_ROMS
# Seeds for the image and layout fuzzers: the generated images (random odd
# ones among them), and the layout files -x writes for them and for the
# sample ROMs (when present).
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
rm -rf "$out/work"
