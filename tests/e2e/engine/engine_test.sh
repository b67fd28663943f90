#!/usr/bin/env bash
# The engine end to end: orvan-mkpatch builds a payload from two game-like trees onto a probe that
# carries the real engine; the probe runs the verification and update passes over an installation
# as the updater's driver does. Checks the messages, the result tree, the backup, stops, a damaged
# data block and a read-only file.
# usage: engine_test.sh MKPATCH PROBE [RUNNER [ENGINE_LIBRARY]]   (RUNNER: "wine" for Windows programs, or "")
set -euo pipefail
mkpatch=$1 probe=$2 runner=${3:-} library=${4:-}
work=$(mktemp -d)
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT
ext=""; [[ "$probe" == *.exe ]] && ext=.exe
fail() { echo "FAIL: $*" >&2; exit 1; }
# Runs the probe in $work; its output with '\' as '/', runs of id 5 as one line "5".
pass() { (cd "$work" && $runner "./probe$ext" "$@" 2>>"$work/stderr") | tr -d '\r' | tr '\\' '/' |
         awk '$1 == 5 { if (last != 5) print "5"; last = 5; next } { last = $1; print }'; }
result() { tail -n 1 <<<"$1"; }
# The tree below a folder: every file with its checksum, every folder.
tree() { (cd "$1" && find . -mindepth 1 | sort | while read -r p; do
            if [ -d "$p" ]; then echo "$p/"; else echo "$p $(cksum < "$p")"; fi; done); }

# A game-like release pair: an executable with a few code changes, a pack with assets inserted
# and removed, a checksum file, an expansion file (installed) and one that is not, a file that
# goes, one that comes in a new folder, and files that stay the same.
mkdir -p "$work/old/data" "$work/old/My Saves" "$work/new/data" "$work/new/My Saves" "$work/new/maps/new"
head -c 300000 /dev/urandom > "$work/old/Orvan.exe"
{ head -c 100000 "$work/old/Orvan.exe"; printf 'CODE CHANGE'; tail -c +100012 "$work/old/Orvan.exe"; } > "$work/new/Orvan.exe"
head -c 1000000 /dev/urandom > "$work/old/data/level1.pak"
{ head -c 400000 "$work/old/data/level1.pak"; head -c 5000 /dev/urandom; tail -c +450001 "$work/old/data/level1.pak"; } > "$work/new/data/level1.pak"
echo "checked 1.1.0" > "$work/old/data/check.dat"; echo "checked 1.2.0" > "$work/new/data/check.dat"
echo "isle 1.0.1" > "$work/old/isle.xpd"; echo "isle 1.2.0" > "$work/new/isle.xpd"
echo "second isle 1.0.1" > "$work/old/isle2.xpd"; echo "second isle 1.2.0" > "$work/new/isle2.xpd"
echo "read me" > "$work/old/readme.txt"
echo "a new map" > "$work/new/maps/new/m1.map"
for t in old new; do echo "same" > "$work/$t/same.txt"; echo "slot" > "$work/$t/My Saves/slot 1.sav"; done
cat > "$work/records.txt" <<'RECORDS'
Versions,Orvan: Silent Thrones,Orvan.exe,1.1.0,1.2.0
Checksum,data\check.dat,1234567890,14,1.1.0
Expansion,Orvan Isles,305419896,1.0.1,XPD
RECORDS
"$mkpatch" build --old "$work/old" --new "$work/new" --records "$work/records.txt" --stub "$probe" \
  --out "$work/probe$ext" 2>/dev/null
fresh() { rm -rf "$work/install"; cp -r "$work/old" "$work/install"; rm "$work/install/isle2.xpd"; }
fresh
before=$(tree "$work/install")

# Verification: six files announced (isle2.xpd is not installed; same.txt is not in the payload).
out=$(pass install -j)
expected="6 6
7 orvan.exe
5
8 
7 data/check.dat
5
8 
7 data/level1.pak
5
8 
7 isle.xpd
5
8 
7 maps/new/m1.map
5
8 
7 readme.txt
5
8 
result 0"
[ "$out" = "$expected" ] || fail "verification pass: $out"
[ "$(tree "$work/install")" = "$before" ] || fail "the verification pass changed the installation"

