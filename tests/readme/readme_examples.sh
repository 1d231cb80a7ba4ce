#!/usr/bin/env bash
# Runs every command block of the README that follows the line
# "<!-- example: run by tests -->", exactly as written, in a fresh folder where build/
# is this build tree: the environment of a user who has just built by hand (no
# TWAIN_DS_DIR, no Q47_DEVICE, no display, no runtime folder).
set -euo pipefail
readme=${1:?README.md}
build=$(cd "${2:?build dir}" && pwd)
work=$(mktemp -d)
cleanup() {
  # A block that failed half-way may have left its simulator running.
  for control in "$work"/*control*.sock; do
    [ -S "$control" ] && "$build/bin/q47sim" --tell "$control" quit >/dev/null 2>&1 || true
  done
  rm -rf "$work"
}
trap cleanup EXIT

ln -s "$build" "$work/build"
mkdir "$work/home"
blocks=$(awk -v dir="$work" '
  /<!-- example: run by tests -->/ { armed = 1; next }
  armed && /^```sh/ { n++; file = dir "/block" n ".sh"; inside = 1; armed = 0; next }
  inside && /^```/ { inside = 0; close(file); next }
  inside { print > file }
  END { print n + 0 }' "$readme")
if [ "$blocks" -eq 0 ]; then
  echo "readme: no block marked \"example: run by tests\" in $readme" >&2
  exit 1
fi

status=0
for ((i = 1; i <= blocks; i++)); do
  echo "--- block $i:"
  cat "$work/block$i.sh"
  if ! (cd "$work" && env -u TWAIN_DS_DIR -u Q47_DEVICE -u Q47_HOME -u DISPLAY -u WAYLAND_DISPLAY \
          -u XDG_RUNTIME_DIR -u XDG_CONFIG_HOME -u QT_QPA_PLATFORM HOME="$work/home" \
          bash -e "block$i.sh" >"out$i.txt" 2>"err$i.txt"); then
    echo "readme: block $i failed" >&2
    status=1
  fi
  echo "--- its output:"
  cat "$work/out$i.txt" "$work/err$i.txt"
  # A normal run says what it does and nothing of Qt's internals.
  if grep -E "XDG_RUNTIME_DIR|propagateSizeHints|^QStandardPaths|^qt\." "$work/err$i.txt"; then
    echo "readme: block $i printed Qt's internal messages" >&2
    status=1
  fi
done

# The simulator example scans the board into sheet.png.
if [ ! -f "$work/sheet.png" ] || [ "$(head -c 8 "$work/sheet.png" | od -An -tx1 | tr -d ' \n')" != 89504e470d0a1a0a ]; then
  echo "readme: the examples left no PNG image sheet.png" >&2
  status=1
fi
exit $status
