#!/usr/bin/env bash
# Builds vktcom and runs the whole test suite. With --sanitize, builds into
# build-asan with AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build
flags=()
if [ "${1:-}" = "--sanitize" ]; then
  build=build-asan
  flags=(-DVKTCOM_SANITIZE=ON -DVKTCOM_BUILD_BENCHMARKS=OFF)
fi
scripts/deps.sh
cmake -S . -B "$build" "${flags[@]}" >/dev/null
cmake --build "$build" -j"$(nproc)"
ctest --test-dir "$build" --output-on-failure -j2 --timeout 300
