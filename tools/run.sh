#!/usr/bin/env bash
# Set up, build and launch tarnivel. Extra arguments go to the program (an address, or /L).
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
source tools/builds.sh
configure_build
cmake --build build --target tarnivel
exec ./build/tarnivel "$@"
