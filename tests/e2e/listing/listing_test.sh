#!/usr/bin/env bash
# The listing pass end to end: orvan-mkpatch glues records onto a stub; the stub's carried engine
# reads them back. A damaged payload makes the updater end with exit code 1.
# usage: listing_test.sh MKPATCH PROBE [UPDATER] [RUNNER]   (RUNNER: e.g. "wine" for Windows programs)
# The probe carries the real engine and prints PatchInfo; the updater, when given, is the console
# program.
set -euo pipefail
mkpatch=$1 probe=$2 updater=${3:-} runner=${4:-}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
ext=""; [[ "$probe" == *.exe ]] && ext=.exe
fail() { echo "FAIL: $*" >&2; exit 1; }
run() { (cd "$work" && $runner "$@" 2>"$work/stderr" | tr -d '\r'); }

"$mkpatch" build --records "$here/records.txt" --stub "$probe" --out "$work/probe$ext" 2>/dev/null
run "./probe$ext" > "$work/fields.txt" || fail "the probe's listing pass failed"
diff -u "$here/expected.txt" "$work/fields.txt" || fail "PatchInfo differs"

if [ -n "$updater" ]; then
  # No installation here: the welcome text names the versions, and the run ends with exit code 2.
  "$mkpatch" build --records "$here/records.txt" --stub "$updater" --out "$work/update$ext" 2>/dev/null
  code=0; run "./update$ext" > "$work/welcome.txt" </dev/null || code=$?
  [ "$code" -eq 2 ] || fail "the updater ended with $code"
  head -n 1 "$work/welcome.txt" | grep -qxF "This program will try to update your Orvan installation from version 1.1.0 to version 1.2.0." ||
    fail "welcome text: $(head -n 1 "$work/welcome.txt")"
fi

# Damage: a flipped byte in the index, a flipped byte in the trailer, a cut-off end, no payload.
target="$work/probe$ext" stub="$probe"
[ -n "$updater" ] && target="$work/update$ext" stub="$updater"
size=$(stat -c %s "$target")
stub_size=$(stat -c %s "$stub")
flip() { cp "$target" "$work/bad$ext"; printf "\\x$(printf %02x $(( ($(od -An -tu1 -j "$1" -N1 "$work/bad$ext") ^ 1) )))" |
         dd of="$work/bad$ext" bs=1 seek="$1" conv=notrunc status=none; }
for case in index trailer cut stub; do
  case $case in
    index) flip $((stub_size + 20)) ;;
    trailer) flip $((size - 30)) ;;
    cut) head -c $((size - 5)) "$target" > "$work/bad$ext" ;;
    stub) cp "$stub" "$work/bad$ext" ;;
  esac
  chmod +x "$work/bad$ext"
  code=0
  (cd "$work" && $runner "./bad$ext" </dev/null >/dev/null 2>"$work/stderr") || code=$?
  [ "$code" -eq 1 ] || fail "$case: exit code $code, not 1"
  grep -q "Internal Update error, patch is possibly corrupt." "$work/stderr" || fail "$case: no error shown"
done
echo "listing end to end: ok"
