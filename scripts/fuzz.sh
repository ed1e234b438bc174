#!/usr/bin/env bash
# Builds the libFuzzer targets with clang into build-fuzz/ and runs each for SECONDS (default 60)
# on its committed corpus, every input under a time limit, so that a slow (non-linear) parser
# fails as a crash does. First each target runs once on inputs shaped to be slow (near 1 MiB).
# Crashes and slow inputs are kept in fuzz/crashes/ and end the script with failure.
# PLO_FUZZ_SEED fixes libFuzzer's seed (CI sets it, so that its run repeats the same search);
# without it every run explores anew.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
# Seconds an input may take. A shape is near 1 MiB: in this instrumented build a linear parser
# takes up to about 1.5 s on one (yaml-cpp's), a quadratic one takes minutes.
per_shape=5
per_input=2  # the corpus's and libFuzzer's own inputs, at most 64 KiB
command -v clang++ >/dev/null || { echo "clang++ is needed for fuzzing (apt-get install clang)"; exit 1; }
# Warnings are not errors in the fuzzing build. Only the targets are built (one per corpus folder):
# plo itself and the layers they do not reach would be half the build for nothing.
cmake -S . -B build-fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DPLO_FUZZ=ON -DPLO_TESTS=OFF \
  -DPLO_WERROR=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
targets=()
for target in fuzz/corpus/*/; do targets+=("$(basename "$target")"); done
cmake --build build-fuzz --target "${targets[@]}"
mkdir -p fuzz/crashes
shapes="$(mktemp -d)"
trap 'rm -rf "$shapes"' EXIT
python3 fuzz/hostile_inputs.py "$shapes"
for target in fuzz/corpus/*/; do
  name="$(basename "$target")"
  # Given files instead of a folder, libFuzzer runs each once; a timeout there is a failure.
  if compgen -G "$shapes/$name/*" >/dev/null; then
    echo "== $name: slow shapes"
    if ! out="$(build-fuzz/fuzz/"$name" -timeout="$per_shape" -rss_limit_mb=2048 \
        -artifact_prefix=fuzz/crashes/"$name"- "$shapes/$name"/* 2>&1)"; then
      echo "$out" | tail -n 20
      exit 1
    fi
    echo "$(grep -c '^Executed' <<<"$out") inputs, each within ${per_shape}s"
  fi
  work="$(mktemp -d)"
  echo "== $name (${seconds}s)"
  # New inputs go to a scratch folder; the committed corpus stays small.
  build-fuzz/fuzz/"$name" -max_total_time="$seconds" -max_len=65536 -timeout="$per_input" \
    -rss_limit_mb=2048 -artifact_prefix=fuzz/crashes/"$name"- -print_final_stats=0 \
    ${PLO_FUZZ_SEED:+-seed="$PLO_FUZZ_SEED"} "$work" "$target" 2>&1 | tail -n 3
  rm -rf "$work"
done
