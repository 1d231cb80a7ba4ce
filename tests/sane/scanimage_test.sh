#!/usr/bin/env bash
# scanimage and saned with the built backend against the simulator: the device list, the
# same pixels as the TWAIN data source gives q47scan in both modes, board errors, a board
# held by another program, no board, and the whole again through saned and the net backend.
set -euo pipefail
sim=$1 q47scan=$2 backend_dir=$3 ds_dir=$4 shim=$5 asan=$6 saned=$7

work=$(mktemp -d /tmp/q47sane-XXXXXX)
sim_pid="" saned_pid="" holder_pid="" xvfb_pid=""
cleanup() {
  local rc=$?
  set +e
  for pid in "$holder_pid" "$xvfb_pid" "$sim_pid"; do
    [ -n "$pid" ] && { kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; }
  done
  # saned leads a process group of its own (it forks per client).
  [ -n "$saned_pid" ] && { kill -- "-$saned_pid" 2>/dev/null; wait "$saned_pid" 2>/dev/null; }
  rm -rf "$work"
  exit "$rc"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

sock=$work/board.sock ctl=$work/control.sock
export Q47_HOME=$work/home
unset Q47_DEVICE
mkdir -p "$work/conf" "$work/client" "$Q47_HOME"
echo q47 > "$work/conf/dll.conf"
echo "sim:$sock" > "$work/conf/q47.conf"
echo net > "$work/client/dll.conf"
echo 127.0.0.1 > "$work/client/net.conf"

# Programs that are not ours: the sanitizer runtime preloaded for our backend inside
# them, their own leaks not counted.
foreign() {
  env ${asan:+LD_PRELOAD="$asan"} ASAN_OPTIONS="${ASAN_OPTIONS:-}:detect_leaks=0" \
    LD_LIBRARY_PATH="$backend_dir" "$@"
}
scan_local() { SANE_CONFIG_DIR=$work/conf foreign scanimage "$@"; }
# The client side loads only the net backend: none of our code, no sanitizer runtime.
scan_net() {
  env SANE_CONFIG_DIR="$work/client" Q47_TEST_SANE_PORT="$port" \
    LD_PRELOAD="$shim" scanimage "$@"
}
twain_scan() {
  Q47_DEVICE=sim:$sock TWAIN_DS_DIR=$ds_dir QT_QPA_PLATFORM=offscreen "$q47scan" "$@"
}
tell() { "$sim" --tell "$ctl" "$@" > /dev/null; }
same_pixels() {
  local d
  d=$(compare -metric AE "$1" "$2" null: 2>&1) || true
  [ "$d" = 0 ] || fail "$1 and $2 differ ($d)"
}
differ() {
  local d
  d=$(compare -metric AE "$1" "$2" null: 2>&1) || true
  [ "$d" != 0 ] || fail "$1 and $2 are the same picture"
}
wait_for() {  # wait_for COMMAND...: up to 10 s
  for _ in $(seq 200); do "$@" && return 0; sleep 0.05; done
  return 1
}

"$sim" --socket "$sock" --control "$ctl" --scan-polls 1 --scan-lines 4096 --line-pixels 160 \
  > "$work/sim.log" 2>&1 &
sim_pid=$!
wait_for test -S "$ctl" || fail "the simulator did not start"

echo "== scanimage -L"
scan_local -L > "$work/list.txt"
grep -qF "device \`q47:sim:$sock' is a ZELT Q-47W whiteboard scanner" "$work/list.txt" ||
  { cat "$work/list.txt"; fail "scanimage -L does not list the board"; }

echo "== Color: scanimage and q47scan (native transfer)"
scan_local -d "q47:sim:$sock" --mode Color --format=png -o "$work/sane-color.png"
twain_scan --xfer native --out "$work/twain-color.png"
same_pixels "$work/sane-color.png" "$work/twain-color.png"

echo "== Gray: scanimage darkens the COLOR lamp; q47scan without user interface keeps it"
scan_local -d "q47:sim:$sock" --mode Gray --format=png -o "$work/sane-gray.png"
twain_scan --ui none --xfer native --out "$work/twain-gray.png"
same_pixels "$work/sane-gray.png" "$work/twain-gray.png"
differ "$work/sane-gray.png" "$work/sane-color.png"
file "$work/sane-gray.png" | grep -q grayscale || fail "Gray is not a grey PNG"

echo "== board error E1"
tell error 1
if scan_local -d "q47:sim:$sock" --format=png -o "$work/e1.png" 2> "$work/e1.txt"; then
  fail "a scan with board error E1 succeeded"
fi
grep -qF "(E1 ERROR)Printer error." "$work/e1.txt" || { cat "$work/e1.txt"; fail "no E1 text"; }
grep -qF "Error during device I/O" "$work/e1.txt" || { cat "$work/e1.txt"; fail "no I/O error status"; }
tell error 0

echo "== board held by another program"
# The data source's full panel keeps the board open until it is closed. The panel needs a
# display a person could use (q47scan refuses --ui full without one), so it gets an X
# server of its own.
Xvfb -displayfd 3 -nolisten tcp -screen 0 1024x768x24 3> "$work/xdisplay" 2> "$work/xvfb.log" &
xvfb_pid=$!
wait_for test -s "$work/xdisplay" || { cat "$work/xvfb.log"; fail "Xvfb did not start"; }
env DISPLAY=":$(cat "$work/xdisplay")" QT_QPA_PLATFORM=xcb Q47_DEVICE="sim:$sock" \
  TWAIN_DS_DIR="$ds_dir" "$q47scan" --ui full --timeout 60 --out "$work/held.png" \
  > "$work/holder.log" 2>&1 &
holder_pid=$!
wait_for sh -c "'$sim' --tell '$ctl' status | grep -q 'client 1'" ||
  { cat "$work/holder.log"; fail "q47scan did not open the board"; }
if scan_local -d "q47:sim:$sock" --format=png -o "$work/busy.png" 2> "$work/busy.txt"; then
  fail "a scan of a board held elsewhere succeeded"
fi
grep -qF "Device busy" "$work/busy.txt" || { cat "$work/busy.txt"; fail "not Device busy"; }
kill "$holder_pid"; wait "$holder_pid" 2>/dev/null || true; holder_pid=""
wait_for sh -c "'$sim' --tell '$ctl' status | grep -q 'client 0'" || fail "the board stayed held"

echo "== no board"
if scan_local -d "q47:sim:$work/none.sock" --format=png -o "$work/none.png" 2> "$work/none.txt"; then
  fail "a scan without a board succeeded"
fi
grep -qF "USB could not be opened !" "$work/none.txt" || { cat "$work/none.txt"; fail "no message"; }
grep -qF "Error during device I/O" "$work/none.txt" || { cat "$work/none.txt"; fail "not an I/O error"; }

echo "== saned on 127.0.0.1 and the net backend"
# Port 0: saned picks a free port and logs it (from debug level 5).
setsid env ${asan:+LD_PRELOAD="$asan"} ASAN_OPTIONS="${ASAN_OPTIONS:-}:detect_leaks=0" \
  LD_LIBRARY_PATH="$backend_dir" SANE_CONFIG_DIR="$work/conf" SANE_DEBUG_Q47=4 \
  "$saned" -l -p 0 -b 127.0.0.1 -e -d 5 > "$work/saned.log" 2>&1 &
saned_pid=$!
wait_for grep -q "selected ephemeral port" "$work/saned.log" || { cat "$work/saned.log"; fail "saned did not listen"; }
port=$(sed -n 's/.*selected ephemeral port: \([0-9]*\).*/\1/p' "$work/saned.log" | head -1)
scan_net -L > "$work/netlist.txt"
grep -qF "device \`net:127.0.0.1:q47:sim:$sock' is a ZELT Q-47W whiteboard scanner" "$work/netlist.txt" ||
  { cat "$work/netlist.txt" "$work/saned.log"; fail "the net backend does not list the board"; }
scan_net -d "net:127.0.0.1:q47:sim:$sock" --mode Color --format=png -o "$work/net-color.png"
same_pixels "$work/net-color.png" "$work/twain-color.png"
scan_net -d "net:127.0.0.1:q47:sim:$sock" --mode Gray --format=png -o "$work/net-gray.png"
same_pixels "$work/net-gray.png" "$work/twain-gray.png"
echo "all passed"
