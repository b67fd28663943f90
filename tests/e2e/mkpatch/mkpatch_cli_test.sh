#!/usr/bin/env bash
# The builder's command line: every option --help lists is one the command takes, and the other
# way round; --version of both programs; inspect --json parsed and checked against the files.
# usage: mkpatch_cli_test.sh help|version|json MKPATCH UPDATER VERSION
set -euo pipefail
case=$1 mkpatch=$(realpath "$2") updater=$(realpath "$3") version=$4
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# run ARGS...: the builder's exit code in $code, its output in $work/out and $work/err.
run() { code=0; "$mkpatch" "$@" >"$work/out" 2>"$work/err" </dev/null || code=$?; }
one_line_error() {  # one_line_error WHAT: a non-zero exit and exactly one line on stderr
  [ "$code" -ne 0 ] || fail "$1: exit code 0"
  [ "$(wc -l <"$work/err")" -eq 1 ] || fail "$1: stderr is not one line: $(cat "$work/err")"
}

case $case in
  help)
    run --help
    [ "$code" -eq 0 ] && [ ! -s "$work/err" ] || fail "--help: exit $code, stderr $(cat "$work/err")"
    cp "$work/out" "$work/program-help"
    for command in build inspect xpd; do
      grep -q "^usage: orvan-mkpatch $command" "$work/program-help" || fail "--help does not show $command"
      run "$command" --help
      [ "$code" -eq 0 ] && [ ! -s "$work/err" ] || fail "$command --help: exit $code"
      head -n 1 "$work/out" | grep -q "^usage: orvan-mkpatch $command" || fail "$command --help: no usage line"
      # One line per option: "  --name [VALUE]  what it does".
      sed -n 's/^  --\([a-z-]*\)\( [A-Z]\+\)\?  .*/\1\2/p' "$work/out" > "$work/options"
      [ "$(grep -c '^  ' "$work/out")" -eq "$(wc -l <"$work/options")" ] ||
        fail "$command --help: an option line without a description: $(cat "$work/out")"
      grep -qx help "$work/options" || fail "$command --help does not list --help"
      # Every line of the command's help is also in the program's help.
      grep -v '^$' "$work/program-help" > "$work/program-lines"
      if grep -vxF -f "$work/program-lines" "$work/out" | grep -q .; then fail "the program's help lacks $command's options"; fi
      while read -r name value; do
        [ "$name" = help ] && continue
        args=("--$name"); [ -n "$value" ] && args+=(x)
        run "$command" "${args[@]}"
        one_line_error "$command --$name"
        grep -q "unknown option" "$work/err" && fail "$command --help lists --$name, which the command refuses"
      done < "$work/options"
      # An option the help does not list is refused, in one line that points to the help.
      run "$command" --frobnicate x
      one_line_error "$command --frobnicate"
      grep -q "unknown option --frobnicate.*orvan-mkpatch $command --help" "$work/err" ||
        fail "$command --frobnicate: $(cat "$work/err")"
    done
    # The options the README and the scripts use are listed.
    for pair in "build old" "build new" "build records" "build out" "build stub" "build level" "build no-verify" \
                "inspect json" "xpd id" "xpd version" "xpd check-count"; do
      set -- $pair
      "$mkpatch" "$1" --help | grep -q "^  --$2\b" || fail "$1 --help does not list --$2"
    done
    run frobnicate
    [ "$code" -eq 2 ] && [ "$(wc -l <"$work/err")" -eq 1 ] || fail "an unknown command: exit $code, $(cat "$work/err")"
    run
    [ "$code" -eq 2 ] && [ "$(wc -l <"$work/err")" -eq 1 ] || fail "no command: exit $code, $(cat "$work/err")"
    ;;

  version)
    run --version
    [ "$code" -eq 0 ] || fail "--version: exit $code"
    # The builder's version, and the zstd and liblzma it compresses with, which decide the payload's bytes.
    zstd_version=$(pkg-config --modversion libzstd)
    lzma_version=$(pkg-config --modversion liblzma)
    expected="orvan-mkpatch $version (payload format 2, zstd $zstd_version, liblzma $lzma_version)"
    [ "$(cat "$work/out")" = "$expected" ] || fail "--version: '$(cat "$work/out")', not '$expected'"
    mkdir "$work/elsewhere"
    code=0
    (cd "$work/elsewhere" && "$updater" --version </dev/null >"$work/out" 2>"$work/err") || code=$?
    [ "$code" -eq 0 ] && [ ! -s "$work/err" ] || fail "orvan-update --version: exit $code, $(cat "$work/err")"
    [ "$(cat "$work/out")" = "orvan-update $version" ] || fail "orvan-update --version: $(cat "$work/out")"
    # None of the updater's own options holds the text of a switch, which anywhere in the
    # arguments would set it.
    "$updater" --help | grep -o -- '--[A-Za-z-]*' | sort -u > "$work/updater-options"
    grep -qx -- --version "$work/updater-options" || fail "orvan-updater --help does not list --version"
    if grep -qi 'skipversioncheck\|backup' "$work/updater-options"; then
      fail "an updater option holds a switch's text: $(cat "$work/updater-options")"
    fi
    ;;

  json)
    # Added, deleted, modified, unchanged and optional files; a name outside ASCII; records with
    # a quote, a backslash and a byte that is not UTF-8.
    mkdir -p "$work/old/Data" "$work/new/Data/Maps"
    head -c 200000 /dev/urandom > "$work/old/Data/Pack.dat"
    { head -c 100000 "$work/old/Data/Pack.dat"; head -c 3000 /dev/urandom; tail -c +103001 "$work/old/Data/Pack.dat"; } \
      > "$work/new/Data/Pack.dat"
    echo "isle 1.0" > "$work/old/isle.xpd"; echo "isle 1.1" > "$work/new/isle.xpd"
    echo "gone" > "$work/old/Data/old.map"
    echo "new map" > "$work/new/Data/Maps/Île.map"
    for t in old new; do echo "same" > "$work/$t/same.txt"; done
    printf '# a comment\nVersions,Orvan "Gold",Orvan.exe,1.1,1.2\nRegistry,Software\\Quillmer\\\xc9dition\n\nExpansion,Isles,7,1.0,xpd\n' \
      > "$work/records.txt"
    run build --old "$work/old" --new "$work/new" --records "$work/records.txt" --stub "$updater" --out "$work/updater"
    [ "$code" -eq 0 ] || fail "build: $(cat "$work/err")"
    run inspect --json "$work/updater"
    [ "$code" -eq 0 ] || fail "inspect --json: $(cat "$work/err")"
    python3 "$here/check_json_listing.py" "$work/out" "$work/updater" "$work/old" "$work/new" ||
      fail "inspect --json does not describe the updater"
    run inspect --json "$work/records.txt"
    one_line_error "inspect --json of a file without a payload"
    [ ! -s "$work/out" ] || fail "inspect --json printed something for a file without a payload"
    ;;

  *) fail "unknown case $case" ;;
esac
echo "mkpatch $case: ok"
