#!/usr/bin/env bash
# How a patch ends, through the window with the real ndstool and a real DS
# image: a patch that works, and each way one can fail. Each case reads the
# box titled "Voderer" the user sees (and on Linux the script's console),
# checks the ROM (byte-identical unless patched) and that the program folder
# holds afterwards exactly what it held before.
#
# failure_paths_e2e.sh linux   PROGRAM RUNBAT   NDSTOOL GEN_NDS -      SHOTS_DIR
# failure_paths_e2e.sh windows PROGRAM WINE_RUN NDSTOOL GEN_NDS HOLDER SHOTS_DIR
# HOLDER keeps a file open without sharing until told to let go (Windows).
# VODERER_GUI_LANGUAGE=ko runs it all in a Korean session, whose boxes
# speak Korean; otherwise the session is English (LC_ALL=C).
# Exit 77 (skipped) when a tool it needs is missing.
set -uo pipefail

front_end=$1 program=$2 helper=$3 ndstool=$4 gen_nds=$5 holder=$6 shots=$7
here=$(cd "$(dirname "$0")" && pwd)

mounted=
extra_cleanup() {
  [ -n "$mounted" ] && umount "$mounted" 2>/dev/null
  [ -n "${holder_pid:-}" ] && kill "$holder_pid" 2>/dev/null
}
source "$here/gui_harness.sh"

use_session_language

# ndstool as the script runs it, for making and checking images here.
win_path() { printf 'Z:%s' "${1//\//\\}"; }
run_ndstool() {
  if [ "$front_end" = linux ]; then
    ASAN_OPTIONS=detect_leaks=0 "$ndstool" "$@"
  else
    "$helper" "$ndstool" "$@"
  fi
}
native() { if [ "$front_end" = linux ]; then printf '%s' "$1"; else win_path "$1"; fi; }
# parts -x|-c ROM FOLDER [ARM7]: unpacks ROM into FOLDER, or builds it from
# there (with ARM7 as its ARM7 binary), as the script does.
parts() {
  local d=$3
  mkdir -p "$d"
  run_ndstool "$1" "$(native "$2")" -9 "$(native "$d/arm9.bin")" \
    -7 "$(native "${4:-$d/arm7.bin}")" -y9 "$(native "$d/y9.bin")" -y7 "$(native "$d/y7.bin")" \
    -d "$(native "$d/data")" -y "$(native "$d/overlay")" -t "$(native "$d/banner.bin")" \
    -h "$(native "$d/header.bin")"
}

gen() {  # gen OUT ARGS...
  local out=$1
  shift
  if [ "$front_end" = linux ]; then
    "$gen_nds" "$out" "$@"
  else
    "$helper" "$gen_nds" "$(win_path "$out")" "$@"
  fi
}

step "images"
src="$temp/src"
mkdir -p "$src"
gen "$src/game.nds" --variant sdk >/dev/null || fail "gen_nds could not make a ROM"
gen "$src/big.nds" --large 24 >/dev/null || fail "gen_nds could not make a large ROM"
# A real ARM7 binary from another image stands in for the replacement.
gen "$src/other.nds" --variant sdk --seed 99 >/dev/null || fail "gen_nds (seed 99)"
parts -x "$src/other.nds" "$src/other" >/dev/null 2>&1 || fail "could not unpack the donor image"
arm7_source="$src/other/arm7.bin"
# The ROMs as one patch leaves them: patch_by_hand NAME ARM7 OUT.
patch_by_hand() {
  cp "$src/$1.nds" "$src/$3"
  rm -rf "$src/$3.parts"
  parts -x "$src/$3" "$src/$3.parts" >/dev/null 2>&1 &&
    parts -c "$src/$3" "$src/$3.parts" "$2" >/dev/null 2>&1 || fail "could not patch $1.nds by hand"
  cmp -s "$src/$1.nds" "$src/$3" && fail "the ARM7 binary $2 changes nothing in $1.nds"
}
# The large ROM's ARM7 binary, far larger than the small one's: with it the
# items after the ARM7 binary have to move.
parts -x "$src/big.nds" "$src/big" >/dev/null 2>&1 || fail "could not unpack the large ROM"
big_arm7="$src/big/arm7.bin"
[ "$(wc -c <"$big_arm7")" -gt 100000 ] || fail "the large ROM's ARM7 binary is small"
patch_by_hand game "$big_arm7" game-grown.nds
head -c 300000 /dev/urandom >"$src/random.nds"

