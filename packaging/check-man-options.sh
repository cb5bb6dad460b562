#!/bin/sh
# Fails when an option that PROGRAM --help lists has no entry (*--option*) in the manual
# page source. Usage: check-man-options.sh PROGRAM PAGE.scd
set -eu
program="$1" source="$2"
help="$("$program" --help)"
# An option line starts with blanks and "-"; its first column ends at the first two blanks.
options="$(printf '%s\n' "$help" | sed -n 's/^ \{1,\}\(-[^ ].*\)/\1/p' | sed 's/  .*//' |
  grep -o -- '--[a-z][a-z0-9-]*' | sort -u)"
[ -n "$options" ] || { echo "no options found in $program --help" >&2; exit 1; }
missing=""
for option in $options; do
  grep -q -- "\*$option\*" "$source" || missing="$missing $option"
done
if [ -n "$missing" ]; then
  echo "$source has no entry for:$missing" >&2
  exit 1
fi
echo "$(printf '%s\n' "$options" | wc -l) options of $(basename "$program") --help are in $(basename "$source")"
