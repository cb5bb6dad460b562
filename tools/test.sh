#!/usr/bin/env bash
# Set up, build and run the whole test suite headless: once built normally (build/), once
# built with clang, AddressSanitizer and UndefinedBehaviorSanitizer (build-asan/, leaks fail
# too), whose build also gives every libFuzzer target a short run. Exits non-zero when
# either fails. Each step's time is printed at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/builds.sh
times=()
step() { # step NAME COMMAND...: runs it and notes its wall-clock seconds
  local name="$1" start=$SECONDS
  shift
  "$@"
  times+=("$name $((SECONDS - start)) s")
}
step setup bash tools/install-deps.sh
step "configure" eval "configure_build && configure_sanitized"
step "build (normal)" cmake --build build
step "build (sanitized and fuzz)" cmake --build build-asan

export QT_QPA_PLATFORM=offscreen
failed=()
run_suite() { # run_suite LABEL FOLDER
  echo "== $1"
  ctest --test-dir "$2" --output-on-failure -j2 || failed+=("$1")
}
step "sanitized suite and fuzz runs" run_suite "sanitized build (with fuzz runs)" build-asan
step "normal suite" run_suite "normal build" build
echo "== time per step"
printf '  %s\n' "${times[@]}"
if [ "${#failed[@]}" -gt 0 ]; then
  echo "test.sh: failed: ${failed[*]}" >&2
  exit 1
fi
