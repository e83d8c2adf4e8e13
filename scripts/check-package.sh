#!/usr/bin/env bash
# check-package.sh PACKAGE.deb
# Runs the distribution's checkers on the Debian package and on the files in
# it, printing each checker's full output: lintian (errors and warnings fail,
# information and pedantic tags are shown), appstreamcli validate as
# distributions run it (warnings fail),
# desktop-file-validate (a hint fails too), and the udev rule loaded into udev
# against the sysfs fixture from where udev.pc says rules go (Debian 12's
# udevadm has no "verify").
# Needs lintian and appstream: scripts/install-deps.sh lintian appstream
set -uo pipefail
deb=$(realpath "$1")
source_dir=$(cd "$(dirname "$0")/.." && pwd)
unpacked=$(mktemp -d "${TMPDIR:-/tmp}/ostrel-package.XXXXXX")
trap 'rm -rf "$unpacked"' EXIT
dpkg-deb -x "$deb" "$unpacked" || exit 1

failed=()
run() {  # NAME COMMAND...: shows the command's output, remembers a failure
  local name=$1
  shift
  echo "== $name: $*"
  if "$@"; then echo "== $name: passed"; else
    echo "== $name: FAILED"
    failed+=("$name")
  fi
}

# Every tag is shown, overridden ones too; only errors and warnings fail.
lintian_tags() {
  local output status
  output=$(lintian -I -E --pedantic --show-overrides --fail-on none "$deb")
  status=$?
  echo "$output"
  [ $status -eq 0 ] && ! grep -qE '^[EW]: ' <<<"$output"
}
run lintian lintian_tags

# As distributions and software centres validate it, with no finding lowered:
# errors and warnings fail. The pedantic findings are shown as well.
metainfo="$unpacked/usr/share/metainfo/example.veldor.ostrel.metainfo.xml"
run appstream appstreamcli validate --no-net --explain "$metainfo"
echo "== appstream (pedantic, for information):"
appstreamcli validate --no-net --pedantic "$metainfo" || true

desktop_entry() {
  local output
  output=$(desktop-file-validate "$unpacked/usr/share/applications/VELDOR.Ostrel.desktop" 2>&1)
  local status=$?
  [ -z "$output" ] || echo "$output"
  [ $status -eq 0 ] && [ -z "$output" ]
}
run desktop-file-validate desktop_entry

# The rule goes where this system's udev keeps the rules of packages (udev.pc).
udev_rules=$(pkg-config --variable=udevdir udev 2>/dev/null)/rules.d
if [ "$udev_rules" = /rules.d ]; then
  echo "== udev-rule: pkg-config knows no udev.pc (Debian: udev, or systemd-dev from Debian 13 on)"
  failed+=(udev-rule)
elif [ ! -f "$unpacked$udev_rules/70-ostrel.rules" ]; then
  echo "== udev-rule: the package has no $udev_rules/70-ostrel.rules; its rules files:"
  (cd "$unpacked" && find . -name '*.rules')
  failed+=(udev-rule)
else
  run udev-rule "$source_dir/tests/install/check-udev-rule.sh" "$unpacked$udev_rules/70-ostrel.rules" \
    "$source_dir/tests/data/sysfs"
fi

if [ ${#failed[@]} -gt 0 ]; then
  echo "failed: ${failed[*]}"
  exit 1
fi
echo "every checker passed"
