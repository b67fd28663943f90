# Shared by the Windows program's tests: a virtual X display, a Wine desktop to draw the windows'
# frames, the game fixture, payloads, and the UI driver. Sourced by win32_ui_test.sh.
# Expects: mkpatch console winbin shots (paths), and sets work, exe, driver, DISPLAY.

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
exe="$winbin/OrvanUpdate.exe"
driver="$winbin/ui_driver.exe"
work=$(mktemp -d)
xvfb_pid=""
registry_keys=()
wine_desktop=OrvanUiTest

fail() {
  echo "FAIL: $*" >&2
  if [ -s "$work/drive.out" ]; then echo "-- the driver's last output:" >&2; tail -n 30 "$work/drive.out" >&2; fi
  if [ -s "$work/wine.log" ]; then echo "-- wine:" >&2; tail -n 20 "$work/wine.log" >&2; fi
  exit 1
}

dpi_before=""
cleanup() {
  local key
  for key in "${registry_keys[@]}"; do wine reg delete "$key" /f /reg:32 >/dev/null 2>&1 || true; done
  case $dpi_before in
    "") ;;
    none) wine reg delete 'HKCU\Control Panel\Desktop' /v LogPixels /f >/dev/null 2>&1 || true ;;
    *) wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi_before" /f >/dev/null 2>&1 || true ;;
  esac
  # The programs on the display end with it.
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && wait "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

[ -x "$exe" ] || fail "no $exe (build the win64 preset)"
[ -f "$driver" ] || fail "no $driver (build the win64 preset)"

# A display of our own: Xvfb picks a free number and tells it.
start_display() {
  local fifo="$work/display"
  : > "$fifo"
  Xvfb -displayfd 9 -screen 0 1024x768x24 -nolisten tcp 9>"$fifo" >"$work/xvfb.log" 2>&1 &
  xvfb_pid=$!
  local i
  for i in $(seq 100); do
    [ -s "$fifo" ] && break
    sleep 0.1
  done
  [ -s "$fifo" ] || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
  export DISPLAY=":$(head -n 1 "$fifo")"
  # The driver, and the programs it starts, run on a Wine desktop window, which draws the
  # windows' captions and frames as Windows does (there is no window manager).
  wine reg add 'HKCU\Software\Wine\AppDefaults\ui_driver.exe\Explorer' /v Desktop /d "$wine_desktop" /f >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v "$wine_desktop" /d 1024x768 /f >/dev/null 2>&1
  # Wine's own "MS Sans Serif" (with Tahoma and Marlett for its boxes and frames), which a prefix made before
  # the fonts were installed lacks: else another font stands in, with other text widths.
  local fonts="${WINEPREFIX:-$HOME/.wine}/drive_c/windows/Fonts" font
  for font in sserife.fon tahoma.ttf tahomabd.ttf marlett.ttf; do
    [ -f "$fonts/$font" ] || [ ! -f "/usr/share/wine/fonts/$font" ] || cp "/usr/share/wine/fonts/$font" "$fonts/"
  done
}

# The Windows form of a path under / (Wine's drive Z:).
winpath() { local p=$1; echo "Z:${p//\//\\}"; }

# Runs the driver's commands; prints what it reads. Through a file, not a pipe: the program the
# driver starts inherits its output and would hold a pipe open.
drive() {
  local status=0
  wine "$driver" "$@" > "$work/drive.out" 2>>"$work/wine.log" || status=$?
  tr -d '\r' < "$work/drive.out"
  return $status
}

screenshot() {
  mkdir -p "$shots"
  import -window root -display "$DISPLAY" "$shots/$1" 2>>"$work/wine.log" || fail "no screenshot $1"
}

make_trees() {  # make_trees [EXTRA_FILES]
  "$fixture" small-game "$work/old" 1.1.0 1.1.0 "${1:-0}"
  "$fixture" small-game "$work/new" 1.2.0 1.2.0 "${1:-0}"
}

# make_updater RECORDS OUT STUB: the payload of old -> new with these records on the stub.
make_updater() {
  "$mkpatch" build --old "$work/old" --new "$work/new" --records "$1" --out "$2" --stub "$3" >/dev/null 2>>"$work/mkpatch.log" ||
    fail "orvan-mkpatch build failed: $(cat "$work/mkpatch.log")"
}

# install DIR: a copy of the 1.1.0 installation.
install_old() { mkdir -p "$(dirname "$1")" && cp -r "$work/old" "$1"; }

same_tree() { diff -r "$1" "$2" >/dev/null; }

expect_line() {  # expect_line FILE LINE: the exact line is in the file
  grep -qxF -- "$2" "$1" || { cat "$1" >&2; fail "no line '$2'"; }
}

add_registry_path() {  # add_registry_path KEY FOLDER (32-bit view, where the game writes)
  registry_keys+=("$1")
  wine reg add "$1" /v 'Install Path' /t REG_SZ /d "$2" /f /reg:32 >/dev/null 2>>"$work/wine.log" ||
    fail "wine reg add $1 failed"
}

set_dpi() {  # set_dpi DPI: the screen's DPI for the programs started from now on; put back at the end
  dpi_before=$(wine reg query 'HKCU\Control Panel\Desktop' /v LogPixels 2>/dev/null | tr -d '\r' |
               sed -n 's/.*REG_DWORD *0x\([0-9a-fA-F]*\).*/\1/p') || true
  dpi_before=${dpi_before:+$((16#$dpi_before))}
  dpi_before=${dpi_before:-none}
  wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>>"$work/wine.log" ||
    fail "cannot set the DPI"
}
