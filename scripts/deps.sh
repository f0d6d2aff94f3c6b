#!/usr/bin/env bash
# Installs the Debian packages listed in scripts/packages.txt that are missing. Idempotent and
# silent when everything is there already.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
mapfile -t wanted < <(grep -v '^\s*#' "$here/packages.txt" | sed '/^\s*$/d')
missing=()
for pkg in "${wanted[@]}"; do
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
sudo_cmd=""
[ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo_cmd apt-get update -qq
$sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
# Packages that start services on install must not hold the ports or run the servers our tests start.
for svc in nginx squid; do
  $sudo_cmd systemctl disable --now "$svc" >/dev/null 2>&1 || $sudo_cmd service "$svc" stop >/dev/null 2>&1 || true
done
