#!/usr/bin/env bash
# Runs one test executable in a clean per-user environment:
# fresh XDG_CONFIG_HOME / XDG_RUNTIME_DIR / XDG_STATE_HOME, and, when asked, its own Xvfb server
# (--x11), its own session bus (--dbus), or a headless Wayland desktop:
#  --kwin    kwin_wayland --virtual with the real portals (xdg-desktop-portal and
#            its KDE backend) on a session bus of its own
#  --weston  weston's headless backend, on a session bus with no portal at all
#  --sway    headless sway (wlroots), on a session bus with no portal at all;
#            OSTREL_SWAY_CONFIG_DIR is a folder its configuration includes
#            (`swaymsg reload` reads what a test puts there)
#  --gnome   gnome-shell --headless with GNOME's portals where installed, its
#            settings daemon's media keys when asked (tests/gnome/gnome-session.sh)
# A Wayland desktop's bus starts nothing on demand: what runs is what was
# started here. Its XDG data, cache and state folders are fresh too (KDE keeps
# its record of assigned shortcuts there). When the compositor's programs are
# missing, OSTREL_WAYLAND_MISSING names them and the test runs without one;
# with OSTREL_REQUIRE_ALL_TESTS=1 (CI) that is a failure instead.
set -uo pipefail
want_x11=0
want_dbus=0
want_wayland=""
while [ $# -gt 0 ]; do
  case "$1" in
    --x11) want_x11=1; shift ;;
    --dbus) want_dbus=1; shift ;;
    --kwin) want_wayland=kwin; shift ;;
    --weston) want_wayland=weston; shift ;;
    --sway) want_wayland=sway; shift ;;
    --gnome) want_wayland=gnome; shift ;;
    *) break ;;
  esac
