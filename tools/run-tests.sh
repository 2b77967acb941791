#!/usr/bin/env bash
# Builds everything and runs every test. Installs what a fresh machine lacks.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh

echo "== Host build and tests"
cmake --preset native
cmake --build --preset native
ctest --preset native

echo "== The Debian package of firmware-updater: built, installed, run, removed"
bash tools/check-package.sh

echo "== The Linux program against a real kernel's USB bus, in a virtual machine"
bash tools/run-kernel-tests.sh

echo "== The same tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake --preset asan
cmake --build --preset asan
ctest --preset asan

echo "== The Linux backends' parallel paths under ThreadSanitizer"; cmake --workflow --preset tsan

echo "== Fuzzing, ${FWUP_FUZZ_SECONDS:-30} s a target"
bash tools/run-fuzz.sh

echo "== The Windows program, cross-built, and its tests under Wine"
bash tools/run-windows-tests.sh

echo "== The 32-bit program as released: reproducible, and signed"
bash tools/check-release.sh
