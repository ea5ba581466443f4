#!/usr/bin/env bash
# Installs from Debian's archive whatever the build, the tests and the simulator need.
# Safe to run again: only missing packages are installed.
set -euo pipefail

PACKAGES=(
  build-essential cmake pkg-config
  qt6-base-dev qt6-qpa-plugins libgl-dev
  libsimpleini-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  srecord binutils
  clang-format
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if ((${#missing[@]})); then
  SUDO=""
  if [[ $(id -u) -ne 0 ]]; then SUDO="sudo"; fi
  export DEBIAN_FRONTEND=noninteractive
  echo "Installing: ${missing[*]}"
  if ! $SUDO apt-get install -y -q "${missing[@]}"; then
    $SUDO apt-get update -q
    $SUDO apt-get install -y -q "${missing[@]}"
  fi
fi
