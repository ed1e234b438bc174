#!/usr/bin/env bash
# Builds the libFuzzer targets with clang into build-fuzz/ and runs each for SECONDS (default 60)
# on its committed corpus. Crashes are kept in fuzz/crashes/ and end the script with failure.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
command -v clang++ >/dev/null || { echo "clang++ is needed for fuzzing (apt-get install clang)"; exit 1; }
./scripts/build.sh build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DPLO_FUZZ=ON -DPLO_TESTS=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo
mkdir -p fuzz/crashes
for target in fuzz/corpus/*/; do
  name="$(basename "$target")"
  work="$(mktemp -d)"
  echo "== $name (${seconds}s)"
  # New inputs go to a scratch folder; the committed corpus stays small.
  build-fuzz/fuzz/"$name" -max_total_time="$seconds" -max_len=65536 -timeout=10 \
    -artifact_prefix=fuzz/crashes/"$name"- -print_final_stats=0 "$work" "$target" 2>&1 | tail -n 3
  rm -rf "$work"
done
