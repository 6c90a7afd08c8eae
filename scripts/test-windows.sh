#!/usr/bin/env bash
# Runs the Windows build under Wine, in a fresh 32-bit prefix under one
# persistent wineserver:
#   - each cross-compiled suite as one Wine process;
#   - the end-to-end host (tests/win32/host/vkt_host.c) against the logger
#     simulator on a pseudo-terminal mapped to COM5: the usual road, clock
#     errors answered in their message boxes, an unplug during a download,
#     unload with the port open and a second session after it.
# Every run is judged by the marker line the program prints, never by wine's
# exit code (a 32-bit program "succeeds" without running under a 64-bit-only
# Wine).
#
# Needs build-win32 (scripts/build-windows.sh) and the simulator of the Linux
# build (build/tools/vktsim/vktsim, or $VKTSIM). Installs Wine when missing and run
# as root. Without a 32-bit Wine it prints
#   VKTCOM-WINE SKIPPED: no 32-bit Wine could be installed
# and runs nothing under Wine.
# Environment: VKTCOM_WIN_ROAD_RECORDS (default 300) records in the road.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
win=$root/build-win32
vktsim=${VKTSIM:-$root/build/tools/vktsim/vktsim}
road_records=${VKTCOM_WIN_ROAD_RECORDS:-300}

# The 32-bit half of Wine (Debian: wine32:i386).
have_wine32() {
  command -v wine >/dev/null && [ -d /usr/lib/i386-linux-gnu/wine/i386-unix ]
}

install_wine() {
  [ "$(id -u)" = 0 ] || return 1
  dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
  for _ in 1 2 3; do
    apt-get update && break
    sleep 5
  done
  # An index of the security mirror may be missing for i386 while amd64 has
  # it: take both architectures from the release itself, so that their
  # versions match.
  local release
  release=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
  DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends ${release:+-t "$release"} \
    wine wine32:i386 xvfb xauth || return 1
}

if ! have_wine32 || ! command -v Xvfb >/dev/null; then
  install_wine || true
fi
if ! have_wine32; then
  echo "VKTCOM-WINE SKIPPED: no 32-bit Wine could be installed"
  exit 0
fi
[ -f "$win/vktcom.dll" ] || { echo "no $win/vktcom.dll: run scripts/build-windows.sh first" >&2; exit 1; }
[ -f "$vktsim" ] && [ -x "$vktsim" ] || { echo "no simulator at $vktsim: build the Linux tree first" >&2; exit 1; }

work=$(mktemp -d /tmp/vktcom-wine.XXXXXX)
export WINEPREFIX=$work/prefix WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wineserver -k >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

# A display for the message boxes and the library's hidden window.
if [ -z "${DISPLAY:-}" ]; then
  exec 5> "$work/display"
  Xvfb -displayfd 5 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  pids+=($!)
  for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
  export DISPLAY=:$(head -n1 "$work/display")
fi

wineboot -i >/dev/null 2>&1
wineserver -w >/dev/null 2>&1
# One server for every run from here on: it keeps the volatile registry keys
# imported below.
wineserver -p >/dev/null 2>&1
failures=0
judge() {  # judge <name> <marker regex> <log>
  if grep -Eq "$2" "$3"; then
    echo "PASS $1"
  else
    echo "FAIL $1"
    tail -n 40 "$3"
    failures=$((failures + 1))
  fi
}

# ---- the cross-compiled suites ----
for exe in "$win"/tests/win32/win32_*_tests.exe; do
  name=$(basename "$exe" .exe)
  start=$(date +%s)
  (cd "$work" && timeout 600 wine "$exe" >"$work/$name.log" 2>&1) || true
  judge "$name ($(($(date +%s) - start)) s)" "^VKTCOM-SUITE $name.exe PASSED" "$work/$name.log"
done

# ---- the end-to-end host against the simulator on COM5 ----
cp "$win/vktcom.dll" "$win/tests/win32/vkt_host.exe" "$work/"

