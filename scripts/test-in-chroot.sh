#!/usr/bin/env bash
# test-in-chroot.sh [--shell|--prepare] [RELEASE]
#   Builds a clean clone of this checkout's HEAD in a chroot of another Debian
#   release (default trixie, Debian 13) and runs there what `.ci/run` runs on
#   the host's release: `make test` with warnings as errors, then `make
#   package` and scripts/check-package.sh on the package. Every test must run
#   (OSTREL_REQUIRE_ALL_TESTS=1). Logs, screenshots and the package land in
#   build-RELEASE/ beside the checkout.
#   --shell opens a shell in the chroot instead, the checkout bound read-only at
#   /mnt/ostrel-src; --prepare only makes (or checks) the chroot.
#
# The chroot is made with debootstrap from the Debian mirror this machine's apt
# already uses, with the packages scripts/install-deps.sh names for RELEASE,
# and kept in /var/cache/ostrel/chroot-RELEASE. It is reused while that list is
# the same, and made anew when it changed. Each run happens in private mount
# and PID namespaces (fresh /proc, /dev/pts, tmpfs /tmp, /run and /dev/shm):
# when it ends, every process it started and every mount is gone. Needs root.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/.." && pwd)
arguments=("$@")
mode=test
case "${1:-}" in
  --shell) mode=shell; shift ;;
  --prepare) mode=prepare; shift ;;
esac
release=${1:-trixie}
cache=${OSTREL_CHROOT_CACHE:-/var/cache/ostrel}
dir=$cache/chroot-$release
out=$source_dir/build-$release
# The user the tests run compositors as (sway refuses root).
test_user=ostrel-test

if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "test-in-chroot.sh: needs root (debootstrap, chroot, mounts)" >&2; exit 1; }
  exec sudo "$0" "${arguments[@]}"
fi
"$here/install-deps.sh" debootstrap >/dev/null

# The Debian mirror of this machine's apt sources (deb822 first, then one-line lists).
apt_uris() {
  local f
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] && sed -n 's/^URIs:[[:space:]]*//p' "$f" | tr ' ' '\n'
  done
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] && sed -n 's/^deb[[:space:]]\+\(\[[^]]*\][[:space:]]\+\)\?\([^[:space:]]\+\).*/\2/p' "$f"
  done
  return 0
}
mirror=$(apt_uris | grep -E '/debian/?$' | head -n1 | sed 's#/$##')
security=$(apt_uris | grep -E '/debian-security/?$' | head -n1 | sed 's#/$##')
[ -n "$mirror" ] || { echo "test-in-chroot.sh: no Debian mirror in this machine's apt sources" >&2; exit 1; }

# What the chroot holds: the project's packages for that release, what CI adds
# (the package checkers), and this recipe's own revision.
recipe_revision=1
packages=$(OSTREL_DEBIAN_RELEASE=$release "$here/install-deps.sh" --list; printf '%s\n' lintian appstream ccache)
stamp=$(printf 'revision %s\n%s\n' "$recipe_revision" "$(LC_ALL=C sort -u <<<"$packages")" | sha256sum | cut -d' ' -f1)

sources=$(mktemp "${TMPDIR:-/tmp}/ostrel-sources.XXXXXX")
trap 'rm -f "$sources"' EXIT
{
  printf 'deb %s %s main\n' "$mirror" "$release"
  printf 'deb %s %s-updates main\n' "$mirror" "$release"
  [ -z "$security" ] || printf 'deb %s %s-security main\n' "$security" "$release"
} >"$sources"
chmod 644 "$sources"

