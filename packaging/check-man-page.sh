#!/bin/sh
# Fails when man, with its warnings on, has anything to say about the page.
# Usage: check-man-page.sh MAN PAGE
set -eu
man="$1" page="$2"
out="$(LC_ALL=C.UTF-8 MANWIDTH=80 "$man" --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null)"
if [ -n "$out" ]; then
  printf '%s\n' "$out" >&2
  exit 1
fi
echo "$page: no warnings"
