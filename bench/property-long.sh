#!/usr/bin/env bash
# bench/property-long.sh [SECONDS] [FIRST_SEED]   (default 1800 s from seed 1000000)
# The property test's long run: random valid images through ndstool's unpack,
# exact rebuild and ARM7 swaps (the `bench` preset), printing every image that
# failed and how many it tried. The test suite runs the first seeds only.
set -eu
cd "$(dirname "$0")/.."
SECONDS_TO_RUN=${1:-1800}
FIRST=${2:-1000000}
WORK=$(mktemp -d "${TMPDIR:-/tmp}/ndstool-property.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
cmake --preset bench >/dev/null
cmake --build --preset bench --target ndstool_property_run
build/bench/bench/ndstool_property_run "$SECONDS_TO_RUN" "$WORK" "$FIRST"
