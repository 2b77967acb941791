#!/usr/bin/env bash
# Runs the tool under Wine. Installs what a fresh machine lacks.
#
#   bash tools/run-program.sh            the demonstration program: the real
#                                        dialog over the simulated device
#   bash tools/run-program.sh --device   the program itself, for a real device
#
# With a display (DISPLAY set) the dialog opens there for you to use. Without
# one, the demonstration walks through its three steps by itself under Xvfb,
# prints each text it shows and saves a screenshot of each step.
# FWUP_DEMO_VERSION, FWUP_DEMO_USER_ID, FWUP_DEMO_FAULT and FWUP_DEMO_DELAY_MS
# set up the simulated device (see the README).
set -euo pipefail
cd "$(dirname "$0")/.."

program=firmware-updater-demo
[ "${1:-}" = --device ] && program=firmware-updater

if [ "${1:-}" != --walkthrough ]; then
  bash tools/install-deps.sh
  source tools/wine-env.sh
  cmake --preset "$FWUP_WINDOWS_PRESET" >/dev/null
  cmake --build --preset "$FWUP_WINDOWS_PRESET" --target "$program" demo-walkthrough
  if [ -z "${DISPLAY:-}" ]; then
    [ "$program" = firmware-updater ] && { echo "No display: run this from a desktop session." >&2; exit 1; }
    exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" --walkthrough
  fi
  fwup_start_wine
  status=0
  "$FWUP_WINE" "build/$FWUP_WINDOWS_PRESET/src/app/dialog/$program.exe" || status=$?
  fwup_stop_wine
  echo "$program.exe ended with exit code $status"
  exit 0
fi

# Headless, on the Xvfb display.
source tools/wine-env.sh
shots=build/artifacts
mkdir -p "$shots"
rm -f "$shots"/walkthrough-*
fwup_start_wine
trap fwup_stop_wine EXIT
"$FWUP_WINE" "build/$FWUP_WINDOWS_PRESET/tools/windows/demo-walkthrough.exe" \
  "build/$FWUP_WINDOWS_PRESET/src/app/dialog/$program.exe" "Z:$PWD/$shots" </dev/null
for shot in "$shots"/walkthrough-*.bmp; do
  [ -e "$shot" ] || continue
  convert "$shot" "${shot%.bmp}.png" && rm "$shot"
done
echo "Screenshots of each step:"
ls "$PWD/$shots"/walkthrough-*.png
