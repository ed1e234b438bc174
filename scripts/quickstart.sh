#!/usr/bin/env bash
# Runs the README's "Quick start" block as a new user would, with the plo of a package (the .deb
# given as $1) in a fresh HOME and a fresh venv, offline: pip installs stand-in pyspark wheels
# built as the end-to-end tests build them. The block's `sudo apt install` line is replaced by
# unpacking the package; every other line runs as written. The first `plo spark check` finds no
# PySpark yet (exit 1), as a user's would; the block's last line must succeed, and no line may be a
# usage error.
set -euo pipefail
cd "$(dirname "$0")/.."
deb="$(realpath "$1")"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

dpkg-deb -x "$deb" "$work/root"
mkdir -p "$work/home" "$work/wheels"
python3 - "$work/wheels" <<'PY'
import sys
sys.path.insert(0, "tests/e2e")
import support
support.build_pyspark_wheel(sys.argv[1], "3.5.9", "-Dplo.quickstart", class_major=52,
                            driver="getSubject")
PY

# The first ```sh block after "## Quick start".
awk '/^## Quick start/ {on = 1; next}
     on && /^```sh/ {block = 1; next}
     block && /^```/ {exit}
     block {print}' README.md | grep -v '^sudo apt install' >"$work/quickstart.sh"
[ -s "$work/quickstart.sh" ] || { echo "README.md has no Quick start block"; exit 1; }

status=0
env -i HOME="$work/home" PATH="$work/root/usr/bin:/usr/bin:/bin" TERM=dumb LANG=C.UTF-8 \
  PIP_NO_INDEX=1 PIP_FIND_LINKS="$work/wheels" PIP_DISABLE_PIP_VERSION_CHECK=1 \
  bash -x "$work/quickstart.sh" >"$work/log" 2>&1 || status=$?
cat "$work/log"
if [ "$status" -ne 0 ] || grep -q '^error:' "$work/log"; then
  echo "quick start: failed (exit $status)"
  exit 1
fi
echo "quick start: ok"
