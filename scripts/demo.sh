#!/usr/bin/env bash
# The main job against the simulated board: start q47sim, then run slatewise on it. With a
# display the bar comes up for the user; without one slatewise runs under a private X
# server with two monitors and makes one capture: the composite and the sheet land in
# out/. Should slatewise be missing or fail, the board's sheet is acquired through the
# TWAIN data source into out/ instead (or, while a piece is missing, it says what exists).
set -euo pipefail
build=${1:?build dir}
out=${2:?output dir}
bin=$build/bin
work=$(mktemp -d)
trap 'kill "${sim_pid:-}" "${picture_pid:-}" "${xvfb_pid:-}" 2>/dev/null || true; rm -rf "$work"' EXIT

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

# slatewise's settings for the demo: English, the projector is the second monitor, red marks
# (the simulated sheet carries four red dots).
prepare_slatewise() {
  mkdir -p "$Q47_HOME"
  local ini=$build/../capture/Loc/ENG/SlateWise.ini
  [ -f "$ini" ] || ini=$(dirname "$0")/../capture/Loc/ENG/SlateWise.ini
  sed -e 's/^SelectMonitor=.*/SelectMonitor=1/' -e 's/^SelectMark=.*/SelectMark=1/' "$ini" >"$Q47_HOME/SlateWise.ini"
}

# A private X server with two 1280x1024 monitors side by side; sets DISPLAY.
start_private_x() {
  [ -x /usr/bin/Xvfb ] && [ -x /usr/bin/xrandr ] || return 1
  exec 9>"$work/display"
  Xvfb -displayfd 9 -screen 0 2560x1024x24 -nolisten tcp -noreset 2>/dev/null &
  xvfb_pid=$!
  for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
  [ -s "$work/display" ] || return 1
  export DISPLAY=:$(head -n1 "$work/display")
  xrandr --setmonitor '*LEFT' 1280/338x1024/270+0+0 screen >/dev/null 2>&1 &&
    xrandr --setmonitor RIGHT 1280/338x1024/270+1280+0 none >/dev/null 2>&1
}

# Something on the projector monitor, so that the capture has a picture to lay into the
# sheet (an empty X server shows black): a gradient with a disc, shown by ImageMagick.
show_projected_picture() {
  command -v convert >/dev/null && command -v display >/dev/null || return 0
  convert -size 1280x1024 gradient:'#1e50b4'-'#f0c828' -fill '#ffffff' \
    -draw 'circle 640,512 640,262' -fill '#c81e1e' -draw 'rectangle 160,160 480,400' \
    "$work/projected.png" 2>/dev/null || return 0
  display -geometry +1280+0 -immutable "$work/projected.png" 2>/dev/null &
  picture_pid=$!
  sleep 1  # let it be mapped and drawn before the capture copies the monitor
}

if [ -x "$bin/slatewise" ] && [ -n "$(find "$TWAIN_DS_DIR" -name "*.ds" -type f 2>/dev/null)" ]; then
  prepare_slatewise
  export QT_QPA_PLATFORM=xcb
  if [ -n "${DISPLAY:-}" ]; then
    echo "demo: slatewise runs on your display against the simulated board ($sock);"
    echo "      end it with its close button. Captures are saved where you choose."
    if "$bin/slatewise"; then exit 0; fi
    echo "demo: slatewise did not run; acquiring through TWAIN instead"
  elif start_private_x; then
    show_projected_picture
    if timeout 300 "$bin/slatewise" --capture-to "$out" >"$work/slatewise.log" 2>&1; then
      echo "demo: slatewise ran under a private X server with two monitors and made one capture:"
      echo "      the projector monitor laid into the scanned sheet: $out/composite.JPG"
      echo "      the sheet alone:                                   $out/sheet.PNG"
      exit 0
    fi
    echo "demo: the slatewise capture did not complete ($(tail -n 3 "$work/slatewise.log" | tr '\n' ' '));"
    echo "      acquiring through TWAIN instead"
  fi
  unset QT_QPA_PLATFORM
fi

if [ -x "$bin/q47scan" ] && [ -n "$(find "$TWAIN_DS_DIR" -name "*.ds" -type f 2>/dev/null)" ]; then
  ui=progress
  [ -n "${DISPLAY:-}" ] || { ui=none; export QT_QPA_PLATFORM=offscreen; }
  "$bin/q47scan" --ui "$ui" --xfer native --out "$out/sheet.png"
  echo "demo: the simulated board's sheet was acquired through TWAIN ($ui mode, native"
  echo "      transfer) into $out/sheet.png"
else
  echo "demo: the TWAIN data source or q47scan is not built yet; the simulator ran at $sock"
fi
