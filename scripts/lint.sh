#!/usr/bin/env bash
# scripts/lint.sh (run through `scripts/dev lint`): the translations in po/
# with GNU gettext's tools, then clang-format in check mode on every C++
# source of the repository, then clang-tidy (.clang-tidy) on every .cpp with
# the compile commands of the preset that builds it: linux first, then
# windows (the Win32-only sources, parsed for the mingw target), then fuzz
# (the fuzz targets). Headers are checked through the sources that include
# them; the generated ones are built first where missing. Exit 0 when all are
# clean.
set -uo pipefail
cd "$(dirname "$0")/.."

status=0

# Every text of po/voderer.pot translated in each po/*.po (Korean first of
# all), with the same placeholders: msgcmp counts an empty or fuzzy
# translation as missing, msgfmt --check-format compares the c-format
# placeholders of each text with its msgid.
echo "=== lint: translations (po/)"
[ -f po/ko.po ] || { echo "lint: po/ko.po, the Korean texts, is missing" >&2; status=1; }
for po in po/*.po; do
  if ! msgcmp "$po" po/voderer.pot || ! msgfmt --check --check-format -o /dev/null "$po"; then
    echo "lint: $po: translate every text of po/voderer.pot, with the same placeholders" >&2
    status=1
  fi
done

mapfile -t sources < <(git ls-files -- 'src/*.cpp' 'src/*.h' 'tools/*.cpp' 'tools/*.h' \
  'tests/*.cpp' 'tests/*.h' 'bench/*.cpp' 'bench/*.h')

echo "=== lint: clang-format (${#sources[@]} files)"
if ! clang-format --dry-run --Werror "${sources[@]}"; then
  echo "lint: run clang-format -i on the files above" >&2
  status=1
fi

# Compile commands, and the headers the build generates (texts/messages.h),
# which the sources include: on a fresh clone only the target that makes them
# is built, never the program.
presets=(linux windows fuzz)
for preset in "${presets[@]}"; do
  if ! cmake --preset "$preset" >/dev/null; then
    echo "lint: cannot configure the $preset preset" >&2
    exit 1
  fi
  if ! cmake --build "build/$preset" --target generated_headers -- -n | grep -q 'no work to do'; then
    echo "=== lint: generating headers in build/$preset (target generated_headers only)"
    if ! cmake --build "build/$preset" --target generated_headers >/dev/null; then
      echo "lint: cannot generate the headers of the $preset preset" >&2
      exit 1
    fi
  fi
done

# clang finds the mingw target's C++ headers only when told where they are.
mingw_cxx=$(x86_64-w64-mingw32-g++-posix -print-file-name=include/c++ 2>/dev/null)
export LINT_WINDOWS_ARGS="--extra-arg-before=-isystem$mingw_cxx
--extra-arg-before=-isystem$mingw_cxx/x86_64-w64-mingw32
--extra-arg-before=-isystem$mingw_cxx/backward"

listed() { grep -qF "\"file\": \"$PWD/$2\"" "build/$1/compile_commands.json"; }

jobs=()
for file in "${sources[@]}"; do
  [[ $file == *.cpp ]] || continue
  chosen=
  for preset in "${presets[@]}"; do
    if listed "$preset" "$file"; then chosen=$preset; break; fi
  done
  if [ -z "$chosen" ]; then
    echo "lint: $file is built by no preset, so it cannot be checked" >&2
    status=1
    continue
  fi
  jobs+=("$chosen $file")
done

echo "=== lint: clang-tidy (${#jobs[@]} sources)"
tidy_one() {
  local preset=$1 file=$2 out
  local extra=()
  [ "$preset" = windows ] && mapfile -t extra <<<"$LINT_WINDOWS_ARGS"
  # The build's g++-only warning options mean nothing to clang.
  out=$(clang-tidy -p "build/$preset" --quiet --header-filter="^$PWD/(src|tools|tests|bench)/" \
    --extra-arg=-Wno-unknown-warning-option "${extra[@]}" "$file" 2>&1) && return 0
  printf '%s\n' "$out" | grep -vE '^[0-9]+ warnings? (and [0-9]+ errors? )?generated' >&2
  echo "lint: clang-tidy findings in $file ($preset)" >&2
  return 1
}
export -f tidy_one
printf '%s\n' "${jobs[@]}" | xargs -P "$(nproc)" -L 1 bash -c 'tidy_one "$0" "$1"' || status=1
[ $status = 0 ] && echo "lint: clean"
exit $status
