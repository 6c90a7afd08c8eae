#!/usr/bin/env bash
# Installs what building and testing vktcom needs on Debian 12, when missing.
set -euo pipefail
packages=(build-essential cmake pkg-config binutils ccache python3 libgtest-dev libgmock-dev
          libcli11-dev libfmt-dev
          clang libclang-rt-14-dev)  # the sanitizer build and the fuzz targets
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
# A mirror's index can fail to update (an i386 index of the security mirror
# does now): try twice, then go on with what the other indexes hold.
$sudo apt-get update -qq || { sleep 5; $sudo apt-get update -qq; } || echo "apt-get update reported errors; going on"
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
