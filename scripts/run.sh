#!/usr/bin/env bash
# Installs what is missing, builds, writes the demo archive beside the
# program when there is none, and starts the reader.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -G Ninja
cmake --build build -j "$(nproc)"
if [ ! -f build/bin/ostrel.mdb ]; then
  build/bin/jet build demo/content.json build/bin/ostrel.mdb
  echo "Wrote the demo archive build/bin/ostrel.mdb"
fi
# WebEngine's sandbox cannot run as root.
if [ "$(id -u)" -eq 0 ]; then
  export QTWEBENGINE_DISABLE_SANDBOX=1
fi
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  if command -v xvfb-run >/dev/null; then
    echo "No display: starting the reader on a virtual X display (xvfb-run); nothing will be visible."
    exec xvfb-run -a build/bin/ostrel
  fi
  echo "No display (DISPLAY and WAYLAND_DISPLAY are unset): the reader needs a graphical session." >&2
  exit 1
fi
exec build/bin/ostrel