# Records with known fields, and the line vkt_get_all gives for each.
python3 - "$road_records" "$work/records.txt" "$work/expected.txt" <<'EOF'
import sys
n, records, expected = int(sys.argv[1]), sys.argv[2], sys.argv[3]
with open(records, "w") as r, open(expected, "w") as e:
    for i in range(n):
        month, day = 3, 1 + (i // 1440) % 28
        hour, minute, sec, cc = (i // 60) % 24, i % 60, (7 * i) % 60, (13 * i) % 100
        x, y, z = (i % 256) - 128, 127 - (i % 256), (3 * i) % 100
        deg, tenths, humi = (i % 60) - 10, i % 10, (i * 7) % 101
        r.write(f"2024/{month:02d}/{day:02d} {hour:02d}:{minute:02d}:{sec:02d}.{cc:02d},{x},{y},{z},{deg},{tenths},{humi}\n")
        e.write(f"2024 {month:02d}/{day:02d}-{hour:02d}:{minute:02d}:{sec:02d}.{cc:02d} {deg}.{tenths} {humi} {x} {y} {z}\n")
EOF

sim_log=""
start_sim() {  # start_sim <name> <vktsim options...>: the logger on COM5
  local name=$1
  shift
  sim_log=$work/sim-$name.log
  "$vktsim" "$@" >"$sim_log" 2>&1 &
  sim_pid=$!
  pids+=($sim_pid)
  for _ in $(seq 100); do [ -s "$sim_log" ] && break; sleep 0.05; done
  ln -sfn "$(head -n1 "$sim_log")" "$WINEPREFIX/dosdevices/com5"
}
stop_sim() { kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true; }
host() {  # host <name> <vkt_host arguments...>
  local name=$1
  shift
  # The keys of the logger's adapter on COM5. HKLM\HARDWARE is volatile and
  # rebuilt when Wine's device services start again: add them before each run.
  wine reg add 'HKLM\HARDWARE\DEVICEMAP\SERIALCOMM' /v '\Device\VCP0' /t REG_SZ /d COM5 /f >/dev/null
  wine reg add 'HKLM\SYSTEM\CurrentControlSet\Enum\FTDIBUS\VID_1F2E+PID_3D4C+VKT00001A\0000\Device Parameters' \
    /v PortName /t REG_SZ /d COM5 /f >/dev/null
  local rc=0 start
  start=$(date +%s%N)
  (cd "$work" && timeout 60 wine vkt_host.exe vktcom.dll "$@" >"$work/host-$name.log" 2>&1) || rc=$?
  # A process that does not end (a hang at unload or exit) fails even when
  # its checks passed.
  if [ "$rc" = 124 ]; then echo "HUNG: the process did not end within 60 s" >>"$work/host-$name.log"; fi
  echo "PROCESS ran $(( ($(date +%s%N) - start) / 1000000 )) ms" >>"$work/host-$name.log"
  judge "host $name" "^VKTHOST $1 PASSED" "$work/host-$name.log"
  if grep -q "^HUNG" "$work/host-$name.log"; then judge "host $name ends" "^never" "$work/host-$name.log"; fi
  grep -E "^(DOWNLOAD|UNLOAD|UNPLUG|BOX|PROCESS|HUNG)" "$work/host-$name.log" | sed 's/^/    /' || true
}

host exports exports
start_sim road --file "$work/records.txt"
host road road expected.txt
stop_sim
start_sim silent --silent
host silent clock-error "Clock Set Error(Command s)"
stop_sim
start_sim no-t --no-answer t
host no-t clock-error "Clock Set Error(Command t)"
stop_sim
start_sim unplug --file "$work/records.txt" --hang-up-after 2000
host unplug unplug
stop_sim
# Unload with the port open returns; a second process then finds the port
# closed and free and goes the whole road.
start_sim unload --file "$work/records.txt"
host unload-open unload-open
host second-session road expected.txt
# Ending the process with the port open and the library loaded returns too
# (the host run is bounded); a new process then finds the port free.
host exit-open exit-open
host after-exit road expected.txt
stop_sim

if [ "$failures" -ne 0 ]; then
  echo "VKTCOM-WINE FAILED: $failures"
  exit 1
fi
echo "VKTCOM-WINE PASSED"