# Everything under a folder as "size path" lines, to tell what changed.
listing() { (cd "$1" && find . ! -path ./output -printf '%s %p\n' | sort); }

# The script's console: on Linux runbat writes to the program's output; a
# console under Wine is a window of its own, whose text is not ours to read.
console() { cat "$temp/$run/output"; }
console_says() { console | grep -qF -- "$1"; }


# script_case RUN ROM_SOURCE [CONSOLE_TEXT...]: patches a copy of ROM_SOURCE
# with the program folder as prepare_program leaves it; the script must run
# to its end, the box must say every text of box_says, the ROM stay
# byte-identical and (Linux) the console say CONSOLE_TEXT.
# Set for one call: no_choice (press "P" without choosing), end_check (how
# to tell the script has ended), leftovers (files expected to stay, an ERE).
script_case() {
  run=$1
  local source=$2
  shift 2
  start_program "$run"
  rom="$temp/$run/roms/game.nds"
  mkdir -p "${rom%/*}"
  cp "$source" "$rom"
  local before
  before=$(listing "$temp/$run")
  if [ -n "${no_choice:-}" ]; then
    step "$run: press \"P\" with no ROM chosen"
  else
    step "$run: choose the ROM, press \"P\""
    choose_rom "$run" "$(native "$rom")" game.nds "$paste"
  fi
  press_p
  poll 120 "the script to run to its end" "${end_check:-script_ended}"
  expect_box "$run-box" "${box_says[@]}" \
    "$(say "The ROM image was left unchanged." "ROM 이미지는 바뀌지 않았습니다.")"
  cmp -s "$rom" "$source" || fail "$run: the ROM was changed"
  [ "$(listing "$temp/$run" | grep -vE -e "${leftovers:-^$}")" = "$before" ] ||
    fail "$run: files were left behind or changed: $(diff <(echo "$before") <(listing "$temp/$run"))"
  if [ "$front_end" = linux ]; then
    local text
    for text in "$@"; do
      console_says "$text" || { console; fail "$run: the console does not say \"$text\""; }
    done
    echo "$run console:"
    console | sed 's/^/    /'
  fi
  close_program
  unset -f prepare_program
  no_choice= end_check= leftovers=
}

paste=type sep='\'
[ "$front_end" = linux ] && paste=paste sep=/

not_recognized="'ndstool' is not recognized as an internal or external command,"
left_unchanged="image left unchanged"

# Without Bin the script's "cd Bin" would fail and its clean-up would run in
# the program folder's parent: "P" says so in a box and writes nothing.
no_bin_case() {
  run=no-bin
  prepare_program() { rm -rf "$prog/Bin"; }
  start_program "$run"
  unset -f prepare_program
  rom="$temp/$run/roms/game.nds"
  mkdir -p "${rom%/*}"
  cp "$src/game.nds" "$rom"
  local before
  before=$(listing "$temp/$run")
  step "$run: choose the ROM, press \"P\""
  choose_rom "$run" "$(native "$rom")" game.nds "$paste"
  click "$p_x"
  box_says "$run-box" "$(say "$(native "$prog/Bin") is missing" "$(native "$prog/Bin") 폴더가 없어서")" \
    "$(say "Put the Bin folder of the program's download back" "내려받은 프로그램의 Bin 폴더를")"
  close_box "$run-box" ask
  kill -0 "$program_pid" 2>/dev/null || fail "$run: the program ended"
  cmp -s "$rom" "$src/game.nds" || fail "$run: the ROM was changed"
  [ "$(listing "$temp/$run")" = "$before" ] ||
    fail "$run: files changed: $(diff <(echo "$before") <(listing "$temp/$run"))"
  close_program
}
no_bin_case

