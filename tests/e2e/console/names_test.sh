#!/usr/bin/env bash
# Names as a player meets them on Linux: a product, an expansion and an executable named with
# letters outside ASCII (the executable installed in another letter case), and a records file
# written on Windows whose checksum rules name files with backslashes.
# usage: names_test.sh MKPATCH UPDATER FIXTURE
set -euo pipefail
mkpatch=$1 updater=$2 fixture=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
has_line() { grep -qxF -- "$1" "$work/out" || fail "$2: no line '$1'"$'\n'"$(cat "$work/out")"; }
# Runs the updater from inside the installation $work/Orvan; sets $code.
run() {
  code=0
  (cd "$work/Orvan" && "$work/update" </dev/null >"$work/out" 2>"$work/err") || code=$?
}

# Accented names: the sample game with its executable renamed, installed as ORVÄN.EXE.
"$fixture" sample-game "$work/game" "$mkpatch" 2 >/dev/null
for tree in old new; do mv "$work/game/$tree/Orvan.exe" "$work/game/$tree/Orvän.exe"; done
cat >"$work/records.txt" <<'RECORDS'
Versions,Orvan: Légendes,Orvän.exe,1.1.0,1.2.0
Expansion,Orvan Острова,305419896,1.1.0,XPD
RECORDS
"$mkpatch" build --old "$work/game/old" --new "$work/game/new" --records "$work/records.txt" \
  --stub "$updater" --out "$work/update" >/dev/null 2>"$work/err" || fail "build: $(cat "$work/err")"
cp -r "$work/game/old" "$work/Orvan"
mv "$work/Orvan/Orvän.exe" "$work/Orvan/ORVÄN.EXE"
run
[ "$code" -eq 0 ] || fail "accented names: exit $code: $(cat "$work/err")"$'\n'"$(cat "$work/out")"
iconv -f UTF-8 -t UTF-8 "$work/out" >/dev/null || fail "accented names: the log is not UTF-8"
for line in "\"Orvan: Légendes\" version 1.1.0 detected." "\"Orvan острова\" version 1.1.0 detected." \
            "orvän.exe patched successfully." "Update completed successfully!" \
            "\"Orvan: Légendes\" version 1.2.0 is ready to run on your system."; do
  has_line "$line" "accented names"
done
cmp -s "$work/game/new/Orvän.exe" "$work/Orvan/ORVÄN.EXE" || fail "accented names: the executable is not the new one"
echo "ok: accented product, expansion and executable names"

# Checksum rules with Windows paths: executables without a version stamp, so the rules decide.
rm -rf "$work/game" "$work/Orvan"
"$fixture" small-game "$work/game/old" 1.1.0 "" >/dev/null
"$fixture" small-game "$work/game/new" 1.2.0 "" >/dev/null
# The XOR of the file's little-endian 32-bit words, written as a signed number.
checksum() {
  python3 -c 'import sys, struct
data = open(sys.argv[1], "rb").read()
data += b"\0" * (-len(data) % 4)
value = 0
for (word,) in struct.iter_unpack("<I", data): value ^= word
print(value - (1 << 32) if value >= 1 << 31 else value)' "$1"
}
{
  echo 'Versions,Orvan Classic,Orvan.exe,1.1.0,1.2.0'
  echo "Checksum,DATA\\World.dat,$(checksum "$work/game/new/data/world.dat"),-1,1.2.0"
  echo "Checksum,DATA\\World.dat,$(checksum "$work/game/old/data/world.dat"),-1,1.1.0"
} >"$work/records.txt"
"$mkpatch" build --old "$work/game/old" --new "$work/game/new" --records "$work/records.txt" \
  --stub "$updater" --out "$work/update" >/dev/null 2>"$work/err" || fail "build: $(cat "$work/err")"
cp -r "$work/game/old" "$work/Orvan"
run
[ "$code" -eq 0 ] || fail "backslashes: exit $code: $(cat "$work/err")"$'\n'"$(cat "$work/out")"
has_line "\"Orvan Classic\" version 1.1.0 detected." "backslashes"
has_line "Update completed successfully!" "backslashes"
diff -r "$work/game/new" "$work/Orvan" >/dev/null || fail "backslashes: the installation is not the 1.2.0 game"
echo "ok: checksum rules with backslashes detect the version"
