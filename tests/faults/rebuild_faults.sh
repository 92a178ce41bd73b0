#!/usr/bin/env bash
# rebuild_faults.sh NDSTOOL GEN_NDS WORK
# Faults a rebuild (-c) can meet on Linux, with the real executable:
#  1. SIGKILL at many moments of the rebuild of a large image: the image is
#     byte-identical afterwards; a temporary file may remain, and the next
#     run ignores it, succeeds and leaves none.
#  2. A full disk (a small tmpfs): refused, image unchanged, nothing left.
#  3. A read-only file system: refused, image unchanged.
#  4. SIGKILL after the undo record is on the disk and before the rename:
#     the image is the old one, and --undo never applies the record to it.
# Cases 2 and 3 need to mount a file system (root); they are skipped, saying
# so, where that is not possible. Exit 0 pass, 1 fail, 77 skipped entirely.
set -uo pipefail
tool=$1 gen=$2 work=$3
fail=0
say() { echo "rebuild_faults: $*"; }
bad() { say "FAIL: $*"; fail=1; }
mounted=()
cleanup() {
  for m in "${mounted[@]}"; do umount "$m" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT
rm -rf "$work"; mkdir -p "$work"

parts() {  # parts DIR ARM7: the script's part options for a work folder DIR
  echo -9 "$1/arm9.bin" -7 "$2" -y9 "$1/y9.bin" -y7 "$1/y7.bin" -d "$1/data" \
    -y "$1/overlay" -t "$1/banner.bin" -h "$1/header.bin"
}
temps() { find "$(dirname "$1")" -maxdepth 1 -name '.ndstool-tmp-*' | wc -l; }
deadline_wait() {  # deadline_wait SECONDS COMMAND...: polls until COMMAND succeeds
  local end=$((SECONDS + $1)); shift
  until "$@"; do [ $SECONDS -lt $end ] || return 1; sleep 0.01; done
}

# A large image (so that a rebuild lasts long enough to be killed in it)
# and an ARM7 too big to fit, so that later items move.
"$gen" "$work/big.nds" --large 48 >/dev/null || { bad "gen_nds failed"; exit 1; }
mkdir -p "$work/u"
"$tool" -x "$work/big.nds" $(parts "$work/u" "$work/u/arm7.bin") >/dev/null || { bad "unpack failed"; exit 1; }
head -c 300000 /dev/urandom > "$work/arm7-new.bin"
size=$(stat -c %s "$work/big.nds")
cp "$work/big.nds" "$work/orig.nds"

# 1. SIGKILL when the temporary file has reached 0 %, 10 %, ... 90 % of the
#    image, and once right before the rename (100 %).
rom="$work/rom.nds"
for pct in 0 10 20 30 40 50 60 70 80 90 100; do
  cp "$work/orig.nds" "$rom"
  "$tool" -c "$rom" $(parts "$work/u" "$work/arm7-new.bin") >/dev/null 2>&1 &
  pid=$!
  want=$((size * pct / 100))
  reached() {
    local t; t=$(find "$work" -maxdepth 1 -name '.ndstool-tmp-*' -printf '%s\n' 2>/dev/null | head -1)
    [ -n "$t" ] && [ "$t" -ge "$want" ] || ! kill -0 $pid 2>/dev/null
  }
  deadline_wait 60 reached || { bad "rebuild at $pct %: temporary file never grew"; }
  kill -KILL $pid 2>/dev/null; wait $pid 2>/dev/null
  mkdir -p "$work/check"
  if cmp -s "$rom" "$work/orig.nds"; then :
  elif "$tool" -x "$rom" $(parts "$work/check" "$work/check/arm7.bin") >/dev/null 2>&1 &&
       cmp -s "$work/check/arm7.bin" "$work/arm7-new.bin"; then
    say "killed at $pct %: the rebuild had already finished (image complete and new)"
  else
    bad "killed at $pct %: the image is neither the old one nor the complete new one"
  fi
  rm -rf "$work/check"
  # The next run replaces whatever the killed one left.
  cp "$work/orig.nds" "$rom"
  if ! "$tool" -c "$rom" $(parts "$work/u" "$work/arm7-new.bin") >/dev/null; then
    bad "the run after a kill at $pct % failed"
  fi
  [ "$(temps "$rom")" = 0 ] || bad "a temporary file remains after the run that followed the kill at $pct %"
done
say "SIGKILL at 11 moments: done"

# 4. A FIFO as the result file holds -c at its "committing" line, which it
#    writes after the undo record and right before the rename. Once --undo
#    reads the record whole (and finds the image unchanged), -c is killed.
cp "$work/orig.nds" "$rom"
record="$work/deruzuz.undo"
mkfifo "$work/held.result"
VODERER_RESULT_FILE="$work/held.result" VODERER_UNDO_FILE="$record" \
  "$tool" -c "$rom" $(parts "$work/u" "$work/arm7-new.bin") >/dev/null 2>&1 &
pid=$!
record_whole() { "$tool" --undo "$record" "$rom" >/dev/null 2>&1; }
if ! deadline_wait 60 record_whole; then
  bad "kill after the record: the record was never whole"
elif ! kill -0 $pid 2>/dev/null; then
  bad "kill after the record: the rebuild did not wait at its committing line"
fi
kill -KILL $pid 2>/dev/null; wait $pid 2>/dev/null
cmp -s "$rom" "$work/orig.nds" || bad "kill after the record: the image changed"
msg=$("$tool" --undo "$record" "$rom" 2>&1)
case $msg in *"nothing to undo"*) ;; *) bad "kill after the record: --undo said '$msg'" ;; esac
cmp -s "$rom" "$work/orig.nds" || bad "kill after the record: --undo changed the image"
"$tool" -c "$rom" $(parts "$work/u" "$work/arm7-new.bin") >/dev/null || bad "the run after the kill after the record failed"
[ "$(temps "$rom")" = 0 ] || bad "a temporary file remains after the kill after the record"
rm -f "$work/held.result" "$record"
say "SIGKILL between the undo record and the rename: done"

