#pragma once
// The user's XDG autostart list: the *.desktop files in
// $XDG_CONFIG_HOME/autostart (~/.config/autostart when the variable is unset or
// not absolute). Session managers start every enabled entry at login.
//
// Contract:
//  - items() lists every regular *.desktop file of the directory, sorted by file
//    id, whether or not its Exec resolves. A missing directory is an empty list.
//  - An item resolves to the absolute program path of its Exec line
//    (DesktopEntry::execProgram), made canonical when the file exists; an Exec
//    naming its program relative to $PATH or malformed leaves `program` empty.
//  - An item is enabled unless Hidden=true or X-GNOME-Autostart-enabled=false,
//    and only if its file could be read.
//  - write() replaces <fileId>.desktop atomically (a reader sees the old file or
//    the new one, never half of it), mode 0644, with Type=Application, Name, Exec
//    and X-GNOME-Autostart-enabled=true. It refuses a file id that is not a plain
//    file name and a program that an Exec line cannot carry, with a log line.
//  - Removing a file that is already gone counts as done.

#include <QString>
#include <vector>

namespace ostrel {

struct AutostartItem {
  QString fileId;    // file name without ".desktop"
  QString filePath;
  QString program;   // resolved program path; empty when the Exec does not resolve
  bool readable = false;
  bool hidden = false;
  bool autostartEnabled = true;  // X-GNOME-Autostart-enabled

  bool isEnabled() const { return readable && !hidden && autostartEnabled; }
};

class AutostartList {
 public:
  explicit AutostartList(QString directory);
  static QString userDirectory();
  static AutostartList forUser();

  const QString& directory() const { return directory_; }
  QString filePathFor(const QString& fileId) const;

  std::vector<AutostartItem> items() const;
  // Every item, enabled or not, whose program resolves to the same file as `program`.
  std::vector<AutostartItem> itemsFor(const QString& program) const;

  bool write(const QString& fileId, const QString& name, const QString& program) const;
  bool remove(const QString& filePath) const;

  // Canonical path when the file exists, the cleaned path otherwise.
  static QString resolvePath(const QString& path);

 private:
  QString directory_;
};

}  // namespace ostrel
