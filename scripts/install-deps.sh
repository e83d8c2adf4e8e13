#!/usr/bin/env bash
# Installs the Debian packages Ostrel needs to build and test, only those missing,
# and any further packages named on the command line (CI's checkers).
#
# scripts/debian-packages.txt names each package once. A line may end in
# release qualifiers, for the few names that differ between Debian releases:
#   qtwayland5 [bookworm]        only on bookworm
#   kglobalacceld [!bookworm]    on every release but bookworm
# The release is the system's own (VERSION_CODENAME in /etc/os-release), or
# OSTREL_DEBIAN_RELEASE when set. `install-deps.sh --list` prints the names for
# this release and installs nothing.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

release=${OSTREL_DEBIAN_RELEASE:-}
if [ -z "$release" ] && [ -r /etc/os-release ]; then
  release=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
fi
if [ -z "$release" ]; then
  echo "install-deps.sh: cannot tell the Debian release (no VERSION_CODENAME in /etc/os-release);" \
    "set OSTREL_DEBIAN_RELEASE" >&2
  exit 1
fi

# package names for $release, one per line
packages_for_release() {
  awk -v release="$release" '
    { sub(/#.*/, "") }
    NF == 0 { next }
    {
      name = $1; rest = $0; sub(/^[^[]*/, "", rest)
      if (rest == "") { print name; next }
      if (rest !~ /^\[[^]]*\][[:space:]]*$/) { printf "bad line: %s\n", $0 > "/dev/stderr"; exit 2 }
      gsub(/[][]/, "", rest); n = split(rest, q, /[[:space:]]+/)
      only = 0; hit = 0; excluded = 0
      for (i = 1; i <= n; i++) {
        if (q[i] == "") continue
        if (substr(q[i], 1, 1) == "!") { if (substr(q[i], 2) == release) excluded = 1 }
        else { only = 1; if (q[i] == release) hit = 1 }
      }
      if (!excluded && (!only || hit)) print name
    }' "$here/debian-packages.txt"
}

if [ "${1:-}" = "--list" ]; then
  packages_for_release
  exit 0
fi

mapfile -t wanted < <(packages_for_release; [ $# -eq 0 ] || printf '%s\n' "$@")
missing=()
for pkg in "${wanted[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$pkg")
  fi
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
echo "Installing missing packages ($release): ${missing[*]}"
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
