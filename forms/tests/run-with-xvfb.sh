#!/usr/bin/env bash
# Runs a command on a private X server (Xvfb) that is started before and stopped after it.
# Xvfb picks a free display number itself (-displayfd), so test runs in parallel never collide.
# The screen is 1280x1024 unless XVFB_SCREEN says otherwise. Under LeakSanitizer the leaks that
# FLTK's font library keeps on purpose are suppressed (lsan-suppressions.txt).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
export LSAN_OPTIONS="suppressions=$here/lsan-suppressions.txt${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
fifo=$(mktemp -u /tmp/xvfb-display.XXXXXX)
mkfifo "$fifo"
Xvfb -displayfd 3 -screen 0 "${XVFB_SCREEN:-1280x1024x24}" -nolisten tcp 3>"$fifo" 2>/dev/null &
server=$!
trap 'kill "$server" 2>/dev/null || true; wait "$server" 2>/dev/null || true; rm -f "$fifo"' EXIT
display=""
read -r -t 20 display <"$fifo" || true
if [ -z "$display" ]; then
  echo "run-with-xvfb: Xvfb did not start" >&2
  exit 1
fi
export DISPLAY=":$display"
"$@"
