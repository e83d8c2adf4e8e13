#pragma once
// A desktop's own list of custom keyboard shortcuts, each one a command the
// desktop runs on a key. Backend: platform/gnome (GNOME's settings daemon:
// the GSettings list org.gnome.settings-daemon.plugins.media-keys
// custom-keybindings and a relocatable ...media-keys.custom-keybinding at each
// path in it). Which entries Ostrel writes, in which syntax, and what it
// keeps of the user's own is decided above this layer.
//
// Contract:
//  - paths(): the list as stored, in order, with every path in it, even one
//    the store cannot hold an entry at.
//  - entry(): the entry at a path; nothing for a path not of the store's
//    form (it must start and end with '/' and hold no "//"). An entry nobody
//    wrote reads as empty strings.
//  - setPaths() writes the list; an empty list goes back to the default.
//    setEntry() writes one entry, resetEntry() clears it. They return false
//    when the store refuses (a path not of its form, a key locked down).
//  - flush() returns once every write made so far has reached the store (or
//    failed to); read the values back to know which.
//  - watch(): from then on `changed` runs on the main thread's event loop
//    whenever the list, or an entry at one of `paths`, is changed, by this
//    process or another. A later call replaces the earlier one.
//  - Main thread only.

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace ostrel::platform {

struct CustomShortcutEntry {
  QString name;
  QString command;
  QString binding;  // the desktop's accelerator syntax; empty: no key

  bool operator==(const CustomShortcutEntry&) const = default;
};

class CustomShortcutStore {
 public:
  virtual ~CustomShortcutStore() = default;

  virtual QStringList paths() const = 0;
  virtual bool setPaths(const QStringList& paths) = 0;
  virtual std::optional<CustomShortcutEntry> entry(const QString& path) const = 0;
  virtual bool setEntry(const QString& path, const CustomShortcutEntry& entry) = 0;
  virtual bool resetEntry(const QString& path) = 0;
  virtual void flush() = 0;
  virtual void watch(const QStringList& paths, std::function<void()> changed) = 0;
};

}  // namespace ostrel::platform
