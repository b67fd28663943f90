# The bench's runs of each tool, sourced by bench/run (which sets the paths and options used here).
# Each run appends one line per file to $results:
#   case row payload-bytes build-s apply-s apply-KiB file build-KiB check-s pass-s
# where a figure that does not apply is "-" (check-s: the self-check's share of our build; pass-s:
# the whole updater's update pass, within its apply), or
#   case row n/a - - - file
# when the tool is not run on that file.

# Runs a command under /usr/bin/time with no input; prints "seconds max-rss-KiB". Its output is
# left in $tmp/out and $tmp/err.
measure() {
  if ! /usr/bin/time -f "%e %M" -o "$tmp/time" "$@" </dev/null >"$tmp/out" 2>"$tmp/err"; then
    echo "bench: failed: $*" >&2
    tail -n 20 "$tmp/out" "$tmp/err" >&2
    return 1
  fi
  cat "$tmp/time"
}

size_of() { stat -c %s "$1"; }

# "case row bytes build-s apply-s apply-KiB file build-KiB check-s pass-s" from a build and an
# apply measure's output.
record() {
  local name=$1 row=$2 bytes=$3 b=$4 a=$5 file=$6 check=${7:--} pass=${8:--}
  echo "$name $row $bytes ${b% *} ${a% *} ${a#* } $file ${b#* } $check $pass" >>"$results"
}

# One file pair through one delta tool (a row of its own per compression for hdiffz).
run_tool() {
  local name=$1 tool=$2 old=$3 new=$4
  local patch="$tmp/patch" out="$tmp/rebuilt" b a check="-" row=$2
  local old_size new_size
  old_size=$(size_of "$old")
  new_size=$(size_of "$new")
  case "$tool" in
    orvan)
      b=$(measure "$orvan" encode "$old" "$new" "$patch" "${verify_flag[@]}")
      check=$(awk '{ print $4 }' "$tmp/out")
      a=$(measure "$orvan" apply "$old" "$patch" "$out") ;;
    zstd)
      if [ "$old_size" -gt 0 ]; then
        b=$(measure zstd -q -f -19 --long=31 --patch-from="$old" "$new" -o "$patch")
        a=$(measure zstd -q -f -d --long=31 --patch-from="$old" "$patch" -o "$out")
      else
        b=$(measure zstd -q -f -19 --long=31 "$new" -o "$patch")
        a=$(measure zstd -q -f -d --long=31 "$patch" -o "$out")
      fi ;;
    xdelta3)
      # The default source window is 64 MiB; a larger old file gets a window that holds it.
      local window=()
      [ "$old_size" -gt $((64 << 20)) ] && window=(-B "$(( old_size < (1 << 30) ? old_size : (1 << 30) ))")
      if [ "$old_size" -gt 0 ]; then
        b=$(measure xdelta3 -9 -f "${window[@]}" -e -s "$old" "$new" "$patch")
        a=$(measure xdelta3 -f "${window[@]}" -d -s "$old" "$patch" "$out")
      else
        b=$(measure xdelta3 -9 -f -e "$new" "$patch")
        a=$(measure xdelta3 -f -d "$patch" "$out")
      fi ;;
    bsdiff)
      if [ "$old_size" -gt $((bsdiff_max << 20)) ] || [ "$new_size" -gt $((bsdiff_max << 20)) ]; then
        echo "$name $tool n/a - - - $new" >>"$results"
        return
      fi
      # bsdiff cannot map an empty old file: an added file is diffed against a single byte.
      [ "$old_size" -gt 0 ] || old="$one_byte"
      b=$(measure bsdiff "$old" "$new" "$patch")
      a=$(measure bspatch "$old" "$out" "$patch") ;;
    hdiffz-lzma2|hdiffz-zstd)
      # An added file is diffed against the empty file, which hdiffz takes. Without -d, hdiffz
      # applies the patch and checks it before it ends, as our build does.
      local compress=-c-lzma2-9-16m
      [ "$tool" = hdiffz-zstd ] && compress=-c-zstd-21-24
      b=$(measure "$hdiffz_dir/hdiffz" -m-6 -SD "$compress" -p-2 -f "$old" "$new" "$patch")
      a=$(measure "$hdiffz_dir/hpatchz" -f "$old" "$patch" "$out") ;;
  esac
  cmp -s "$out" "$new" || { echo "bench: $tool did not rebuild $new" >&2; exit 1; }
  record "$name" "$row" "$(size_of "$patch")" "$b" "$a" "$new" "$check"
  rm -f "$patch" "$out"
}

