#!/usr/bin/env bash
# A cross build checks the image it embeds as the native build does: with an
# image that would send the begin command alone, it stops before any program.
# usage: cross_build_image_check.sh SOURCE_DIR WORK_DIR
set -u
source=$1 work=$2
command -v i686-w64-mingw32-g++ >/dev/null || { echo "no mingw-w64: skipped"; exit 77; }
rm -rf "$work" && mkdir -p "$work"
printf '\x78\x56\x34\x12\x00\x00\x00\x00\x00\x00\x00\x00' >"$work/twelve-bytes.bin"
cmake -S "$source" -B "$work/build" --toolchain "$source/cmake/mingw-w64-i686.cmake" \
    -DFIRMWARE_IMAGE="$work/twelve-bytes.bin" -DFWUP_BUILD_TESTS=OFF >"$work/configure.log" 2>&1 ||
    { cat "$work/configure.log"; exit 1; }
if cmake --build "$work/build" --target check-firmware-image >"$work/build.log" 2>&1; then
    echo "FAIL: the cross build took an image of 12 bytes"
    exit 1
fi
grep -q "twelve-bytes.bin: refused" "$work/build.log" ||
    { echo "FAIL: the cross build stopped, but not at the image check"; cat "$work/build.log"; exit 1; }
echo "ok: the cross build refused the image"
rm -rf "$work"
