#!/usr/bin/env bash
# ctest's way into Wine (the cross build's emulator): wine-run.sh, and once
# more when Wine ended the program before it wrote a byte. That was seen on
# CI once in a long run (0.03 s, failing, no output). Every test program
# writes as soon as it starts, so silence and failure together mean it never
# ran; only that is tried again, and said. Both streams pass through as
# they are. The window tests call wine-run.sh directly: a window program
# writes nothing.
set -u -o pipefail
run=$(dirname "$0")/wine-run.sh
out=$(mktemp -d "${TMPDIR:-/tmp}/wine-test.XXXXXX") || exec "$run" "$@"
trap 'rm -rf "$out"' EXIT
for attempt in 1 2; do
  # Plain pipes, not >(...): the wineserver this may start would inherit a
  # process substitution's descriptor and hold the test's output open.
  { "$run" "$@" 2>&1 1>&3 3>&- | tee "$out/2" >&2 3>&-; } 3>&1 | tee "$out/1"
  status=$?
  if [ "$status" -eq 0 ] || [ -s "$out/1" ] || [ -s "$out/2" ] || [ "$attempt" -eq 2 ]; then
    exit "$status"
  fi
  echo "wine-test: Wine ended $1 with status $status before it wrote anything; starting it once more" >&2
done
