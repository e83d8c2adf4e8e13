# Sourced by tests/support/run-test.sh for --gnome: a headless GNOME Shell (the
# release's own; GNOME 43 on Debian 12) with its settings daemon's media-keys
# plugin, on a session bus of the test's own where only dconf starts on
# demand, and an empty stand-in system bus where the machine has none (the
# shell does not start without one). With OSTREL_GNOME_PORTAL=1 the test also
# gets xdg-desktop-portal with the machine's portal files, as a user of this
# machine would: on Debian 12 with xdg-desktop-portal-kde installed it offers
# GlobalShortcuts through the KDE backend even in a GNOME session.
#
# Needs from run-test.sh: $scratch, desktop_pids, wait_until, bus_has,
# desktop_failed, write_bus_config. Sets WAYLAND_DISPLAY, XDG_CURRENT_DESKTOP,
# XDG_SESSION_TYPE, DBUS_SESSION_BUS_ADDRESS; OSTREL_WAYLAND_MISSING when
# GNOME's programs are not installed.

gnome_missing() {
  local missing=()
  command -v gnome-shell >/dev/null || missing+=(gnome-shell)
  [ -x /usr/libexec/gsd-media-keys ] || missing+=(gsd-media-keys)
  [ -x /usr/libexec/dconf-service ] || missing+=(dconf-service)
  [ -f /usr/share/glib-2.0/schemas/org.gnome.settings-daemon.plugins.media-keys.gschema.xml ] ||
    missing+=(gnome-settings-daemon-common)
  echo "${missing[*]}"
}

start_gnome() {
  local services="$scratch/services"
  mkdir -p "$services"
  # dconf-service is what GSettings writes through; nothing else starts on demand.
  printf '[D-BUS Service]\nName=ca.desrt.dconf\nExec=/usr/libexec/dconf-service\n' >"$services/ca.desrt.dconf.service"
  write_bus_config "$scratch/bus.conf" session "<servicedir>$services</servicedir>"
  dbus-daemon --config-file="$scratch/bus.conf" --nofork --print-address=3 3>"$scratch/bus" 2>"$scratch/bus.log" &
  desktop_pids+=($!)
  wait_until "[ -s '$scratch/bus' ]" || desktop_failed dbus-daemon
  export DBUS_SESSION_BUS_ADDRESS=$(head -n1 "$scratch/bus")
  if [ ! -S /run/dbus/system_bus_socket ]; then
    write_bus_config "$scratch/system-bus.conf" system ""
    dbus-daemon --config-file="$scratch/system-bus.conf" --nofork --print-address=3 3>"$scratch/system-bus" \
      2>"$scratch/system-bus.log" &
    desktop_pids+=($!)
    wait_until "[ -s '$scratch/system-bus' ]" || desktop_failed "the stand-in system bus"
    export DBUS_SYSTEM_BUS_ADDRESS=$(head -n1 "$scratch/system-bus")
  fi
  export XDG_CURRENT_DESKTOP=GNOME XDG_SESSION_DESKTOP=gnome XDG_SESSION_TYPE=wayland NO_AT_BRIDGE=1 GTK_A11Y=none
  unset DISPLAY
  # 43 needs --wayland beside --headless; --no-x11 keeps Xwayland away.
  env -u QT_QPA_PLATFORM gnome-shell --headless --virtual-monitor 1280x800 --wayland --wayland-display wl-ostrel \
    --no-x11 >"$scratch/gnome-shell.log" 2>&1 &
  desktop_pids+=($!)
  wait_until "[ -S '$XDG_RUNTIME_DIR/wl-ostrel' ] && bus_has org.gnome.Shell && bus_has org.gnome.Mutter.RemoteDesktop" ||
    desktop_failed gnome-shell
  export WAYLAND_DISPLAY=wl-ostrel
  # What dconf-service and the settings daemon start must see the session.
  dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.UpdateActivationEnvironment \
    "dict:string:string:WAYLAND_DISPLAY,$WAYLAND_DISPLAY,XDG_CURRENT_DESKTOP,GNOME,XDG_RUNTIME_DIR,$XDG_RUNTIME_DIR,XDG_CONFIG_HOME,$XDG_CONFIG_HOME" \
    >/dev/null
  # Its debug log says when it has asked the shell to grab a changed key.
  env -u QT_QPA_PLATFORM G_MESSAGES_DEBUG=all /usr/libexec/gsd-media-keys >"$scratch/gsd-media-keys.log" 2>&1 &
  desktop_pids+=($!)
  # Up once the shell has grabbed its keys: a change to the custom shortcuts
  # is then taken up at once, not merged into the first grab.
  wait_until "grep -q 'Grab call completed' '$scratch/gsd-media-keys.log'" || desktop_failed gsd-media-keys
  if [ "${OSTREL_GNOME_PORTAL:-}" = 1 ]; then
    /usr/libexec/xdg-desktop-portal >"$scratch/portal.log" 2>&1 &
    desktop_pids+=($!)
    wait_until "bus_has org.freedesktop.portal.Desktop" || desktop_failed xdg-desktop-portal
  fi
}
