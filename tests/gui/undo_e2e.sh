#!/usr/bin/env bash
# Undo after a patch, through the window with the real ndstool and a real DS
# image: the box after the patch offers Undo beside OK. OK, Escape and the
# close button keep the patch; Undo gives back the original bytes and says
# so. After each the program folder holds exactly what it held before.
#
# undo_e2e.sh linux   PROGRAM RUNBAT   NDSTOOL GEN_NDS SHOTS_DIR
# undo_e2e.sh windows PROGRAM WINE_RUN NDSTOOL GEN_NDS SHOTS_DIR
# VODERER_GUI_LANGUAGE=ko runs it in a Korean session, whose boxes speak
# Korean; otherwise the session is English (LC_ALL=C).
# Exit 77 (skipped) when a tool it needs is missing.
set -uo pipefail

front_end=$1 program=$2 helper=$3 ndstool=$4 gen_nds=$5 shots=$6
here=$(cd "$(dirname "$0")" && pwd)

source "$here/gui_harness.sh"

use_session_language

win_path() { printf 'Z:%s' "${1//\//\\}"; }
native() { if [ "$front_end" = linux ]; then printf '%s' "$1"; else win_path "$1"; fi; }
tool() {  # tool TOOL ARGS...: a tool of the build, natively or under Wine
  if [ "$front_end" = linux ]; then
    ASAN_OPTIONS=detect_leaks=0 "$@"
  else
    "$helper" "$@"
  fi
}
# parts -x|-c ROM FOLDER [ARM7]: as the script runs ndstool.
parts() {
  local d=$3
  mkdir -p "$d"
  tool "$ndstool" "$1" "$(native "$2")" -9 "$(native "$d/arm9.bin")" \
    -7 "$(native "${4:-$d/arm7.bin}")" -y9 "$(native "$d/y9.bin")" -y7 "$(native "$d/y7.bin")" \
    -d "$(native "$d/data")" -y "$(native "$d/overlay")" -t "$(native "$d/banner.bin")" \
    -h "$(native "$d/header.bin")"
}

step "images"
src="$temp/src"
mkdir -p "$src"
tool "$gen_nds" "$(native "$src/game.nds")" --variant sdk >/dev/null || fail "gen_nds could not make a ROM"
tool "$gen_nds" "$(native "$src/other.nds")" --variant sdk --seed 99 >/dev/null || fail "gen_nds (seed 99)"
parts -x "$src/other.nds" "$src/other" >/dev/null 2>&1 || fail "could not unpack the donor image"
arm7_source="$src/other/arm7.bin"
# (The window test's stand-in ndstool unpacks an empty ARM7 binary.)
[ -s "$arm7_source" ] || printf 'ARM7-REPLACEMENT' >"$arm7_source"
# The ROM as the patch leaves it.
cp "$src/game.nds" "$src/patched.nds"
parts -x "$src/patched.nds" "$src/patched" >/dev/null 2>&1 &&
  parts -c "$src/patched.nds" "$src/patched" "$arm7_source" >/dev/null 2>&1 ||
  fail "could not patch game.nds by hand"
cmp -s "$src/game.nds" "$src/patched.nds" && fail "the donor's ARM7 binary changes nothing"

listing() { (cd "$1" && find . ! -path ./output ! -name game.nds -printf '%s %p\n' | sort); }
box_is_not() { local id; id=$(box_id) && [ -n "$id" ] && [ "$id" != "$1" ]; }

# answer ok|escape|close|undo: patches the ROM, reads the box that offers
# Undo and answers it; the ROM must then be patched, or the original again.
answer() {
  local how=$1 box
  cp "$src/game.nds" "$rom"
  step "$run: press \"P\", then answer the box with $how"
  press_p
  poll 120 "the script to run to its end" script_ended
  box_says "$run-$how" "$(say "game.nds was patched." "game.nds 파일을 패치했습니다.")" \
    "$(say "Undo gives the image back as it was before the patch; OK keeps the patch." \
      "\"되돌리기\"를 누르면 이미지를 패치하기 전 상태로 되돌리고, \"확인\"을 누르면 패치한 그대로 둡니다.")"
  [ -s "$prog/deruzuz.undo" ] || fail "$run: no undo record while the box is open"
  box=$(box_id)
  shot "$run-$how"
  xdotool windowfocus "$box" 2>/dev/null
  case $how in
    ok) xdotool key Return ;;
    escape) xdotool key Escape ;;
    close) python3 "$here/close_window.py" "$box" ;;
    undo) xdotool key alt+u ;;
    changed)
      # Changed behind the box's back: the undo must refuse it.
      printf 'changed' >>"$rom"
      cp "$rom" "$temp/changed.nds"
      xdotool key alt+u
      ;;
  esac
  poll 30 "the box to close" box_gone "$box"
  if [ "$how" = undo ]; then
    poll 120 "the box after Undo" box_is_not "$box"
    expect_box "$run-undone" \
      "$(say "game.nds is back as it was before the patch." "game.nds 파일을 패치하기 전 상태로 되돌렸습니다.")"
    cmp -s "$rom" "$src/game.nds" || fail "$run: Undo did not give back the original bytes"
  elif [ "$how" = changed ]; then
    poll 120 "the box after Undo" box_is_not "$box"
    # It failed: the record stays, and Undo is offered again; OK keeps all.
    expect_box "$run-not-undone" \
      "$(say "game.nds could not be given back as it was before the patch." "game.nds 파일을 패치하기 전 상태로 되돌리지 못했습니다.")" \
      "$(say "The ROM image has changed since the patch" "패치한 뒤에 ROM 이미지가 바뀌었습니다.")" \
      "$(say "Press \"Undo\" to try again" "다시 해 보려면 \"되돌리기\"를")"
    cmp -s "$rom" "$temp/changed.nds" || fail "$run: the undo changed a ROM it refused"
  else
    cmp -s "$rom" "$src/patched.nds" || fail "$run: the ROM is not patched as by hand after $how"
  fi
  # The record goes once the box has returned, a moment after it is gone.
  local deadline=$((SECONDS + 30))
  until [ "$(listing "$temp/$run")" = "$before" ]; do
    [ "$SECONDS" -lt "$deadline" ] ||
      fail "$run: files were left behind after $how: $(diff <(echo "$before") <(listing "$temp/$run"))"
    sleep 0.1
  done
}

run=undo-$language
start_program "$run"
rom="$temp/$run/roms/game.nds"
mkdir -p "${rom%/*}"
cp "$src/game.nds" "$rom"
before=$(listing "$temp/$run")
paste=type
[ "$front_end" = linux ] && paste=paste
choose_rom "$run" "$(native "$rom")" game.nds "$paste"
for how in ok escape close undo changed; do answer "$how"; done
close_program

[ "$front_end" = windows ] && wineserver -w
echo "PASS (screenshots in $shots)"
