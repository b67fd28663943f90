#!/usr/bin/env bash
# The Windows program's windows under Wine, driven by ui_driver.exe: one scenario per run.
# usage: win32_ui_test.sh SCENARIO MKPATCH CONSOLE_UPDATER WIN_BIN SCREENSHOT_DIR FIXTURE
#   MKPATCH, CONSOLE_UPDATER, FIXTURE: the native orvan-mkpatch, orvan-update and orvan-fixture;
#   WIN_BIN: the folder holding OrvanUpdate.exe and ui_driver.exe; screenshots are written to
#   SCREENSHOT_DIR.
set -euo pipefail
scenario=$1 mkpatch=$2 console=$3 winbin=$4 shots=$5 fixture=$6
source "$(cd "$(dirname "$0")" && pwd)/ui_test_lib.sh"

welcome="Orvan Update Utility"
title="Orvan Update: version 1.1.0 to 1.2.0"
dialog_title="Where is Orvan installed?"
log_name="Orvan_1.2.0_From_1.1.0.txt"

# records FILE [REGISTRY_KEY]: the 1.1.0 -> 1.2.0 description, with a registry record if given.
records() {
  echo "Versions,Orvan: Silent Thrones,Orvan.exe,1.1.0,1.2.0" > "$1"
  if [ -n "${2:-}" ]; then echo "Registry,$2" >> "$1"; fi
}

# The layout at 96 DPI, the label's text left out.
check_layout() {  # check_layout OUTPUT EXPECTED
  grep -E '^(client|frame:|centred:|owner:|[A-Za-z0-9_]+ ".*" -?[0-9]+,-?[0-9]+ [0-9]+x[0-9]+ )' "$1" |
      sed -E 's/^(Static) ".*" (0,8 521x81|0,12 782x122)/\1 "" \2/' > "$1.layout"
  diff -u "$2" "$1.layout" || fail "the window's layout differs"
}

lines_of() { sed -n 's/^line: //p' "$1"; }

# save_log_and_exit DIR WINDOWS_DIR: in the finished progress window, Save Log to File writes the
# list box's lines to the game's folder and says where; OK ends the program.
save_log_and_exit() {
  drive "attach $title" lines > "$work/shown.txt" || fail "cannot read the progress window"
  drive "attach $title" "click Save Log to File" "wait-line Orvan Update log written to" lines > "$work/saved.txt" ||
    fail "Save Log to File did not finish"
  [ -f "$1/$log_name" ] || fail "no log saved in $1"
  lines_of "$work/shown.txt" | sed 's/$/\r/' | cmp - "$1/$log_name" || fail "the saved log differs from the list box"
  expect_line "$work/saved.txt" "line: Orvan Update log written to $2\\$log_name."
  drive "attach $title" "click OK" wait-exit > "$work/exit.txt" || fail "OK did not end the program"
  expect_line "$work/exit.txt" "exit: 0"
}

start_display
# The cancel scenario needs an update pass long enough to press Cancel in.
make_trees "$(case $scenario in cancel|close-during-update|busy) echo 40 ;; *) echo 0 ;; esac)"

