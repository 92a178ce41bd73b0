#!/usr/bin/env bash
# The parts of tools/ndstool (docs/architecture.md, "Inside ndstool"): the
# library nds/ holds no command line and reads no environment variable, and
# only the per-system files and main.cpp name the system they run on.
#
# ndstool_rooms_test.sh TOOLS_NDSTOOL_DIR
set -uo pipefail

tool=$1
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

while IFS= read -r file; do
  grep -qE '\bgetenv\b|\benviron\b|GetEnvironmentVariable' "$file" &&
    fail "$file reads the environment"
  grep -qE '#include "cli/' "$file" && fail "$file includes the command line"
done < <(find "$tool/nds" -type f)
while IFS= read -r file; do
  case $file in
    */main.cpp | *_posix.cpp | *_win32.cpp) ;;
    *) fail "$file names the system it runs on" ;;
  esac
done < <(grep -rlE '_WIN32|__linux__|__APPLE__' "$tool" --include='*.cpp' --include='*.h')

[ $failures = 0 ] && echo "ndstool rooms: kept"
exit $((failures > 0))
