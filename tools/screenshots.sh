#!/usr/bin/env bash
# Saves PNG screenshots of the main window (peer column hidden and shown, at the minimum
# size, in the user's own colours) and of every dialog, at normal size (96 dpi) and at
# double scale (QT_SCALE_FACTOR=2), so that anyone can review the look:
#
#   bash tools/screenshots.sh [FOLDER]        (default: screenshots/, then 1x/ and 2x/)
#
# With Xvfb installed the pictures come from a virtual X display with the openbox window
# manager (if installed), frames included; otherwise from Qt's offscreen platform.
set -euo pipefail
cd "$(dirname "$0")/.."
out="$(realpath -m "${1:-screenshots}")"
source tools/builds.sh
configure_build
cmake --build build --target tarnivel-screenshots
driver="$(pwd)/build/tarnivel-screenshots"

if command -v xvfb-run >/dev/null 2>&1; then
  export driver out
  xvfb-run -a -s "-screen 0 1600x1000x24 -dpi 96" bash -c '
    set -euo pipefail
    wm=""
    if command -v openbox >/dev/null 2>&1; then
      openbox >/dev/null 2>&1 & wm=$!
      sleep 1
    fi
    status=0
    QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR=1 "$driver" "$out/1x" || status=$?
    QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR=2 "$driver" "$out/2x" || status=$?
    if [ -n "$wm" ]; then kill "$wm" 2>/dev/null || true; fi
    exit $status'
else
  echo "xvfb-run not found: using the offscreen platform (no window frames)" >&2
  QT_QPA_PLATFORM=offscreen QT_SCALE_FACTOR=1 "$driver" "$out/1x"
  QT_QPA_PLATFORM=offscreen QT_SCALE_FACTOR=2 "$driver" "$out/2x"
fi
echo "Screenshots are in $out"
