#!/usr/bin/env bash
# Runs the tests of one tier:
#   scripts/test.sh           build/, then the unit tests and every end-to-end test
#   scripts/test.sh --quick   build/, then the unit tests and one end-to-end test per command family
#   scripts/test.sh --all     the default tier, then the AddressSanitizer + UBSan build (build-asan/)
#                             with its unit and end-to-end tests, then the real tier (package index)
# build/ is made as build.sh makes it, so nothing already built is built again.
set -euo pipefail
cd "$(dirname "$0")/.."
tier="${1:-default}"
case "$tier" in
  default|--quick|--all) ;;
  *) echo "usage: scripts/test.sh [--quick|--all]" >&2; exit 2 ;;
esac
./scripts/install-deps.sh
./scripts/build.sh build
if [ "$tier" = --quick ]; then
  ctest --test-dir build --output-on-failure -j2 -L quick
  exit 0
fi
ctest --test-dir build --output-on-failure -j2 -LE quick_only
[ "$tier" = --all ] || exit 0
# The sanitizer build runs the unit tests and the end-to-end tests against its own binary.
./scripts/build.sh build-asan -DPLO_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
ASAN_OPTIONS=detect_leaks=1 ctest --test-dir build-asan --output-on-failure -j2 -LE quick_only
echo "== real tier"
./scripts/test-real.sh build
