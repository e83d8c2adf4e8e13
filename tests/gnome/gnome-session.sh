# A headless GNOME session for one test program, sourced by
# tests/support/run-test.sh (--gnome). start_gnome_session, in the test's
# fresh XDG folders:
#  - a stand-in system bus (an empty dbus-daemon; gnome-shell will not start
#    without one) and a session bus of the test's own, which starts on demand
#    only what a GNOME session starts that way: dconf (GSettings writes), the
#    permission store, and GNOME Settings' shortcut provider (the dialog that
#    asks the user to add an application's shortcuts);
#  - gnome-shell --headless with one virtual monitor, without Xwayland
#    (--unsafe-mode from GNOME 44 on, for org.gnome.Shell.Eval and
#    org.gnome.Shell.Screenshot);
#  - with OSTREL_GNOME_MEDIA_KEYS=1, the settings daemon's media-keys plugin
#    (it runs GNOME's custom shortcuts), up once the shell grabbed its keys;
#  - where GNOME's portal backend is installed, xdg-desktop-portal-gnome and
#    xdg-desktop-portal, ready once the frontend offers RemoteDesktop; without
#    it, with OSTREL_GNOME_PORTAL=1, xdg-desktop-portal alone with the
#    machine's portal files, as a user of this machine has it (on Debian 12
#    with xdg-desktop-portal-kde installed it offers GlobalShortcuts through
#    the KDE backend even in a GNOME session).
# It exports WAYLAND_DISPLAY=wl-ostrel, XDG_CURRENT_DESKTOP=GNOME and
# OSTREL_GNOME_SHELL_VERSION (e.g. 48.7); gnome_missing names what it needs
# and is not installed (run-test.sh asks first). Needs from run-test.sh: $scratch,
# desktop_pids, wait_until, bus_has, desktop_failed, write_bus_config.

gnome_missing() {
  local missing=()
  command -v gnome-shell >/dev/null || missing+=(gnome-shell)
  if [ "${OSTREL_GNOME_MEDIA_KEYS:-}" = 1 ]; then
    [ -x /usr/libexec/gsd-media-keys ] || missing+=(gsd-media-keys)
    [ -f /usr/share/glib-2.0/schemas/org.gnome.settings-daemon.plugins.media-keys.gschema.xml ] ||
      missing+=(gnome-settings-daemon-common)
  fi
  [ -x /usr/libexec/dconf-service ] || missing+=(dconf-service)
  echo "${missing[*]}"
}

