#!/usr/bin/env bash
# Detection end to end on Linux: expansion files written by orvan-mkpatch xpd are scanned and
# matched; with "wine", a key that Wine itself wrote (its system.reg) leads the search to the game.
# usage: detect_e2e.sh MKPATCH PROBE FIXTURE [wine]
set -euo pipefail
mkpatch=$1 probe=$2 fixture=$3 mode=${4:-}
fail() { echo "FAIL: $*" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

if [ "$mode" != wine ]; then
  game="$work/Game"
  mkdir -p "$game/old.XPD"
  "$fixture" stamped-exe "$game/Orvan.exe" 1.1.0
  "$mkpatch" xpd --id 305419896 --version 1000100 "$game/Isles.XPD" 2>/dev/null
  "$mkpatch" xpd --id 3000000000 --version 2000000 --check-count 0 "$game/b-Depths.xpd" 2>/dev/null
  printf 'abc' > "$game/broken.XPD"
  "$mkpatch" xpd --id 0 --version 1 "$game/zero.XPD" 2>/dev/null && fail "identifier 0 accepted"
  [ ! -e "$game/zero.XPD" ] || fail "a refused header left a file"

  # A folder and a named pipe named like expansion files are passed over, the pipe without waiting.
  mkfifo "$game/pipe.XPD"
  expected="b-Depths.xpd 3000000000 0 2.0.0
broken.XPD 0 -1 0.0.0
Isles.XPD 305419896 2 1.0.1"
  listing=$(timeout 60 "$probe" scan "$game/") || fail "scan: exit $? (124: blocked by the pipe)"
  [ "$listing" = "$expected" ] || fail "scan gave:
$listing"
  out=$("$probe" detect "$game" orvan.exe 3000000000)
  [ "$out" = "result 1 installed '1.1.0' expansion '2.0.0'" ] || fail "detect gave: $out"
  out=$("$probe" detect "$game" orvan.exe 305419896 3000000000)
  [ "$out" = "result 1 installed '1.1.0' expansion '1.0.1'" ] || fail "detect gave: $out"
  echo "detect end to end: ok"
  exit 0
fi

# Wine writes the key in the 32-bit view and saves system.reg when its server ends; the native
# program reads that file, maps drive C through the prefix's dosdevices and finds Orvan.exe.
prefix=${WINEPREFIX:-$HOME/.wine}
root="$prefix/drive_c/OrvanE2E-native"
trap 'rm -rf "$work" "$root"; wine reg delete "HKLM\Software\OrvanE2E-native" /f /reg:32 >/dev/null 2>&1 || true' EXIT
wine reg add 'HKLM\Software\OrvanE2E-native\Game' /v 'Install Path' /d 'C:\ORVANE2E-NATIVE\GAME' /f /reg:32 >/dev/null
wine reg add 'HKLM\Software\OrvanE2E-native\Wrong' /v 'Install Path' /t REG_BINARY /d 0102 /f /reg:32 >/dev/null
wineserver -w
mkdir -p "$root/Game"
"$fixture" stamped-exe "$root/Game/Orvan.exe" 1.1.0
out=$(cd "$work" && "$probe" locate orvan.exe 'Software\OrvanE2E-native\Missing' 'Software\OrvanE2E-native\Game')
[ "$out" = "$(cd "$root/Game" && pwd -P)" ] || fail "search gave '$out', not $root/Game"
code=0
out=$(cd "$work" && "$probe" locate orvan.exe 'Software\OrvanE2E-native\Wrong' 'Software\OrvanE2E-native\Game') || code=$?
[ "$code" = 3 ] && [ "$out" = "error: Invalid data type for 'Install Path'" ] || fail "wrong type gave $code '$out'"
echo "system.reg written by Wine, read natively: ok"
