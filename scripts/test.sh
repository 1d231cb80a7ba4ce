#!/usr/bin/env bash
# Sets up a Debian 12 machine, builds everything with clang under AddressSanitizer and
# UndefinedBehaviorSanitizer (fuzz targets included), and runs the whole test suite.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${Q47_BUILD_DIR:-$top/build-test}
bash "$top/scripts/install-deps.sh"
cmake -S "$top" -B "$build" -G "Unix Makefiles" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DQ47_SANITIZE=ON -DQ47_FUZZ=ON -DQ47_BENCH=ON
cmake --build "$build" -j"$(nproc)"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$top/scripts/lsan.supp:print_suppressions=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
cd "$build"
ctest --output-on-failure -j"$(nproc)" --timeout 900
