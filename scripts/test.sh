#!/usr/bin/env bash
# Builds vktcom and runs the whole test suite. With --sanitize, builds into
# build-asan with Clang, AddressSanitizer and UndefinedBehaviorSanitizer, and
# builds the fuzz targets there too (scripts/fuzz.sh runs them).
set -euo pipefail
cd "$(dirname "$0")/.."
build=build
flags=()
if [ "${1:-}" = "--sanitize" ]; then
  build=build-asan
  flags=(-DVKTCOM_SANITIZE=ON -DVKTCOM_FUZZERS=ON -DVKTCOM_BUILD_BENCHMARKS=OFF)
  export CC=clang CXX=clang++
  # A folder configured with another compiler cannot switch to Clang.
  if [ -f "$build/CMakeCache.txt" ] && ! grep -q '^CMAKE_CXX_COMPILER:.*clang' "$build/CMakeCache.txt"; then
    rm -rf "$build"
  fi
fi
scripts/deps.sh
cmake -S . -B "$build" "${flags[@]}" >/dev/null
cmake --build "$build" -j"$(nproc)"
ctest --test-dir "$build" --output-on-failure -j2 --timeout 300
