# Shared by the window's end-to-end scripts (sourced): tool checks, a
# private Xvfb (and Wine prefix), polling, screenshots, and starting the
# program from a prepared program folder.
# The sourcing script sets front_end, program, helper, ndstool and shots;
# it may set arm7_source (the file to use as Bin/arm7.bin), define
# extra_cleanup, and call the hook prepare_program (if defined) before the
# program starts.
skip() { echo "SKIP: $*"; exit 77; }
fail() {
  echo "FAIL: $*" >&2
  [ -n "${DISPLAY:-}" ] && import -window root "$shots/failure.png" 2>/dev/null
  exit 1
}
step() { echo "--- $*"; }

# The session's language from VODERER_GUI_LANGUAGE (en or ko): English is
# LC_ALL=C; Korean the Korean locale, or on Linux gettext's LANGUAGE where it
# is not installed.
use_session_language() {
  language=${VODERER_GUI_LANGUAGE:-en}
  unset LANGUAGE
  if [ "$language" != ko ]; then
    export LC_ALL=C
  elif locale -a 2>/dev/null | grep -qi '^ko_KR\.utf-\?8$'; then
    export LC_ALL=ko_KR.UTF-8
  elif [ "$front_end" = linux ]; then
    export LC_ALL=C.UTF-8 LANGUAGE=ko
  else
    skip "the ko_KR.UTF-8 locale is not installed (scripts/setup-debian.sh installs it)"
  fi
}

for tool in Xvfb xdotool xclip xwininfo import convert python3; do
  command -v "$tool" >/dev/null || skip "$tool is not installed (scripts/setup-debian.sh installs it)"
done
if [ "$front_end" = windows ]; then
  command -v wine >/dev/null || skip "wine is not installed"
fi

# poll SECONDS DESCRIPTION COMMAND...: runs COMMAND until it succeeds.
poll() {
  local limit=$1 what=$2
  shift 2
  local deadline=$((SECONDS + limit))
  until "$@"; do
    [ "$SECONDS" -lt "$deadline" ] || fail "waited ${limit}s for $what"
    sleep 0.1
  done
}

