#!/usr/bin/env bash
# Builds the Debian package plo_<version>-1_amd64.deb in the build folder ($1, default build; extra
# CMake options after it) and prints its path. Reuses what is built there already.
set -euo pipefail
cd "$(dirname "$0")/.."
dir="${1:-build}"
shift || true
./scripts/build.sh "$dir" "$@" >&2
log="$(cd "$dir" && cpack -G DEB 2>&1)" || { echo "$log" >&2; exit 1; }
ls "$dir"/plo_*_amd64.deb
