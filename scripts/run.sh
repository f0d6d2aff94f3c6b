#!/usr/bin/env bash
# The program's main job on a fresh Debian 12 machine, end to end: installs what is missing,
# starts a local nginx on loopback that serves two sample installers under /downloads/, builds
# the Online Update program with its download host pointed at that nginx, and runs the dialog.
#
#   bash scripts/run.sh [--headless] [screenshot folder]
#
# With a display ($DISPLAY reachable) the dialog opens for you to use. Without one (or with
# --headless) it runs on a private X server (Xvfb): one download is made through the real
# Download button and product menu (xdotool), the question is answered Yes, screenshots are saved
# (default folder: build/screenshots), and the exit code and the downloaded file are reported.
#
# The sample installers are harmless shell scripts: run, they write INSTALLED-<name>.txt next to
# themselves. They are padded and served at a limited rate so that the progress text can be seen.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

headless=0
if [ "${1:-}" = "--headless" ]; then
  headless=1
  shift
fi
shots=$(realpath -m "${1:-build/screenshots}")

bash scripts/deps.sh

# ---- the local download server
work=$(mktemp -d /tmp/online-update-run.XXXXXX)
nginx_pid=""
cleanup() {
  if [ -n "$nginx_pid" ]; then kill "$nginx_pid" 2>/dev/null || true; wait "$nginx_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/docroot/downloads" "$work/temp"
make_installer() {  # <file> <product name>
  local file=$1 name=$2 base
  base=$(basename "$file" .exe | tr '[:lower:]' '[:upper:]')
  {
    echo '#!/bin/sh'
    echo "# Sample installer of $name, served by scripts/run.sh."
    echo "echo \"$name installed by the Online Update sample installer\" > \"\$(dirname \"\$0\")/INSTALLED-$base.txt\""
    echo "echo \"$name: sample installer ran\""
    echo 'exit 0'
    # Padding (comments never read): makes the transfer last long enough to watch its progress.
    head -c 1500000 /dev/zero | tr '\0' '#' | fold -w 99
  } >"$file"
  chmod 755 "$file"
}
make_installer "$work/docroot/downloads/vpaywin7.exe" "VESTRA PAY for Windows"
make_installer "$work/docroot/downloads/vtmswin.exe" "VESTRA TMS for Windows"

port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
cat >"$work/nginx.conf" <<EOF
daemon off;
master_process off;
worker_processes 1;
pid $work/nginx.pid;
error_log $work/error.log;
events { worker_connections 64; }
http {
  access_log $work/access.log;
  client_body_temp_path $work/temp/body;
  proxy_temp_path $work/temp/proxy;
  fastcgi_temp_path $work/temp/fastcgi;
  uwsgi_temp_path $work/temp/uwsgi;
  scgi_temp_path $work/temp/scgi;
  default_type application/octet-stream;
  server {
    listen 127.0.0.1:$port;
    root $work/docroot;
    location /downloads/ { limit_rate 400k; }
  }
}
EOF
nginx -p "$work" -c "$work/nginx.conf" &
nginx_pid=$!
for _ in $(seq 100); do
  curl -sf -o /dev/null "http://127.0.0.1:$port/downloads/vtmswin.exe" --max-time 1 -r 0-0 && break
  sleep 0.1
done
echo "Download server: http://127.0.0.1:$port/downloads/ (nginx, pid $nginx_pid)"

# ---- the program, built with that download host
build=build/run
cmake --preset release -B "$build" -DOU_DOWNLOAD_HOST="127.0.0.1:$port" >/dev/null
cmake --build "$build" --target online_update -j "$(nproc)"
program="$root/$build/update/online_update"
folder=$(dirname "$program")
rm -f "$folder"/VPAYWIN7.EXE "$folder"/VTMSWIN.EXE "$folder"/INSTALLED-*.txt

report() {  # <exit code>
  echo "Online Update ended with exit code $1 (0: dialog closed; 1: a download completed)."
  local found=0
  for file in "$folder"/VPAYWIN7.EXE "$folder"/VTMSWIN.EXE; do
    [ -f "$file" ] || continue
    found=1
    echo "Downloaded: $file ($(stat -c %s "$file") bytes)"
    [ -f "$folder/INSTALLED-$(basename "$file" .EXE).txt" ] &&
      echo "The installer ran: $(cat "$folder/INSTALLED-$(basename "$file" .EXE).txt")"
  done
  [ $found -eq 1 ] || echo "No installer was downloaded."
}

if [ $headless -eq 0 ] && [ -n "${DISPLAY:-}" ] && xdotool getdisplaygeometry >/dev/null 2>&1; then
  set +e
  "$program"
  code=$?
  set -e
  report $code
  exit 0
fi

# ---- no display: one download driven through the real controls on a private X server
mkdir -p "$shots"
set +e
forms/tests/run-with-xvfb.sh bash scripts/drive-update-dialog.sh "$program" "$shots"
code=$?
set -e
report $code
echo "Screenshots:"
ls -1 "$shots"/update-*.png
