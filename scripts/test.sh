#!/usr/bin/env bash
# Runs the whole test suite: the normal build (build/, as build.sh makes it, so nothing is rebuilt
# that is built already), then the AddressSanitizer + UBSan build in build-asan/.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
./scripts/build.sh build
ctest --test-dir build --output-on-failure -j2
# The sanitizer build runs the unit tests and the end-to-end tests against its own binary.
./scripts/build.sh build-asan -DPLO_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
ASAN_OPTIONS=detect_leaks=1 ctest --test-dir build-asan --output-on-failure -j2
