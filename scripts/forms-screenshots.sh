#!/usr/bin/env bash
# Screenshots of the forms layer: a sample form with labels, a panel and buttons with glyphs, its
# popup menu opened by a real click, and an error box. Builds the demo program and runs it on a
# private X server; the PNG files land in the folder given (default: build/screenshots).
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-build/screenshots}
mkdir -p "$out"
bash scripts/deps.sh
cmake --preset debug >/dev/null
cmake --build --preset debug --target forms_demo
XVFB_SCREEN=800x600x24 forms/tests/run-with-xvfb.sh build/debug/forms/tests/forms_demo "$out"
ls -1 "$out"/forms-*.png
