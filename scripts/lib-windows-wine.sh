# Shared by scripts/build-windows.sh, scripts/test-windows.sh and
# bench/windows/bench-windows.sh (sourced, not run): the two Windows
# architectures, whether this machine starts 32-bit programs, Wine for each
# architecture in a fresh prefix under one persistent wineserver, a display,
# and the logger simulator on a pseudo-terminal mapped to COM5.
#
# Each architecture runs through its own Wine loader, never through Debian's
# `wine` wrapper (which takes the 32-bit loader whenever that is installed):
#   x64: /usr/lib/wine/wine64 and wineserver64 (Debian: wine64), a win64 prefix;
#   x86: /usr/lib/wine/wine and wineserver32 (Debian: wine32:i386), a win32 prefix.

apt_update() {
  # One index of a mirror may fail to download while the rest is fine: retry,
  # then go on with the indexes at hand.
  for _ in 1 2 3; do
    apt-get update && return 0
    sleep 5
  done
  echo "apt-get update reported errors; going on with the indexes at hand" >&2
}

mingw_triplet() {  # mingw_triplet x86|x64
  if [ "$1" = x86 ]; then echo i686-w64-mingw32; else echo x86_64-w64-mingw32; fi
}

windows_build_dir() {  # windows_build_dir x86|x64
  if [ "$1" = x86 ]; then echo build-win32; else echo build-win64; fi
}

# Whether this machine starts a 32-bit x86 program at all: a minimal i386
# program (exit(0) through int 0x80, no loader, no libraries) is written and
# started. Some kernels start none ("Exec format error"); then x86_why holds
# the system's words and the function fails.
runs_32bit_programs() {
  x86_why=$(python3 - <<'PY'
import os, struct, subprocess, tempfile
base = 0x08048000
code = bytes.fromhex("31db" "b801000000" "cd80")  # xor ebx,ebx; mov eax,1; int 0x80
size = 52 + 32 + len(code)
elf = b"\x7fELF\x01\x01\x01" + bytes(9)
elf += struct.pack("<HHIIIIIHHHHHH", 2, 3, 1, base + 84, 52, 0, 0, 52, 32, 1, 0, 0, 0)
elf += struct.pack("<IIIIIIII", 1, 0, base, base, size, size, 5, 0x1000)
elf += code
fd, path = tempfile.mkstemp(prefix="vktcom-i386-")
try:
    os.write(fd, elf)
    os.close(fd)
    os.chmod(path, 0o700)
    rc = subprocess.run([path]).returncode
    print("ok" if rc == 0 else f"a 32-bit program ended with status {rc}")
except OSError as error:
    print(error.strerror)
finally:
    os.unlink(path)
PY
)
  [ "$x86_why" = ok ]
}

# wine_select x86|x64: the loader, server and prefix kind of an architecture.
wine_select() {
  wine_arch=$1
  if [ "$1" = x86 ]; then
    WINELOADER=/usr/lib/wine/wine WINESERVER=/usr/lib/wine/wineserver32 WINEARCH=win32
    wine_packages=(wine32:i386)
  else
    WINELOADER=/usr/lib/wine/wine64 WINESERVER=/usr/lib/wine/wineserver64 WINEARCH=win64
    wine_packages=(wine64)
  fi
  export WINELOADER WINESERVER WINEARCH
}

wine_run() { "$WINELOADER" "$@"; }

# Wine's own fonts (Tahoma for the message boxes, Marlett for the caption
# buttons) and the IPA Gothic fonts, which Wine finds through fontconfig.
have_window_fonts() {
  [ -f /usr/share/wine/fonts/marlett.ttf ] && [ -f /usr/share/fonts/opentype/ipafont-gothic/ipagp.ttf ]
}

install_wine() {  # after wine_select
  [ "$(id -u)" = 0 ] || return 1
  if [ "$wine_arch" = x86 ]; then
    dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
  fi
  apt_update
  local packages=("${wine_packages[@]}" xvfb xauth fonts-wine fonts-ipafont-gothic)
  DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${packages[@]}" && return 0
  # Without the security mirror's i386 index the i386 libraries cannot match
  # the versions of their amd64 halves: take both from the release itself.
  local release
  release=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
  [ -n "$release" ] || return 1
  DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends -t "$release" "${packages[@]}"
}

# wine_prepare x86|x64: Wine for that architecture, installed when missing,
# and tried: its loader must start. Fails with wine_why set to the reason
# (the system's own words where it gave some).
wine_prepare() {
  wine_select "$1"
  wine_why=""
  if [ "$1" = x86 ] && ! runs_32bit_programs; then
    wine_why=$x86_why
    return 1
  fi
  if [ ! -x "$WINELOADER" ] || ! command -v Xvfb >/dev/null || ! have_window_fonts; then
    install_wine >/dev/null 2>&1 || true
  fi
  if [ ! -x "$WINELOADER" ]; then
    wine_why="no Wine loader at $WINELOADER (${wine_packages[*]} could not be installed)"
    return 1
  fi
  local out
  if ! out=$("$WINELOADER" --version 2>&1); then
    wine_why=$(printf '%s' "$out" | tail -n 1 | sed 's/^.*: //')
    return 1
  fi
}

