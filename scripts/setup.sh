#!/usr/bin/env bash
# Installs what the build needs from Debian's packages (only what is missing), non-interactively.
set -euo pipefail
pkgs=(g++ cmake ninja-build pkg-config cimg-dev liblbfgs-dev libtiff-dev libfftw3-dev libgtest-dev libgmock-dev)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
