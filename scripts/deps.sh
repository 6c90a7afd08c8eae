#!/usr/bin/env bash
# Installs what building and testing vktcom needs on Debian 12, when missing.
set -euo pipefail
packages=(build-essential cmake pkg-config binutils ccache libgtest-dev libgmock-dev
          libbenchmark-dev libcli11-dev libfmt-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
