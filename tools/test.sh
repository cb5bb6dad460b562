#!/usr/bin/env bash
# Set up, build and run the whole test suite headless: once as built normally, once with
# AddressSanitizer and UndefinedBehaviorSanitizer (leaks fail too), and the fuzz targets for
# a short run each. Exits non-zero when any of the three fails.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
jobs="$(nproc)"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARNIVEL_SANITIZE=ON >/dev/null
cmake --build build-asan -j"$jobs"
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARNIVEL_FUZZ=ON >/dev/null
cmake --build build-fuzz --target tarnivel_fuzzers -j"$jobs"

export QT_QPA_PLATFORM=offscreen
failed=()
echo "== fuzz targets, a short run each"
ctest --test-dir build-fuzz --output-on-failure -j2 || failed+=(fuzz)
echo "== sanitized build"
ctest --test-dir build-asan --output-on-failure -j2 || failed+=(sanitized)
echo "== normal build"
ctest --test-dir build --output-on-failure -j2 || failed+=(normal)
if [ "${#failed[@]}" -gt 0 ]; then
  echo "test.sh: failed: ${failed[*]}" >&2
  exit 1
fi
