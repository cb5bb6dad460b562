# Sourced by the tools/*.sh scripts, so that they all configure the two build folders alike
# (a folder configured otherwise would be rebuilt from scratch by the next script):
#   build/       g++, RelWithDebInfo: the program, the suite, the benchmarks, the packages;
#   build-asan/  clang with AddressSanitizer and UndefinedBehaviorSanitizer: the suite and the
#                libFuzzer targets, from one build (TARNIVEL_FUZZ).
# Both use Ninja. A folder made earlier with another generator or compiler starts afresh.

# configure_folder FOLDER COMPILER CMAKE-ARGUMENTS...
configure_folder() {
  local folder="$1" compiler="$2"
  shift 2
  local cache="$folder/CMakeCache.txt"
  if [ -f "$cache" ] && { ! grep -qx 'CMAKE_GENERATOR:INTERNAL=Ninja' "$cache" ||
                          ! grep -q "^CMAKE_CXX_COMPILER:[A-Z]*=.*/$compiler\$" "$cache"; }; then
    rm -rf "$cache" "$folder/CMakeFiles"
  fi
  cmake -S . -B "$folder" -G Ninja -DCMAKE_CXX_COMPILER="$compiler" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
}

configure_build() {
  configure_folder build g++
}

# -O1 and line tables (enough for the sanitizers' and the fuzzer's stack traces) compile
# much quicker than -O2 -g with the sanitizers' instrumentation.
configure_sanitized() {
  configure_folder build-asan clang++ -DTARNIVEL_FUZZ=ON "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -gline-tables-only -DNDEBUG"
}