# 2 and 3 need a file system of their own.
fs="$work/fs"
mkdir -p "$fs"
if [ "$(id -u)" != 0 ] || ! mount -t tmpfs -o size=$(( (size + size / 2) / 1024 ))k tmpfs "$fs" 2>/dev/null; then
  say "skipped full disk and read-only file system: cannot mount a tmpfs here (needs root)"
  exit $fail
fi
mounted+=("$fs")
# Room for the image and half of another: the temporary file cannot be completed.
cp "$work/orig.nds" "$fs/rom.nds"
msg=$("$tool" -c "$fs/rom.nds" $(parts "$work/u" "$work/arm7-new.bin") 2>&1 >/dev/null)
rc=$?
[ $rc != 0 ] || bad "full disk: the rebuild reported success"
cmp -s "$fs/rom.nds" "$work/orig.nds" || bad "full disk: the image changed"
[ "$(temps "$fs/rom.nds")" = 0 ] || bad "full disk: a temporary file remains"
case $msg in *"image left unchanged"*) say "full disk: $msg" ;; *) bad "full disk: message '$msg'" ;; esac

mount -o remount,ro "$fs" || { bad "cannot remount read-only"; exit 1; }
msg=$("$tool" -c "$fs/rom.nds" $(parts "$work/u" "$work/arm7-new.bin") 2>&1 >/dev/null)
rc=$?
[ $rc != 0 ] || bad "read-only file system: the rebuild reported success"
cmp -s "$fs/rom.nds" "$work/orig.nds" || bad "read-only file system: the image changed"
case $msg in *"image left unchanged"*) say "read-only file system: $msg" ;; *) bad "read-only: message '$msg'" ;; esac
exit $fail
