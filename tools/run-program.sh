#!/usr/bin/env bash
# Builds the Windows program and starts it under Wine on the current X
# display. Installs what a fresh machine lacks. Prints the exit code.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh
if [ -z "${DISPLAY:-}" ]; then
  echo "No X display: run this from a desktop session (or set DISPLAY)." >&2
  exit 1
fi
source tools/wine-env.sh

cmake --preset "$FWUP_WINDOWS_PRESET"
cmake --build --preset "$FWUP_WINDOWS_PRESET" --target firmware-updater
fwup_start_wine
status=0
"$FWUP_WINE" "build/$FWUP_WINDOWS_PRESET/src/app/firmware-updater.exe" || status=$?
fwup_stop_wine
echo "firmware-updater.exe ended with exit code $status"
