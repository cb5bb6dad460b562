#!/usr/bin/env bash
# The test command: sets up, checks that the sources are in the house style (tools/format.sh),
# builds the program, the directory server and the suite (build/, g++, as shipped) and runs
# the whole suite headless; then builds the tests of the layers below the session (CTest
# label "unit") with clang, AddressSanitizer and UndefinedBehaviorSanitizer (build-asan/,
# leaks fail too) and runs them again there. .ci/run runs this first, then the rest of the
# sanitized suite and the fuzz targets in the same build-asan/. Exits non-zero when anything
# fails, the style check included (after everything else has run). Each step's time is
# printed at the end.
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
failed=()
step setup bash tools/install-deps.sh
step "format check" bash tools/format.sh --check || failed+=(format)
step "configure" eval "configure_build && configure_sanitized"
step "build (normal)" cmake --build build

export QT_QPA_PLATFORM=offscreen
echo "== normal build"
# The suite mostly waits on sockets, timers and child processes: four at a time on two cores.
step "normal suite" ctest --test-dir build --output-on-failure -j4 || failed+=(normal)
echo "== sanitized build, unit tests"
step "build (sanitized, unit tests)" cmake --build build-asan --target tarnivel_unit_tests || failed+=(sanitized-build)
step "sanitized unit tests" ctest --test-dir build-asan --output-on-failure -j2 -L unit || failed+=(sanitized)
echo "== time per step"
printf '  %s\n' "${times[@]}"
if [ "${#failed[@]}" -gt 0 ]; then
  echo "test.sh: failed: ${failed[*]}" >&2
  exit 1
fi
