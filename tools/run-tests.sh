#!/usr/bin/env bash
# Builds everything and runs every test. Installs what a fresh machine lacks.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh

cmake --preset native
cmake --build --preset native
ctest --preset native
