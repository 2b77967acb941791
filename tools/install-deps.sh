#!/usr/bin/env bash
# Installs what building and testing need on a fresh Debian 12 machine, and
# nothing when it is all there already. Runs as root (or through sudo).
set -euo pipefail

packages=(
  cmake g++ make googletest libgtest-dev libbenchmark-dev
  clang libclang-rt-14-dev
  libusb-1.0-0-dev umockdev libumockdev-dev pkg-config
  # The --all board's test runs the program in a terminal of a given size
  tmux
  # The Linux program's command line and JSON (header-only)
  libcli11-dev nlohmann-json3-dev
  # The Windows program, and its tests under Wine on a virtual display
  mingw-w64 g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix wine wine32:i386 wine64
  xvfb xdotool x11-utils imagemagick fonts-wqy-microhei locales
  # The Debian package's dependencies (dpkg-shlibdeps), the man page's check,
  # the package's check
  dpkg-dev groff-base lintian
  # The released file: its headers read back (llvm-readobj), its signature
  llvm-14 osslsigncode openssl
  # The kernel tests: a virtual machine with Debian's kernel, its initramfs,
  # udev in the guest, the JSON read back
  qemu-system-x86 busybox-static kmod cpio udev jq
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
# wine32 is an i386 package.
dpkg --print-foreign-architectures | grep -qx i386 || $sudo dpkg --add-architecture i386
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
