#!/usr/bin/env bash
# Installs what building and testing need on a fresh Debian 12 machine, and
# nothing when it is all there already. Runs as root (or through sudo).
set -euo pipefail

packages=(
  cmake g++ make googletest libgtest-dev libbenchmark-dev
  clang libclang-rt-14-dev
  libusb-1.0-0-dev umockdev libumockdev-dev pkg-config
)

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
    missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
