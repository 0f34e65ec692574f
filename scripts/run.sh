#!/usr/bin/env bash
# Installs what is missing, builds, and starts the reader on the demo archive.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -G Ninja
cmake --build build -j "$(nproc)"
if [ ! -x build/bin/ostrel ]; then
  echo "The reader's window is not built yet; this build provides the engine's command line:"
  echo "  build/bin/jet tables|export|dump|check FILE"
  exit 0
fi
exec build/bin/ostrel