# A fresh prefix for the selected architecture in a temporary folder
# ($work), a display, and one persistent wineserver; everything goes again at
# wine_stop or when the calling script ends.
wine_start() {
  work=$(mktemp -d "/tmp/vktcom-wine-$wine_arch.XXXXXX")
  export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  wine_pids=()
  trap wine_stop EXIT
  # A display for the message boxes and the library's hidden window.
  if [ -z "${DISPLAY:-}" ] || [ -n "${wine_own_display:-}" ]; then
    exec 5>"$work/display"
    Xvfb -displayfd 5 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    wine_pids+=($!)
    for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
    export DISPLAY=:$(head -n1 "$work/display")
    wine_own_display=1
  fi
  wine_run wineboot -i >/dev/null 2>&1
  wine_desktop_and_fonts
  "$WINESERVER" -w >/dev/null 2>&1
  # One server for every run from here on: it keeps the volatile registry
  # keys added below.
  "$WINESERVER" -p >/dev/null 2>&1
}

# Every program of the prefix runs on one virtual desktop of the display's
# size, drawn by Wine itself: window frames and captions are painted as on
# Windows (Xvfb runs no window manager), and screenshots show them.
# The Japanese font names of the library's windows and of the system's
# fallbacks for Japanese text are replaced by the IPA Gothic fonts: the
# proportional one for the P (proportional) faces and "MS UI Gothic", the
# fixed-pitch one for the others. Wine has no Japanese glyphs of its own.
# The file goes in as UTF-16 so that the full-width names keep their
# characters whatever the locale of this shell.
wine_desktop_and_fonts() {
  sed 's/$/\r/' <<'REG' | iconv -f UTF-8 -t UTF-16LE | { printf '\xff\xfe'; cat; } >"$work/prefix.reg"
Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\Software\Wine\Explorer]
"Desktop"="Default"

[HKEY_CURRENT_USER\Software\Wine\Explorer\Desktops]
"Default"="1024x768"

[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]
"ＭＳ Ｐゴシック"="IPAPGothic"
"MS PGothic"="IPAPGothic"
"MS UI Gothic"="IPAPGothic"
"ＭＳ ゴシック"="IPAGothic"
"MS Gothic"="IPAGothic"
REG
  # A failure here shows in the font check and the screenshots.
  wine_run regedit /S "$(wine_run winepath -w "$work/prefix.reg" 2>/dev/null)" >/dev/null 2>&1 ||
    echo "the prefix's desktop and font keys could not be added" >&2
  # Debian's Wine does not find the fonts of fonts-wine by itself: the
  # prefix's Fonts folder is always searched.
  local font
  for font in /usr/share/wine/fonts/*.ttf; do
    [ -f "$font" ] || continue
    ln -sf "$font" "$WINEPREFIX/drive_c/windows/Fonts/" || echo "$font not linked into the prefix" >&2
  done
  return 0
}

wine_stop() {
  for pid in "${wine_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wine_pids=()
  "$WINESERVER" -k >/dev/null 2>&1 || true
  [ -n "${work:-}" ] && rm -rf "$work"
  work=""
}

# The keys of the logger's adapter on COM5. HKLM\HARDWARE is volatile and
# rebuilt when Wine's device services start again: add them before each run.
com5_registry() {
  wine_run reg add 'HKLM\HARDWARE\DEVICEMAP\SERIALCOMM' /v '\Device\VCP0' /t REG_SZ /d COM5 /f >/dev/null
  wine_run reg add 'HKLM\SYSTEM\CurrentControlSet\Enum\FTDIBUS\VID_1F2E+PID_3D4C+VKT00001A\0000\Device Parameters' \
    /v PortName /t REG_SZ /d COM5 /f >/dev/null
}

# start_sim <name> <vktsim options...>: the logger on COM5 (needs $vktsim).
start_sim() {
  local name=$1
  shift
  sim_log=$work/sim-$name.log
  "$vktsim" "$@" >"$sim_log" 2>&1 &
  sim_pid=$!
  wine_pids+=($sim_pid)
  for _ in $(seq 100); do [ -s "$sim_log" ] && break; sleep 0.05; done
  ln -sfn "$(head -n1 "$sim_log")" "$WINEPREFIX/dosdevices/com5"
}

stop_sim() {
  kill "$sim_pid" 2>/dev/null || true
  wait "$sim_pid" 2>/dev/null || true
}

# make_records <n> <record file> <expected file>: records with known fields
# for the simulator (--file), and the line vkt_get_all gives for each.
make_records() {
  python3 - "$1" "$2" "$3" <<'PY'
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
PY
}
