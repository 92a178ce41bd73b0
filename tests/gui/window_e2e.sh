#!/usr/bin/env bash
# The window end to end, on a private Xvfb: start the program from a prepared
# program folder (working folder elsewhere), check the window, choose a ROM
# through the Open dialog, patch it with a stand-in ndstool and read the box
# that says so, show About, close the window; then make "P" fail and see the
# error box end the program.
#
# window_e2e.sh linux   PROGRAM RUNBAT NDSTOOL SHOTS_DIR
# window_e2e.sh windows PROGRAM WINE_RUN NDSTOOL SHOTS_DIR
# Each front end gets an English run (LC_ALL=C) and a Korean one (the
# program and the ROM in folders with Korean names, the boxes in Korean;
# under Wine LC_ALL=ko_KR.UTF-8, code page 949; on Linux FLTK's own file
# chooser instead of GTK's).
# VODERER_GUI_LOCALES=1 (Linux) runs instead a Hangul ROM in a Hangul program
# folder under locales that carry no Hangul (see below).
# Exit 77 (skipped) when a tool it needs is missing.
set -uo pipefail

front_end=$1 program=$2 helper=$3 ndstool=$4 shots=$5
here=$(cd "$(dirname "$0")" && pwd)

source "$here/gui_harness.sh"
# English unless a run says otherwise, whatever the machine's language.
export LC_ALL=C
unset LANGUAGE

rom_patched() {
  [ "$(cat "$rom")" = "ROMDATAARM7-REPLACEMENT" ] && [ ! -e "$prog/deruzuz.bat" ] &&
    [ ! -e "$prog/UNPACK" ]
}

# One full pass: window, Open dialog, patch, About, close.
patch_run() {
  local run=$1 rom_dir=$2 rom_name=$3 typed_path=$4 paste=$5
  start_program "$run"

  step "$run: window"
  local size
  size=$(xwininfo -id "$main" | awk '/Width:/{w=$2} /Height:/{h=$2} END{print w "x" h}')
  [ "$size" = 275x28 ] || fail "client area is $size, not 275x28"
  shot "$run-window"

  rom="$rom_dir/$rom_name"
  mkdir -p "$rom_dir"
  printf 'ROMDATA' >"$rom"

  step "$run: Open dialog"
  choose_rom "$run" "$typed_path" "$rom_name" "$paste"

  step "$run: patch, then the box that says how it ended"
  click "$p_x"
  poll 120 "the script to patch the ROM and remove itself" rom_patched
  [ ! -e "$work/deruzuz.bat" ] || fail "the script was written into the working folder"
  # The stand-in's ARM7 binary was empty; Bin/arm7.bin has 16 bytes.
  expect_box "$run-patched" "$(say "$rom_name was patched." "$rom_name 파일을 패치했습니다.")" \
    "$(say "(before: 0 bytes; now: 16 bytes)" "(교체 전: 0바이트, 교체 후: 16바이트)")"
  [ -z "$(ls -A "$prog" | grep -vxE 'Bin|Dazuzadi(\.exe)?|runbat')" ] ||
    fail "the program folder holds more than before: $(ls -A "$prog")"

  step "$run: About, reached by Tab from Text1 past \"...\" and \"P\""
  click "$text1_x"
  xdotool key Tab Tab Tab space
  close_box "$run-about"

  step "$run: close"
  close_program
}

# The window closed while the script runs: nothing is shown, and the result
# file the script leaves is removed by the next "P" (of the program started
# again), never read as that patch's outcome.
closed_early_run() {
  local run=$1 rom_dir=$2 hold=$3 typed_path=$4 paste=$5
  rom="$rom_dir/early.nds"
  mkdir -p "$rom_dir"
  printf 'ROMDATA' >"$rom"
  # The stand-in's unpack waits for this file: the script runs until then.
  VODERER_STANDIN_HOLD=$hold start_program "$run"
  step "$run: close the window while the script runs"
  choose_rom "$run" "$typed_path" early.nds "$paste"
  click "$p_x"
  poll 60 "the script to start" test -d "$prog/UNPACK"
  close_program
  touch "$temp/$run.release"
  poll 120 "the script to patch the ROM and remove itself" rom_patched
  gone box_id || fail "a box was shown after the window had closed"
  [ -s "$prog/deruzuz.result" ] || fail "the script left no result file"

  step "$run: the next patch fails; its box is its own"
  rm "$prog/Bin/arm7.bin"
  printf 'ROMDATA' >"$rom"
  launch_program "$run"
  choose_rom "$run" "$typed_path" early.nds "$paste"
  click "$p_x"
  expect_box "$run-next" "early.nds was not patched." "The ROM image was left unchanged."
  [ "$(cat "$rom")" = ROMDATA ] || fail "the ROM was changed"
  [ ! -e "$prog/deruzuz.result" ] || fail "the result file was left behind"
  close_program
}