start_gnome_session() {
  local version major
  version=$(gnome-shell --version 2>/dev/null | sed -n 's/^GNOME Shell \([0-9][0-9.]*\).*/\1/p')
  major=${version%%.*}
  export OSTREL_GNOME_SHELL_VERSION="$version"
  mkdir -p "$scratch/data" "$scratch/cache" "$scratch/sysbus" "$scratch/services"
  export XDG_DATA_HOME="$scratch/data" XDG_CACHE_HOME="$scratch/cache"

  write_bus_config "$scratch/sysbus.conf" system "" "$scratch/sysbus"
  dbus-daemon --config-file="$scratch/sysbus.conf" --nofork --print-address=3 3>"$scratch/sysbus.address" &
  desktop_pids+=($!)
  wait_until "[ -s '$scratch/sysbus.address' ]" || desktop_failed "the stand-in system bus"
  export DBUS_SYSTEM_BUS_ADDRESS=$(head -n1 "$scratch/sysbus.address")

  # Set before the session bus starts: what it starts on demand (GNOME
  # Settings' dialog above all) inherits them and reaches the compositor.
  export XDG_CURRENT_DESKTOP=GNOME XDG_SESSION_DESKTOP=gnome XDG_SESSION_TYPE=wayland WAYLAND_DISPLAY=wl-ostrel
  export GSK_RENDERER=cairo NO_AT_BRIDGE=1 GTK_A11Y=none
  unset DISPLAY
  local name
  for name in ca.desrt.dconf org.freedesktop.impl.portal.PermissionStore org.gnome.Settings.GlobalShortcutsProvider; do
    [ -f "/usr/share/dbus-1/services/$name.service" ] && cp "/usr/share/dbus-1/services/$name.service" "$scratch/services/"
  done
  write_bus_config "$scratch/bus.conf" session "<servicedir>$scratch/services</servicedir>"
  dbus-daemon --config-file="$scratch/bus.conf" --nofork --print-address=3 3>"$scratch/bus" &
  desktop_pids+=($!)
  gnome_bus_pid=$!
  wait_until "[ -s '$scratch/bus' ]" || desktop_failed dbus-daemon
  export DBUS_SESSION_BUS_ADDRESS=$(head -n1 "$scratch/bus")

  local flags=(--headless --virtual-monitor 1024x768 --wayland --wayland-display wl-ostrel --no-x11)
  [ "${major:-0}" -ge 44 ] && flags+=(--unsafe-mode)
  env -u QT_QPA_PLATFORM -u WAYLAND_DISPLAY gnome-shell "${flags[@]}" >"$scratch/gnome-shell.log" 2>&1 &
  desktop_pids+=($!)
  wait_until "[ -S '$XDG_RUNTIME_DIR/wl-ostrel' ] && bus_has org.gnome.Shell && bus_has org.gnome.Mutter.RemoteDesktop" \
    || desktop_failed gnome-shell

  if [ "${OSTREL_GNOME_MEDIA_KEYS:-}" = 1 ]; then
    # Its debug log says when it has asked the shell to grab a changed key.
    env -u QT_QPA_PLATFORM G_MESSAGES_DEBUG=all /usr/libexec/gsd-media-keys >"$scratch/gsd-media-keys.log" 2>&1 &
    desktop_pids+=($!)
    # Up once the shell has grabbed its keys: a change to the custom shortcuts
    # is then taken up at once, not merged into the first grab.
    wait_until "grep -q 'Grab call completed' '$scratch/gsd-media-keys.log'" || desktop_failed gsd-media-keys
  fi
  if [ -x /usr/libexec/xdg-desktop-portal-gnome ] && [ -x /usr/libexec/xdg-desktop-portal ]; then
    /usr/libexec/xdg-desktop-portal-gnome >"$scratch/portal-gnome.log" 2>&1 &
    desktop_pids+=($!)
    wait_until "bus_has org.freedesktop.impl.portal.desktop.gnome" || desktop_failed xdg-desktop-portal-gnome
    /usr/libexec/xdg-desktop-portal >"$scratch/portal.log" 2>&1 &
    desktop_pids+=($!)
    # The frontend owns its name before it has exported the portals.
    wait_until "dbus-send --session --print-reply --dest=org.freedesktop.portal.Desktop /org/freedesktop/portal/desktop \
      org.freedesktop.DBus.Introspectable.Introspect | grep -q 'org.freedesktop.portal.RemoteDesktop'" \
      || desktop_failed xdg-desktop-portal
  elif [ "${OSTREL_GNOME_PORTAL:-}" = 1 ] && [ -x /usr/libexec/xdg-desktop-portal ]; then
    /usr/libexec/xdg-desktop-portal >"$scratch/portal.log" 2>&1 &
    desktop_pids+=($!)
    wait_until "bus_has org.freedesktop.portal.Desktop" || desktop_failed xdg-desktop-portal
  fi
  export QT_QPA_PLATFORM=wayland
}

# Ends what the session bus started on demand (dconf, the permission store,
# GNOME Settings' provider) before the bus itself goes.
stop_gnome_session_services() {
  [ -n "${gnome_bus_pid:-}" ] || return 0
  local child
  for child in $(ps -o pid= --ppid "$gnome_bus_pid" 2>/dev/null); do kill "$child" 2>/dev/null; done
}
