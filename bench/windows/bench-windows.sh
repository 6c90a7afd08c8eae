#!/usr/bin/env bash
# Figures of vktcom.dll under Wine against the simulator on COM5 (paced at
# 19200 baud), from a host program (vkt_bench.c) of the same architecture:
#   - a paced download of 1,000 records against its wire time;
#   - CPU while waiting for a silent logger (the library's process and the
#     wineserver, which carries Wine's waits);
#   - reply latency: from the logger's "#" to its next command, read from the
#     simulator's transcript (detection of the reply plus the next write);
#   - unload with the port open.
# Needs the build of that architecture (scripts/build-windows.sh: build-win64
# for x64, build-win32 for x86) and build/tools/vktsim/vktsim.
# Usage: bench/windows/bench-windows.sh [x64|x86] [records]   (x64 by default)
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$(pwd)
vktsim=${VKTSIM:-$root/build/tools/vktsim/vktsim}
arch=x64
if [ "${1:-}" = x64 ] || [ "${1:-}" = x86 ]; then arch=$1; shift; fi
records=${1:-1000}

. scripts/lib-windows-wine.sh
win=$root/$(windows_build_dir "$arch")
wine_prepare "$arch" || { echo "$arch: not runnable here ($wine_why)"; exit 1; }
wine_start
cp "$win/vktcom.dll" "$win/tests/win32/vkt_bench.exe" "$work/"
make_records "$records" "$work/records.txt" "$work/expected.txt"
bench() { com5_registry; (cd "$work" && timeout 120 "$WINELOADER" vkt_bench.exe vktcom.dll "$@") | tr -d "\r"; }
ticks() {  # CPU ticks (user + system) of the wineserver
  awk '{print $14 + $15}' "/proc/$(pgrep -n -f "^$WINESERVER" || pgrep -n wineserver)/stat" 2>/dev/null || echo 0
}

echo "$arch vktcom.dll under $("$WINELOADER" --version), $(nproc) cores"

start_sim download --file "$work/records.txt" --transcript "$work/download.tr"
out=$(bench download)
stop_sim
python3 - "$work/download.tr" "$out" <<'PY'
import re, sys
lines = open(sys.argv[1]).read().splitlines()
got = re.search(r"DOWNLOAD (\d+) ([\d.]+)", sys.argv[2])
start = sent = first = last = None
for line in lines:
    m = re.match(r"\s*([\d.]+) (<-|->) ((?:[0-9A-F]{2} )+)\s*\|", line)
    if not m:
        continue
    t, way, data = float(m.group(1)), m.group(2), bytes.fromhex(m.group(3))
    if way == "<-" and data.startswith(b"D"):
        start, sent = t, 0
    elif way == "->" and start is not None:
        first = t if first is None else first
        sent += len(data)
        last = t
        if b"#" in data:
            break
wire_ms = sent * 10 / 19200 * 1000
print(f"  the logger took D at {start:.3f} s, sent its first byte {1000 * (first - start):.1f} ms later and '#' "
      f"{1000 * (last - start):.1f} ms after D")
print(f"download: {got.group(1)} records, {sent} bytes; library {float(got.group(2)):.0f} ms, "
      f"wire time {wire_ms:.0f} ms, ratio {float(got.group(2)) / wire_ms:.4f} "
      f"(simulator's own sending span {(last - first) * 1000:.0f} ms)")
PY

# The wineserver's CPU is read from /proc around two runs, one with 1 wait
# and one with 4: their difference is what 3 waits cost, without the
# start-up of a Wine process.
start_sim idle --silent
t0=$(ticks)
bench idle 1 >/dev/null
t1=$(ticks)
out=$(bench idle 4)
t2=$(ticks)
stop_sim
read -r _ wall cpu <<<"$(grep '^IDLE' <<<"$out")"
hz=$(getconf CLK_TCK)
python3 -c "
wall, cpu = $wall, $cpu
server = (($t2 - $t1) - ($t1 - $t0)) * 1000 / $hz
print(f'waiting for a silent logger ({wall / 1000:.0f} s): library process CPU {cpu:.0f} ms ({100 * cpu / wall:.2f}% of one core); '
      f'wineserver CPU for 9 s of waiting {server:.0f} ms ({100 * server / 9000:.2f}%)')"

start_sim replies --transcript "$work/replies.tr"
bench replies 200 >/dev/null
stop_sim
python3 - "$work/replies.tr" <<'PY'
import re, statistics, sys
gaps, pending = [], None
for line in open(sys.argv[1]):
    m = re.match(r"\s*([\d.]+) (<-|->) ((?:[0-9A-F]{2} )+)\s*\|", line)
    if not m:
        continue
    t, way, data = float(m.group(1)), m.group(2), bytes.fromhex(m.group(3))
    if way == "->" and b"#" in data:
        pending = t
    elif way == "<-" and pending is not None:
        gaps.append((t - pending) * 1000)
        pending = None
gaps.sort()
print(f"reply latency (logger's '#' to its next command, {len(gaps)} replies): median {statistics.median(gaps):.3f} ms, "
      f"p95 {gaps[int(len(gaps) * 0.95)]:.3f} ms, max {gaps[-1]:.3f} ms")
PY

start_sim unload --file "$work/records.txt"
out=$(bench unload)
stop_sim
echo "unload with the port open: $(grep '^UNLOAD' <<<"$out" | cut -d' ' -f2) ms"
