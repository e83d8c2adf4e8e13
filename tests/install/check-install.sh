#!/usr/bin/env bash
# check-install.sh BUILD_DIR
#   Installs the build into a temporary prefix: every file is where a desktop,
#   man, udev and the shells look for it under that prefix, and nothing else is
#   there; ostrelctl's completion works in bash, zsh and fish from there; the
#   installed programs run from there.
# check-install.sh --package BUILD_DIR
#   Builds the Debian package: its files are where Debian puts them, owned by
#   root, binaries stripped, its version the same as its changelog's and its
#   AppStream release's; dpkg installs it into a scratch root, the installed
#   programs run, and purging it leaves nothing behind.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
package=0
if [ "$1" = --package ]; then
  package=1
  shift
fi
build_dir=$1
scratch=$(mktemp -d "${TMPDIR:-/tmp}/ostrel-install.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
# Where this system's udev keeps the rules of packages: udev.pc says, as it did
# for the build (/lib/udev before the merged /usr, /usr/lib/udev after).
udev_rules=${OSTREL_UDEV_RULES_DIR:-}
if [ -z "$udev_rules" ]; then
  udevdir=$(pkg-config --variable=udevdir udev 2>/dev/null) ||
    { echo "pkg-config knows no udev.pc (Debian: udev, or systemd-dev from Debian 13 on)" >&2; exit 1; }
  udev_rules=$udevdir/rules.d
fi
udev_rules=${udev_rules#/}

# mode, place under an install prefix, place in the package ("-": not there)
layout="
755 bin/ostrel                                     usr/bin/ostrel
755 bin/ostrel-sim                                 usr/bin/ostrel-sim
755 bin/ostrelctl                                  usr/bin/ostrelctl
755 libexec/ostrel/ostrelkick                      usr/libexec/ostrel/ostrelkick
644 share/applications/VELDOR.Ostrel.desktop       usr/share/applications/VELDOR.Ostrel.desktop
644 share/icons/hicolor/scalable/apps/ostrel.svg   usr/share/icons/hicolor/scalable/apps/ostrel.svg
644 share/metainfo/example.veldor.ostrel.metainfo.xml      usr/share/metainfo/example.veldor.ostrel.metainfo.xml
644 share/man/man1/ostrel.1.gz                     usr/share/man/man1/ostrel.1.gz
644 share/man/man1/ostrelctl.1.gz                  usr/share/man/man1/ostrelctl.1.gz
644 share/man/man1/ostrel-sim.1.gz                 usr/share/man/man1/ostrel-sim.1.gz
644 share/bash-completion/completions/ostrelctl    usr/share/bash-completion/completions/ostrelctl
644 share/zsh/site-functions/_ostrelctl            usr/share/zsh/vendor-completions/_ostrelctl
644 share/fish/vendor_completions.d/ostrelctl.fish usr/share/fish/vendor_completions.d/ostrelctl.fish
644 lib/udev/rules.d/70-ostrel.rules               $udev_rules/70-ostrel.rules
644 -                                              usr/share/doc/ostrel/copyright
644 -                                              usr/share/doc/ostrel/changelog.Debian.gz
644 -                                              usr/share/lintian/overrides/ostrel
"
# expected COLUMN: "MODE PATH" for every file of that column, sorted
expected() { awk -v c="$1" 'NF == 3 && $c != "-" { print $1, $c }' <<<"$layout" | LC_ALL=C sort; }
# present DIR: "MODE PATH" for every file and link under DIR, sorted
present() { (cd "$1" && find . \( -type f -o -type l \) -printf '%m %P\n') | LC_ALL=C sort; }

fail=0
report() {
  echo "$*" >&2
  fail=1
}
# same_layout WHAT EXPECTED FOUND
same_layout() {
  if [ "$2" != "$3" ]; then
    report "$1 is not as expected (< expected, > found):"
    diff <(echo "$2") <(echo "$3") | grep '^[<>]' >&2 || true
  fi
}

# command line | what every shell offers at its end
completions="
ostrelctl |autostart brightness contrast gnome-shortcuts help keybindings light mode monitors page-refresh pause-while-idle read refresh speed status sync-time temperature
ostrelctl pa|page-refresh pause-while-idle
ostrelctl pause-while-idle |off on
ostrelctl co|contrast
ostrelctl contrast |1 2 3 4 5 6 7 8 9 down up
ostrelctl -v mode |graphic text video
ostrelctl light w|warm
ostrelctl speed |1 2 3 4 5
ostrelctl autostart |off on status
ostrelctl gnome-shortcuts |add remove status
ostrelctl -v keybindings |hyprland i3 sway
ostrelctl keyb|keybindings
ostrelctl status --j|--json
"
check_completion() {  # PREFIX
  local lines=() offers=() shell got i
  while IFS='|' read -r line offer; do
    [ -n "$line" ] || continue
    lines+=("$line")
    offers+=("$offer")
  done <<<"$completions"
  for shell in bash zsh fish; do
    mapfile -t got < <("$here/completion-candidates.sh" "$shell" "$1" "${lines[@]}")
    for i in "${!lines[@]}"; do
      [ "${got[i]-}" = "${offers[i]}" ] ||
        report "$shell completes \"${lines[i]}\" with \"${got[i]-}\", expected \"${offers[i]}\""
    done
  done
}

if [ $package -eq 0 ]; then
  prefix=$scratch/prefix
  # The default component, named, so that the install manifest of a developer's
  # own `make install` (build/install_manifest.txt) is left as it was.
  cmake --install "$build_dir" --prefix "$prefix" --component Unspecified >/dev/null
  same_layout "the install under a prefix" "$(expected 2)" "$(present "$prefix")"
  if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$prefix/share/applications/VELDOR.Ostrel.desktop"
  fi
  check_completion "$prefix"
  [ $fail -eq 0 ] || exit 1

  # The installed Ostrel starts (no display needed) and keeps running until
  # stopped: it says it finished launching while it still runs.
  log="$scratch/ostrel.log"
  QT_QPA_PLATFORM=offscreen "$prefix/bin/ostrel" >"$scratch/ostrel.out" 2>"$log" &
  pid=$!
  until grep -q "applicationDidFinishLaunching" "$log" 2>/dev/null; do
    if ! kill -0 "$pid" 2>/dev/null; then
      echo "the installed ostrel exited early:" >&2
      cat "$log" >&2
      exit 1
    fi
    sleep 0.05
  done
  kill -0 "$pid" 2>/dev/null || { echo "the installed ostrel exited after launching:" >&2; cat "$log" >&2; exit 1; }
  kill -TERM "$pid"
  wait "$pid" || true

  # The installed helper finds the installed Ostrel by its fixed relative rule:
  # with Ostrel not running it launches it, then ends. The Ostrel it starts
  # writes to the same log; it counts as launched once it says it finished
  # launching while it still runs.
  kick_log="$scratch/kick.log"
  launched="^$prefix/bin/ostrel --minimized\$"
  "$prefix/libexec/ostrel/ostrelkick" >/dev/null 2>"$kick_log" || true
  started=0
  for _ in $(seq 600); do
    if grep -Eq ' ostrel\[[0-9]+\] applicationDidFinishLaunching$' "$kick_log"; then
      pgrep -f "$launched" >/dev/null && started=1
      break
    fi
    grep -Eq 'nothing launched|could not launch' "$kick_log" && break
    sleep 0.05
  done
  pkill -f "$launched" || true
  for _ in $(seq 100); do pgrep -f "$launched" >/dev/null || break; sleep 0.05; done
  if [ $started -ne 1 ]; then
    echo "ostrelkick did not launch the installed ostrel:" >&2
    cat "$kick_log" >&2
    ps -eo pid,ppid,pgid,stat,cmd >&2
    exit 1
  fi
  echo "install layout: 1 passed, 0 failed"
  exit 0
fi

# The package, built as `make package` builds it, into the scratch directory.
cpack -G DEB --config "$build_dir/CPackConfig.cmake" -B "$scratch/cpack" >"$scratch/cpack.log" 2>&1 ||
  { cat "$scratch/cpack.log" >&2; exit 1; }
debs=("$scratch"/cpack/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || { echo "cpack made no single package: ${debs[*]}" >&2; exit 1; }
deb=${debs[0]}
arch=$(dpkg --print-architecture)
version=$(dpkg-deb -f "$deb" Version)
[ "$(basename "$deb")" = "ostrel_${version}_${arch}.deb" ] || report "the package file is named $(basename "$deb")"
[ "$(dpkg-deb -f "$deb" Package)" = ostrel ] || report "the package is not called ostrel"
[ "$(dpkg-deb -f "$deb" Architecture)" = "$arch" ] || report "the package is not for $arch"
# Runtime dependencies come from the binaries.
dpkg-deb -f "$deb" Depends | grep -q 'libqt6widgets6' || report "Depends lacks Qt: $(dpkg-deb -f "$deb" Depends)"
owners=$(dpkg-deb -c "$deb" | awk '{ print $2 }' | sort -u)
[ "$owners" = root/root ] || report "the package's files belong to $owners, not root/root"
odd_dirs=$(dpkg-deb -c "$deb" | awk '$1 ~ /^d/ && $1 != "drwxr-xr-x" { print $1, $6 }')
[ -z "$odd_dirs" ] || report "directories without mode 755: $odd_dirs"

# Into a scratch root. The libraries the programs need are the host's, not the
# scratch root's, hence --force-depends; the package has no maintainer scripts.
root=$scratch/root
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
: >"$root/var/lib/dpkg/status"
dpkg_root=(dpkg --root="$root" --log=/dev/null --force-not-root --force-depends)
"${dpkg_root[@]}" --install "$deb" >"$scratch/dpkg.log" 2>&1 || { cat "$scratch/dpkg.log" >&2; exit 1; }
same_layout "the installed package" "$(expected 3)" "$(present "$root" | grep -v ' var/lib/dpkg/')"
listed=$("${dpkg_root[@]}" --listfiles ostrel | while read -r path; do [ -d "$root$path" ] || echo "${path#/}"; done |
  LC_ALL=C sort)
same_layout "dpkg's list of the package's files" "$(expected 3 | cut -d' ' -f2 | LC_ALL=C sort)" "$listed"
for program in usr/bin/ostrel usr/bin/ostrel-sim usr/bin/ostrelctl usr/libexec/ostrel/ostrelkick; do
  file -b "$root/$program" | grep -q ', stripped' || report "$program is not stripped"
done

# One version everywhere: the package's, its changelog's, its AppStream release's.
zcat "$root/usr/share/doc/ostrel/changelog.Debian.gz" >"$scratch/changelog"
changelog_version=$(dpkg-parsechangelog -l "$scratch/changelog" -S Version)
[ "$changelog_version" = "$version" ] || report "the package is $version, its changelog's newest entry $changelog_version"
release=$(grep -o '<release version="[^"]*"' "$root/usr/share/metainfo/example.veldor.ostrel.metainfo.xml" | head -n1 | cut -d'"' -f2)
[ "$release" = "${version%-*}" ] || report "the package is $version, its newest AppStream release $release"

# The installed, stripped programs run.
"$root/usr/bin/ostrelctl" --help | grep -q '^Usage: ostrelctl' || report "the installed ostrelctl does not run"
"$root/usr/bin/ostrel-sim" --help >/dev/null || report "the installed ostrel-sim does not run"

# Purging leaves nothing but dpkg's own records.
"${dpkg_root[@]}" --purge ostrel >>"$scratch/dpkg.log" 2>&1 || { cat "$scratch/dpkg.log" >&2; exit 1; }
left=$(cd "$root" && find . -mindepth 1 ! -path ./var ! -path ./var/lib ! -path ./var/lib/dpkg ! -path './var/lib/dpkg/*')
[ -z "$left" ] || report "left behind after purging: $left"
if "${dpkg_root[@]}" --status ostrel >/dev/null 2>&1; then report "dpkg still knows ostrel after purging"; fi

[ $fail -eq 0 ] || exit 1
echo "install package: 1 passed, 0 failed"
