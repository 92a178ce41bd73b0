#!/usr/bin/env bash
# tests/mastered/boot_evidence.sh [PRESET] [OUT_DIR]
#
# Boot evidence for our ndstool: boots pongds-1.1.0 and raycast-4 as they are,
# after an unpack/rebuild round trip, and after swapping their ARM7 binaries with
# each other (they share an ARM7 address), each through ../shared/tools/boot-shot.sh,
# and prints the pictures' checksums side by side. The PNGs stay in OUT_DIR to be
# looked at. Runs the script's own ndstool lines from build/PRESET/dist/Bin (or
# the ndstool named by $NDSTOOL). A round trip that is not byte-identical fails.
# Exit 77 (skipped, as ctest's boot label counts it) when DeSmuME, the tools of
# boot-shot.sh or the sample ROMs are absent.
set -eu
cd "$(dirname "$0")/../.."
PRESET=${1:-linux}
OUT=${2:-build/boot-evidence}
NDSTOOL=${NDSTOOL:-$PWD/build/$PRESET/dist/Bin/ndstool}
ROMS=$PWD/../shared/testdata/roms
SHOT=$PWD/../shared/tools/boot-shot.sh
WAIT=${BOOT_WAIT:-6}
skip() { echo "SKIP: $*"; exit 77; }
[ -x "$NDSTOOL" ] || { echo "no ndstool at $NDSTOOL: build the $PRESET preset first" >&2; exit 1; }
[ -d "$ROMS" ] || skip "sample ROMs absent: no folder $ROMS"
[ -x "$SHOT" ] || skip "no $SHOT to boot the images with"
command -v desmume-cli >/dev/null || [ -x /usr/games/desmume-cli ] ||
    skip "DeSmuME is not installed (apt-get install desmume)"
for tool in Xvfb import convert xwininfo; do
    command -v "$tool" >/dev/null || skip "$tool is not installed (scripts/setup-debian.sh installs it)"
done
mkdir -p "$OUT"
OUT=$(cd "$OUT" && pwd)
WORK=$(mktemp -d "${TMPDIR:-/tmp}/voderer-boot.XXXXXX")
trap 'rm -rf "$WORK"' EXIT

parts() {  # the parts as the patch script names them, after -x/-c ROM
    echo -9 ../UNPACK/arm9.bin -7 "$1" -y9 ../UNPACK/y9.bin -y7 ../UNPACK/y7.bin -d ../UNPACK/data \
        -y ../UNPACK/overlay -t ../UNPACK/banner.bin -h ../UNPACK/header.bin
}

# unpack NAME: WORK/NAME/{UNPACK,Bin} from the sample ROM, its ARM7 kept as NAME.arm7
unpack() {
    local dir=$WORK/$1
    mkdir -p "$dir/Bin" "$dir/UNPACK"
    cp "$ROMS/$1.nds" "$dir/rom.nds"
    # shellcheck disable=SC2046
    (cd "$dir/Bin" && "$NDSTOOL" -x ../rom.nds $(parts ../UNPACK/arm7.bin)) >/dev/null
    cp "$dir/UNPACK/arm7.bin" "$WORK/$1.arm7"
}

# rebuild NAME ARM7 OUT.nds: the script's rebuild line with ARM7 as Bin/arm7.bin
rebuild() {
    local dir=$WORK/$1
    cp "$2" "$dir/Bin/arm7.bin"
    # shellcheck disable=SC2046
    (cd "$dir/Bin" && "$NDSTOOL" -c "$3" $(parts arm7.bin)) >/dev/null
}

shot() {  # shot ROM LABEL: prints "LABEL md5 colors"
    local line
    line=$("$SHOT" "$1" "$OUT/$2.png" "$WAIT")
    echo "$2 $(echo "$line" | sed -E 's/.*colors=([0-9]+) md5=([0-9a-f]+).*/\2 colors=\1/')"
}

unpack pongds-1.1.0
unpack raycast-4
rebuild pongds-1.1.0 "$WORK/pongds-1.1.0.arm7" "$WORK/pongds-roundtrip.nds"
rebuild raycast-4 "$WORK/raycast-4.arm7" "$WORK/raycast-roundtrip.nds"
rebuild pongds-1.1.0 "$WORK/raycast-4.arm7" "$WORK/pongds-with-raycast-arm7.nds"
rebuild raycast-4 "$WORK/pongds-1.1.0.arm7" "$WORK/raycast-with-pongds-arm7.nds"
same() {  # same NAME ORIGINAL ROUNDTRIP
    cmp -s "$2" "$3" || { echo "$1 round trip: differs from the original" >&2; exit 1; }
    echo "$1 round trip: byte-identical"
}
same pongds "$ROMS/pongds-1.1.0.nds" "$WORK/pongds-roundtrip.nds"
same raycast "$ROMS/raycast-4.nds" "$WORK/raycast-roundtrip.nds"
echo "ARM7 sizes: pongds $(stat -c %s "$WORK/pongds-1.1.0.arm7"), raycast $(stat -c %s "$WORK/raycast-4.arm7")"
echo "image sizes: pongds $(stat -c %s "$ROMS/pongds-1.1.0.nds") -> $(stat -c %s "$WORK/pongds-with-raycast-arm7.nds")," \
    "raycast $(stat -c %s "$ROMS/raycast-4.nds") -> $(stat -c %s "$WORK/raycast-with-pongds-arm7.nds")," \
    "bytes differing from the original: pongds $(cmp -l "$ROMS/pongds-1.1.0.nds" "$WORK/pongds-with-raycast-arm7.nds" 2>/dev/null | wc -l)," \
    "raycast $(cmp -l "$ROMS/raycast-4.nds" "$WORK/raycast-with-pongds-arm7.nds" 2>/dev/null | wc -l)"

shot "$ROMS/pongds-1.1.0.nds" pongds-original
shot "$WORK/pongds-roundtrip.nds" pongds-roundtrip
shot "$WORK/pongds-with-raycast-arm7.nds" pongds-with-raycast-arm7
shot "$ROMS/raycast-4.nds" raycast-original
shot "$WORK/raycast-roundtrip.nds" raycast-roundtrip
shot "$WORK/raycast-with-pongds-arm7.nds" raycast-with-pongds-arm7
echo "pictures in $OUT"
