#!/usr/bin/env bash
# The rooms of docs/architecture.md, checked on the sources and the binaries:
# each file of src/ includes only what its room may, shared files name no
# system (no system header, no #if on the OS), the system's services are made
# only where the program starts, and the given test binaries link no toolkit.
#
# rooms_test.sh SRC_DIR GENERATED_DIR [BINARY...]
# GENERATED_DIR holds the headers the build makes (texts/messages.h).
set -uo pipefail

src=$1 generated=$2
shift 2
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# The room of a file: its folder under src/, a front end or backend folder
# counting as a room of its own. texts/ (the catalogue) includes only itself.
room_of() {
  local rel=${1#"$src"/}
  case $rel in
    frontend/fltk/* | frontend/win32/* | platform/posix/* | platform/win32/*) dirname "$rel" ;;
    *) echo "${rel%%/*}" ;;
  esac
}

# Whether room $1 may include "$2" (a path under src/, or the result file's
# format under tools/).
may_include() {
  local room=$1 header=$2 file=$3
  case $header in
    # The program's texts, below every room.
    texts/*)
      return 0
      ;;
    # The lines ndstool leaves for the program: read by the patch alone.
    result_file/*)
      [[ $room == patch ]]
      return
      ;;
    # What only the backends, and SystemPlatform's own files, may see.
    platform/backend.h)
      [[ $room == platform* ]]
      return
      ;;
    platform/posix/* | platform/win32/*)
      [[ $room == "$(dirname "$header")" ]]
      return
      ;;
    app/program.h)
      [[ $room == app || $file == */entry_*.cpp ]]
      return
      ;;
  esac
  case $room in
    app) [[ $header == app/* || $header == ui/* || $header == platform/* ||
      ($header == frontend/*.h && $header != frontend/*/*) ]] ;;
    ui) [[ $header == ui/* || $header == patch/* || $header == frontend/window.h ||
      ($header == platform/* && $header != platform/system*) ]] ;;
    patch) [[ $header == patch/* || ($header == platform/* && $header != platform/system*) ]] ;;
    frontend) [[ ($header == frontend/*.h && $header != frontend/*/*) ||
      ($header == platform/* && $header != platform/system*) ]] ;;
    frontend/fltk | frontend/win32)
      [[ $header == "$room"/* || ($header == frontend/*.h && $header != frontend/*/*) ||
        ($header == platform/* && $header != platform/system*) ]] ;;
    platform) [[ $header == platform/* && $header != platform/*/* ]] ;;
    texts) false ;;
    platform/posix | platform/win32) [[ $header == platform/* ]] ;;
    *) false ;;
  esac
}

while IFS= read -r file; do
  room=$(room_of "$file")
  shared=yes
  case $room in frontend/* | platform/*) shared=no ;; esac
  while IFS= read -r line; do
    if [[ $line =~ ^#include\ \"([^\"]+)\" ]]; then
      header=${BASH_REMATCH[1]}
      [ -f "$src/$header" ] || [ -f "$src/../tools/$header" ] || [ -f "$generated/$header" ] ||
        fail "${file#"$src"/}: \"$header\" does not name its room"
      may_include "$room" "$header" "$file" || fail "${file#"$src"/} (room $room) includes \"$header\""
    elif [[ $line =~ ^#include\ \<([^\>]+)\> && $shared == yes ]]; then
      header=${BASH_REMATCH[1]}
      # The C++ library's headers have neither a suffix nor a folder.
      [[ $header =~ ^[a-z_]+$ ]] ||
        fail "${file#"$src"/} (room $room) includes the system header <$header>"
    elif [[ $line =~ ^#\ *(if|ifdef|ifndef|elif).*(_WIN32|WIN32|__linux__|__unix__|__APPLE__|_MSC_VER) &&
      $shared == yes ]]; then
      fail "${file#"$src"/} (room $room) asks which system it is on: $line"
    fi
  done <"$file"
done < <(find "$src" -name '*.cpp' -o -name '*.h' | sort)

# The system's services are made once, where the program starts.
while IFS= read -r hit; do
  case $hit in
    "$src"/app/main.cpp:* | "$src"/platform/system.*) ;;
    *) fail "SystemPlatform made outside the program's start: ${hit#"$src"/}" ;;
  esac
done < <(grep -rn --include='*.cpp' --include='*.h' 'SystemPlatform' "$src")

for binary in "$@"; do
  libraries=$(ldd "$binary" 2>&1) || { fail "ldd $binary: $libraries"; continue; }
  toolkit=$(grep -Ei 'fltk|libX11|libxcb|fontconfig|libXft' <<<"$libraries")
  [ -z "$toolkit" ] || fail "$(basename "$binary") links a toolkit: $(tr -s ' \t\n' ' ' <<<"$toolkit")"
done

[ "$failures" = 0 ] || exit 1
echo "rooms kept: $(find "$src" -name '*.cpp' -o -name '*.h' | wc -l) files, $# binaries"
