#!/usr/bin/env bash
# Build the fuzz targets (clang, libFuzzer, sanitizers) in build-asan, the sanitized build,
# and run each for a while, starting from its seeds in fuzz/corpus/<target>/ (with
# fuzz/<target>.dict as its dictionary where there is one). Inputs that crash land in
# build-asan/fuzz/artifacts/.
# Usage: tools/fuzz.sh [seconds per target, default 60] [target...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
shift || true
source tools/builds.sh
configure_sanitized
cmake --build build-asan --target tarnivel_fuzzers

export QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
targets=("$@")
if [ "${#targets[@]}" -eq 0 ]; then
  for seeds in fuzz/corpus/*/; do targets+=("$(basename "$seeds")"); done
fi
failed=()
for target in "${targets[@]}"; do
  work="build-asan/fuzz/corpus/$target"
  log="build-asan/fuzz/$target.log"
  mkdir -p "$work" build-asan/fuzz/artifacts
  dictionary=()
  [ -f "fuzz/$target.dict" ] && dictionary=(-dict="fuzz/$target.dict")
  echo "== $target: ${seconds} s"
  if "build-asan/$target" -max_total_time="$seconds" -timeout=60 -print_final_stats=1 "${dictionary[@]}" \
       -artifact_prefix="build-asan/fuzz/artifacts/$target-" "$work" "fuzz/corpus/$target" >"$log" 2>&1; then
    grep -E '^#[0-9]+[[:space:]]+DONE' "$log" || true
  else
    failed+=("$target")
    grep -E 'ERROR|SUMMARY|fuzz_[a-z]+:|Test unit written' "$log" || tail -20 "$log"
  fi
done
if [ "${#failed[@]}" -gt 0 ]; then
  echo "fuzz: failed: ${failed[*]} (logs in build-asan/fuzz/)" >&2
  exit 1
fi
