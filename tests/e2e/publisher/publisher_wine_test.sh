#!/usr/bin/env bash
# The publisher's side under Wine, on the sample game:
#   same-payload    orvan-mkpatch.exe, given Windows paths, writes the very updater the Linux
#                   builder writes (the sample game, and a tree of sub-folders, mixed-case names
#                   and an added folder); its stub defaults to the OrvanUpdate.exe beside it; its
#                   output appears whole or not at all.
#   signed-updater  the updater it makes, signed with a throwaway certificate, verifies, and
#                   lists, verifies and updates a copy of the installation as the unsigned one
#                   does; one signed before its payload was appended is refused, not run.
# usage: publisher_wine_test.sh SCENARIO MKPATCH WIN_BIN MAKE_SAMPLE_GAME
#   MKPATCH: the Linux builder; WIN_BIN: the folder holding orvan-mkpatch.exe, OrvanUpdate.exe and
#   ui_driver.exe.
set -euo pipefail
scenario=$1 mkpatch=$2 winbin=$3 fixture=$4
console="" shots=""  # the UI library's other inputs, unused here
source "$(cd "$(dirname "$0")/../win32" && pwd)/ui_test_lib.sh"
winmkpatch="$winbin/orvan-mkpatch.exe"
[ -f "$winmkpatch" ] || fail "no $winmkpatch (build the win64 preset)"

# The Windows builder, its output and exit code in $work/win.out, $work/win.err and $code.
winbuild() {
  code=0
  wine "$winmkpatch" "$@" >"$work/win.out" 2>"$work/win.err" </dev/null || code=$?
  tr -d '\r' <"$work/win.out" >"$work/win.out.lf" && mv "$work/win.out.lf" "$work/win.out"
  tr -d '\r' <"$work/win.err" >"$work/win.err.lf" && mv "$work/win.err.lf" "$work/win.err"
}
# Nothing of a build is left beside its output but the output itself.
no_leftovers() { ! ls "$1" | grep -q '\.partial-\|\.spool-' || fail "a build left $(ls "$1" | grep 'partial\|spool')"; }

"$fixture" sample-game "$work/game" "$mkpatch" >/dev/null 2>&1 || fail "the sample game could not be made"
game=$work/game

