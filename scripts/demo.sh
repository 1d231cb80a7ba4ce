#!/usr/bin/env bash
# The main job against the simulated board: start q47sim, then acquire the board's sheet
# through the TWAIN data source into out/ (or, while a piece is missing, say what exists).
set -euo pipefail
build=${1:?build dir}
out=${2:?output dir}
bin=$build/bin
work=$(mktemp -d)
trap 'kill "${sim_pid:-}" 2>/dev/null || true; rm -rf "$work"' EXIT

if [ ! -x "$bin/q47sim" ]; then
  echo "demo: the board simulator is not built; built programs: $(ls "$bin" 2>/dev/null | tr '\n' ' ')"
  exit 1
fi
sock=$work/board.sock
"$bin/q47sim" --socket "$sock" --colour --scan-ms 1500 >/dev/null &
sim_pid=$!
for _ in $(seq 50); do [ -S "$sock" ] && break; sleep 0.1; done
export Q47_DEVICE=sim:$sock
export Q47_HOME=$work/home
export TWAIN_DS_DIR=$build/lib/twain

if [ -x "$bin/q47scan" ] && [ -n "$(find "$TWAIN_DS_DIR" -name "*.ds" -type f 2>/dev/null)" ]; then
  ui=progress
  [ -n "${DISPLAY:-}" ] || { ui=none; export QT_QPA_PLATFORM=offscreen; }
  "$bin/q47scan" --ui "$ui" --xfer native --out "$out/sheet.png"
  echo "demo: the simulated board's sheet was acquired through TWAIN ($ui mode, native"
  echo "      transfer) into $out/sheet.png"
else
  echo "demo: the TWAIN data source or q47scan is not built yet; the simulator ran at $sock"
fi
