#!/bin/bash
# Installs what building and testing Pagoric needs on Debian 12 (run as root).
set -euo pipefail
packages=(cmake make g++ gcc clang libgtest-dev libgmock-dev xxd)
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if ((${#missing[@]})); then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
