#!/usr/bin/env bash
# Runs the Windows builds under Wine, one architecture after the other, each
# in a fresh prefix of its own under one persistent wineserver:
#   x64: build-win64 under 64-bit Wine (every machine of the project);
#   x86: build-win32 under 32-bit Wine, where this machine starts a 32-bit
#        program at all (tried each run; an installed package proves nothing).
# For each architecture:
#   - each cross-compiled suite as one Wine process;
#   - the font check (tests/win32/host/font_check.c): the settings dialog's
#     Japanese font and the message boxes' font draw the windows' Japanese
#     texts, with screenshots of a sample window and of a message box;
#   - the end-to-end host (tests/win32/host/vkt_host.c) against the logger
#     simulator on a pseudo-terminal mapped to COM5: the usual road, a clock
#     error answered in its message box (which command goes unanswered is the
#     portable suites'), an unplug during a download
#     and the port back after a replug, unload with the port open and a
#     second session after it, a process ending with the port open; the
#     settings dialog, the monitor window and the progress popup driven by
#     window messages.
# Every run is judged by the marker line the program prints, never by wine's
# exit code (a program "succeeds" under Wine without having run). Each
# architecture ends with one line:
#   VKTCOM-WINE x64: <n> passed, <n> failed
#   VKTCOM-WINE x86: not runnable here (<the system's words>)
# An architecture that cannot start is reported, never counted as passed;
# with CI=true the x64 run must happen and pass.
#
#   scripts/test-windows.sh [x64|x86]...      (both by default)
# Needs the builds (scripts/build-windows.sh) and the simulator of the Linux
# build (build/tools/vktsim/vktsim, or $VKTSIM). Installs Wine when missing and
# run as root. Environment: VKTCOM_WIN_ROAD_RECORDS (default 300) records in
# the road.
#
# Programs run on the prefix's virtual desktop; screenshots (the host's
# message boxes where VKTHOST_SHOTS is set, the font check's pictures) are
# written to <build>/screenshots and checked by scripts/check-screenshot.py
# (check_shot).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
vktsim=${VKTSIM:-$root/build/tools/vktsim/vktsim}
road_records=${VKTCOM_WIN_ROAD_RECORDS:-300}
arches=("$@")
[ ${#arches[@]} -gt 0 ] || arches=(x64 x86)

. scripts/lib-windows-wine.sh
[ -f "$vktsim" ] && [ -x "$vktsim" ] || { echo "no simulator at $vktsim: build the Linux tree first" >&2; exit 1; }

judge() {  # judge <name> <marker regex> <log>
  if grep -Eq "$2" "$3"; then
    echo "PASS $1"
    passed=$((passed + 1))
  else
    echo "FAIL $1"
    tail -n 40 "$3" 2>/dev/null || echo "    (no $3)"
    failures=$((failures + 1))
  fi
}

# run_arch x64|x86: the runs below under that architecture's Wine, against
# its build; prints the architecture's closing line and sets failures.
run_arch() {
  local arch=$1
  win=$root/$(windows_build_dir "$arch")
  passed=0
  failures=0
  [ -f "$win/vktcom.dll" ] && [ -f "$win/tests/win32/vkt_host.exe" ] || {
    echo "no $win/vktcom.dll with its test programs: run scripts/build-windows.sh $arch first" >&2
    failures=1
    echo "VKTCOM-WINE $arch: 0 passed, 1 failed"
    return
  }
  wine_start
  echo "$arch: $("$WINELOADER" --version) in a ${WINEARCH} prefix"
  # Screenshots go to <build>/screenshots (made anew on each run); each is
  # checked for the window's size and for content.
  shots=$win/screenshots
  rm -rf "$shots"
  mkdir -p "$shots"
  shots_windows=$(wine_run winepath -w "$shots" 2>/dev/null)
  check_shot() {  # check_shot <name> [check-screenshot.py options...]
    local name=$1
    shift
    python3 scripts/check-screenshot.py "$shots/$name.bmp" --png "$shots/$name.png" "$@" >"$work/shot-$name.log" 2>&1 || true
    judge "screenshot $name" "^SCREENSHOT OK" "$work/shot-$name.log"
    { grep -h "^SHOT $name " "$work"/*.log 2>/dev/null || true; cat "$work/shot-$name.log"; } | sed 's/^/    /'
  }

  # ---- the cross-compiled suites ----
  for exe in "$win"/tests/win32/win32_*_tests.exe; do
    name=$(basename "$exe" .exe)
    start=$(date +%s)
    (cd "$work" && timeout 600 "$WINELOADER" "$exe" >"$work/$name.log" 2>&1) || true
    judge "$name ($(($(date +%s) - start)) s)" "^VKTCOM-SUITE $name.exe PASSED" "$work/$name.log"
  done

  # ---- the Japanese font: glyphs drawn, a sample window and message box ----
  cp "$win/tests/win32/vkt_fontcheck.exe" "$work/"
  (cd "$work" && timeout 60 "$WINELOADER" vkt_fontcheck.exe "$shots_windows" >"$work/fontcheck.log" 2>&1) || true
  judge "font check" "^VKTFONT PASSED" "$work/fontcheck.log"
  grep -E "^(FACE|GLYPHS|REFUSED|FAIL)" "$work/fontcheck.log" | sed 's/^/    /' || true
  check_shot fontcheck
  check_shot fontcheck-box

  # ---- the end-to-end host against the simulator on COM5 ----
  cp "$win/vktcom.dll" "$win/tests/win32/vkt_host.exe" "$work/"

  make_records "$road_records" "$work/records.txt" "$work/expected.txt"

  host() {  # host <name> <vkt_host arguments...>
    local name=$1
    shift
    com5_registry
    local rc=0 start
    start=$(date +%s%N)
    (cd "$work" && timeout 60 "$WINELOADER" vkt_host.exe vktcom.dll "$@" >"$work/host-$name.log" 2>&1) || rc=$?
    # A process that does not end (a hang at unload or exit) fails even when
    # its checks passed.
    if [ "$rc" = 124 ]; then echo "HUNG: the process did not end within 60 s" >>"$work/host-$name.log"; fi
    echo "PROCESS ran $(( ($(date +%s%N) - start) / 1000000 )) ms" >>"$work/host-$name.log"
    judge "host $name" "^VKTHOST $1 PASSED" "$work/host-$name.log"
    if grep -q "^HUNG" "$work/host-$name.log"; then
      echo "FAIL host $name: the process did not end"
      failures=$((failures + 1))
    fi
    grep -E "^(DOWNLOAD|UNLOAD|UNPLUG|REPLUG|BOX|PROCESS|HUNG|HOST|DIALOG|GRID|POPUP|MONITOR)" "$work/host-$name.log" | sed 's/^/    /' || true
  }

  host exports exports
  start_sim road --file "$work/records.txt"
  # The usual road with the library's trace switched on from the
  # environment, as a user does for a bug report.
  VKTCOM_TRACE=$(wine_run winepath -w "$work/road.trace" 2>/dev/null) host road road expected.txt
  judge "trace of the road: the download's call and result" "^[0-9.]+ T[0-9]+ vkt_inputdata -> 1" "$work/road.trace"
  judge "trace of the road: the bytes written" "^[0-9.]+ T[0-9]+ write 1 bytes: 44 \\| D" "$work/road.trace"
  stop_sim
  start_sim silent --silent
  VKTHOST_SHOTS=$shots_windows host silent clock-error "Clock Set Error(Command s)"
  check_shot clock-error-box1
  stop_sim
  start_sim unplug --file "$work/records.txt" --hang-up-after 2000
  host unplug unplug
  stop_sim
  # Unplugged, then plugged in again: the simulator's new terminal becomes
  # COM5 again, as a replugged adapter keeps its port number.
  start_sim replug --file "$work/records.txt" --hang-up-after 500 --replug-after 1000
  (for _ in $(seq 150); do
    if [ "$(wc -l <"$sim_log")" -ge 2 ]; then
      ln -sfn "$(sed -n 2p "$sim_log")" "$WINEPREFIX/dosdevices/com5"
      break
    fi
    sleep 0.1
  done) &
  host replug replug
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
  # The library's windows worked through window messages, as a person would:
  # the settings dialog against a simulator that keeps a transcript of what it
  # received, then the monitor window's buttons and the popup's texts.
  start_sim dialog --file "$work/records.txt" --transcript "$work/sim-dialog.transcript"
  VKTHOST_SHOTS=$shots_windows host settings-dialog settings-dialog "Z:$work/sim-dialog.transcript"
  check_shot settings-dialog
  check_shot settings-dialog-box1
  stop_sim
  start_sim monitor --file "$work/records.txt" --transcript "$work/sim-monitor.transcript"
  VKTHOST_SHOTS=$shots_windows host monitor-window monitor-window "Z:$work/sim-monitor.transcript" "$road_records"
  check_shot monitor-window
  check_shot progress-popup --caption-band 0
  stop_sim
  wine_stop
  echo "VKTCOM-WINE $arch: $passed passed, $failures failed"
}

status=0
for arch in "${arches[@]}"; do
  if ! wine_prepare "$arch"; then
    echo "VKTCOM-WINE $arch: not runnable here ($wine_why)"
    if [ "$arch" = x64 ] && [ "${CI:-}" = true ]; then status=1; fi
    continue
  fi
  run_arch "$arch"
  [ "$failures" -eq 0 ] || status=1
done
exit "$status"
