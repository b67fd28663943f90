#!/usr/bin/env bash
# The Linux program end to end when its run is cut short or contested, with the real engine and
# builder: a stdout reader that leaves, SIGTERM and SIGHUP during the update pass, two updaters
# on one installation, a run after a killed one (started from the download folder, the game found
# through the registry), named pipes in the game folder, and a temporary folder that refuses the
# engine library. Whatever happens, once the updater has ended the game is all 1.1.0 or all 1.2.0
# with nothing else in its folder, and only a run that updated it says so.
# usage: interruption_test.sh MKPATCH UPDATER MAKE_SAMPLE_GAME
set -euo pipefail
mkpatch=$1 updater=$2 fixture=$3
work=$(mktemp -d)
tiny="$work/tiny-tmp"
cleanup() {
  mountpoint -q "$tiny" 2>/dev/null && umount "$tiny"
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
checks=0
pass() { checks=$((checks + 1)); echo "ok: $*"; }

# The sample game with three packs of 20 MiB and more, so that an update pass takes a moment.
"$fixture" sample-game "$work/game" "$mkpatch" 24 >/dev/null
mkdir -p "$work/game/old/Data/Video" "$work/game/new/Data/Video"
for pack in Video/Intro.vid Sound/Music.snd; do
  head -c $((20 << 20)) /dev/urandom > "$work/game/old/Data/$pack"
  cp "$work/game/old/Data/$pack" "$work/game/new/Data/$pack"
  head -c 300000 /dev/urandom | dd of="$work/game/new/Data/$pack" bs=1 seek=5000000 conv=notrunc status=none
done
"$mkpatch" build --old "$work/game/old" --new "$work/game/new" --records "$work/game/records.txt" \
  --stub "$updater" --out "$work/update" 2>/dev/null
mkdir -p "$work/download"
cp "$work/update" "$work/download/OrvanUpdate"

# The engine library of every run goes here, so that a killed run's is seen and cleared.
export TMPDIR="$work/tmp"
mkdir -p "$TMPDIR"
game="$work/Orvan"
fresh() { rm -rf "$game"; cp -r "$work/game/old" "$game"; }
same_as() { diff -r "$work/game/$1" "$game" >/dev/null; }
# All-old or all-new, nothing else in the folder; prints which.
settled() {
  if same_as old; then echo old; elif same_as new; then echo new; else echo neither; fi
}
# Says which state the game is in and fails when it is half updated or a run's word disagrees:
# exit 0 with the success line only from the run that left it all-new, exit 2 with all-old.
check_run() {  # NAME CODE OUT
  local name=$1 code=$2 out=$3 state
  state=$(settled)
  [ "$state" != neither ] || fail "$name: the game is half updated or has stray files:"$'\n'"$(diff -r "$work/game/new" "$game" || true)"
  if grep -qxF "Update completed successfully!" "$out"; then
    [ "$code" -eq 0 ] && [ "$state" = new ] || fail "$name: claims a success (exit $code, game $state)"
  fi
  [ "$state" = new ] || [ "$code" -ne 0 ] || fail "$name: exit 0 with the game $state"
  echo "$state"
}
wait_for_line() {  # FILE PATTERN: until a line of FILE matches (at most 30 s)
  for _ in $(seq 1 3000); do grep -q "$2" "$1" 2>/dev/null && return 0; sleep 0.01; done
  return 1
}
full_log="$work/full.out"
fresh
(cd "$game" && "$work/update" </dev/null >"$full_log" 2>/dev/null) || fail "a plain run failed"
same_as new || fail "a plain run did not update the game"
lines=$(wc -l < "$full_log")
first_patch=$(grep -n '^Patching ' "$full_log" | head -n 1 | cut -d: -f1)
# After the last file's line the engine swaps the staged files in.
last_file=$(grep -n ' patched successfully\.$' "$full_log" | tail -n 1 | cut -d: -f1)

# The reader of stdout leaves after N lines: before the update pass, while files are staged,
# and while they are swapped. The update goes on to its end, its lines going nowhere.
for n in 1 5 "$first_patch" $((first_patch + 3)) "$last_file" $((lines - 3)); do
  fresh
  set +o pipefail
  (cd "$game" && "$work/update" </dev/null 2>"$work/err" | head -n "$n" >/dev/null)
  code=${PIPESTATUS[0]}
  set -o pipefail
  [ "$code" -eq 0 ] || fail "reader gone after $n lines: exit $code: $(cat "$work/err")"
  same_as new || fail "reader gone after $n lines: the game is not 1.2.0"
done
pass "a stdout reader that leaves does not stop the update"

# SIGTERM and SIGHUP (a closed terminal) are the Cancel button: the update stops at the end of
# the current file and everything is put back.
for signal in TERM HUP; do
  fresh
  (cd "$game" && exec "$work/update" </dev/null >"$work/out" 2>"$work/err") & pid=$!
  wait_for_line "$work/out" '^Patching ' || fail "SIG$signal: no file was patched"
  kill -"$signal" "$pid"
  code=0; wait "$pid" || code=$?
  [ "$code" -eq 2 ] || fail "SIG$signal: exit $code"$'\n'"$(cat "$work/out")"
  grep -qxF "Update did not complete successfully." "$work/out" || fail "SIG$signal: verdict"
  grep -qF "Update process did not complete. No changes were made to your Orvan installation." "$work/err" ||
    fail "SIG$signal: dialog: $(cat "$work/err")"
  same_as old || fail "SIG$signal: the game was not rolled back"
done
pass "SIGTERM and SIGHUP during the update pass roll it back"

# A signal at any moment of the run: the game ends all-old or all-new, and the run says which.
for delay in 0.05 0.15 0.3 0.5 0.8 1.2 1.8; do
  for signal in TERM HUP PIPE; do
    fresh
    (cd "$game" && exec "$work/update" </dev/null >"$work/out" 2>"$work/err") & pid=$!
    sleep "$delay"
    kill -"$signal" "$pid" 2>/dev/null || true
    code=0; { wait "$pid"; } 2>/dev/null || code=$?
    check_run "SIG$signal after ${delay}s" "$code" "$work/out" >/dev/null
  done
done
pass "a signal at any moment leaves the game all-old or all-new"

# Two updaters on one installation, the second started a moment after the first: one updates,
# the other says the installation is busy and changes nothing, or finds it up to date.
# The second starts at fractions of the time one whole run takes on this machine, so that the
# runs overlap however fast the update is.
fresh
started=$(date +%s%N)
(cd "$game" && exec "$work/update" </dev/null >/dev/null 2>&1) || true
run_ns=$(( $(date +%s%N) - started ))
refusals=0
for fraction in 0 0.02 0.05 0.1 0.15 0.2 0.3 0.5 0.8; do
  delay=$(awk -v f="$fraction" -v ns="$run_ns" 'BEGIN { printf "%.3f", f * ns / 1e9 }')
  fresh
  (cd "$game" && exec "$work/update" </dev/null >"$work/a.out" 2>"$work/a.err") & first=$!
  sleep "$delay"
  (cd "$game" && exec "$work/update" </dev/null >"$work/b.out" 2>"$work/b.err") & second=$!
  code_a=0; wait "$first" || code_a=$?
  code_b=0; wait "$second" || code_b=$?
  same_as new || fail "two updaters ${delay}s apart: the game is not 1.2.0 alone:"$'\n'"$(diff -r "$work/game/new" "$game" || true)"
  successes=$(cat "$work/a.out" "$work/b.out" | grep -cxF "Update completed successfully!" || true)
  [ "$successes" -eq 1 ] || fail "two updaters ${delay}s apart: $successes runs claim the update"
  for run in a b; do
    code=$([ $run = a ] && echo "$code_a" || echo "$code_b")
    if grep -qxF "Update completed successfully!" "$work/$run.out"; then
      [ "$code" -eq 0 ] || fail "two updaters ${delay}s apart: run $run succeeded with exit $code"
    elif grep -qF "is being updated by another program in $game. Try again when it has finished." "$work/$run.err"; then
      [ "$code" -eq 2 ] || fail "two updaters ${delay}s apart: busy run $run exit $code"
      refusals=$((refusals + 1))
      [ "$(grep -c 'being updated by another program' "$work/$run.err")" -eq 1 ] || fail "busy: not one line"
      ! grep -q '^Patching ' "$work/$run.out" || fail "two updaters ${delay}s apart: the busy run $run patched"
    else
      grep -qxF "\"Orvan: Silent Thrones\" is already up to date with version 1.2.0." "$work/$run.out" ||
        fail "two updaters ${delay}s apart: run $run neither updated, nor was refused, nor found it up to date:"$'\n'"$(cat "$work/$run.out" "$work/$run.err")"
      [ "$code" -eq 0 ] || fail "two updaters ${delay}s apart: up-to-date run $run exit $code"
    fi
  done
done
# The runs overlap: most second runs must have met the first one at work.
[ "$refusals" -ge 5 ] || fail "two updaters: only $refusals of 9 second runs met the first at work"
pass "two updaters on one installation: one updates, the other leaves it alone ($refusals of 9 refused)"

# A run killed outright at any moment, then a run started from the download folder, the game
# found through the registry (a Wine prefix whose drive X: holds it): the second is not refused,
# finishes or undoes what the first left before it reads the game, and updates it.
prefix="$work/prefix"
mkdir -p "$prefix/dosdevices"
ln -s "$work" "$prefix/dosdevices/x:"
printf '%s\n' 'WINE REGISTRY Version 2' ';; All keys relative to REGISTRY\\Machine' '' '#arch=win64' '' \
  '[Software\\Wow6432Node\\Quillmer\\Orvan] 1796898328' '"Install Path"="X:\\Orvan"' '' > "$prefix/system.reg"
for delay in 0.2 0.4 0.6 0.8 1.0 1.3 1.6 2.0; do
  fresh
  (cd "$game" && exec "$work/update" </dev/null >"$work/out" 2>"$work/err") & pid=$!
  sleep "$delay"
  kill -KILL "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  code=0
  (cd "$work/download" && WINEPREFIX="$prefix" ./OrvanUpdate </dev/null >"$work/out" 2>"$work/err") || code=$?
  ! grep -q 'being updated by another program' "$work/err" || fail "killed after ${delay}s: the next run was refused"
  state=$(check_run "after a run killed at ${delay}s" "$code" "$work/out")
  [ "$state" = new ] && [ "$code" -eq 0 ] ||
    fail "after a run killed at ${delay}s: exit $code, game $state:"$'\n'"$(cat "$work/out" "$work/err")"
  grep -qF "in $(cd "$game" && pwd -P)." "$work/out" || fail "after a run killed at ${delay}s: not found through the registry"
done
pass "a run after a killed one, from the download folder, finishes the update"

# Named pipes named like an expansion file and like a game file the patch does not know: the
# updater neither waits on them nor touches them.
fresh
mkfifo "$game/Extra.XPD" "$game/Data/Notes.txt"
code=0
(cd "$game" && timeout 120 "$work/update" </dev/null >"$work/out" 2>"$work/err") || code=$?
[ "$code" -ne 124 ] || fail "pipes: the updater hung"
[ "$code" -eq 0 ] || fail "pipes: exit $code: $(cat "$work/err")"
[ -p "$game/Extra.XPD" ] && [ -p "$game/Data/Notes.txt" ] || fail "pipes: a pipe was removed or replaced"
rm "$game/Extra.XPD" "$game/Data/Notes.txt"
same_as new || fail "pipes: the game is not 1.2.0"
pass "named pipes in the game folder block nothing"

# A temporary folder that refuses the engine library: a full one, one that isn't there. One line
# says so, the exit code is that of a failed listing pass, and nothing is left anywhere.
mkdir -p "$tiny"
if mount -t tmpfs -o size=32k tmpfs "$tiny" 2>/dev/null; then
  head -c 1M /dev/zero > "$tiny/filler" 2>/dev/null || true  # full
  full_run() { TMPDIR="$tiny" "$work/update"; }
  how="a full tmpfs"
else
  # Without mount privileges: a file size limit makes the write fail the same way.
  full_run() { (trap '' XFSZ; ulimit -f 16; TMPDIR="$tiny" exec "$work/update"); }
  how="a file size limit"
fi
for case in full missing; do
  fresh
  folder=$([ $case = full ] && echo "$tiny" || echo "$work/no-such-folder")
  code=0
  if [ $case = full ]; then
    (cd "$game" && full_run </dev/null >"$work/out" 2>"$work/err") || code=$?
  else
    (cd "$game" && TMPDIR="$folder" "$work/update" </dev/null >"$work/out" 2>"$work/err") || code=$?
  fi
  [ "$code" -eq 1 ] || fail "temporary folder $case: exit $code"
  [ "$(cat "$work/err")" = "Error: The update engine could not be started: the temporary folder $folder is full or not writable." ] ||
    fail "temporary folder $case: stderr: $(cat "$work/err")"
  [ ! -s "$work/out" ] || fail "temporary folder $case: stdout: $(cat "$work/out")"
  same_as old || fail "temporary folder $case: the game changed"
  [ -z "$(find "$tiny" -name 'pdl*')" ] || fail "temporary folder $case: a library file was left"
done
pass "a temporary folder that refuses the engine is said in one line ($how)"

echo "$checks passed, 0 failed"
