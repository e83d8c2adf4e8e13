#pragma once
// GNOME's custom keyboard shortcuts through GIO's GSettings: the list
// org.gnome.settings-daemon.plugins.media-keys custom-keybindings and the
// relocatable org.gnome.settings-daemon.plugins.media-keys.custom-keybinding
// (name, command, binding) at each path. dconf keeps them in a GNOME session;
// whatever GSettings backend the environment chooses (GSETTINGS_BACKEND)
// serves as well. See platform/CustomShortcutStore.h for the contract.
//
// GSettings aborts the process when asked for a schema that is not installed
// or a path of the wrong form; this class looks both up first and refuses
// them instead.

#include "platform/CustomShortcutStore.h"

#include <memory>

namespace ostrel::platform::gnome {

class GSettingsCustomShortcutStore final : public CustomShortcutStore {
 public:
  // Null, with the reason, when the schemas are missing or no backend keeps
  // anything.
  static std::unique_ptr<GSettingsCustomShortcutStore> create(QString* whyNot);
  ~GSettingsCustomShortcutStore() override;

  QStringList paths() const override;
  bool setPaths(const QStringList& paths) override;
  std::optional<CustomShortcutEntry> entry(const QString& path) const override;
  bool setEntry(const QString& path, const CustomShortcutEntry& entry) override;
  bool resetEntry(const QString& path) override;
  void flush() override;
  void watch(const QStringList& paths, std::function<void()> changed) override;

  static bool isEntryPath(const QString& path);

 private:
  struct Handles;
  explicit GSettingsCustomShortcutStore(std::unique_ptr<Handles> handles);

  std::unique_ptr<Handles> h_;
};

}  // namespace ostrel::platform::gnome
