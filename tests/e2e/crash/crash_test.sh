#!/usr/bin/env bash
# A kill at every file-system step of a whole update, then a run started from another folder: the
# game ends as the 1.2.0 tree, with nothing else in its folder, and that run exits 0. strace kills
# the first run at the N-th call of one system call (rename, link, unlink, mkdir, rmdir, fsync…),
# for every N that a clean run reaches. The second run finds the game through the registry of a
# Wine prefix ("registry"), or is given the game's executable on standard input ("chosen").
# Between the two, every file that both versions have is there whole, old or new; the folder the
# second run starts in, which holds a copy of the killed run's journal and half-done files, is
# left as it was.
# usage: crash_test.sh MKPATCH UPDATER MAKE_SAMPLE_GAME registry|chosen
set -euo pipefail
mkpatch=$1 updater=$2 fixture=$3 how=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

"$fixture" sample-game "$work/game" "$mkpatch" >/dev/null 2>&1
"$mkpatch" build --old "$work/game/old" --new "$work/game/new" --records "$work/game/records.txt" \
  --stub "$updater" --out "$work/update" 2>/dev/null
old="$work/game/old" new="$work/game/new"

# A Wine prefix whose registry names the game's folder on its drive C, as the game's installer
# would have written it; the chosen table's game is elsewhere, known to nobody.
prefix="$work/prefix"
mkdir -p "$prefix/drive_c/Games" "$prefix/dosdevices"
ln -s ../drive_c "$prefix/dosdevices/c:"
cat > "$prefix/system.reg" <<'REG'
WINE REGISTRY Version 2
;; All keys relative to \\Machine

[Software\\Wow6432Node\\Quillmer\\Orvan] 1733900000
"Install Path"="C:\\Games\\Orvan"
REG
export WINEPREFIX="$prefix"
case $how in
  registry) game="$prefix/drive_c/Games/Orvan" ;;
  chosen) game="$work/My Games/Orvan" ;;
  *) fail "usage: crash_test.sh MKPATCH UPDATER MAKE_SAMPLE_GAME registry|chosen" ;;
esac
mkdir -p "$work/downloads" "$work/tmp" "$(dirname "$game")"
# The engine library's temporary copies, some of them left by the killed runs.
export TMPDIR="$work/tmp"

fresh() { rm -rf "$game"; cp -r "$old" "$game"; }
second_run() {
  local input=/dev/null
  [ "$how" = chosen ] && { printf '%s\n' "$game/Orvan.exe" > "$work/answer"; input="$work/answer"; }
  (cd "$work/downloads" && "$work/update" <"$input" >"$work/out" 2>"$work/err")
}

# Each file of both versions, after a kill: there, and the old or the new one.
check_whole() {
  local file
  while IFS= read -r -d '' file; do
    file=${file#"$old/"}
    [ -e "$new/$file" ] || continue
    [ -f "$game/$file" ] || fail "$1: $file is missing"
    cmp -s "$game/$file" "$old/$file" || cmp -s "$game/$file" "$new/$file" || fail "$1: $file is neither version"
  done < <(find "$old" -type f -print0)
}

calls="rename,renameat,renameat2,link,linkat,unlink,unlinkat,mkdir,mkdirat,rmdir,fsync,fdatasync"
# How often a clean run (started in the game's folder) makes each of these calls.
fresh
(cd "$game" && strace -f -qq -o "$work/trace" -e trace="$calls" "$work/update" </dev/null >/dev/null 2>&1) ||
  fail "the clean run failed"
diff -r "$new" "$game" >/dev/null || fail "the clean run did not make the 1.2.0 game"

steps=0
for call in ${calls//,/ }; do
  count=$(grep -cE "^[0-9]+ +$call\(" "$work/trace" || true)
  for ((n = 1; n <= count; n++)); do
    fresh
    status=0
    # (The shell's own "Killed" notice goes to /dev/null too.)
    { (cd "$game" && exec strace -f -qq -o /dev/null -e trace="$call" -e inject="$call:signal=KILL:when=$n" \
         "$work/update" </dev/null >/dev/null 2>&1); } 2>/dev/null || status=$?
    [ "$status" -ne 0 ] || continue  # the run ended before that call (the counts may vary a little)
    steps=$((steps + 1))
    check_whole "killed at $call #$n"
    # The download folder holds the journal and half-done data files of another run (not the
    # executable's, which would make it an installation): the second run, started there, leaves
    # them as they are.
    rm -rf "$work/downloads" && mkdir "$work/downloads"
    (cd "$game" && find . -name '*.orvan~' ! -name 'Orvan.exe.*' -exec cp --parents {} "$work/downloads/" \;)
    cp -r "$work/downloads" "$work/downloads.before"
    second_run || fail "after a kill at $call #$n the second run exited $?: $(cat "$work/err")"$'\n'"$(cat "$work/out")"
    diff -r "$new" "$game" > "$work/diff" ||
      fail "after a kill at $call #$n and a second run the game is not the 1.2.0 tree:"$'\n'"$(cat "$work/diff")"
    diff -r "$work/downloads.before" "$work/downloads" >/dev/null || fail "after a kill at $call #$n the start folder changed"
    rm -rf "$work/downloads.before"
  done
done
[ "$steps" -gt 20 ] || fail "only $steps steps were killed"
echo "crash test ($how): killed at $steps steps; each time the second run made the 1.2.0 game"
