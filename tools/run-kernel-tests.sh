#!/usr/bin/env bash
# The Linux program against a real kernel: Debian's kernel in a virtual
# machine (tools/kernel/guest.sh), the device as USB gadgets on its virtual
# bus (tests/kernel/usb_gadget.cpp), the program installed from its Debian
# package and run as a user in plugdev (tests/kernel/in_guest.sh).
#
# usage: tools/run-kernel-tests.sh [CASE...]   (storage faults confirm all parallel bench sticks wine)
# All cases run in one boot of the guest, which is stopped after
# FWUP_KERNEL_TEST_SECONDS (1200 by default; 1500 when the guest must make the
# Wine prefix, which the default run then leaves out) whatever it is doing.
# Builds in build/kernel/linux with the device test image (the stand-in is
# never sent to a device that looks real); results in build/kernel/work/results.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
started=$(date +%s)
cases=("$@")
[ ${#cases[@]} -gt 0 ] || cases=(storage faults confirm all parallel bench sticks wine)
guest_seconds=${FWUP_KERNEL_TEST_SECONDS:-1200}

bash tools/install-deps.sh

# The gadget is a host program of the native build.
cmake --preset native >/dev/null
cmake --build --preset native --target fwup-usb-gadget fwup-make-test-image fwimage
gadget=build/native/tests/kernel/fwup-usb-gadget

# The package, with the program alone: only what the package holds is built
# (the benchmarks and tools took a quarter of the build's time).
build=build/kernel/linux
cmake --preset linux -B "$build" -DFIRMWARE_IMAGE="$root/tests/windows/device-test-image.bin" \
    -DFWUP_BUILD_TESTS=OFF -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON >/dev/null
cmake --build "$build" --parallel 2 --target firmware-updater firmware-updater-man-page firmware-updater-changelog
rm -f "$build"/firmware-updater_*.deb
(cd "$build" && MAKEFLAGS=-j2 cpack -G DEB >/dev/null)
debs=("$build"/firmware-updater_*.deb)
[ -f "${debs[0]}" ] || { echo "cpack made no .deb" >&2; exit 1; }

# What the guest reads lies under the work folder: the guest's /tmp is its own.
work=$root/build/kernel/work
rm -rf "$work"
mkdir -p "$work/results"
cp "${debs[0]}" "$work/firmware-updater.deb"
cp "$gadget" "$work/"
# The image the fault table downloads: long enough for faults in the middle.
build/native/tests/kernel/fwup-make-test-image "$work/test-image.bin"
build/native/tools/fwimage check "$work/test-image.bin" >/dev/null

# The Windows program for the case wine: the 32-bit build as users run it,
# with the device test image, and the driver of its dialog; and the Wine
# prefix, made here where this kernel runs 32-bit programs (seconds; in the
# guest, under TCG, minutes), else left to the guest.
if [[ " ${cases[*]} " == *" wine "* ]]; then
    mkdir -p "$work/windows"
    prefix_started=$(date +%s)
    prefix=$work/wine-prefix
    if (export WINEPREFIX=$prefix WINEARCH=win32 WINEDEBUG=-all \
               WINEDLLOVERRIDES="mscoree,mshtml=" && unset DISPLAY &&
        wine wineboot -i && wineserver -w &&
        # No display in the guest: Wine's null driver still runs windows
        # and their messages. E: and F: are removable drives.
        wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f &&
        wine reg add 'HKLM\Software\Wine\Drives' /v e: /d floppy /f &&
        wine reg add 'HKLM\Software\Wine\Drives' /v f: /d floppy /f &&
        wineserver -k; wineserver -w) </dev/null >"$work/wine-prefix.log" 2>&1 &&
       [ -f "$prefix/system.reg" ]; then
        # Most of its 590 MB are copies of Wine's own DLLs, which the guest
        # has at the same place: links to them leave about 13 MB to carry
        # into the guest's memory, which reads a file over 9p at 15 MB/s.
        wine_dlls=/usr/lib/i386-linux-gnu/wine/i386-windows
        find "$prefix/drive_c" -type f | while read -r file; do
            twin=$wine_dlls/$(basename "$file")
            if [ -f "$twin" ] && cmp -s "$file" "$twin"; then ln -sf "$twin" "$file"; fi
        done
        tar -cf "$work/wine-prefix.tar" -C "$prefix" .
        rm -rf "$prefix"
        echo "The Wine prefix took $(( $(date +%s) - prefix_started )) s."
    elif [ $# -eq 0 ]; then
        # Made in the guest it takes 4 to 9 minutes: too long for every run.
        rm -rf "$prefix"
        cases=(storage faults confirm all parallel bench sticks)
        echo "Note: this kernel runs no 32-bit programs, so the case wine is left out (the guest"
        echo "would take minutes to make Wine's prefix); run it by hand: tools/run-kernel-tests.sh wine"
    else
        rm -rf "$prefix"
        echo "No Wine prefix made here (see $work/wine-prefix.log): the guest makes one."
        guest_seconds=${FWUP_KERNEL_TEST_SECONDS:-1500}
    fi
fi
# The Windows programs are built only where the case wine runs: the prefix
# above told whether it does.
if [[ " ${cases[*]} " == *" wine "* ]]; then
    cmake --preset windows >/dev/null
    cmake --build --preset windows --target firmware-updater-device-test fwup-dialog-driver
    cp build/windows/src/app/dialog/firmware-updater-device-test.exe "$work/windows/firmware-updater.exe"
    cp build/windows/tests/kernel/fwup-dialog-driver.exe "$work/windows/"
    # The pipes' Linux end, over libusb to the device on the guest's bus.
    cmake --build --preset native --target fwup-usb-pipe-bridge
    cp build/native/tests/kernel/fwup-usb-pipe-bridge "$work/windows/"
fi

status=0
FWUP_GUEST_SECONDS=$guest_seconds bash tools/kernel/guest.sh "$work" \
    tests/kernel/in_guest.sh "$work/firmware-updater.deb" "$work/fwup-usb-gadget" \
    "$work/test-image.bin" "$work/results" "${cases[@]}" >"$work/console.log" 2>&1 || status=$?
grep -a "kernel-test:" "$work/console.log" || true
if [ $status -ne 0 ]; then
    echo "== The guest's console (the kernel tests failed with status $status):" >&2
    tail -n 60 "$work/console.log" >&2
fi
echo "The kernel tests took $(( $(date +%s) - started )) s."
exit $status
