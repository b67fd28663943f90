#!/usr/bin/env bash
# The Linux program end to end, with the real engine and builder: a full run, up to date,
# mismatches with and without SkipVersionCheck, Backup, Save Log, Ctrl+C during the update pass,
# and a corrupt payload.
# usage: console_test.sh MKPATCH UPDATER MAKE_SAMPLE_GAME
set -euo pipefail
mkpatch=$1 updater=$2 fixture=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
checks=0
pass() { checks=$((checks + 1)); echo "ok: $*"; }

"$fixture" sample-game "$work/game" "$mkpatch" 32 >/dev/null
"$mkpatch" build --old "$work/game/old" --new "$work/game/new" --records "$work/game/records.txt" \
  --stub "$updater" --out "$work/update" 2>/dev/null

# Runs the updater in a fresh copy of the 1.1.0 installation; sets $code, $log (stdout), $err.
fresh() { rm -rf "$work/Orvan"; cp -r "$work/game/old" "$work/Orvan"; }
run() {
  code=0
  (cd "$work/Orvan" && "$work/update" "$@" </dev/null >"$work/out" 2>"$work/err") || code=$?
  log=$(cat "$work/out"); err=$(cat "$work/err")
}
same_as() { diff -r "$work/game/$1" "$work/Orvan" >/dev/null; }
has_line() { grep -qxF -- "$1" "$work/out"; }

# A full run: welcome text, the log, and the 1.2.0 game file for file.
fresh; run
[ "$code" -eq 0 ] || fail "full run: exit $code: $err"
same_as new || fail "full run: the installation is not the 1.2.0 game"
head -n 1 "$work/out" | grep -qF "This program will try to update your Orvan installation found in" || fail "welcome text"
for line in "Orvan Update Utility v1.10" "\"Orvan: Silent Thrones\" version 1.1.0 detected." \
            "\"Orvan Isles\" version 1.1.0 detected." "There are 6 files to be patched in this update." \
            "Patching data/maps/isle06.map from 1.1.0 to 1.2.0, file #3 of 6." \
            "Patching isles from 1.1.0 to 1.2.0, file #5 of 6." "isles patched successfully." \
            "orvan.exe patched successfully." "Update completed successfully!" \
            "\"Orvan: Silent Thrones\" version 1.2.0 is ready to run on your system." \
            "\"Orvan Isles\" version 1.2.0 is ready to run on your system."; do
  has_line "$line" || fail "full run: no line '$line'"$'\n'"$log"
done
[ -z "$(find "$work/Orvan" -name '*.orvan*' -o -name '*journal*')" ] || fail "full run left staging files"
pass "full run"

# The same installation again: already up to date, exit 0, nothing changed.
run
[ "$code" -eq 0 ] || fail "up to date: exit $code"
has_line "\"Orvan: Silent Thrones\" is already up to date with version 1.2.0." || fail "up to date line"
same_as new || fail "up to date: files changed"
pass "up to date"

# A file that is neither 1.1.0 nor 1.2.0: nothing is patched.
fresh; printf 'modded' >> "$work/Orvan/Data/Maps/isle02.map"; cp -r "$work/Orvan" "$work/modded"
run
[ "$code" -eq 2 ] || fail "mismatch: exit $code"
has_line "Installation does not match expected contents, terminating update with no changes applied." || fail "mismatch line"$'\n'"$log"
diff -r "$work/modded" "$work/Orvan" >/dev/null || fail "mismatch: files changed"
pass "mismatch changes nothing"

# With SkipVersionCheck the rest is patched and the modded file left alone.
run SkipVersionCheck
[ "$code" -eq 2 ] || fail "skip: exit $code"
has_line "Unable to determine if patch completed successfully," || fail "skip: verdict"$'\n'"$log"
cmp -s "$work/modded/Data/Maps/isle02.map" "$work/Orvan/Data/Maps/isle02.map" || fail "skip: the modded file was changed"
cmp -s "$work/game/new/Orvan.exe" "$work/Orvan/Orvan.exe" || fail "skip: Orvan.exe not patched"
pass "SkipVersionCheck with a mismatch"

# Backup keeps every replaced or deleted original at its relative path.
fresh; run Backup
[ "$code" -eq 0 ] || fail "backup: exit $code: $err"
backup="$work/Orvan/Update_1.1.0_Backup"
for file in Orvan.exe Data/Textures.pak "Data/Maps/Old Harbour.map" Isles.XPD; do
  cmp -s "$work/game/old/$file" "$backup/$file" || fail "backup: no original of $file"
done
[ ! -e "$backup/Data/Maps/isle06.map" ] || fail "backup: an added file has a backup"
pass "Backup"

# Save Log: the log as it stood, CRLF lines, then two lines about it.
fresh; run --save-log
[ "$code" -eq 0 ] || fail "save log: exit $code"
saved="$work/Orvan/Orvan_1.2.0_From_1.1.0.txt"
[ -f "$saved" ] || fail "save log: no $saved"
tr -d '\r' < "$saved" > "$work/saved"
[ "$(grep -c $'\r$' "$saved")" -eq "$(wc -l < "$saved")" ] || fail "save log: not CRLF lines"
# stdout: the welcome text, an empty line, the log, then the two lines that saving added.
sed -n '/^Orvan Update Utility v1.10$/,$p' "$work/out" | head -n -2 > "$work/logged"
diff "$work/logged" "$work/saved" >/dev/null || fail "save log: file differs from the log"$'\n'"$(diff "$work/logged" "$work/saved")"
[ "$(tail -n 2 "$work/out" | head -n 1)" = "" ] && [ "$(tail -n 1 "$work/out")" = "Orvan Update log written to $work/Orvan/Orvan_1.2.0_From_1.1.0.txt." ] ||
  fail "save log: the lines after saving"
rm "$saved"; same_as new || fail "save log: installation"
pass "Save Log"

# Ctrl+C during the update pass: the run stops at the end of a file and everything rolls back.
fresh
(cd "$work/Orvan" && exec "$work/update" </dev/null >"$work/out" 2>"$work/err") & pid=$!
for _ in $(seq 1 600); do grep -q '^Patching ' "$work/out" 2>/dev/null && break; sleep 0.01; done
kill -INT "$pid" 2>/dev/null || true
code=0; wait "$pid" || code=$?
[ "$code" -eq 2 ] || fail "ctrl+c: exit $code"$'\n'"$(cat "$work/out")"
grep -qxF "Update did not complete successfully." "$work/out" || fail "ctrl+c: verdict"
grep -qF "Update process did not complete. No changes were made to your Orvan installation." "$work/err" || fail "ctrl+c: dialog"
same_as old || fail "ctrl+c: the installation was not rolled back"  # diff -r also sees stray files
pass "Ctrl+C rolls back"

# A corrupt payload: exit code 1 and nothing else happens.
fresh
size=$(stat -c %s "$work/update")
cp "$work/update" "$work/bad"
printf 'X' | dd of="$work/bad" bs=1 seek=$((size - 20)) conv=notrunc status=none
code=0; (cd "$work/Orvan" && "$work/bad" </dev/null >/dev/null 2>&1) || code=$?
[ "$code" -eq 1 ] || fail "corrupt payload: exit $code"
same_as old || fail "corrupt payload: files changed"
pass "corrupt payload"

echo "$checks passed, 0 failed"
