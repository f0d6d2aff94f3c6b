#!/usr/bin/env bash
# The program's main job on a fresh Debian 12 machine: installs what is missing, builds and runs
# the Online Update dialog.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)"
if [ -x build/release/update/online_update ]; then
  exec build/release/update/online_update
fi
echo "The Online Update program is not part of this build yet."