# in_chroot ROOT BINDS CMD...: runs CMD in ROOT inside private namespaces.
# BINDS: "HOSTDIR:DIR:ro|rw ..." extra binds.
in_chroot() {
  local root=$1 binds=$2
  shift 2
  ROOT=$root BINDS=$binds SOURCES=$sources unshare --mount --pid --fork --propagation private -- bash -c '
    set -e
    # The root must be a mount point of its own, or unshare --mount inside it
    # (the udev rule check) is refused.
    mount --bind "$ROOT" "$ROOT"
    mount -t proc proc "$ROOT/proc"
    mount --rbind /sys "$ROOT/sys"; mount --make-rslave "$ROOT/sys"
    mount --bind /dev "$ROOT/dev"
    mount -t devpts -o newinstance,ptmxmode=0666,mode=620 devpts "$ROOT/dev/pts"
    mount --bind "$ROOT/dev/pts/ptmx" "$ROOT/dev/ptmx"
    mount -t tmpfs -o mode=1777 tmpfs "$ROOT/dev/shm"
    mount -t tmpfs -o mode=1777 tmpfs "$ROOT/tmp"
    mount -t tmpfs -o mode=755 tmpfs "$ROOT/run"
    mkdir -p "$ROOT/run/lock"
    mount -t tmpfs -o mode=755 tmpfs "$ROOT/var/lib/apt/lists"
    mkdir -p "$ROOT/var/lib/apt/lists/partial"
    mount --bind -o ro "$SOURCES" "$ROOT/etc/apt/sources.list"
    for b in $BINDS; do
      host=${b%%:*}; rest=${b#*:}; inside=${rest%:*}; mode=${rest##*:}
      mkdir -p "$ROOT$inside"
      mount --bind "$host" "$ROOT$inside"
      [ "$mode" = rw ] || mount -o remount,bind,ro "$ROOT$inside"
    done
    exec chroot "$ROOT" /usr/bin/env -i HOME=/root TERM="${TERM:-dumb}" LANG=C.UTF-8 \
      PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin "$@"
  ' in-chroot "$@"
}

make_chroot() {
  local new=$dir.new start
  rm -rf "$new" "$dir"
  mkdir -p "$cache"
  start=$(date +%s)
  echo "== making the $release chroot in $dir (debootstrap from $mirror)"
  debootstrap --variant=minbase --include=git,make,ca-certificates "$release" "$new" "$mirror" \
    >"$cache/debootstrap-$release.log" 2>&1 || { tail -n 20 "$cache/debootstrap-$release.log" >&2; exit 1; }
  # apt gets its sources from the mount above on every run; nothing of the
  # mirror stays in the chroot.
  printf '# Mounted over for each run by scripts/test-in-chroot.sh.\n' >"$new/etc/apt/sources.list"
  rm -f "$new"/etc/apt/sources.list.d/*
  cat >"$new/etc/apt/apt.conf.d/90ostrel" <<'CONF'
APT::Install-Recommends "false";
Dir::Cache::pkgcache "";
Dir::Cache::srcpkgcache "";
CONF
  echo "== debootstrap: $(($(date +%s) - start)) s; installing $(wc -l <<<"$packages") packages"
  start=$(date +%s)
  # shellcheck disable=SC2086
  in_chroot "$new" "" bash -c "apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -q \
    $(tr '\n' ' ' <<<"$packages") >/var/log/ostrel-packages.log 2>&1 || { tail -n 30 /var/log/ostrel-packages.log; exit 1; }
    apt-get clean; useradd --create-home --shell /bin/bash $test_user"
  echo "== packages: $(($(date +%s) - start)) s"
  echo "$stamp" >"$new/etc/ostrel-chroot-stamp"
  mv "$new" "$dir"
}

if [ "$(cat "$dir/etc/ostrel-chroot-stamp" 2>/dev/null)" != "$stamp" ]; then
  make_chroot
else
  echo "== reusing the $release chroot in $dir"
fi

case $mode in
  prepare) exit 0 ;;
  shell) in_chroot "$dir" "$source_dir:/mnt/ostrel-src:ro" bash -l; exit $? ;;
esac

rm -rf "$out"
mkdir -p "$out" "$cache/ccache-$release"
# The clone is of the commit checked out: what is not committed is not tested.
head=$(git -C "$source_dir" rev-parse --short HEAD)
echo "== building and testing $head in the $release chroot (logs in $out)"
in_chroot "$dir" "$source_dir:/mnt/ostrel-src:ro $out:/mnt/ostrel-out:rw $cache/ccache-$release:/var/cache/ccache:rw" \
  env JOBS="$(nproc)" OSTREL_TEST_USER=$test_user bash -c '
  set -euo pipefail
  start=$(date +%s)
  stamp() { echo "== [$(( $(date +%s) - start ))s] $*"; }
  git config --global --add safe.directory /mnt/ostrel-src/.git
  git config --global --add safe.directory /mnt/ostrel-src
  git clone -q /mnt/ostrel-src /tmp/ostrel
  cd /tmp/ostrel
  export CCACHE_DIR=/var/cache/ccache CCACHE_MAXSIZE=5G OSTREL_REQUIRE_ALL_TESTS=1
  export CMAKE_FLAGS="-DOSTREL_WERROR=ON -DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache"
  # On exit, whatever happened: what a person needs to see afterwards.
  keep() {
    cp -r build/screenshots /mnt/ostrel-out/ 2>/dev/null || true
    cp build/Testing/Temporary/LastTest.log /mnt/ostrel-out/ 2>/dev/null || true
    cp build/ostrel_*.deb /mnt/ostrel-out/ 2>/dev/null || true
  }
  trap keep EXIT
  stamp "make test ($(. /etc/os-release && echo "$PRETTY_NAME"), $(g++ --version | head -n1))"
  # The USB guest test boots QEMU, on the host only.
  make test JOBS=$JOBS CTEST_ARGS="-LE usb"
  stamp "Debian package and its checkers"
  make package JOBS=$JOBS
  scripts/check-package.sh build/ostrel_*_"$(dpkg --print-architecture)".deb
  stamp "done"
' 2>&1 | tee "$out/run.log"
exit "${PIPESTATUS[0]}"
