#!/usr/bin/env bash
# Cross-builds the Windows program and runs its tests under Wine, headless
# (Xvfb), in the project's own Wine prefix. Screenshots of the dialog in each
# language land in build/artifacts/.
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/wine-env.sh

if [ "${1:-}" != --on-display ]; then
  # The device tests' Linux end, vendor-pipe-bridge, comes from the native build.
  cmake --preset native
  cmake --build --preset native --target vendor-pipe-bridge
  cmake --preset windows
  cmake --build --preset windows
  if [ "$FWUP_WINDOWS_PRESET" != windows ]; then
    ctest --preset windows -R 'program_imports$'  # the shipped files; need no Wine
    cmake --preset "$FWUP_WINDOWS_PRESET"
    cmake --build --preset "$FWUP_WINDOWS_PRESET"
  fi
  rm -f build/artifacts/dialog-* build/artifacts/demo-*
  exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" --on-display
fi

fwup_start_wine
trap fwup_stop_wine EXIT
ctest --preset "$FWUP_WINDOWS_PRESET"
for shot in build/artifacts/*.bmp; do
  [ -e "$shot" ] || continue
  convert "$shot" "${shot%.bmp}.png" && rm "$shot"
done
ls build/artifacts/*.png
