#!/usr/bin/env bash
# Installs what is missing, configures and builds. BUILD_DIR (default build/) and extra CMake
# arguments may be given: scripts/build.sh -DKIVRA_TSAN=ON
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install.sh
BUILD_DIR=${BUILD_DIR:-build}
cmake -S . -B "$BUILD_DIR" -G Ninja "$@" >/dev/null
cmake --build "$BUILD_DIR" -j "$(nproc)"
