#!/usr/bin/env bash
# Set up, build and launch tarnivel. Extra arguments go to the program (an address, or /L).
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target tarnivel
exec ./build/tarnivel "$@"
