#pragma once
// What the tests need of the headless sway run-test.sh started for them
// (--sway): its IPC (swaymsg), the folder its configuration includes, the
// focus, and which globals it offers.

#include <QByteArray>
#include <optional>
#include <QString>
#include <QStringList>

namespace ostrel::test {

class FocusProbe;

// Runs swaymsg with `arguments`; false with `error` when sway refused.
bool swaymsg(const QStringList& arguments, QString* error);

// The folder sway's configuration includes ($OSTREL_SWAY_CONFIG_DIR).
QString swayConfigFolder();

// The lines that bind Ostrel's three recorded shortcuts to `ostrelctl` in
// sway's configuration: what `ostrelctl keybindings sway` prints (the build's).
std::optional<QByteArray> swayBindingsForOstrelctl(QString* error);

// Shows the probe full screen and has sway focus it.
bool focusOnSway(FocusProbe& probe);

// Whether the compositor offers the global `interface`, as wayland-info sees it.
bool compositorOffers(const QString& interface);

}  // namespace ostrel::test
