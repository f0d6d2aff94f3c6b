#!/usr/bin/env bash
# Builds the libFuzzer target of the winhttp parsers with clang (ASan + UBSan) and runs it on the
# seed corpus. Not part of the normal build or of ctest.
#   bash winhttp/fuzz/run.sh            # 200000 runs (a few seconds)
#   bash winhttp/fuzz/run.sh -runs=0    # any libFuzzer flags; -max_total_time=60 for a minute
# Needs clang and libclang-rt-14-dev. New inputs go to build/winhttp-fuzz/corpus, never into the
# seed corpus in the tree.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
out="$root/build/winhttp-fuzz"
mkdir -p "$out/corpus"
clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
  -I "$root/winhttp/include" -I "$root/kernel/include" -I "$root/inet/include" \
  "$here/fuzz_parsers.cpp" \
  "$root/winhttp/src/http_date.cpp" "$root/winhttp/src/int_text.cpp" \
  "$root/winhttp/src/date_time.cpp" "$root/winhttp/src/url_escape.cpp" \
  "$root/winhttp/src/status_text.cpp" "$root/kernel/src/timezone.cpp" \
  -o "$out/fuzz_parsers"
cd "$out"
if [ $# -eq 0 ]; then set -- -runs=200000; fi
TZ=CST-8 ./fuzz_parsers -seed=1 -max_len=256 "$@" corpus "$here/corpus"
