#!/usr/bin/env bash
# Sets up a Debian 12 machine, builds the software and runs the main job against the
# simulated board: a capture when the capture program is built, else a scan of the board
# through the TWAIN data source to a file, else the simulator's own self-check.
#
# It builds in build/, the folder "Building by hand" uses, with the same settings (tests
# stay switched on, so a later hand build or ctest finds them), but only the programs
# the job runs. The compiler's output goes to a log file; on failure its end is shown.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${Q47_BUILD_DIR:-$top/build}
out=${Q47_OUT_DIR:-$top/out}
log=$build/run-build.log
# What the main job may run, as far as it is built so far (scripts/demo.sh uses them).
wanted=(q47sim Q47tw q47twaindsm q47scan slatewise)

step() {
  if ! "$@" >>"$log" 2>&1; then
    tail -n 30 "$log" >&2
    echo "run: failed: $*; the whole log is $log" >&2
    exit 1
  fi
}

bash "$top/scripts/install-deps.sh"
mkdir -p "$build" "$out"
: >"$log"
echo "run: building in $build (log: $log)"
step cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=ON
known=$(cmake --build "$build" --target help 2>/dev/null || true)
targets=()
for t in "${wanted[@]}"; do
  grep -qE "(^|[ .])$t([: ]|$)" <<<"$known" && targets+=("$t")
done
step cmake --build "$build" -j"$(nproc)" --target "${targets[@]}"
echo "run: built ${targets[*]} (Release)"
exec bash "$top/scripts/demo.sh" "$build" "$out"
