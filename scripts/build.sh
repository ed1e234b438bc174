#!/usr/bin/env bash
# Configures and builds plo into build/ (or the folder given as $1) with extra CMake options after it.
# Warnings are errors unless -DPLO_WERROR=OFF is given: the test script reuses this very build.
set -euo pipefail
cd "$(dirname "$0")/.."
dir="${1:-build}"
shift || true
cmake -S . -B "$dir" -G Ninja -DPLO_WERROR=ON "$@" >/dev/null
cmake --build "$dir"