# "seconds max-rss-KiB" of several measures: the median time (the runs are short, and the other
# work on the machine can slow one of them several times over) and the largest peak.
median_of_runs() {
  local times peak
  times=$(printf '%s\n' "$@" | awk '{ print $1 }' | sort -n)
  peak=$(printf '%s\n' "$@" | awk '$2 > m { m = $2 } END { print m + 0 }')
  echo "$(echo "$times" | sed -n "$(( ($# + 1) / 2 ))p") $peak"
}

# The floor: every changed old file read once, every new one written once and flushed
# (bench/floor.cpp), in one timed pass, $apply_runs times; nothing is dropped from the page cache.
run_floor() {
  local name=$1 pairs=$2 runs=() i
  for ((i = 0; i < apply_runs; ++i)); do
    rm -rf "$tmp/floor" && mkdir -p "$tmp/floor"
    sync  # as before the updater's runs: nothing pending from earlier work is flushed in the pass
    runs+=("$(measure "$floor" "$pairs" "$tmp/floor")")
  done
  local a
  a=$(median_of_runs "${runs[@]}")
  echo "$name floor - - ${a% *} ${a#* } $pairs - -" >>"$results"
  rm -rf "$tmp/floor"
}

# Whether two trees hold the same files with the same bytes. Folders are not compared: the engine
# removes the files a release deletes, not the folders they leave empty (the moves case empties
# three), so an updated installation may keep empty folders that the new tree does not have.
same_files() {
  local want=$1 got=$2 rel
  diff <(cd "$want" && find . -type f | sort) <(cd "$got" && find . -type f | sort) >/dev/null || return 1
  while read -r rel; do
    cmp -s "$want/$rel" "$got/$rel" || return 1
  done < <(cd "$want" && find . -type f)
}

# XorChecksum of a file's first 64 KiB as the updater computes it for a checksum record: the XOR
# of its little-endian 32-bit words, as a signed 32-bit number.
xor_checksum() {
  local x=0 word
  for word in $(od -An -tu4 -v -N65536 "$1"); do x=$((x ^ word)); done
  [ "$x" -lt $((1 << 31)) ] || x=$((x - (1 << 32)))
  echo "$x"
}

# The whole product on a tree (DIR/old, DIR/new): an updater built by orvan-mkpatch, applied by
# orvan-update to a copy of the old tree (the copy, flushed to disk, is not timed), then compared
# with the new tree, $apply_runs times (the median time is kept). The installed version is told by
# a checksum record over EXE's first 64 KiB.
run_updater() {
  local name=$1 dir=$2 exe=$3
  local records="$tmp/records.txt" updater="$tmp/updater" install="$tmp/install" b a check
  printf 'Versions,Bench Game,%s,1.0.0,1.1.0\nchecksum,%s,%s,65536,1.0.0\n' \
    "$exe" "$exe" "$(xor_checksum "$dir/old/$exe")" >"$records"
  b=$(measure "$mkpatch" build --old "$dir/old" --new "$dir/new" --records "$records" \
        --stub "$updater_stub" --out "$updater" "${verify_flag[@]}")
  check=$(sed -n 's/.*checked in \([0-9.]*\) s.*/\1/p' "$tmp/out" "$tmp/err" | head -n 1)
  local runs=() passes=() i
  for ((i = 0; i < apply_runs; ++i)); do
    rm -rf "$install"
    cp -r "$dir/old" "$install"
    # The copy's writes reach the disk now, not during the run: the updater flushes the files it
    # writes, and on ext4 a flush may wait for other files' pending writes too.
    sync
    # The console front end asks nothing when its input is not a terminal; no Backup argument.
    runs+=("$(cd "$install" && measure_stamped "$updater")")
    grep -q "Update completed successfully" "$tmp/out" || { echo "bench: the updater did not finish" >&2; exit 1; }
    same_files "$dir/new" "$install" || { echo "bench: the updated tree differs from $dir/new" >&2; exit 1; }
    passes+=("$(update_pass_seconds "$tmp/out") 0")
  done
  a=$(median_of_runs "${runs[@]}")
  local pass
  pass=$(median_of_runs "${passes[@]}")
  record "$name" updater "$(( $(size_of "$updater") - $(size_of "$updater_stub") ))" "$b" "$a" "$dir" "${check:--}" "${pass% *}"
  rm -rf "$install" "$updater"
}

# measure, with each line the program prints on stdout prefixed by the time it was read (the
# console front end flushes each log line as it adds it).
measure_stamped() {
  if ! /usr/bin/time -f "%e %M" -o "$tmp/time" "$@" </dev/null 2>"$tmp/err" |
       perl -MTime::HiRes=time -ne '$| = 1; printf "%.6f %s", time, $_' >"$tmp/out"; then
    echo "bench: failed: $*" >&2
    tail -n 20 "$tmp/out" "$tmp/err" >&2
    return 1
  fi
  cat "$tmp/time"
}

# The update pass's seconds in a stamped log: from the line the driver prints just before it starts
# the pass ("There is one file / There are N files to be patched") to the first line after the pass
# has returned (the empty line before the verdict, which follows "Finishing update...").
update_pass_seconds() {
  awk '/ to be patched in this update\.$/ && !start { start = $1 }
       start && finishing && NF == 1 { printf "%.3f\n", $1 - start; done = 1; exit }
       /Finishing update\.\.\.$/ { finishing = 1 }
       END { if (!done) print "-" }' "$1"
}

# A tree of one file for the updater: DIR/old/NAME and DIR/new/NAME, linked to the case's files
# (copied where a link can't be made).
one_file_tree() {
  local dir=$1 old=$2 new=$3 file=$4
  rm -rf "$dir" && mkdir -p "$dir/old" "$dir/new"
  ln "$old" "$dir/old/$file" 2>/dev/null || cp "$old" "$dir/old/$file"
  ln "$new" "$dir/new/$file" 2>/dev/null || cp "$new" "$dir/new/$file"
}

# hdiffz's folder mode over a whole tree (DIR/old, DIR/new), with the options of its lzma2 row:
# one patch in which a new file may take bytes from any old file, whatever its path. hpatchz
# writes the new tree into an empty folder, which must then equal DIR/new.
run_hdiffz_dir() {
  local name=$1 dir=$2 patch="$tmp/patch" out="$tmp/rebuilt-dir" b a
  rm -rf "$out"
  b=$(measure "$hdiffz_dir/hdiffz" -m-6 -SD -c-lzma2-9-16m -p-2 -f "$dir/old" "$dir/new" "$patch")
  a=$(measure "$hdiffz_dir/hpatchz" -f "$dir/old" "$patch" "$out")
  diff -r "$dir/new" "$out" >/dev/null || { echo "bench: hdiffz dir did not rebuild $dir/new" >&2; exit 1; }
  record "$name" hdiffz-dir "$(size_of "$patch")" "$b" "$a" "$dir"
  rm -rf "$patch" "$out"
}

# Every tool asked for over a case: the delta tools file by file over its pairs ("old new" lines;
# an added file's old is the empty file), the floor over all of them, the updater over its tree.
# A tree-like case (FOLDERS = dir) also gets hdiffz's folder mode over its tree.
run_case() {
  local name=$1 pairs=$2 tree=$3 exe=$4 folders=${5:-} tool variant
  for tool in ${tools//,/ }; do
    # On the file over 4 GiB only our own code runs, and the floor (bench/README.md says why).
    [ "$name" = huge ] && [[ " orvan floor updater " != *" $tool "* ]] && continue
    echo "bench: $name: $tool" >&2
    case "$tool" in
      floor) run_floor "$name" "$pairs" ;;
      updater) run_updater "$name" "$tree" "$exe" ;;
      hdiffz)
        for variant in hdiffz-lzma2 hdiffz-zstd; do
          while read -r old new; do run_tool "$name" "$variant" "$old" "$new"; done <"$pairs"
        done
        [ "$folders" != dir ] || run_hdiffz_dir "$name" "$tree" ;;
      *) while read -r old new; do run_tool "$name" "$tool" "$old" "$new"; done <"$pairs" ;;
    esac
  done
}

# The pairs of a tree: changed and added files (unchanged ones cost nothing, deleted ones a name).
tree_pairs() {
  local dir=$1 list=$2
  : >"$list"
  (cd "$dir/new" && find . -type f | sort) | while read -r rel; do
    rel=${rel#./}
    if [ -f "$dir/old/$rel" ]; then
      cmp -s "$dir/old/$rel" "$dir/new/$rel" || echo "$dir/old/$rel $dir/new/$rel" >>"$list"
    else
      echo "$empty $dir/new/$rel" >>"$list"
    fi
  done
}
