#!/usr/bin/env bash
# Builds everything and runs every test. Installs what a fresh machine lacks.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh

# Each step's heading, and how long the one before it took: the whole run
# must stay under CI's limit, and this shows where the time goes.
step_name="" step_started=0 run_started=$(date +%s)
step() {
    local now
    now=$(date +%s)
    [ -z "$step_name" ] || echo "== $step_name: $(( now - step_started )) s"
    step_name=$1 step_started=$now
    [ -z "$step_name" ] || echo "== $step_name"
}
trap 'step ""; echo "== the whole run: $(( $(date +%s) - run_started )) s"' EXIT

step "Host build and tests"
cmake --preset native
cmake --build --preset native
ctest --preset native

step "The Debian package of firmware-updater: built, installed, run, removed"
bash tools/check-package.sh

step "The Linux program against a real kernel's USB bus, in a virtual machine"
bash tools/run-kernel-tests.sh

step "The same tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake --preset asan
cmake --build --preset asan
ctest --preset asan

step "The Linux backends' parallel paths under ThreadSanitizer"
cmake --workflow --preset tsan

step "Fuzzing, ${FWUP_FUZZ_SECONDS:-15} s a target"
bash tools/run-fuzz.sh

step "The Windows program, cross-built, and its tests under Wine"
bash tools/run-windows-tests.sh

step "The 32-bit program as released: reproducible, and signed"
bash tools/check-release.sh
