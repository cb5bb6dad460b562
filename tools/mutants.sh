#!/usr/bin/env bash
# Puts faults into the code on purpose, one at a time, and runs the tests that should catch
# each: a fault the tests let through marks a rule no test row covers. Two sources of faults:
#
#   tools/mutants.sh --base REV [--max N] [--seed S] [--show]
#   tools/mutants.sh --paths DIR... [--max N] [--seed S] [--show]
#   tools/mutants.sh --check-map
#
# makes faults nobody picked (tools/mutants.py): fixed operators applied to the lines of src/
# and server/src/ that the working tree adds or changes since REV, or to every line of the
# folders given. More than N (40) are sampled with a seed it prints. Each is tried against
# the test programs tools/mutants.map names for its file; survivors known to change nothing
# are listed in tools/mutants.equivalent. --check-map checks the map against the tests, and
# that every recorded equivalent is still made from the code as it is.
#
#   tools/mutants.sh [--list] [SOURCE-TREE [BUILD-FOLDER [LIST]]]
#
# tries the hand-written faults of LIST (tools/mutants.list by default), one a line, fields
# separated by tabs:
#   file    text as it is    text put in its place    test[:function,...] ...
# The text must occur exactly once in the file; ⏎ in the two texts stands for a line end,
# and ∅ alone for nothing (the text is deleted). Prints one line per fault and the count
# caught; exits non-zero if a fault could not be applied. Only faults listed after the
# optional FIRST (a number) are tried when MUTANTS_FROM=FIRST is set, and only those whose
# numbers are listed in MUTANTS_ONLY (blank-separated) when that is set.
#
# Both change the source tree (this checkout, or SOURCE-TREE) in place and put each file back
# after its fault, also when stopped (Ctrl+C, an error). They build in BUILD-FOLDER
# (build-mutants in the tree): no unity batches, so a fault recompiles one file.
set -uo pipefail
here="$(cd "$(dirname "$0")" && pwd)"

# configure_mutants TREE BUILD: configured once; again when ccache came or went.
configure_mutants() {
  local launcher=""
  command -v ccache >/dev/null && launcher=ccache
  if [ -f "$2/build.ninja" ] &&
     grep -qx "CMAKE_CXX_COMPILER_LAUNCHER:[A-Z]*=$launcher" "$2/CMakeCache.txt" 2>/dev/null; then
    return 0
  fi
  cmake -S "$1" -B "$2" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER_LAUNCHER="$launcher" \
    "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g0 -DNDEBUG" -DTARNIVEL_UNITY_BUILD=OFF >/dev/null
}

generated=""
for ((i = 1; i <= $#; i++)); do
  case "${!i}" in
    --check-map) exec python3 "$here/mutants.py" "$@" ;;
    --base | --base=* | --paths) generated=yes ;;
  esac
done
if [ -n "$generated" ]; then
  tree="$(cd "$here/.." && pwd)" build=""
  for ((i = 1; i < $#; i++)); do
    j=$((i + 1))
    case "${!i}" in
      --tree) tree="$(cd "${!j}" && pwd)" ;;
      --build) build="${!j}" ;;
    esac
  done
  build="${build:-$tree/build-mutants}"
  configure_mutants "$tree" "$build" || exit 2
  exec python3 "$here/mutants.py" "$@" --tree "$tree" --build "$build"
fi
[ "${1:-}" = --list ] && shift

tree="$(cd "${1:-.}" && pwd)"
build="${2:-$tree/build-mutants}"
list="${3:-$here/mutants.list}"
export QT_QPA_PLATFORM=offscreen
export TARNIVEL_DIRECTORY="$build/tarnivel-directory" TARNIVEL_EXECUTABLE="$build/tarnivel"
configure_mutants "$tree" "$build" || exit 2

# The file holding a fault goes back as it was, however the script ends.
current=""
put_back() {
  if [ -n "$current" ] && [ -f "$current.orig" ]; then
    mv "$current.orig" "$current"
    touch "$current" # newer than the fault's objects, so the next build recompiles it
  fi
  current=""
}
trap put_back EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# replace FILE FROM TO: exactly one occurrence, or fails.
replace() {
  python3 - "$@" <<'PY'
import sys
path, old, new = sys.argv[1], sys.argv[2], sys.argv[3]
unescape = lambda s: '' if s == '∅' else s.replace('⏎', '\n')
old, new = unescape(old), unescape(new)
text = open(path, encoding='utf-8').read()
if text.count(old) != 1:
    sys.exit(f"{path}: found {text.count(old)} times: {old!r}")
open(path, 'w', encoding='utf-8').write(text.replace(old, new))
PY
}

# run_tests TEST...: 0 when every one passes.
run_tests() {
  local wanted binary functions
  for wanted in "$@"; do
    binary="${wanted%%:*}"
    functions=()
    [ "$wanted" != "$binary" ] && IFS=, read -r -a functions <<<"${wanted#*:}"
    binary="$build/$binary" # every program lands in the build folder itself
    timeout 300 "$binary" "${functions[@]}" </dev/null >/dev/null 2>&1 || return 1
  done
}

total=0 caught=0 failed=0 number=0
while IFS=$'\t' read -r file from to tests; do
  [ -z "$file" ] || [ "${file:0:1}" = "#" ] && continue
  number=$((number + 1))
  if [ -n "${MUTANTS_ONLY:-}" ] && [[ " $MUTANTS_ONLY " != *" $number "* ]]; then continue; fi
  if [ "$number" -lt "${MUTANTS_FROM:-1}" ]; then continue; fi
  read -r -a testList <<<"$tests"
  targets=()
  for wanted in "${testList[@]}"; do targets+=("${wanted%%:*}"); done
  cp "$tree/$file" "$tree/$file.orig"
  current="$tree/$file"
  if ! replace "$tree/$file" "$from" "$to"; then
    echo "not applied  #$number $file"
    failed=$((failed + 1))
    put_back
    continue
  fi
  if ! cmake --build "$build" --target "${targets[@]}" tarnivel-directory </dev/null >"$build/mutant-$number.log" 2>&1; then
    echo "no build     #$number $file: $from"
  else
    total=$((total + 1))
    if run_tests "${testList[@]}"; then
      echo "MISSED       #$number $file: $from -> $to"
    else
      caught=$((caught + 1))
      echo "caught       #$number $file: $from -> $to"
    fi
  fi
  put_back
done <"$list"
# Back to the code as it is.
cmake --build "$build" --target tarnivel-directory >/dev/null 2>&1
echo "caught $caught of $total"
[ "$failed" -eq 0 ]
