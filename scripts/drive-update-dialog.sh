#!/usr/bin/env bash
# Drives one download through the Online Update dialog with real X input (xdotool) on the display
# of $DISPLAY, saving screenshots of each stage, and exits with the program's exit code.
#
#   drive-update-dialog.sh <program> <screenshot folder>
#
# Stages: the idle dialog (update-idle.png), the product menu opened by the Download button
# (update-menu.png), the progress text while the first product downloads (update-progress.png),
# the question whether to open the installer (update-question.png), answered Yes. Used by
# scripts/run.sh without a display and by scripts/update-screenshots.sh; the program must have been
# built with a download host that serves the products.
set -euo pipefail
program=$1
shots=$2
log="$shots/update-program.log"

fail() {
  echo "drive-update-dialog: $*" >&2
  [ -f "$log" ] && cat "$log" >&2
  exit 3
}

# Polls (bounded) for a visible top-level window named exactly $1; prints its id.
window_named() {
  local id
  for _ in $(seq 300); do
    id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1 || true)
    if [ -n "$id" ]; then echo "$id"; return 0; fi
    sleep 0.1
  done
  return 1
}

# Polls (bounded) for a visible top-level window whose top-left corner is $1,$2 (the menu).
window_at() {
  for _ in $(seq 300); do
    for id in $(xdotool search --onlyvisible --name '' 2>/dev/null); do
      if xdotool getwindowgeometry "$id" 2>/dev/null | grep -q "Position: $1,$2 "; then
        echo "$id"
        return 0
      fi
    done
    sleep 0.1
  done
  return 1
}

# The screen around the dialog (and the menu below it), as a PNG.
shot() {
  xwd -root -silent | convert xwd:- -crop "$((W + 80))x$((H + 130))+$((X - 40))+$((Y - 40))" +repage "$shots/$1"
  echo "saved $shots/$1"
}

"$program" >"$log" 2>&1 &
pid=$!

dialog=$(window_named "Online Update") || fail "the dialog did not appear"
eval "$(xdotool getwindowgeometry --shell "$dialog" | sed 's/^/W_/')"
X=$W_X Y=$W_Y W=$W_WIDTH H=$W_HEIGHT
sleep 0.3  # let it finish painting
shot update-idle.png

# Download: the button at (8, 160), 89 x 27; the menu opens below it.
xdotool mousemove --sync $((X + 40)) $((Y + 173)) click 1
menu=$(window_at $((X + 8)) $((Y + 187))) || fail "the product menu did not open"
sleep 0.2
shot update-menu.png

# The first entry: Download VESTRA PAY for Windows.
xdotool mousemove --sync $((X + 60)) $((Y + 197)) click 1
sleep 1.5  # the sample server sends slowly: the progress text is up now
shot update-progress.png

question=$(window_named "Confirm") || fail "the question whether to open the installer did not come"
sleep 0.3
shot update-question.png
eval "$(xdotool getwindowgeometry --shell "$question" | sed 's/^/Q_/')"
# Yes is the left one of the two buttons centred at the bottom of the box.
xdotool mousemove --sync $((Q_X + Q_WIDTH / 2 - 40)) $((Q_Y + Q_HEIGHT - 24)) click 1

code=0
wait "$pid" || code=$?
sleep 0.5  # the installer runs on its own; give it a moment to leave its note
cat "$log"
exit "$code"
