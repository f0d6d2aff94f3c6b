#!/usr/bin/env bash
# Screenshots of the Online Update dialog: idle, its product menu, the progress text of a running
# download and the question that ends it, made on a private X server by driving the real program
# against a local nginx (scripts/run.sh --headless). PNG files land in the folder given (default:
# build/screenshots).
set -euo pipefail
cd "$(dirname "$0")/.."
exec bash scripts/run.sh --headless "${1:-build/screenshots}"
