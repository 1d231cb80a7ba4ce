#!/usr/bin/env bash
# Sets up a Debian 12 machine, builds the software and runs the main job against the
# simulated board: a capture when the capture program is built, else a scan of the board
# through the TWAIN data source to a file, else the simulator's own self-check.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${Q47_BUILD_DIR:-$top/build}
out=${Q47_OUT_DIR:-$top/out}
bash "$top/scripts/install-deps.sh"
cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=Release -DQ47_BENCH=OFF -DBUILD_TESTING=OFF
cmake --build "$build" -j"$(nproc)"
mkdir -p "$out"
exec bash "$top/scripts/demo.sh" "$build" "$out"
