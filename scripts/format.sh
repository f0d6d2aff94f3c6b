#!/usr/bin/env bash
# Reformats the C++ files of the tree in place (the test command checks the same style).
set -euo pipefail
cd "$(dirname "$0")/.."
git ls-files --cached --others --exclude-standard -- '*.h' '*.cpp' | while read -r f; do
  [ -f "$f" ] && clang-format -i "$f"
done
