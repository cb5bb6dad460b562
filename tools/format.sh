#!/usr/bin/env bash
# The C++ sources in the house style (.clang-format, clang-format 14 from Debian):
#
#   bash tools/format.sh           formats every tracked .cpp and .h in place
#   bash tools/format.sh --check   changes nothing; lists the files that differ and fails
#
# tools/test.sh runs the check first, so an unformatted change fails the test command.
set -euo pipefail
cd "$(dirname "$0")/.."
if ! command -v clang-format >/dev/null 2>&1; then
  echo "format.sh: clang-format is not installed (bash tools/install-deps.sh installs it)" >&2
  exit 2
fi
mapfile -t files < <(git ls-files '*.cpp' '*.h')
if [ "${1:-}" = "--check" ]; then
  # One run over every file; only when it finds something is each file asked on its own.
  clang-format --dry-run -Werror "${files[@]}" >/dev/null 2>&1 && exit 0
  unformatted=()
  for f in "${files[@]}"; do
    clang-format --dry-run -Werror "$f" >/dev/null 2>&1 || unformatted+=("$f")
  done
  if [ "${#unformatted[@]}" -gt 0 ]; then
    printf 'format.sh: not in the house style (bash tools/format.sh mends them):\n' >&2
    printf '  %s\n' "${unformatted[@]}" >&2
    exit 1
  fi
  exit 0
fi
clang-format -i "${files[@]}"
