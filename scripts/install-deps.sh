#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks to build, run and test Vantrel.
# Safe to run again: packages already present are skipped without touching apt.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  qt6-base-dev qt6-base-dev-tools libqt6opengl6-dev qt6-qpa-plugins qt6-translations-l10n
  libgl-dev
  libgtest-dev
  clang libclang-rt-14-dev
  fonts-ipafont-gothic fontconfig
  xvfb xauth xdg-utils
  nftables iptables
  socat procps
  dpkg-dev lintian desktop-file-utils appstream iproute2
  microsocks openssh-server openssh-client
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: everything is already installed"
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update
$SUDO apt-get install -y --no-install-recommends "${missing[@]}"
