#!/usr/bin/env bash
# Runs the Python package's test suite (python/tests) with the system's
# Python against the built library, simulator and vkt program (the command
# line is compared with vkt's), building those targets when needed. Installs the Debian packages it needs when missing.
# Extra arguments go to pytest. "No tests ran" (pytest's status 5) fails.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${VKTCOM_BUILD_DIR:-build}

packages=(python3 python3-pytest python3-venv python3-pip python3-setuptools python3-wheel python3-matplotlib python3-pandas)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq || { sleep 5; $sudo apt-get update -qq; } || echo "apt-get update reported errors; going on"
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

if [ ! -f "$build/CMakeCache.txt" ]; then
  scripts/deps.sh
  cmake -S . -B "$build" >/dev/null
fi
cmake --build "$build" -j"$(nproc)" --target vktcom vktsim vkt

export VKTCOM_LIBRARY="$PWD/$build/libvktcom.so"
export VKTCOM_SIMULATOR="$PWD/$build/tools/vktsim/vktsim"
export PYTHONPATH="$PWD/python${PYTHONPATH:+:$PYTHONPATH}"
export MPLBACKEND=Agg
status=0
/usr/bin/python3 -m pytest -p no:cacheprovider -q python/tests "$@" || status=$?
if [ "$status" -eq 5 ]; then
  echo "test-python.sh: no tests ran" >&2
fi
exit "$status"