# "P" when the script cannot be written: the standard error box, then the end.
error_run() {
  local run=$1
  start_program "$run"
  step "$run: failing patch"
  mkdir "$prog/deruzuz.bat"  # a folder where the script should go
  click "$p_x"
  expect_box "$run-error" "Run-time error '75':" "Move the program's folder to a place you can write to"
  error_ended
}

# A home whose FLTK preferences turn GTK's chooser off: FLTK's own, as where
# GTK 2 is missing.
fltk_home="$temp/home-fltk-chooser"
mkdir -p "$fltk_home/.fltk/fltk.org"
printf '; FLTK preferences file format 1.0\n; vendor: fltk.org\n; application: fltk\n\n[.]\n\n\n[./options]\n\nFNFCUsesGTK:0\n' \
  >"$fltk_home/.fltk/fltk.org/fltk.prefs"

# VODERER_GUI_LOCALES=1 (Linux): locales that carry no Hangul, none at all,
# "C" and one that is not installed. File names are UTF-8 all the same: a
# Hangul ROM name in a Hangul program folder patches in each, chosen through
# GTK's chooser and through FLTK's own.
if [ "${VODERER_GUI_LOCALES:-}" = 1 ]; then
  unset LC_ALL LANG LC_CTYPE LC_MESSAGES
  rom_dir="$temp/roms/롬 폴더" rom_name="게임 100%.nds"
  for chooser in gtk fltk; do
    chooser_home=${HOME:-/root}
    [ "$chooser" = fltk ] && chooser_home=$fltk_home
    HOME=$chooser_home program_folder_name="프로그램" \
      patch_run "no-locale-$chooser" "$rom_dir" "$rom_name" "$rom_dir/$rom_name" paste
    HOME=$chooser_home LC_ALL=C program_folder_name="프로그램" \
      patch_run "c-locale-$chooser" "$rom_dir" "$rom_name" "$rom_dir/$rom_name" paste
    HOME=$chooser_home LANG=xx_XX.UTF-8 program_folder_name="프로그램" \
      patch_run "missing-locale-$chooser" "$rom_dir" "$rom_name" "$rom_dir/$rom_name" paste
  done
  echo "PASS (screenshots in $shots)"
  exit 0
fi

if [ "$front_end" = linux ]; then
  patch_run linux "$temp/roms/my games" game.nds "$temp/roms/my games/game.nds" paste
  # FLTK's own chooser, a Korean folder name and a UTF-8 locale.
  # Without the Korean locale, C.UTF-8 carries the names and LANGUAGE the
  # language, as gettext reads it.
  utf8_locale=C.UTF-8 korean=ko
  locale -a 2>/dev/null | grep -qi '^ko_KR\.utf-\?8$' && utf8_locale=ko_KR.UTF-8 korean=
  HOME=$fltk_home LC_ALL=$utf8_locale LANGUAGE=$korean language=ko program_folder_name="프로그램" \
    patch_run linux-korean "$temp/roms/롬 폴더" "게임 100%.nds" "$temp/roms/롬 폴더/게임 100%.nds" paste
  closed_early_run linux-closed-early "$temp/roms/early" "$temp/linux-closed-early.release" \
    "$temp/roms/early/early.nds" paste
  error_run linux-error
else
  patch_run wine "$temp/roms/my games" game.nds "Z:${temp//\//\\}\\roms\\my games\\game.nds" type
  LC_ALL=ko_KR.UTF-8 language=ko program_folder_name="프로그램" patch_run wine-korean "$temp/roms/롬 폴더" "게임 100%.nds" \
    "Z:${temp//\//\\}\\roms\\롬 폴더\\게임 100%.nds" paste
  closed_early_run wine-closed-early "$temp/roms/early" \
    "Z:${temp//\//\\}\\wine-closed-early.release" "Z:${temp//\//\\}\\roms\\early\\early.nds" type
  error_run wine-error
  wineserver -w
fi
echo "PASS (screenshots in $shots)"