not_patched=$(say "game.nds was not patched." "game.nds 파일을 패치하지 못했습니다.")
ndstool_says=$(say "ndstool: " "ndstool 메시지: ")

# The program folder of a case, as the program names it.
program_of() { native "$temp/$1/${program_folder_name:-program}"; }

prepare_program() { rm -f "$prog/Bin/arm7.bin"; }
box_says=("$not_patched" "$(say "There is no arm7.bin in the Bin folder." "Bin 폴더에 arm7.bin이 없습니다.")"
  "${ndstool_says}cannot read arm7.bin: No such file"
  "$(say "Put your replacement arm7.bin into $(program_of no-arm7)$sep""Bin, then press \"P\" again." \
    "교체할 arm7.bin을 $(program_of no-arm7)$sep""Bin 폴더에 넣은 다음 \"P\"를 다시 누르십시오.")")
script_case no-arm7 "$src/game.nds" "cannot read arm7.bin: No such file; $left_unchanged"

prepare_program() { rm -f "$prog/Bin/ndstool" "$prog/Bin/ndstool.exe"; }
box_says=("$not_patched" "$(say "ndstool could not be run" "ndstool 파일을 실행할 수 없었거나")"
  "$(say "Make sure that ndstool is in " "ndstool이 ")$(program_of no-ndstool)$sep""Bin")
script_case no-ndstool "$src/game.nds" "$not_recognized"

box_says=("$not_patched" "$(say "The chosen file is not a DS ROM image." "선택한 파일은 DS ROM 이미지가 아닙니다.")"
  "${ndstool_says}refused " "$(say "Choose a DS ROM image (.nds)" "DS ROM 이미지(.nds)를 선택한 다음")")
script_case not-a-ds-image "$src/random.nds" "refused" "$left_unchanged"

box_says=("$(say "The ROM image was not patched." "ROM 이미지를 패치하지 못했습니다.")"
  "$(say "No ROM image was chosen." "ROM 이미지를 선택하지 않았습니다.")" "${ndstool_says}"
  "$(say "Choose a ROM image with \"...\" first" "먼저 \"...\" 버튼으로 ROM 이미지를 선택한 다음")")
no_choice=1 script_case no-rom-chosen "$src/game.nds" "$left_unchanged"

# A patch that works: the box says so, the ROM is patched exactly as by
# hand, and nothing else in the program folder or beside the ROM changed.
patched_case() {
  run=patched
  arm7_source=$big_arm7 start_program "$run"
  rom="$temp/$run/roms/game.nds"
  mkdir -p "${rom%/*}"
  cp "$src/game.nds" "$rom"
  local before
  before=$(listing "$temp/$run" | grep -v game.nds)
  step "$run: choose the ROM, press \"P\""
  choose_rom "$run" "$(native "$rom")" game.nds "$paste"
  press_p
  poll 120 "the script to run to its end" script_ended
  # Sizes as the box writes them: 154164 as "154,164".
  grouped() { wc -c <"$1" | sed -e ':a' -e 's/\B[0-9]\{3\}\>/,&/' -e 'ta'; }
  local before_size after_size
  before_size=$(grouped "$src/game-grown.nds.parts/arm7.bin") after_size=$(grouped "$big_arm7")
  expect_box "$run-box" "$(say "game.nds was patched." "game.nds 파일을 패치했습니다.")" \
    "$(say "Its ARM7 binary was replaced (before: $before_size bytes; now: $after_size bytes)." \
      "ARM7 바이너리를 교체했습니다(교체 전: ${before_size}바이트, 교체 후: ${after_size}바이트).")" \
    "$(say "The items after it had to move by " "그 뒤의 항목들을 ")" \
    "$(say "nothing else in the image changed." "이미지의 다른 부분은 바뀌지 않았습니다.")"
  cmp -s "$rom" "$src/game-grown.nds" || fail "$run: the ROM is not patched as by hand"
  [ "$(listing "$temp/$run" | grep -v game.nds)" = "$before" ] ||
    fail "$run: files were left behind or changed: $(diff <(echo "$before") <(listing "$temp/$run"))"
  close_program
}
patched_case

