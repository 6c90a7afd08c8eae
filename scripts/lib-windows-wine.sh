# Shared by scripts/test-windows.sh and bench/windows/bench-windows.sh (sourced,
# not run): a 32-bit Wine, a fresh prefix under one persistent wineserver,
# a display, and the logger simulator on a pseudo-terminal mapped to COM5.

# The 32-bit half of Wine (Debian: wine32:i386).
have_wine32() {
  command -v wine >/dev/null && [ -d /usr/lib/i386-linux-gnu/wine/i386-unix ]
}

install_wine() {
  [ "$(id -u)" = 0 ] || return 1
  dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
  # One index of a mirror may fail to download while the rest is fine:
  # retry, then go on with the indexes at hand.
  for _ in 1 2 3; do
    apt-get update && break
    sleep 5
  done
  local packages=(wine wine32:i386 xvfb xauth fonts-wine fonts-ipafont-gothic)
  DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${packages[@]}" && return 0
  # Without the security mirror's i386 index the i386 libraries cannot match
  # the versions of their amd64 halves: take both from the release itself.
  local release
  release=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
  [ -n "$release" ] || return 1
  DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends -t "$release" "${packages[@]}"
}

# Wine's own fonts (Tahoma for the message boxes, Marlett for the caption
# buttons) and the IPA Gothic fonts, which Wine finds through fontconfig.
have_window_fonts() {
  [ -f /usr/share/wine/fonts/marlett.ttf ] && [ -f /usr/share/fonts/opentype/ipafont-gothic/ipagp.ttf ]
}

# Installs Wine when missing; without a 32-bit Wine prints the skip marker
# and ends the calling script successfully, except in CI (CI=true), where a
# run that tested nothing under Wine must not pass.
wine_prepare_or_skip() {
  if ! have_wine32 || ! command -v Xvfb >/dev/null || ! have_window_fonts; then
    install_wine || true
  fi
  if ! have_wine32; then
    if [ "${CI:-}" = true ]; then
      echo "VKTCOM-WINE FAILED: no 32-bit Wine could be installed"
      exit 1
    fi
    echo "VKTCOM-WINE SKIPPED: no 32-bit Wine could be installed"
    exit 0
  fi
}

# A fresh 32-bit prefix in a temporary folder ($work), a display, and one
# persistent wineserver; everything goes again when the calling script ends.
wine_start() {
  work=$(mktemp -d /tmp/vktcom-wine.XXXXXX)
  export WINEPREFIX=$work/prefix WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  wine_pids=()
  trap wine_cleanup EXIT
  # A display for the message boxes and the library's hidden window.
  if [ -z "${DISPLAY:-}" ]; then
    exec 5>"$work/display"
    Xvfb -displayfd 5 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    wine_pids+=($!)
    for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
    export DISPLAY=:$(head -n1 "$work/display")
  fi
  wineboot -i >/dev/null 2>&1
  wine_desktop_and_fonts
  wineserver -w >/dev/null 2>&1
  # One server for every run from here on: it keeps the volatile registry
  # keys added below.
  wineserver -p >/dev/null 2>&1
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
  wine regedit /S "$(winepath -w "$work/prefix.reg" 2>/dev/null)" >/dev/null 2>&1 ||
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

wine_cleanup() {
  for pid in "${wine_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wineserver -k >/dev/null 2>&1 || true
  rm -rf "$work"
}

# The keys of the logger's adapter on COM5. HKLM\HARDWARE is volatile and
# rebuilt when Wine's device services start again: add them before each run.
com5_registry() {
  wine reg add 'HKLM\HARDWARE\DEVICEMAP\SERIALCOMM' /v '\Device\VCP0' /t REG_SZ /d COM5 /f >/dev/null
  wine reg add 'HKLM\SYSTEM\CurrentControlSet\Enum\FTDIBUS\VID_1F2E+PID_3D4C+VKT00001A\0000\Device Parameters' \
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
