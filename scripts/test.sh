#!/usr/bin/env bash
# The whole test suite on a fresh Debian 12 machine: installs what is missing, checks the format,
# then builds and runs every test in the debug build, every test under AddressSanitizer +
# UndefinedBehaviorSanitizer, and the thread-related tests under ThreadSanitizer; last it builds the
# optimised release preset (benchmarks included), whose warnings differ, without running it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
bash scripts/check-format.sh
jobs=$(nproc)
for preset in debug asan tsan; do
  echo "=== $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  ctest --preset "$preset" -j "$jobs"
done
echo "=== release (build only)"
cmake --preset release >/dev/null
cmake --build --preset release -j "$jobs"