# The script cannot be written: the run-time error box names the failure and
# the program ends. Root ignores permissions, so the folder is a read-only
# bind mount of itself.
can_mount_read_only() {
  mkdir -p "$temp/mount-probe"
  mount --bind "$temp/mount-probe" "$temp/mount-probe" 2>/dev/null || return 1
  mount -o remount,ro,bind "$temp/mount-probe" 2>/dev/null
  local read_only=$?
  umount "$temp/mount-probe"
  [ "$read_only" = 0 ]
}
read_only_case() {
  run=read-only-folder
  if ! can_mount_read_only; then
    echo "SKIP $run: no read-only bind mount here (needs root and mount rights)"
    return
  fi
  prepare_program() {
    mount --bind "$prog" "$prog" && mounted=$prog && mount -o remount,ro,bind "$prog" ||
      fail "could not mount the program folder read-only"
  }
  start_program "$run"
  unset -f prepare_program
  rom="$temp/$run/roms/game.nds"
  mkdir -p "${rom%/*}"
  cp "$src/game.nds" "$rom"
  step "$run: choose the ROM, press \"P\""
  choose_rom "$run" "$(native "$rom")" game.nds "$paste"
  click "$p_x"
  # The head is the runtime's own; the rest says what to do.
  expect_box "$run-error" "Run-time error '75':" \
    "$(say "The patch script $(native "$prog/deruzuz.bat") could not be written" \
      "패치 스크립트 $(native "$prog/deruzuz.bat") 파일을 쓸 수 없어서")" \
    "$(say "Move the program's folder to a place you can write to, such as your Documents; folders under Program Files cannot be written." \
      "프로그램 폴더를 문서 폴더처럼 쓰기가 가능한 곳으로 옮기십시오. Program Files 아래의 폴더에는 쓸 수 없습니다.")"
  error_ended
  cmp -s "$rom" "$src/game.nds" || fail "$run: the ROM was changed"
  [ ! -e "$prog/deruzuz.bat" ] || fail "$run: a script was written"
  umount "$prog" && mounted=
}
read_only_case

# "P" again while the first patch runs: the "still running" box, and the ROM
# patched once, exactly as by hand. ndstool holds its first run until the
# test lets it go, so the script is certainly running at the second press.
twice_case() {
  run=p-twice
  local release="$temp/$run.release"
  arm7_source=$big_arm7 VODERER_NDSTOOL_HOLD=$(native "$release") start_program "$run"
  rom="$temp/$run/roms/game.nds"
  mkdir -p "${rom%/*}"
  cp "$src/game.nds" "$rom"
  step "$run: choose the ROM, press \"P\", and again while ndstool is held"
  choose_rom "$run" "$(native "$rom")" game.nds "$paste"
  press_p
  ndstool_held() { [ -e "$release.held" ] || { script_ended && fail "$run: the script ended unheld"; }; }
  poll 120 "ndstool to hold the first patch" ndstool_held
  # A few pixels aside, still on "P": never a double click, which Wine's
  # button may count once more after the box.
  click $((p_x + 6))
  # Asked to close: under Wine the Return that closes the box can reach
  # "P", which has the focus, and press it once more.
  box_says "$run-still-running" "$(say "The patch started before is still running." \
    "앞서 시작한 패치가 아직 진행 중입니다.")"
  close_box "$run-still-running" ask
  touch "$release"
  poll 120 "the script to run to its end" script_ended
  expect_box "$run-patched" "$(say "game.nds was patched." "game.nds 파일을 패치했습니다.")"
  cmp -s "$rom" "$src/game-grown.nds" || fail "$run: the ROM is not patched as by hand"
  [ ! -e "$prog/deruzuz.result" ] || fail "$run: the result file was left behind"
  close_program
}
twice_case