done
scratch=$(mktemp -d "${TMPDIR:-/tmp}/ostrel-test.XXXXXX")
mkdir -p "$scratch/config" "$scratch/runtime" "$scratch/state"
chmod 700 "$scratch/runtime"
export XDG_CONFIG_HOME="$scratch/config"
export XDG_STATE_HOME="$scratch/state"
export XDG_RUNTIME_DIR="$scratch/runtime"
export OSTREL_TEST_SCRATCH="$scratch"
# Tests use virtual ports only: they never probe or hold the machine's own
# serial devices, which other tests (or the developer) may be using.
export OSTREL_SERIAL_SOURCES=virtual
# A test chooses its display server itself: the developer's own Wayland session
# must not send Ostrel to the desktop's portals.
unset XDG_SESSION_TYPE
# Nor does it reach the machine's own logind: a test that needs one starts a
# system bus of its own.
export DBUS_SYSTEM_BUS_ADDRESS="unix:path=$scratch/no-system-bus"
xvfb_pid=""
desktop_pids=()
sway_user=""
cleanup() {
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null; wait "$xvfb_pid" 2>/dev/null; fi
  [ "$want_wayland" = gnome ] && stop_gnome_session_services
  local i
  for ((i = ${#desktop_pids[@]} - 1; i >= 0; i--)); do
    kill "${desktop_pids[i]}" 2>/dev/null
    wait "${desktop_pids[i]}" 2>/dev/null
  done
  remove_sway_user
  rm -rf "$scratch"
}
trap cleanup EXIT
# Up to 60 s for a condition; the desktop's programs start slowly on a loaded machine.
wait_until() {
  local deadline=$((SECONDS + 60))
  until eval "$1" >/dev/null 2>&1; do
    [ $SECONDS -ge $deadline ] && return 1
    sleep 0.05
  done
}
bus_has() {
  dbus-send --session --reply-timeout=5000 --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.NameHasOwner "string:$1" 2>/dev/null | grep -q 'boolean true'
}
# write_bus_config FILE session|system EXTRA [LISTEN_DIR] [POLICY]: a bus of the
# test's own listening in LISTEN_DIR (default the scratch folder); EXTRA goes
# into the configuration (a <servicedir>, say), POLICY into its default policy.
write_bus_config() {
  cat >"$1" <<END
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>$2</type>
  <listen>unix:dir=${4:-$scratch}</listen>
  <auth>EXTERNAL</auth>
  $3
  <policy context="default">
    ${5:-}
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
END
}
desktop_failed() {
  echo "$1 did not start:" >&2
  cat "$scratch"/*.log >&2
  exit 1
}
# shellcheck source=../gnome/gnome-session.sh
. "$(dirname "${BASH_SOURCE[0]}")/../gnome/gnome-session.sh"
start_desktop() {
  local kde_portal="" p
  for p in /usr/lib/*/libexec/xdg-desktop-portal-kde /usr/libexec/xdg-desktop-portal-kde; do
    [ -x "$p" ] && kde_portal=$p
  done
  local missing=()
  if [ "$1" = gnome ]; then
    read -ra missing <<<"$(gnome_missing)"
  elif [ "$1" = kwin ]; then
    command -v kwin_wayland >/dev/null || missing+=(kwin_wayland)
    [ -x /usr/libexec/xdg-desktop-portal ] || missing+=(xdg-desktop-portal)
    [ -n "$kde_portal" ] || missing+=(xdg-desktop-portal-kde)
  elif [ "$1" = sway ]; then
    local p
    for p in sway swaymsg wayland-info; do command -v $p >/dev/null || missing+=($p); done
    if [ "$(id -u)" = 0 ]; then
      for p in setpriv useradd userdel; do command -v $p >/dev/null || missing+=($p); done
    fi
  else
    command -v weston >/dev/null || missing+=(weston)
  fi
  if [ ${#missing[@]} -gt 0 ]; then
    if [ "${OSTREL_REQUIRE_ALL_TESTS:-0}" = 1 ]; then
      echo "run-test.sh: the $1 desktop needs ${missing[*]}, which is not installed here, and" \
        "OSTREL_REQUIRE_ALL_TESTS=1 does not let the test be skipped" >&2
      exit 1
    fi
    export OSTREL_WAYLAND_MISSING="${missing[*]}"
    export QT_QPA_PLATFORM=offscreen
    export DBUS_SESSION_BUS_ADDRESS="unix:path=$scratch/no-session-bus"
    return
  fi
  if [ "$1" = gnome ]; then
    start_gnome_session
    return
  fi
  mkdir -p "$scratch/data" "$scratch/cache"
  export XDG_DATA_HOME="$scratch/data" XDG_CACHE_HOME="$scratch/cache"
  if [ "$1" = kwin ]; then
    # A desktop entry for the Ostrel under test, as an installed one has:
    # portals from 1.19.4 know an application by it.
    if [ -n "${OSTREL_BIN_DIR:-}" ]; then
      mkdir -p "$XDG_DATA_HOME/applications"
      printf '[Desktop Entry]\nType=Application\nName=Ostrel\nExec=%s\nTryExec=%s\nNoDisplay=true\n' \
        "$OSTREL_BIN_DIR/ostrel" "$OSTREL_BIN_DIR/ostrel" >"$XDG_DATA_HOME/applications/VELDOR.Ostrel.desktop"
    fi
    # KWin 6 gives the KDE portal the screencast protocol (without it the
    # portal refuses every RemoteDesktop session) only once it finds the
    # portal's desktop entry, which KService lists through an applications
    # menu; a Plasma session brings plasma-applications.menu along.
    mkdir -p "$XDG_CONFIG_HOME/menus"
    cat >"$XDG_CONFIG_HOME/menus/applications.menu" <<END
<Menu><Name>Applications</Name><DefaultAppDirs/><Include><All/></Include></Menu>
END
  fi
  # sway's own user runs the commands of its key bindings (ostrelctl): it must
  # reach the bus too.
  if [ "$1" = sway ]; then
    mkdir -m 755 "$scratch/bus-socket"
    write_bus_config "$scratch/bus.conf" session "" "$scratch/bus-socket" '<allow user="*"/>'
  else
    write_bus_config "$scratch/bus.conf" session ""
  fi
  dbus-daemon --config-file="$scratch/bus.conf" --nofork --print-address=3 3>"$scratch/bus" &
  desktop_pids+=($!)
  wait_until "[ -s '$scratch/bus' ]" || desktop_failed dbus-daemon
  export DBUS_SESSION_BUS_ADDRESS=$(head -n1 "$scratch/bus")
  unset DISPLAY
  if [ "$1" = kwin ]; then
    # The packaged binary carries a file capability that a container may not
    # grant (exec fails with EPERM); a plain copy has none.
    cp "$(command -v kwin_wayland)" "$scratch/kwin_wayland"
    env -u QT_QPA_PLATFORM KWIN_SCREENSHOT_NO_PERMISSION_CHECKS=1 "$scratch/kwin_wayland" --virtual \
      --no-lockscreen --socket wl-ostrel --width 1024 --height 768 >"$scratch/kwin.log" 2>&1 &
    desktop_pids+=($!)
    wait_until "[ -S '$XDG_RUNTIME_DIR/wl-ostrel' ] && bus_has org.kde.kglobalaccel" || desktop_failed kwin_wayland
    export WAYLAND_DISPLAY=wl-ostrel XDG_SESSION_TYPE=wayland XDG_CURRENT_DESKTOP=KDE
    # The permission store keeps the RemoteDesktop portal's restore tokens and
    # Plasma 6's pre-authorisations (table kde-authorized).
    if [ -x /usr/libexec/xdg-permission-store ]; then
      /usr/libexec/xdg-permission-store >"$scratch/permission-store.log" 2>&1 &
      desktop_pids+=($!)
      wait_until "bus_has org.freedesktop.impl.portal.PermissionStore" || desktop_failed xdg-permission-store
    fi
    QT_QPA_PLATFORM=wayland "$kde_portal" >"$scratch/portal-kde.log" 2>&1 &
    desktop_pids+=($!)
    wait_until "bus_has org.freedesktop.impl.portal.desktop.kde" || desktop_failed xdg-desktop-portal-kde
    /usr/libexec/xdg-desktop-portal >"$scratch/portal.log" 2>&1 &
    desktop_pids+=($!)
    # From 1.18 on the frontend owns its name before it has exported the portals.
    wait_until "dbus-send --session --print-reply --dest=org.freedesktop.portal.Desktop /org/freedesktop/portal/desktop \
      org.freedesktop.DBus.Introspectable.Introspect | grep -q 'org.freedesktop.portal.RemoteDesktop'" \
      || desktop_failed xdg-desktop-portal
  elif [ "$1" = sway ]; then
    start_sway
  else
    # pixman draws into memory, so screenshots have pixels; --debug lets
    # weston-screenshooter in.
    weston --backend=headless-backend.so --use-pixman --width=1024 --height=768 --socket=wl-ostrel \
      --idle-time=0 --debug >"$scratch/weston.log" 2>&1 &
    desktop_pids+=($!)
    wait_until "[ -S '$XDG_RUNTIME_DIR/wl-ostrel' ]" || desktop_failed weston
    export WAYLAND_DISPLAY=wl-ostrel XDG_SESSION_TYPE=wayland
  fi
  export QT_QPA_PLATFORM=wayland
  # Under LeakSanitizer: whole stacks, so that lsan.supp recognises the
  # graphics drivers' allocations (they have no frame pointers).
  if [ -n "${LSAN_OPTIONS:-}" ]; then export LSAN_OPTIONS="$LSAN_OPTIONS:fast_unwind_on_malloc=0"; fi
}
# sway refuses to run as root. Run by root (as in CI), it runs as a throw-away
# system user made for this test and removed again; the test itself stays root
# and reaches sway's sockets, as root may.
make_sway_user() {
  local i name
  for i in $(seq 1 50); do
    name="ostrel-sway-$(od -An -N4 -tx1 /dev/urandom | tr -d ' \n')"
    if useradd --system --no-create-home --home-dir "$1" --shell /usr/sbin/nologin --user-group "$name" \
      2>"$scratch/useradd.log"; then
      sway_user=$name
      return 0
    fi
    # another test holds the user database's lock
    sleep 0.1
  done
  return 1
}
remove_sway_user() {
  [ -n "$sway_user" ] || return 0
  local i left
  # What sway started (the commands of its bindings) is over in a moment.
  for i in $(seq 1 100); do
    pgrep -u "$sway_user" >/dev/null || break
    sleep 0.05
  done
  left=$(pgrep -u "$sway_user")
  if [ -n "$left" ]; then
    kill $left 2>/dev/null
    sleep 0.2
  fi
  for i in $(seq 1 50); do
    userdel "$sway_user" 2>/dev/null && break
    sleep 0.1
  done
  if id "$sway_user" >/dev/null 2>&1; then echo "run-test.sh: the user $sway_user could not be removed" >&2; fi
  sway_user=""
}
# A client's round trip succeeds (the socket file appears before sway's event
# loop runs); the test reaches the socket as $XDG_RUNTIME_DIR/wl-ostrel.
sway_answers() {
  local socket
  socket=$(ls "$1" 2>/dev/null | grep -E '^wayland-[0-9]+$' | head -n1)
  [ -n "$socket" ] && ln -sfn "$1/$socket" "$XDG_RUNTIME_DIR/wl-ostrel" &&
    WAYLAND_DISPLAY=wl-ostrel wayland-info >/dev/null 2>&1
}
start_sway() {
  local dir=$scratch/sway run_as=() pid deadline
  mkdir -p "$dir/runtime" "$dir/home" "$dir/config.d"
  chmod 700 "$dir/runtime"
  : >"$dir/config.d/00-empty"
  cat >"$dir/config" <<END
xwayland disable
output HEADLESS-1 resolution 1024x768
default_border none
include $dir/config.d/*
END
  if [ "$(id -u)" = 0 ]; then
    make_sway_user "$dir/home" || { cat "$scratch/useradd.log" >&2; desktop_failed "useradd (for sway's user)"; }
    chown -R "$sway_user:$sway_user" "$dir"
    chmod 711 "$scratch"
    run_as=(setpriv --reuid="$sway_user" --regid="$sway_user" --init-groups)
  fi
  # wlroots hands keymaps to clients in shared memory; without it sway 1.10
  # crashes on the first virtual keyboard.
  if ! "${run_as[@]}" test -w /dev/shm; then
    echo "run-test.sh: /dev/shm is not writable for sway's user $(id -un ${sway_user:-}); mount a tmpfs there" >&2
    exit 1
  fi
  "${run_as[@]}" env -i PATH="$PATH" LANG=C.UTF-8 HOME="$dir/home" XDG_RUNTIME_DIR="$dir/runtime" \
    DBUS_SESSION_BUS_ADDRESS="$DBUS_SESSION_BUS_ADDRESS" OSTREL_SERIAL_SOURCES=virtual \
    WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman WLR_HEADLESS_OUTPUTS=1 \
    sway -c "$dir/config" >"$scratch/sway.log" 2>&1 &
  pid=$!
  desktop_pids+=($pid)
  deadline=$((SECONDS + 60))
  until sway_answers "$dir/runtime"; do
    kill -0 $pid 2>/dev/null && [ $SECONDS -lt $deadline ] || desktop_failed sway
    sleep 0.05
  done
  export WAYLAND_DISPLAY=wl-ostrel XDG_SESSION_TYPE=wayland XDG_CURRENT_DESKTOP=sway
  export SWAYSOCK=$(ls "$dir"/runtime/sway-ipc.*.sock | head -n1) OSTREL_SWAY_CONFIG_DIR=$dir/config.d
}
if [ $want_x11 -eq 1 ]; then
  exec 3>"$scratch/display"
  Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp -noreset +extension XTEST +extension XInputExtension \
    >"$scratch/xvfb.log" 2>&1 &
  xvfb_pid=$!
  exec 3>&-
  for _ in $(seq 1 200); do
    [ -s "$scratch/display" ] && break
    sleep 0.05
  done
  if [ ! -s "$scratch/display" ]; then
    echo "Xvfb did not start:" >&2
    cat "$scratch/xvfb.log" >&2
    exit 1
  fi
  export DISPLAY=":$(head -n1 "$scratch/display")"
  export QT_QPA_PLATFORM=xcb
  unset WAYLAND_DISPLAY
else
  unset DISPLAY WAYLAND_DISPLAY
  export QT_QPA_PLATFORM=offscreen
fi
if [ -n "$want_wayland" ]; then
  start_desktop "$want_wayland"
  "$@"
elif [ $want_dbus -eq 1 ]; then
  dbus-run-session -- "$@"
else
  # No session bus unless asked for: a test must never reach the developer's
  # own session (where a running Ostrel would take over a test's second launch),
  # nor make libdbus start one for the test's X display.
  export DBUS_SESSION_BUS_ADDRESS="unix:path=$scratch/no-session-bus"
  "$@"
fi
