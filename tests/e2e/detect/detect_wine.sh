#!/usr/bin/env bash
# The Windows build under Wine: writes registry keys with "wine reg" (the 32-bit view, as the
# 32-bit game does) and a game folder below the prefix's drive C, then runs detect_wine_test.exe.
# usage: detect_wine.sh DETECT_WINE_TEST.EXE MKPATCH FIXTURE
set -euo pipefail
probe=$1 mkpatch=$2 fixture=$3
fail() { echo "FAIL: $*" >&2; exit 1; }
[ -f "$probe" ] || fail "no $probe: build the win64 preset first"
prefix=${WINEPREFIX:-$HOME/.wine}
work=$(mktemp -d)
root="$prefix/drive_c/OrvanE2E"
cleanup() {
  rm -rf "$work" "$root"
  wine reg delete 'HKLM\Software\OrvanE2E' /f /reg:32 >/dev/null 2>&1 || true
  wine reg delete 'HKLM\Software\OrvanE2E' /f /reg:64 >/dev/null 2>&1 || true
}
trap cleanup EXIT

wine reg add 'HKLM\Software\OrvanE2E\Game32' /v 'Install Path' /d 'C:\OrvanE2E\Game32' /f /reg:32 >/dev/null
wine reg add 'HKLM\Software\OrvanE2E\Stale' /v 'Install Path' /d 'C:\OrvanE2E\Stale' /f /reg:32 >/dev/null
wine reg add 'HKLM\Software\OrvanE2E\Expand' /v 'Install Path' /t REG_EXPAND_SZ /d '%SystemDrive%\OrvanE2E' /f /reg:32 >/dev/null
wine reg add 'HKLM\Software\OrvanE2E\Dword' /v 'Install Path' /t REG_DWORD /d 7 /f /reg:32 >/dev/null
wine reg add 'HKLM\Software\OrvanE2E\Only64' /v 'Install Path' /d 'C:\OrvanE2E\Game32' /f /reg:64 >/dev/null
# A trailing backslash can't pass through a command line unharmed: it goes in by a .reg file.
printf 'REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\OrvanE2E\\Slash]\r\n"Install Path"="C:\\\\OrvanE2E\\\\Slash\\\\"\r\n' > "$work/slash.reg"
wine reg import "$(winepath -w "$work/slash.reg" 2>/dev/null)" /reg:32 >/dev/null 2>&1

mkdir -p "$root/Game32/old.XPD" "$root/Stale" "$root/Slash" "$root/Long Folder Name/Game"
"$fixture" stamped-exe "$root/Game32/Orvan.exe" 1.1.0
cp "$root/Game32/Orvan.exe" "$root/Slash/Orvan.exe"
cp "$root/Game32/Orvan.exe" "$root/Long Folder Name/Game/Orvan.exe"
"$mkpatch" xpd --id 305419896 --version 1000100 "$root/Game32/Isles.XPD" 2>/dev/null
"$mkpatch" xpd --id 3000000000 --version 2000000 "$root/Game32/b-Depths.xpd" 2>/dev/null
printf 'abc' > "$root/Game32/broken.XPD"

cp "$probe" "$work/detect_wine_test.exe"
output=$(cd "$work" && wine ./detect_wine_test.exe 2>&1 | tr -d '\r') || { echo "$output"; fail "checks failed"; }
echo "$output"