case $scenario in
  full-run)
    # Found through the current folder; Enter presses OK; the log equals the console build's.
    records "$work/records.txt"
    make_updater "$work/records.txt" "$work/OrvanUpdate.exe" "$exe"
    make_updater "$work/records.txt" "$work/orvan-update" "$console"
    install_old "$work/console/game"
    install_old "$work/wine/game"
    (cd "$work/console/game" && "$work/orvan-update" < /dev/null > "$work/console.txt" 2>"$work/console.err") ||
      fail "the console build failed: $(cat "$work/console.err")"
    game=$(winpath "$work/wine/game")

    drive "start $game $(winpath "$work/OrvanUpdate.exe")" "window $welcome" "wait-label found in\n$game\n" ||
      fail "no welcome dialog"
    screenshot welcome.png
    drive "attach $welcome" layout label buttons > "$work/welcome.txt" || fail "cannot read the welcome dialog"
    check_layout "$work/welcome.txt" "$here/welcome_layout.txt"
    expect_line "$work/welcome.txt" 'button "OK" visible default left 188'

    drive "attach $welcome" "key enter" "window $title" "wait-button OK" || fail "the run did not finish"
    screenshot progress.png
    drive "attach $title" layout lines progress buttons top > "$work/run.txt" || fail "cannot read the progress window"
    check_layout "$work/run.txt" "$here/progress_layout.txt"
    expect_line "$work/run.txt" "progress: 100 100"
    expect_line "$work/run.txt" 'button "OK" visible default left 234'
    expect_line "$work/run.txt" 'button "Save Log to File" visible left 16'

    # The console prints the welcome text, an empty line, then the log. Its folder is a Linux
    # one, and the Linux engine names each file as spelt on disk with '/' where the Windows one
    # gives the payload's lower-cased name with '\'.
    { sed -n 's/^label: //p' "$work/welcome.txt" | sed 's/\\n/\n/g'; echo; lines_of "$work/run.txt"; } > "$work/wine-view.txt"
    perl -pe 'BEGIN { ($from, $to) = @ARGV[0, 1]; @ARGV = () }
              s/\Q$from\E/$to/g;
              s{^(Patching )(\S+)( from )}{ $1 . lc($2 =~ tr|/|\\|r) . $3 }e;
              s{^(\S+)( patched successfully\.)$}{ lc($1 =~ tr|/|\\|r) . $2 }e;' \
      "$work/console/game" "$game" < "$work/console.txt" > "$work/console-view.txt"
    diff -u "$work/console-view.txt" "$work/wine-view.txt" || fail "the windows show other texts than the console"
    same_tree "$work/wine/game" "$work/new" || fail "the installation is not the new version"

    # The newest line is the last one the list box shows in full (23 lines of 13 pixels fit in it).
    count=$(grep -c '^line: ' "$work/run.txt")
    expect_line "$work/run.txt" "top: $((count - 23)) of $count"

    # Save Log to File; the user had scrolled back to the top, and each new line moves the view
    # one line down from there.
    lines_of "$work/run.txt" | sed 's/$/\r/' > "$work/saved-expected.txt"
    drive "attach $title" "scroll 0" "click Save Log to File" "wait-line Orvan Update log written to" lines top \
      > "$work/saved.txt" || fail "Save Log to File did not finish"
    expect_line "$work/saved.txt" "top: 2 of $((count + 2))"
    cmp "$work/saved-expected.txt" "$work/wine/game/$log_name" || fail "the saved log differs from the list box"
    lines_of "$work/saved.txt" | tail -n 2 > "$work/saved-tail.txt"
    printf '\nOrvan Update log written to %s.\n' "$game\\$log_name" | diff -u - "$work/saved-tail.txt" ||
      fail "no 'log written' lines after saving"
    drive "attach $title" "click OK" wait-exit > "$work/exit.txt" || fail "OK did not end the program"
    expect_line "$work/exit.txt" "exit: 0"
    ;;

  registry-backup)
    # Found through the registry from elsewhere; the Backup switch keeps the replaced files.
    key='HKLM\Software\Quillmer\OrvanUiTestRegistry'
    records "$work/records.txt" "Software\\Quillmer\\OrvanUiTestRegistry"
    make_updater "$work/records.txt" "$work/OrvanUpdate.exe" "$exe"
    install_old "$work/Games/Orvan"
    game=$(winpath "$work/Games/Orvan")
    add_registry_path "$key" "$game"
    mkdir -p "$work/elsewhere"
    drive "start $(winpath "$work/elsewhere") $(winpath "$work/OrvanUpdate.exe") /backup" "window $welcome" \
      "wait-label found in\n$game\n" "click OK" "window $title" "wait-button OK" lines > "$work/run.txt" ||
      fail "the run did not finish"
    expect_line "$work/run.txt" "line: Will search for Orvan installation in $game."
    expect_line "$work/run.txt" "line: Update completed successfully!"
    diff -r -x Update_1.1.0_Backup "$work/Games/Orvan" "$work/new" >&2 || fail "the installation is not the new version"
    # Every file was replaced or deleted, so the backup holds the whole old installation.
    diff -r "$work/old" "$work/Games/Orvan/Update_1.1.0_Backup" >&2 || fail "the backup is not the old installation"
    drive "attach $title" close wait-exit > "$work/exit.txt" || fail "closing did not end the program"
    expect_line "$work/exit.txt" "exit: 0"
    ;;

  registry-wrong-type)
    # A registry value that is not a text: the framework's error box, titled with the
    # application title; the message stays empty and Escape still ends the program.
    key='HKLM\Software\Quillmer\OrvanUiTestWrongType'
    records "$work/records.txt" "Software\\Quillmer\\OrvanUiTestWrongType"
    make_updater "$work/records.txt" "$work/OrvanUpdate.exe" "$exe"
    registry_keys+=("$key")
    wine reg add "$key" /v 'Install Path' /t REG_DWORD /d 7 /f /reg:32 >/dev/null 2>>"$work/wine.log" ||
      fail "wine reg add $key failed"
    mkdir -p "$work/elsewhere"
    drive "start $(winpath "$work/elsewhere") $(winpath "$work/OrvanUpdate.exe")" "message-box $title" \
      "window $welcome" idle label buttons "key escape" wait-exit > "$work/out.txt" ||
      fail "no error box for the registry value"
    expect_line "$work/out.txt" "message-box: \"$title\" \"Invalid data type for 'Install Path'.\""
    expect_line "$work/out.txt" "label: "
    expect_line "$work/out.txt" 'button "OK" visible default left 188'
    expect_line "$work/out.txt" "exit: 0"
    ;;

  no-versions)
    # A description without a complete versions record offers only a centred Cancel.
    echo "Versions,Orvan: Silent Thrones,Orvan.exe" > "$work/records.txt"
    make_updater "$work/records.txt" "$work/OrvanUpdate.exe" "$exe"
    install_old "$work/game"
    drive "start $(winpath "$work/game") $(winpath "$work/OrvanUpdate.exe")" "window $welcome" \
      "wait-label Update utility" label buttons close wait-exit > "$work/out.txt" || fail "no welcome dialog"
    expect_line "$work/out.txt" "label: Update utility could not determine version number to patch to."
    expect_line "$work/out.txt" 'button "OK" hidden left 188'
    expect_line "$work/out.txt" 'button "Cancel" visible default left 225'
    expect_line "$work/out.txt" 'button "Specify folder" hidden left 8'
    expect_line "$work/out.txt" "exit: 0"
    same_tree "$work/game" "$work/old" || fail "the installation changed"
    ;;

  specify-folder)
    # Specify folder: cancel first (the current folder again), choose another, cancel (kept);
    # Tab moves the focus; then Escape ends the program.
    records "$work/records.txt"
    make_updater "$work/records.txt" "$work/OrvanUpdate.exe" "$exe"
    install_old "$work/first"
    install_old "$work/second"
    first=$(winpath "$work/first")
    second=$(winpath "$work/second")
    drive "start $first $(winpath "$work/OrvanUpdate.exe")" "window $welcome" "wait-label \n$first\n" \
      "click Specify folder" "open-dialog $dialog_title" cancel-dialog idle label \
      "click Specify folder" "open-dialog $dialog_title" "choose $second\\Orvan.exe" "wait-label \n$second\n" \
      "click Specify folder" "open-dialog $dialog_title" cancel-dialog idle label \
      "key tab" idle buttons "key tab" idle buttons \
      "key escape" wait-exit > "$work/out.txt" || { cat "$work/out.txt" >&2; fail "Specify folder"; }
    # Tab goes round in the layout's order, Specify folder -> OK -> Cancel, and the focused
    # button is the one Enter presses.
    grep '^button "\(OK\|Cancel\)"' "$work/out.txt" | tr '\n' '|' > "$work/tabs.txt"
    [ "$(cat "$work/tabs.txt")" = 'button "OK" visible default left 188|button "Cancel" visible left 276|button "OK" visible left 188|button "Cancel" visible default left 276|' ] ||
      fail "the focus goes round otherwise: $(cat "$work/tabs.txt")"
    grep '^label: ' "$work/out.txt" > "$work/labels.txt"
    [ "$(grep -cF "\\n$first\\n" "$work/labels.txt")" = 1 ] || fail "cancelling the first choice lost the folder"
    [ "$(grep -cF "\\n$second\\n" "$work/labels.txt")" = 1 ] || fail "cancelling kept no earlier choice"
    expect_line "$work/out.txt" "dialog: \"$dialog_title\" file \"Orvan.exe\" filter \"Orvan.exe\""
    expect_line "$work/out.txt" "exit: 0"
    same_tree "$work/first" "$work/old" && same_tree "$work/second" "$work/old" || fail "an installation changed"
    ;;

  ask-in-run)
    # No folder found: the run asks for it with its own dialog. (Wine's dialog checks that a typed
    # name exists before it adds the default extension, so the name is typed in full here.)
    records "$work/records.txt"
    make_updater "$work/records.txt" "$work/OrvanUpdate.exe" "$exe"
    install_old "$work/game"
    mkdir -p "$work/elsewhere"
    game=$(winpath "$work/game")
    drive "start $(winpath "$work/elsewhere") $(winpath "$work/OrvanUpdate.exe")" "window $welcome" \
      "wait-label This program will try to update your Orvan installation from version 1.1.0" buttons "key enter" \
      "window $title" "open-dialog $dialog_title" "choose $game\\Orvan.exe" "wait-button OK" lines close wait-exit \
      > "$work/out.txt" || { cat "$work/out.txt" >&2; fail "the run with a chosen folder"; }
    expect_line "$work/out.txt" 'button "Specify folder" hidden left 8'
    expect_line "$work/out.txt" "dialog: \"$dialog_title\" file \"Orvan.exe\" filter \"Orvan Executable\""
    expect_line "$work/out.txt" "line: Will search for Orvan installation in $game."
    expect_line "$work/out.txt" "line: Update completed successfully!"
    expect_line "$work/out.txt" "exit: 0"
    same_tree "$work/game" "$work/new" || fail "the installation is not the new version"
    ;;

  cancel|close-during-update)
    # Cancel, or the close box alone, during the update pass leave the window open; the engine
    # stops after the current file and puts everything back.
    records "$work/records.txt"
    make_updater "$work/records.txt" "$work/OrvanUpdate.exe" "$exe"
    install_old "$work/game"
    stop=("click Cancel" close)
    [ "$scenario" = cancel ] || stop=(close close)
    # A shutdown or log-off asked during the update pass is asked to wait; once the run is over
    # it may go ahead.
    drive "start $(winpath "$work/game") $(winpath "$work/OrvanUpdate.exe")" "window $welcome" "wait-label found in" \
      "click OK" "window $title" "wait-line Patching " end-session "${stop[@]}" idle state buttons \
      "message-box Warning" "wait-button OK" lines progress end-session > "$work/out.txt" ||
      { cat "$work/out.txt" >&2; fail "cancelling the run"; }
    [ "$(grep '^end-session:' "$work/out.txt" | tr '\n' ' ')" = "end-session: refused end-session: allowed " ] ||
      fail "the session's end during the update pass and after: $(grep '^end-session:' "$work/out.txt")"
    expect_line "$work/out.txt" "state: open"
    expect_line "$work/out.txt" 'button "Cancel" visible left 234'
    expect_line "$work/out.txt" 'message-box: "Warning" "Update process did not complete. No changes were made to your Orvan installation."'
    expect_line "$work/out.txt" "line: Update did not complete successfully."
    same_tree "$work/game" "$work/old" || { diff -r "$work/game" "$work/old" >&2 || true; fail "the installation was not rolled back"; }
    drive "attach $title" "click OK" wait-exit > "$work/exit.txt" || fail "OK did not end the program"
    expect_line "$work/exit.txt" "exit: 0"
    ;;

  busy)
    # A second updater on the installation while the first is in its update pass: a warning
    # that says so, nothing changed by it, and the first goes on to the end.
    records "$work/records.txt"
    make_updater "$work/records.txt" "$work/OrvanUpdate.exe" "$exe"
    install_old "$work/game"
    game=$(winpath "$work/game")
    drive "start $game $(winpath "$work/OrvanUpdate.exe")" "window $welcome" "wait-label found in" \
      "click OK" "window $title" "wait-line Patching " \
      "start $game $(winpath "$work/OrvanUpdate.exe")" "window $welcome" "wait-label found in" \
      "click OK" "window $title" "message-box Warning" "wait-button OK" lines "click OK" wait-exit > "$work/second.txt" ||
      { cat "$work/second.txt" >&2; fail "the second updater"; }
    busy="Orvan is being updated by another program in $game. Try again when it has finished."
    expect_line "$work/second.txt" "message-box: \"Warning\" \"$busy\""
    expect_line "$work/second.txt" "line: $busy"
    expect_line "$work/second.txt" "line: No update will be performed."
    ! grep -q '^line: Patching ' "$work/second.txt" || fail "the second updater patched"
    drive "attach $title" "wait-button OK" lines "click OK" wait-exit > "$work/first.txt" ||
      { cat "$work/first.txt" >&2; fail "the first updater did not finish"; }
    expect_line "$work/first.txt" "line: Update completed successfully!"
    same_tree "$work/game" "$work/new" || { diff -r "$work/game" "$work/new" >&2 || true; fail "the game is not 1.2.0"; }
    ;;

  save-log-error)
    # A log that can't be written: the error box, titled with the application title, and no line.
    records "$work/records.txt"
    make_updater "$work/records.txt" "$work/OrvanUpdate.exe" "$exe"
    install_old "$work/game"
    mkdir "$work/game/$log_name"  # a folder where the log file should go
    game=$(winpath "$work/game")
    drive "start $game $(winpath "$work/OrvanUpdate.exe")" "window $welcome" "wait-label found in" "click OK" \
      "window $title" "wait-button OK" lines > "$work/before.txt" || fail "the run did not finish"
    drive "attach $title" "click Save Log to File" "message-box $title" idle lines "click OK" wait-exit \
      > "$work/after.txt" || { cat "$work/after.txt" >&2; fail "saving to a folder"; }
    expect_line "$work/after.txt" "message-box: \"$title\" \"Cannot create file $game\\$log_name.\""
    diff -u <(lines_of "$work/before.txt") <(lines_of "$work/after.txt") || fail "the log changed after the error"
    expect_line "$work/after.txt" "exit: 0"
    ;;

  dpi-144)
    # At 150 % the 96-DPI layout is scaled: sizes and places times 1.5, rounded.
    set_dpi 144
    records "$work/records.txt"
    make_updater "$work/records.txt" "$work/OrvanUpdate.exe" "$exe"
    install_old "$work/game"
    drive "start $(winpath "$work/game") $(winpath "$work/OrvanUpdate.exe")" "window $welcome" "wait-label found in" \
      layout "click OK" "window $title" "wait-button OK" layout > "$work/out.txt" || fail "the run at 144 DPI"
    screenshot progress-144dpi.png
    drive "attach $title" "click OK" wait-exit >> "$work/out.txt" || fail "OK did not end the program"
    sed -n '1,/^Button "Specify folder"/p' "$work/out.txt" > "$work/welcome.txt"
    check_layout "$work/welcome.txt" "$here/welcome_layout_144dpi.txt"
    for line in 'client 918x648' 'Button "OK" 351,600 218x38 visible' 'ListBox "" 36,12 842x470 visible' \
                'msctls_progress32 "" 228,504 650x26 visible' 'msctls_progress32 "" 228,552 650x26 visible' \
                'Button "Save Log to File" 24,600 146x38 visible'; do
      expect_line "$work/out.txt" "$line"
    done
    expect_line "$work/out.txt" "exit: 0"
    ;;

  crash-then-registry)
    # The Linux program killed by strace at each rename of its update pass in the game's folder;
    # then this program, started elsewhere, finds the game through the registry, finishes or
    # undoes what the kill left and updates: the new game, nothing else in its folder.
    key='HKLM\Software\Quillmer\OrvanUiTestCrash'
    records "$work/records.txt" "Software\\Quillmer\\OrvanUiTestCrash"
    make_updater "$work/records.txt" "$work/OrvanUpdate.exe" "$exe"
    make_updater "$work/records.txt" "$work/orvan-update" "$console"
    game_dir="$work/Games/Orvan"
    game=$(winpath "$game_dir")
    add_registry_path "$key" "$game"
    mkdir -p "$work/elsewhere"
    install_old "$game_dir"
    (cd "$game_dir" && strace -f -qq -o "$work/trace" -e trace=rename "$work/orvan-update" </dev/null >/dev/null 2>&1) ||
      fail "the clean Linux run failed"
    renames=$(grep -cE '^[0-9]+ +rename\(' "$work/trace" || true)
    [ "$renames" -ge 4 ] || fail "only $renames renames in a whole update"
    for ((n = 1; n <= renames; n++)); do
      rm -rf "$game_dir"
      install_old "$game_dir"
      { (cd "$game_dir" && exec strace -f -qq -o /dev/null -e trace=rename -e inject="rename:signal=KILL:when=$n" \
           "$work/orvan-update" </dev/null >/dev/null 2>&1); } 2>/dev/null && fail "the run was not killed at rename #$n"
      drive "start $(winpath "$work/elsewhere") $(winpath "$work/OrvanUpdate.exe")" "window $welcome" \
        "wait-label found in\n$game\n" "click OK" "window $title" "wait-button OK" lines close wait-exit \
        > "$work/run.txt" || fail "the run after a kill at rename #$n did not finish"
      expect_line "$work/run.txt" "line: Update completed successfully!"
      expect_line "$work/run.txt" "exit: 0"
      diff -r "$work/new" "$game_dir" >&2 || fail "after a kill at rename #$n the game is not the new version"
    done
    ;;

  names-outside-ascii)
    # A game under a folder named in Cyrillic and Greek letters, with such names inside it too, on
    # a system whose code page has none of them (Wine's 1252 here): the manifest makes the
    # program's code page UTF-8, so every name reaches the system whole, and the windows and the
    # saved log show it as it is. Wine reads the arguments and the Linux names in the locale's
    # character set.
    export LC_ALL=C.UTF-8
    mkdir -p "$work/old/data/Карты" "$work/new/data/Карты"
    head -c 30000 /dev/urandom > "$work/old/data/Карты/Остров.map"
    { head -c 15000 "$work/old/data/Карты/Остров.map"; echo "новая бухта"; tail -c +15001 "$work/old/data/Карты/Остров.map"; } \
      > "$work/new/data/Карты/Остров.map"
    echo "Ελληνικά" > "$work/new/data/Ελληνικά.dat"
    records "$work/records.txt"
    make_updater "$work/records.txt" "$work/OrvanUpdate.exe" "$exe"
    game_dir="$work/Игры/Ορβαν"
    install_old "$game_dir"
    game=$(winpath "$game_dir")
    drive "start $game $(winpath "$work/OrvanUpdate.exe")" "window $welcome" "wait-label found in\n$game\n" \
      "click OK" "window $title" "wait-button OK" lines > "$work/run.txt" || fail "the run did not finish"
    expect_line "$work/run.txt" "line: Will search for Orvan installation in $game."
    grep -qF "line: Patching data\\карты\\остров.map from 1.1.0 to 1.2.0, file #" "$work/run.txt" ||
      { cat "$work/run.txt" >&2; fail "no line patching data\\карты\\остров.map"; }
    expect_line "$work/run.txt" "line: data\\карты\\остров.map patched successfully."
    expect_line "$work/run.txt" "line: data\\ελληνικά.dat patched successfully."
    expect_line "$work/run.txt" "line: Update completed successfully!"
    same_tree "$game_dir" "$work/new" || { diff -r "$game_dir" "$work/new" >&2 || true; fail "the game is not 1.2.0"; }
    save_log_and_exit "$game_dir" "$game"
    ;;

  long-paths)
    # A game folder deeper than MAX_PATH, so that every full path in it is over 260 characters:
    # found through the registry (Wine starts no program in a current folder that long, nor does
    # Windows without the long-path opt-in), updated with a backup (new folders, renames into
    # them), an added folder made, the log saved beside the game. The temporary folder, where the
    # engine is copied and loaded from, is as deep.
    key='HKLM\Software\Quillmer\OrvanUiTestLongPaths'
    deep=$work
    for n in 1 2 3 4 5; do deep="$deep/a-folder-whose-name-takes-fifty-characters-level-$n"; done
    game_dir="$deep/Orvan"
    game=$(winpath "$game_dir")
    [ "${#game}" -gt 260 ] || fail "the game's folder is only ${#game} characters long"
    mkdir -p "$work/new/data/added/maps"
    echo "a new cove" > "$work/new/data/added/maps/cove.map"
    records "$work/records.txt" "Software\\Quillmer\\OrvanUiTestLongPaths"
    make_updater "$work/records.txt" "$work/OrvanUpdate.exe" "$exe"
    install_old "$game_dir"
    add_registry_path "$key" "$game"
    mkdir -p "$work/elsewhere" "$deep/Temp"
    drive "set-env TMP $(winpath "$deep/Temp")" \
      "start $(winpath "$work/elsewhere") $(winpath "$work/OrvanUpdate.exe") /backup" "window $welcome" \
      "wait-label found in\n$game\n" "click OK" "window $title" "wait-button OK" lines > "$work/run.txt" ||
      fail "the run did not finish"
    expect_line "$work/run.txt" "line: Will search for Orvan installation in $game."
    expect_line "$work/run.txt" "line: data\\added\\maps\\cove.map patched successfully."
    expect_line "$work/run.txt" "line: Update completed successfully!"
    diff -r -x Update_1.1.0_Backup "$game_dir" "$work/new" >&2 || fail "the installation is not the new version"
    diff -r "$work/old" "$game_dir/Update_1.1.0_Backup" >&2 || fail "the backup is not the old installation"
    save_log_and_exit "$game_dir" "$game"
    [ -z "$(ls -A "$deep/Temp")" ] || fail "the temporary folder kept $(ls -A "$deep/Temp")"
    ;;

  *)
    fail "unknown scenario $scenario"
    ;;
esac
echo "$scenario: ok"