case $scenario in
  same-payload)
    # The builder as shipped: statically linked, importing only Windows' own DLLs, with a manifest
    # that makes its names UTF-8 (as the Linux builder's) and keeps it from being elevated.
    x86_64-w64-mingw32-objdump -p "$winmkpatch" | sed -n 's/^\tDLL Name: //p' > "$work/dlls.txt"
    [ -s "$work/dlls.txt" ] || fail "no imports found in $winmkpatch"
    while read -r dll; do
      case ${dll^^} in KERNEL32.DLL|MSVCRT.DLL|ADVAPI32.DLL|USER32.DLL) ;; *) fail "orvan-mkpatch.exe imports $dll" ;; esac
    done < "$work/dlls.txt"
    for text in '<activeCodePage xmlns="http://schemas.microsoft.com/SMI/2019/WindowsSettings">UTF-8</activeCodePage>' \
                '>true</longPathAware>' 'level="asInvoker"'; do
      grep -aqF "$text" "$winmkpatch" || fail "orvan-mkpatch.exe's manifest lacks $text"
    done

    # The sample game: an explicit stub, then the default one beside orvan-mkpatch.exe.
    mkdir "$work/out"
    "$mkpatch" build --old "$game/old" --new "$game/new" --records "$game/records.txt" --stub "$exe" \
      --out "$work/out/linux.exe" 2>"$work/linux.err" || fail "the Linux builder: $(cat "$work/linux.err")"
    winbuild build --old "$(winpath "$game/old")" --new "$(winpath "$game/new")" \
      --records "$(winpath "$game/records.txt")" --out "$(winpath "$work/out/windows.exe")"
    [ "$code" -eq 0 ] || fail "orvan-mkpatch.exe build: $(cat "$work/win.err")"
    cmp "$work/out/linux.exe" "$work/out/windows.exe" || fail "the two builders wrote different updaters"
    grep -q "wrote Z:.*windows.exe (3 records; 6 files: 4 modified, 1 added, 1 deleted; .*every entry applied and checked" \
      "$work/win.err" || fail "orvan-mkpatch.exe's report: $(cat "$work/win.err")"
    # Built again over the existing output: the file is replaced whole.
    winbuild build --old "$(winpath "$game/old")" --new "$(winpath "$game/new")" --stub "$(winpath "$exe")" \
      --records "$(winpath "$game/records.txt")" --out "$(winpath "$work/out/windows.exe")" --level 19
    [ "$code" -eq 0 ] || fail "building over an existing updater: $(cat "$work/win.err")"
    cmp "$work/out/linux.exe" "$work/out/windows.exe" || fail "the rebuilt updater differs"
    no_leftovers "$work/out"

    # Both listings, text and JSON, say the same.
    for format in "" --json; do
      "$mkpatch" inspect $format "$work/out/linux.exe" > "$work/linux.listing"
      winbuild inspect $format "$(winpath "$work/out/windows.exe")"
      [ "$code" -eq 0 ] || fail "orvan-mkpatch.exe inspect $format: $(cat "$work/win.err")"
      diff -u "$work/linux.listing" "$work/win.out" || fail "the listings differ ($format)"
    done

    # Sub-folders, names in mixed case that pair without regard to case, an added folder with its
    # own sub-folder, a deleted folder, a name outside ASCII; the folders given with a trailing
    # backslash.
    tree=$work/tree
    mkdir -p "$tree/old/Data/Maps/North" "$tree/old/Data/Sound" "$tree/old/Old Stuff" \
             "$tree/new/DATA/maps/North" "$tree/new/Data/Sound" "$tree/new/Extras/Art/Sketches"
    head -c 300000 /dev/urandom > "$tree/old/Data/Maps/North/Isle01.map"
    { head -c 150000 "$tree/old/Data/Maps/North/Isle01.map"; echo "a new cove"; tail -c +150001 "$tree/old/Data/Maps/North/Isle01.map"; } \
      > "$tree/new/DATA/maps/North/ISLE01.MAP"
    head -c 50000 /dev/urandom > "$tree/old/Data/Sound/Theme.SND"
    cp "$tree/old/Data/Sound/Theme.SND" "$tree/new/Data/Sound/theme.snd"
    echo "old notes" > "$tree/old/Old Stuff/Notes.txt"
    echo "sketch" > "$tree/new/Extras/Art/Sketches/Cove.TXT"
    head -c 70000 /dev/urandom > "$tree/new/Extras/Art/Cover.BMP"
    echo "carte" > "$tree/new/Extras/Art/Île du Nord.txt"
    printf 'Versions,Orvan: Silent Thrones,Orvan.exe,1.1.0,1.2.0\r\n' > "$tree/records.txt"
    "$mkpatch" build --old "$tree/old" --new "$tree/new" --records "$tree/records.txt" --stub "$exe" \
      --out "$work/out/tree-linux.exe" 2>"$work/linux.err" || fail "the Linux builder: $(cat "$work/linux.err")"
    winbuild build --old "$(winpath "$tree/old")\\" --new "$(winpath "$tree/new")\\" \
      --records "$(winpath "$tree/records.txt")" --out "$(winpath "$work/out/tree-windows.exe")"
    [ "$code" -eq 0 ] || fail "orvan-mkpatch.exe build of the tree: $(cat "$work/win.err")"
    cmp "$work/out/tree-linux.exe" "$work/out/tree-windows.exe" || fail "the two builders wrote different updaters of the tree"
    "$mkpatch" inspect "$work/out/tree-linux.exe" | sed -n 's/^  \(modify\|add\|delete\) .*  \(.*\)$/\1 \2/p' \
      > "$work/tree.listing"
    printf '%s\n' "modify DATA/maps/North/ISLE01.MAP" "add Extras/Art/Cover.BMP" "add Extras/Art/Sketches/Cove.TXT" \
      "add Extras/Art/Île du Nord.txt" "delete Old Stuff/Notes.txt" | diff -u - "$work/tree.listing" ||
      fail "the tree's entries"

    # A failed build leaves nothing: an output folder that does not exist, a damaged records file.
    winbuild build --old "$(winpath "$tree/old")" --new "$(winpath "$tree/new")" \
      --records "$(winpath "$tree/records.txt")" --out "$(winpath "$work/missing/out.exe")"
    [ "$code" -ne 0 ] && [ "$(wc -l <"$work/win.err")" -eq 1 ] || fail "an output in a missing folder: $code $(cat "$work/win.err")"
    echo "Registry,Software\\Quillmer\\Orvan" > "$tree/no-versions.txt"
    winbuild build --old "$(winpath "$tree/old")" --new "$(winpath "$tree/new")" \
      --records "$(winpath "$tree/no-versions.txt")" --out "$(winpath "$work/out/bad.exe")"
    [ "$code" -ne 0 ] && grep -qx "orvan-mkpatch: Z:.*no-versions.txt: there is no versions record" "$work/win.err" ||
      fail "records without a versions record: $code $(cat "$work/win.err")"
    [ ! -e "$work/out/bad.exe" ] || fail "a failed build left its output"
    no_leftovers "$work/out"

    winbuild --version
    grep -qx "orvan-mkpatch .* (payload format 2, zstd $(pkg-config --modversion libzstd), liblzma $(pkg-config --modversion liblzma))" "$work/win.out" ||
      fail "orvan-mkpatch.exe --version: $(cat "$work/win.out")"
    ;;

  signed-updater)
    # A throwaway code-signing certificate, made here.
    openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/key.pem" -out "$work/cert.pem" -days 2 \
      -subj "/CN=Orvan Test Publisher" -addext "extendedKeyUsage=codeSigning" >/dev/null 2>&1 ||
      fail "openssl could not make a certificate"
    sign() { osslsigncode sign -certs "$work/cert.pem" -key "$work/key.pem" -n "Orvan Update" -in "$1" -out "$2" \
               >/dev/null || fail "osslsigncode could not sign $1"; }

    # Built on Windows, then signed: the publisher's order.
    winbuild build --old "$(winpath "$game/old")" --new "$(winpath "$game/new")" \
      --records "$(winpath "$game/records.txt")" --out "$(winpath "$work/OrvanUpdate-unsigned.exe")"
    [ "$code" -eq 0 ] || fail "orvan-mkpatch.exe build: $(cat "$work/win.err")"
    sign "$work/OrvanUpdate-unsigned.exe" "$work/OrvanUpdate-signed.exe"
    osslsigncode verify -CAfile "$work/cert.pem" -in "$work/OrvanUpdate-signed.exe" > "$work/verify.txt" 2>&1 ||
      fail "the signature does not verify: $(cat "$work/verify.txt")"
    # Both builders read the signed updater's payload as the unsigned one's.
    "$mkpatch" inspect "$work/OrvanUpdate-unsigned.exe" > "$work/unsigned.listing"
    "$mkpatch" inspect "$work/OrvanUpdate-signed.exe" | diff -u "$work/unsigned.listing" - ||
      fail "the signed updater's listing differs"
    winbuild inspect "$(winpath "$work/OrvanUpdate-signed.exe")"
    diff -u "$work/unsigned.listing" "$work/win.out" || fail "orvan-mkpatch.exe lists the signed updater otherwise"

    # Each updater on a copy of the installation, started in it: the same log lines, the same result.
    start_display
    for kind in unsigned signed; do
      cp -r "$game/old" "$work/$kind"
      folder=$(winpath "$work/$kind")
      drive "start $folder $(winpath "$work/OrvanUpdate-$kind.exe")" "window Orvan Update Utility" "wait-label found in" \
        "click OK" "window Orvan Update: version 1.1.0 to 1.2.0" "wait-button OK" lines close wait-exit \
        > "$work/$kind.run" || fail "the $kind updater's run did not finish"
      expect_line "$work/$kind.run" "line: Update completed successfully!"
      expect_line "$work/$kind.run" "exit: 0"
      same_tree "$work/$kind" "$game/new" || fail "the $kind updater did not make the 1.2.0 installation"
      sed "s/$(sed 's/[\\&/.]/\\&/g' <<<"$folder")/GAME/g" "$work/$kind.run" > "$work/$kind.lines"
    done
    diff -u "$work/unsigned.lines" "$work/signed.lines" || fail "the signed updater ran otherwise"
    grep -q "^line: Patching orvan.exe from 1.1.0 to 1.2.0" "$work/signed.lines" || fail "no update pass in the log"

    # The wrong order: a stub signed first. The builder refuses it; an updater made so anyway (the
    # payload appended after the signature) breaks the signature, and both the builders' inspect
    # and the updater refuse it.
    sign "$exe" "$work/stub-signed.exe"
    winbuild build --old "$(winpath "$game/old")" --new "$(winpath "$game/new")" \
      --records "$(winpath "$game/records.txt")" --stub "$(winpath "$work/stub-signed.exe")" \
      --out "$(winpath "$work/wrong.exe")"
    [ "$code" -ne 0 ] && grep -q "is signed: build with the unsigned updater and sign the finished one" "$work/win.err" ||
      fail "a signed stub: $code $(cat "$work/win.err")"
    [ ! -e "$work/wrong.exe" ] || fail "the refused build left its output"
    python3 - "$exe" "$work/OrvanUpdate-unsigned.exe" "$work/stub-signed.exe" "$work/wrong.exe" <<'PY'
