#!/usr/bin/env bash
# Installs the Debian packages Ostrel needs to build and test, only those missing,
# and any further packages named on the command line (CI's checkers).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
mapfile -t wanted < <(grep -vE '^\s*(#|$)' "$here/debian-packages.txt"; [ $# -eq 0 ] || printf '%s\n' "$@")
missing=()
for pkg in "${wanted[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$pkg")
  fi
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
echo "Installing missing packages: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  if ! command -v sudo >/dev/null; then
    echo "These packages are missing and sudo is not available: ${missing[*]}" >&2
    echo "Install them as root with: apt-get install ${missing[*]}" >&2
    exit 1
  fi
  sudo="sudo"
fi
$sudo env DEBIAN_FRONTEND=noninteractive apt-get update -qq
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
