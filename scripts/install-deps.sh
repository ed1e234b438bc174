#!/usr/bin/env bash
# Installs what plo needs to build and test on Debian 12. Idempotent: skips what is there.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config
  libcli11-dev libfmt-dev libyaml-cpp-dev libcurl4-openssl-dev nlohmann-json3-dev
  libarchive-dev libssl-dev libtomlplusplus-dev
  libgtest-dev libgmock-dev
  python3 python3-venv python3-grpcio openjdk-17-jre-headless
  clang libclang-rt-14-dev clang-format
  dpkg-dev file groff-base lintian
  zsh fish
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ "${#missing[@]}" -eq 0 ]; then
  exit 0
fi

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -q
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
