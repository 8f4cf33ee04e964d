#!/usr/bin/env bash
# Installs what building, running and testing need, from Debian's packages.
# Does nothing when everything is already there.
set -euo pipefail
pkgs=(build-essential cmake pkg-config libcairo2-dev libx11-dev libgtest-dev
      xvfb xdotool x11-utils)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
