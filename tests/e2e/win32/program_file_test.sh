#!/usr/bin/env bash
# What OrvanUpdate.exe carries, without running it: only Windows' own DLLs imported (static
# linking), the engine resource, the icon, the manifest (with its settings), and the string table
# of strings.inc.
# usage: program_file_test.sh OBJDUMP WINDRES EXE
set -euo pipefail
objdump=$1 windres=$2 exe=$3
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
[ -f "$exe" ] || fail "no $exe"

"$objdump" -p "$exe" | sed -n 's/^\tDLL Name: //p' > "$work/dlls.txt"
[ -s "$work/dlls.txt" ] || fail "no imports found in $exe"
while read -r dll; do
  case ${dll^^} in
    ADVAPI32.DLL|COMCTL32.DLL|COMDLG32.DLL|GDI32.DLL|KERNEL32.DLL|MSVCRT.DLL|USER32.DLL) ;;
    *) fail "$exe imports $dll, which is not Windows' own" ;;
  esac
done < "$work/dlls.txt"

"$windres" -i "$exe" -O rc -o "$work/resources.rc" 2>/dev/null || fail "cannot read the resources"
grep -q '^19274 20530' "$work/resources.rc" || fail "no engine resource 20530/19274"
grep -q 'RT_GROUP_ICON' "$work/resources.rc" || fail "no icon"
grep -q 'RT_MANIFEST' "$work/resources.rc" || fail "no manifest"
# UTF-8 as the code page and long paths: names in any script, folders of any depth.
for text in 'level="highestAvailable"' 'PerMonitorV2' 'Microsoft.Windows.Common-Controls" version="6.0.0.0"' \
            '<activeCodePage xmlns="http://schemas.microsoft.com/SMI/2019/WindowsSettings">UTF-8</activeCodePage>' \
            '<longPathAware xmlns="http://schemas.microsoft.com/SMI/2016/WindowsSettings">true</longPathAware>'; do
  grep -aqF "$text" "$exe" || fail "the manifest lacks $text"
done

# The STRINGTABLE holds strings 1 to 39, as the one string table has them.
perl "$source_dir/src/app/win32/resources/make_string_table.pl" "$source_dir/src/strings/strings.inc" "$work/strings.rc"
grep -E '^  [0-9]+, "' "$work/strings.rc" > "$work/expected.txt"
grep -E '^  [0-9]+, "' "$work/resources.rc" > "$work/carried.txt"
[ "$(wc -l < "$work/expected.txt")" -eq 39 ] || fail "strings.inc does not hold 39 strings"
diff -u "$work/expected.txt" "$work/carried.txt" || fail "the STRINGTABLE differs from strings.inc"
echo "program file $exe: ok"
