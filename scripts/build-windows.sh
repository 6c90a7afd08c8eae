#!/usr/bin/env bash
# Builds vktcom.dll for 32-bit Windows hosts into build-win32/ with the
# MinGW-w64 cross compiler (installed from Debian when missing), then checks
# the DLL: its export table against the fixed table of names and ordinals,
# and its imports (Windows system DLLs only).
# With --no-tests the cross-compiled test programs are not built.
set -euo pipefail
cd "$(dirname "$0")/.."
tests=ON
if [ "${1:-}" = "--no-tests" ]; then tests=OFF; fi

apt_update() {
  # One index of a mirror may fail to download while the rest is fine: retry,
  # then go on with what apt has.
  for _ in 1 2 3; do
    apt-get update && return 0
    sleep 5
  done
  echo "apt-get update reported errors; going on with the indexes at hand" >&2
}

need=()
command -v i686-w64-mingw32-g++-posix >/dev/null || need+=(g++-mingw-w64-i686-posix)
command -v i686-w64-mingw32-objdump >/dev/null || need+=(binutils-mingw-w64-i686)
[ -f /usr/src/googletest/CMakeLists.txt ] || need+=(googletest)
command -v cmake >/dev/null || need+=(cmake)
command -v python3 >/dev/null || need+=(python3)
if [ ${#need[@]} -gt 0 ]; then
  if [ "$(id -u)" != 0 ]; then
    echo "missing: ${need[*]} (install them as root)" >&2
    exit 1
  fi
  apt_update
  DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${need[@]}"
fi

cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-mingw.cmake \
  -DCMAKE_BUILD_TYPE=Release -DVKTCOM_BUILD_TESTS=$tests >/dev/null
cmake --build build-win32 -j"$(nproc)"
python3 scripts/check-exports.py build-win32/vktcom.dll
