#!/usr/bin/env bash
# Builds vktcom.dll with the MinGW-w64 cross compilers (installed from Debian
# when missing): the 32-bit DLL for the 32-bit hosts into build-win32/ and
# the 64-bit DLL for 64-bit hosts into build-win64/. Then checks each DLL:
#   - its export table against the fixed table of names and ordinals, and
#     its imports (Windows system DLLs only): scripts/check-exports.py;
#   - the 32-bit DLL's calling convention from its code: every return of
#     every exported function removes exactly its arguments' bytes
#     (scripts/check-stdcall.py), and a fixture DLL with a cdecl export is
#     refused by the same check.
#
#   scripts/build-windows.sh [--no-tests] [x86|x64]...
# With no architecture named, builds both. The cross-compiled test programs
# are built for x64, and for x86 only where this machine starts a 32-bit
# program (they could not run otherwise); --no-tests builds the DLLs alone.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib-windows-wine.sh
tests=ON
arches=()
for arg in "$@"; do
  case "$arg" in
    --no-tests) tests=OFF ;;
    x86|x64) arches+=("$arg") ;;
    *) echo "usage: scripts/build-windows.sh [--no-tests] [x86|x64]..." >&2; exit 2 ;;
  esac
done
[ ${#arches[@]} -gt 0 ] || arches=(x64 x86)

need=()
for arch in "${arches[@]}"; do
  triplet=$(mingw_triplet "$arch")
  command -v "$triplet-g++-posix" >/dev/null || need+=("g++-mingw-w64-${triplet%%-*}-posix")
  command -v "$triplet-objdump" >/dev/null || need+=("binutils-mingw-w64-${triplet%%-*}")
done
[ -f /usr/src/googletest/CMakeLists.txt ] || need+=(googletest)
command -v cmake >/dev/null || need+=(cmake)
command -v python3 >/dev/null || need+=(python3)
if [ ${#need[@]} -gt 0 ]; then
  if [ "$(id -u)" != 0 ]; then
    echo "missing: ${need[*]//x86_64/x86-64} (install them as root)" >&2
    exit 1
  fi
  apt_update
  DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${need[@]//x86_64/x86-64}"
fi

for arch in "${arches[@]}"; do
  triplet=$(mingw_triplet "$arch")
  dir=$(windows_build_dir "$arch")
  arch_tests=$tests
  if [ "$arch" = x86 ] && [ "$tests" = ON ] && ! runs_32bit_programs; then
    echo "x86: the test programs are not built: this machine starts no 32-bit program ($x86_why)"
    arch_tests=OFF
  fi
  cmake -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE="cmake/toolchain-${triplet%%-*}-mingw.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DVKTCOM_BUILD_TESTS=$arch_tests >/dev/null
  cmake --build "$dir" -j"$(nproc)"
  python3 scripts/check-exports.py "$dir/vktcom.dll" --objdump "$triplet-objdump"
  if [ "$arch" = x86 ]; then
    python3 scripts/check-stdcall.py "$dir/vktcom.dll" --header include/vktcom.h
    # The check must refuse a DLL whose export is cdecl (linked without the
    # stdcall fix-up check, as a careless build would).
    fixture=$dir/stdcall-fixture
    mkdir -p "$fixture"
    "$triplet-gcc" -O2 -shared -o "$fixture/vktcom.dll" tests/win32/fixture/cdecl_export.c \
      tests/win32/fixture/cdecl_export.def -Wl,--kill-at
    if python3 scripts/check-stdcall.py "$fixture/vktcom.dll" --header include/vktcom.h >"$fixture/check.log" 2>&1; then
      cat "$fixture/check.log"
      echo "STDCALL CHECK FAILED: the fixture's cdecl export was not found"
      exit 1
    fi
    echo "STDCALL CHECK refuses the fixture: $(grep -m1 'com_open' "$fixture/check.log")"
  fi
done