temp=$(mktemp -d /tmp/voderer-gui.XXXXXX)
mkdir -p "$shots"
xvfb_pid=
program_pid=
cleanup() {
  declare -F extra_cleanup >/dev/null && extra_cleanup
  [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  rm -rf "$temp"
}
trap cleanup EXIT

# A display of our own; Xvfb picks a free number. 96 DPI: 15 twips a pixel.
# Another Xvfb starting at the same moment can take the number first, and
# ours then gives up: start again. -noreset: between two programs, with no
# client left, a resetting server would refuse the next one for a moment.
xvfb_alive() { kill -0 "$xvfb_pid" 2>/dev/null && ! ps -p "$xvfb_pid" -o stat= | grep -q Z; }
display_answers() {
  xvfb_alive || return 0  # stop waiting; checked below
  [ -s "$temp/display" ] && DISPLAY=:$(head -n1 "$temp/display") xdotool getdisplaygeometry \
    >/dev/null 2>&1
}
step "Xvfb"
for attempt in 1 2 3 4 5; do
  : >"$temp/display"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -dpi 96 -nolisten tcp -noreset 3>"$temp/display" \
    >"$temp/xvfb.log" 2>&1 &
  xvfb_pid=$!
  poll 30 "Xvfb to start" display_answers
  xvfb_alive && break
  wait "$xvfb_pid" 2>/dev/null
  xvfb_pid=
done
[ -n "$xvfb_pid" ] || { cat "$temp/xvfb.log"; fail "Xvfb did not start"; }
export DISPLAY=:$(head -n1 "$temp/display")

if [ "$front_end" = windows ]; then
  # A prefix of its own, so that the other Wine tests' displays never mix;
  # one per build tree, so that two test runs at once never share a wineserver.
  export WINEPREFIX=${VODERER_GUI_WINEPREFIX:-${HOME:-/root}/.wine-voderer-gui}
  # Wine's stand-ins for the Windows UI fonts have no Hangul; let them fall
  # back to Noto CJK (fonts-noto-cjk), as Windows' own fonts would to Gulim.
  step "Wine prefix"
  # What Wine said is kept, and shown if a step fails.
  reg_add() {
    "$helper" reg add "$@" /f >>"$temp/wine-prefix.log" 2>&1
    local status=$?
    [ "$status" = 0 ] && return
    cat "$temp/wine-prefix.log" >&2
    fail "could not set up the Wine prefix: reg add $1 /v $3 ended with status $status"
  }
  for face in Tahoma "Microsoft Sans Serif"; do
    reg_add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
      /v "$face" /t REG_MULTI_SZ /d 'NotoSansCJK-Regular.ttc,Noto Sans CJK KR'
  done
  # Under a Korean locale the dialog font is Gulim, which is not there at all.
  reg_add 'HKCU\Software\Wine\Fonts\Replacements' /v Gulim /d 'Noto Sans CJK KR'
fi

# Control centres in pixels at 96 DPI (twips / 15).
text1_x=60 dots_x=184 p_x=220 about_x=256 row_y=12

# For run $run in program folder $prog: the folder changed after the click
# and the script is gone, so it has run to its end (or was never written).
# The result file as last seen is kept: a box that goes wrong then shows
# whether ndstool wrote it so or the program read it before its end.
script_ended() {
  [ -e "$prog/deruzuz.result" ] && cp "$prog/deruzuz.result" "$temp/$run.result" 2>/dev/null
  [ -n "$(find "$prog" -maxdepth 0 -newer "$temp/$run.clicked")" ] &&
    [ ! -e "$prog/deruzuz.bat" ] && [ ! -e "$prog/UNPACK" ]
}
press_p() {
  rm -f "$temp/$run.result"
  # A little in the past, so that a change in the same clock tick counts.
  touch -d "@$(date +%s.%N | awk '{printf "%.3f", $1 - 0.2}')" "$temp/$run.clicked"
  click "$p_x"
}

window_id() { xdotool search --onlyvisible --name '^Voderer 1\.0$' 2>/dev/null | head -n1; }
box_id() { xdotool search --onlyvisible --name '^Voderer$' 2>/dev/null | head -n1; }
# The Open dialog, titled as Windows titles it in English or Korean. FLTK's
# own chooser puts a UTF-8 title into WM_NAME as if it were Latin-1, which
# xdotool reads; _NET_WM_NAME has it right.
dialog_id() {
  local id
  for id in $(xdotool search --onlyvisible --name '.' 2>/dev/null); do
    xprop -id "$id" _NET_WM_NAME WM_NAME 2>/dev/null | grep -qE '= "(Open|열기)"$' && {
      echo "$id"
      return
    }
  done
}
has_window() { local id; id=$("$1") && [ -n "$id" ]; }
gone() { ! has_window "$1"; }
program_ended() { ! kill -0 "$program_pid" 2>/dev/null; }

# A screenshot once the screen has stopped changing (a dialog fills its
# lists after it is mapped).
screen_settled() {
  import -window root -depth 8 "rgb:$temp/now.rgb" 2>/dev/null || return 1
  if [ -f "$temp/before.rgb" ] && cmp -s "$temp/now.rgb" "$temp/before.rgb"; then
    return 0
  fi
  mv "$temp/now.rgb" "$temp/before.rgb"
  sleep 0.2
  return 1
}
shot() {
  rm -f "$temp/before.rgb"
  poll 20 "the screen to settle for $1" screen_settled
  convert -size 1024x768 -depth 8 "rgb:$temp/now.rgb" "$shots/$1.png" || fail "screenshot $1"
}

# Prepares a program folder and starts the program from another folder.
start_program() {
  local run=$1
  prog="$temp/$run/${program_folder_name:-program}" work="$temp/$run/work"
  mkdir -p "$prog/Bin" "$work"
  if [ "$front_end" = linux ]; then
    cp "$program" "$helper" "$prog/"
    cp "$ndstool" "$prog/Bin/ndstool"
  else
    cp "$program" "$prog/"
    cp "$ndstool" "$prog/Bin/ndstool.exe"
  fi
  if [ -n "${arm7_source:-}" ]; then
    cp "$arm7_source" "$prog/Bin/arm7.bin"
  else
    printf 'ARM7-REPLACEMENT' >"$prog/Bin/arm7.bin"
  fi
  declare -F prepare_program >/dev/null && prepare_program
  launch_program "$run"
}

# Starts the program in $prog (again) from $work.
launch_program() {
  local run=$1
  local exe="$prog/$(basename "$program")"
  if [ "$front_end" = linux ]; then
    # The X and font libraries keep caches to the end; only our own leaks
    # are the unit tests' business.
    (cd "$work" && ASAN_OPTIONS=detect_leaks=0 exec "$exe") >"$temp/$run/output" 2>&1 &
  else
    (cd "$work" && exec "$helper" "$exe") >"$temp/$run/output" 2>&1 &
  fi
  program_pid=$!
  shown_or_ended() {
    has_window window_id && return 0
    program_ended || return 1
    cat "$temp/$run/output"
    fail "the program ended before it showed its window"
  }
  # The first Wine run also creates the prefix.
  poll 240 "the window titled \"Voderer 1.0\"" shown_or_ended
  main=$(window_id)
}

# click X: clicks the window's row of controls at X. Raised first, and only
# once the pointer is over it: under Wine the patch script's console,
# minimized but with no window manager still mapped (unpainted) over the
# window, would take the click, and the keys that follow.
click() {
  xdotool windowraise "$main" mousemove --window "$main" "$1" "$row_y"
  poll 30 "the pointer to be over the window" pointer_on_main
  xdotool click 1
}
pointer_on_main() { [ "$(xdotool getmouselocation --shell | sed -n 's/^WINDOW=//p')" = "$main" ]; }

# The clipboard's text. Asked for it, an owner that never answers would
# keep xclip waiting for ever: a poll asks again instead.
clipboard() { timeout 10 xclip -o -selection clipboard 2>/dev/null; }

# Puts TEXT on the clipboard. xclip returns before its child in the
# background may own the clipboard: wait until the clipboard gives TEXT back,
# so that a paste or a check never meets the text before.
set_clipboard() {
  printf '%s' "$1" | xclip -selection clipboard -i
  poll 30 "the clipboard to hold \"$1\"" clipboard_holds "$1"
}
clipboard_holds() { [ "$(clipboard)" = "$1" ]; }

text1_shows() {
  click "$text1_x"
  xdotool key ctrl+a ctrl+c
  [ "$(clipboard)" = "$1" ]
}

# close_box SHOT [ask]: the box titled "Voderer", shot, closed with Return,
# or asked to close as the title bar's close button does. Only this box
# need go: the next one may follow at once.
close_box() {
  poll 30 "the box titled \"Voderer\"" has_window box_id
  local box
  box=$(box_id)
  shot "$1"
  if [ "${2:-}" = ask ]; then
    python3 "$here/close_window.py" "$box"
  else
    xdotool windowfocus "$box" 2>/dev/null
    xdotool key Return
  fi
  poll 30 "the box to close" box_gone "$box"
}
box_gone() { ! xdotool search --onlyvisible --name '^Voderer$' 2>/dev/null | grep -qx "$1"; }

# The text of the box titled "Voderer" into $temp/box.txt: under Wine read
# by a helper (VODERER_GUI_BOX_READER, from ctest), elsewhere copied with
# Ctrl+C as the message box of Windows copies it.
box_copied() {
  xdotool windowfocus "$1" 2>/dev/null
  xdotool key ctrl+c
  clipboard >"$temp/box.txt" &&
    ! grep -qx 'nothing copied yet' "$temp/box.txt" && [ -s "$temp/box.txt" ]
}
box_read_by_helper() {
  rm -f "$temp/box.txt"
  timeout 60 "$helper" "$VODERER_GUI_BOX_READER" "Z:${temp//\//\\}\\box.txt" 2>/dev/null &&
    [ -s "$temp/box.txt" ]
}
read_box() {
  poll 30 "the box titled \"Voderer\"" has_window box_id
  if [ "$front_end" = windows ]; then
    [ -n "${VODERER_GUI_BOX_READER:-}" ] || fail "VODERER_GUI_BOX_READER names no helper"
    poll 60 "the box's text" box_read_by_helper
    return
  fi
  set_clipboard 'nothing copied yet'
  local box
  box=$(box_id)
  poll 30 "the box's text on the clipboard" box_copied "$box"
}

# box_says SHOT TEXT...: the box titled "Voderer" says every TEXT; left open.
box_says() {
  local shot_name=$1 text
  shift
  read_box
  echo "box $shot_name:"
  sed 's/^/    /' "$temp/box.txt"
  echo
  for text in "$@"; do
    grep -qF -- "$text" "$temp/box.txt" && continue
    [ -e "$temp/$run.result" ] && { echo "deruzuz.result as last seen:"; cat -v "$temp/$run.result"; }
    fail "$shot_name: the box does not say \"$text\""
  done
}

# expect_box SHOT TEXT...: the box says every TEXT; shot and closed with
# Return.
expect_box() {
  box_says "$@"
  close_box "$1"
}

# The program's language in this run: ko in a Korean session, en elsewhere
# (set by the caller as `language`). say ENGLISH KOREAN gives the text the
# boxes should show.
say() { if [ "${language:-en}" = ko ]; then printf '%s' "$2"; else printf '%s' "$1"; fi; }


# choose_rom RUN TYPED_PATH NAME type|paste: picks the ROM through the Open
# dialog and waits for Text1 to show NAME.
choose_rom() {
  local run=$1 typed_path=$2 rom_name=$3 paste=$4
  click "$dots_x"
  poll 60 "the Open dialog" has_window dialog_id
  shot "$run-dialog"
  if [ "$paste" = paste ]; then
    # "/" opens GTK's location entry (elsewhere it is replaced at once); the
    # path then replaces whatever the file-name box holds.
    xdotool type "/"
    set_clipboard "$typed_path"
    xdotool key ctrl+a ctrl+v
  else
    xdotool type --delay 20 "$typed_path"
  fi
  xdotool key Return
  poll 30 "the Open dialog to close" gone dialog_id
  poll 30 "Text1 to show \"$rom_name\"" text1_shows "$rom_name"
}

# Closes the window as the user does; the program must end cleanly.
close_program() {
  python3 "$here/close_window.py" "$main"
  poll 30 "the program to end on the close request" program_ended
  wait "$program_pid"
  local status=$?
  program_pid=
  [ "$status" = 0 ] || fail "the program ended with status $status"
}

# After the run-time error box: the program must end, and not with 0.
error_ended() {
  poll 30 "the program to end after the error" program_ended
  wait "$program_pid"
  local status=$?
  program_pid=
  [ "$status" != 0 ] || fail "the program ended with status 0 after an error"
}