# Update with a backup; then the installation is the new release (without the second isle) and
# the backup holds every original that was replaced or deleted.
out=$(pass install -u Update_1.1.0_Backup)
[ "$(result "$out")" = "result 0" ] || fail "update pass: $out"
[ "$(grep -c '^9 Applying' <<<"$out")" = 6 ] || fail "update pass: not six files applied: $out"
diff -r -x Update_1.1.0_Backup -x isle2.xpd "$work/new" "$work/install" || fail "the installation is not the new release"
[ ! -e "$work/install/isle2.xpd" ] || fail "a missing expansion file was added"
for f in Orvan.exe data/check.dat data/level1.pak isle.xpd readme.txt; do
  cmp -s "$work/old/$f" "$work/install/Update_1.1.0_Backup/$f" || fail "backup of $f"
done
[ "$(cd "$work/install/Update_1.1.0_Backup" && find . -type f | wc -l)" = 5 ] || fail "the backup holds more than the originals"
find "$work/install" -name '*.orvan~' | grep -q . && fail "engine files left behind"

# A second run finds the new version everywhere.
out=$(pass install -u)
[ "$(grep -c 'New Version' <<<"$out")" = 5 ] && [ "$(result "$out")" = "result 0" ] || fail "second update: $out"

# A stop at any callback of the update pass leaves the installation as it was. (Under Wine a
# sample of the positions: the first, the middle and the last.)
fresh
calls=$(pass install -u | grep -vc '^result')
stops=$(seq 0 $((calls - 1)))
[ -n "$runner" ] && stops="0 $((calls / 2)) $((calls - 1))"
for stop in $stops; do
  fresh
  out=$(pass install -u --stop-at "$stop")
  [ "$(result "$out")" != "result 0" ] || fail "stopped at $stop, the update succeeded"
  [ "$(tree "$work/install")" = "$before" ] || fail "stopped at $stop, the installation changed"
done

# A damaged data block (the last one: the new map's) is found by both passes; nothing changes.
fresh
cp "$work/probe$ext" "$work/good$ext"
size=$(stat -c %s "$work/probe$ext")
at=$((size - 48 - 3))
printf "\\x$(printf %02x $(( $(od -An -tu1 -j "$at" -N1 "$work/probe$ext") ^ 0x40 )))" |
  dd of="$work/probe$ext" bs=1 seek="$at" conv=notrunc status=none
for p in -j -u; do
  out=$(pass install $p)
  grep -q '^13 ' <<<"$out" || fail "damaged block, pass $p: no id 13: $out"
  [ "$(result "$out")" != "result 0" ] || fail "damaged block, pass $p succeeded"
done
[ "$(tree "$work/install")" = "$before" ] || fail "a damaged block changed the installation"
cp "$work/good$ext" "$work/probe$ext"

# A read-only file stops the update with an error; nothing changes.
chmod a-w "$work/install/data/level1.pak"
before=$(tree "$work/install")
out=$(pass install -u)
grep -q '^4 .*read-only' <<<"$out" || fail "read-only file: no error: $out"
[ "$(tree "$work/install")" = "$before" ] || fail "a read-only file let the installation change"
chmod u+w "$work/install/data/level1.pak"

# A file that another program holds open stops the update; nothing changes. (Windows locks it;
# posix has no such locks.)
if [ -n "$runner" ]; then
  out=$(pass install -u --hold data/level1.pak)
  grep -q '^4 ' <<<"$out" || fail "locked file: no error: $out"
  [ "$(result "$out")" != "result 0" ] || fail "locked file: the update succeeded"
  [ "$(tree "$work/install")" = "$before" ] || fail "a locked file let the installation change"
fi

# The library that ships has no fault points to reach.
if [ -n "$library" ]; then
  nm -C "$library" | grep -q 'FaultPoint\|SetFaultHandler' && fail "the shipped engine has the test-only fault points"
fi
echo "engine end to end: ok"
