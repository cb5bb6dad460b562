#!/usr/bin/env bash
# Puts faults into the code on purpose, one at a time, and runs the tests that should catch
# each: a fault the tests let through marks a rule no test row covers.
#
#   tools/mutants.sh [SOURCE-TREE [BUILD-FOLDER [LIST]]]
#
# SOURCE-TREE is changed in place and put back after each fault: use a copy
# (git archive HEAD | tar -x -C /tmp/copy). The build folder is configured there on first use
# (no unity batches, so a fault recompiles one file). LIST (tools/mutants.list by default)
# holds one fault a line, fields separated by tabs:
#   file    text as it is    text put in its place    test[:function,...] ...
# The text must occur exactly once in the file; ⏎ in the two texts stands for a line end,
# and ∅ alone for nothing (the text is deleted). Prints one line per fault and the count
# caught; exits non-zero if a fault could not be applied. Only faults listed after the
# optional FIRST (a number) are tried when MUTANTS_FROM=FIRST is set, and only those whose
# numbers are listed in MUTANTS_ONLY (blank-separated) when that is set.
set -uo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
tree="$(cd "${1:-.}" && pwd)"
build="${2:-$tree/build-mutants}"
list="${3:-$here/mutants.list}"
export QT_QPA_PLATFORM=offscreen
export TARNIVEL_DIRECTORY="$build/tarnivel-directory" TARNIVEL_EXECUTABLE="$build/tarnivel"

if [ ! -f "$build/build.ninja" ]; then
  CMAKE_CXX_COMPILER_LAUNCHER=ccache cmake -S "$tree" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g0 -DNDEBUG" -DTARNIVEL_UNITY_BUILD=OFF >/dev/null || exit 2
fi

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
  if ! replace "$tree/$file" "$from" "$to"; then
    echo "not applied  #$number $file"
    failed=$((failed + 1))
    rm -f "$tree/$file.orig"
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
  mv "$tree/$file.orig" "$tree/$file"
  touch "$tree/$file" # newer than the fault's objects, so the next build recompiles it
done <"$list"
# Back to the code as it is.
cmake --build "$build" --target tarnivel-directory >/dev/null 2>&1
echo "caught $caught of $total"
[ "$failed" -eq 0 ]
