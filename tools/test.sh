#!/usr/bin/env bash
# Set up, build and run the whole test suite headless: once built normally (build/), once
# built with clang, AddressSanitizer and UndefinedBehaviorSanitizer (build-asan/, leaks fail
# too), whose build also gives every libFuzzer target a short run. Exits non-zero when
# either fails. Each step's time is printed at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/builds.sh
times=()
step() { # step NAME COMMAND...: runs it, notes its wall-clock seconds, returns its status
  local name="$1" start=$SECONDS status=0
  shift
  "$@" || status=$?
  times+=("$name $((SECONDS - start)) s")
  return "$status"
}
step setup bash tools/install-deps.sh
step "configure" eval "configure_build && configure_sanitized"
step "build (normal)" cmake --build build
step "build (sanitized and fuzz)" cmake --build build-asan

export QT_QPA_PLATFORM=offscreen
failed=()
echo "== sanitized build (with fuzz runs)"
step "sanitized suite and fuzz runs" ctest --test-dir build-asan --output-on-failure -j2 || failed+=(sanitized)
echo "== normal build"
step "normal suite" ctest --test-dir build --output-on-failure -j2 || failed+=(normal)
echo "== time per step"
printf '  %s\n' "${times[@]}"
if [ "${#failed[@]}" -gt 0 ]; then
  echo "test.sh: failed: ${failed[*]}" >&2
  exit 1
fi