# The ROM open elsewhere without sharing. Linux has no mandatory locks: an
# open file does not stop ndstool there, so the case is Windows' alone.
locked_case() {
  run=rom-open-elsewhere
  if [ "$front_end" = linux ]; then
    echo "SKIP $run: Linux has no mandatory file locks; a ROM open elsewhere is no obstacle"
    return
  fi
  start_program "$run"
  rom="$temp/$run/roms/game.nds"
  mkdir -p "${rom%/*}"
  cp "$src/game.nds" "$rom"
  local before
  before=$(listing "$temp/$run")
  "$helper" "$holder" "$(win_path "$rom")" "$(win_path "$temp/$run.held")" \
    "$(win_path "$temp/$run.release")" >"$temp/$run.holder" 2>&1 &
  holder_pid=$!
  held() { [ -e "$temp/$run.held" ] || { kill -0 "$holder_pid" 2>/dev/null || fail "hold_file: $(cat "$temp/$run.holder")"; return 1; }; }
  poll 120 "the ROM to be held open" held
  step "$run: choose the ROM, press \"P\""
  choose_rom "$run" "$(native "$rom")" game.nds "$paste"
  press_p
  poll 120 "the script to run to its end" script_ended
  expect_box "$run-box" "$not_patched" "game.nds: File is in use" \
    "$(say "The ROM image was left unchanged." "ROM 이미지는 바뀌지 않았습니다.")" \
    "$(say "Close the program that has the ROM open" "ROM을 열어 둔 프로그램을 닫은 다음")"
  touch "$temp/$run.release"
  wait "$holder_pid"
  holder_pid=
  rm -f "$temp/$run.release" "$temp/$run.held"
  cmp -s "$rom" "$src/game.nds" || fail "$run: the ROM was changed"
  [ "$(listing "$temp/$run")" = "$before" ] ||
    fail "$run: files were left behind or changed: $(diff <(echo "$before") <(listing "$temp/$run"))"
  close_program
}
locked_case

# ndstool's message naming a Korean file, in a console (as in the script's)
# and redirected to a file. Linux terminals take UTF-8 as it is.
console_case() {
  run=console-korean
  if [ "$front_end" = linux ]; then
    echo "SKIP $run: a Linux terminal shows ndstool's UTF-8 as it is"
    return
  fi
  step "$run: ndstool's message in a console and in a file"
  local missing="$temp/$run/롬 폴더/게임 100%.nds" says="게임 100%.nds: No such file; image left unchanged"
  # Wine reads the Korean name from the command line in the locale's
  # encoding, which plain C does not have.
  local locale=$LC_ALL
  [ "$locale" = C ] && locale=C.UTF-8
  mkdir -p "${missing%/*}"
  LC_ALL=$locale "$helper" "$VODERER_GUI_CONSOLE_READER" "$(win_path "$temp/$run/console.txt")" \
    "$(win_path "$ndstool")" -x "$(win_path "$missing")" -9 a -7 b -y9 c -y7 d -d e -y f -t g \
    -h h >/dev/null 2>&1 || fail "$run: the console could not be read"
  echo "$run console:"
  sed 's/^/    /' "$temp/$run/console.txt"
  # The console wraps its rows, so the name and the end are looked for apart.
  local part
  for part in "롬 폴더\\게임 100%.nds:" "image left unchanged"; do
    grep -qF -- "$part" "$temp/$run/console.txt" || fail "$run: the console does not say \"$part\""
  done
  # Redirected: the UTF-8 bytes as they are.
  LC_ALL=$locale parts -x "$missing" "$temp/$run/parts" 2>"$temp/$run/redirected.txt" &&
    fail "$run: unpacked"
  grep -qF -- "$says" "$temp/$run/redirected.txt" ||
    fail "$run: the redirected message reads $(cat "$temp/$run/redirected.txt")"
}
console_case

[ "$front_end" = windows ] && wineserver -w
echo "PASS (screenshots in $shots)"
