#!/usr/bin/env bash
# Installs, with apt-get, whatever Debian 12 packages the build and tests
# need and the machine lacks. Does nothing when all are present.
set -euo pipefail
packages=(build-essential cmake ninja-build pkg-config googletest libgtest-dev libbenchmark-dev
          zlib1g-dev libsqlite3-dev sqlite3 nlohmann-json3-dev mdbtools python3
          qt6-base-dev qt6-webengine-dev libqt6webenginecore6-bin libgl-dev libxkbcommon-dev
          fonts-noto-cjk xvfb xauth "$@")
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
fi