import struct, sys
stub, updater, signed_stub, out = sys.argv[1:]
stub_size = len(open(stub, "rb").read())
body = open(updater, "rb").read()
signed = open(signed_stub, "rb").read()
trailer = bytearray(body[-48:])
struct.pack_into("<Q", trailer, 16, len(signed))  # the payload now begins after the signed stub
open(out, "wb").write(signed + body[stub_size:-48] + trailer)
PY
    if osslsigncode verify -CAfile "$work/cert.pem" -in "$work/wrong.exe" >/dev/null 2>&1; then
      fail "a payload appended after signing kept the signature valid"
    fi
    code=0; "$mkpatch" inspect "$work/wrong.exe" >/dev/null 2>"$work/linux.err" || code=$?
    [ "$code" -ne 0 ] && grep -qx "orvan-mkpatch: .*wrong.exe: the updater was signed before its patch was appended (sign the finished updater)" \
      "$work/linux.err" || fail "inspect of the wrong order: $code $(cat "$work/linux.err")"
    winbuild inspect "$(winpath "$work/wrong.exe")"
    [ "$code" -ne 0 ] && grep -q "signed before its patch was appended" "$work/win.err" ||
      fail "orvan-mkpatch.exe inspect of the wrong order: $code $(cat "$work/win.err")"
    cp -r "$game/old" "$work/wrong-order"
    drive "start $(winpath "$work/wrong-order") $(winpath "$work/wrong.exe")" "message-box Update Error" wait-exit \
      > "$work/wrong.run" || fail "the wrongly signed updater"
    expect_line "$work/wrong.run" 'message-box: "Update Error" "Internal Update error, patch is possibly corrupt."'
    expect_line "$work/wrong.run" "exit: 1"
    same_tree "$work/wrong-order" "$game/old" || fail "the wrongly signed updater changed the installation"
    ;;

  *) fail "unknown scenario $scenario" ;;
esac
echo "publisher $scenario: ok"
