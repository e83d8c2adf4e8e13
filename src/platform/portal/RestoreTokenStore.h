#pragma once
// Keeps the RemoteDesktop portal's restore token between runs, so that a
// desktop which asks permission asks once and not at every login.
//
// The token stands for the user's permission to inject input: it lives in
// $XDG_STATE_HOME/ostrel/remote-desktop-token (~/.local/state when the
// variable is unset), in a directory of mode 0700, in a file of mode 0600 from
// the moment it exists. Each successful Start hands out a new token, which
// replaces the old one.

#include <QString>

namespace ostrel::platform::portal {

class RestoreTokenStore {
 public:
  // The standard place (above); `path` for another file.
  RestoreTokenStore();
  explicit RestoreTokenStore(QString path) : path_(std::move(path)) {}

  QString path() const { return path_; }
  // Empty when there is none (or it cannot be read).
  QString load() const;
  // Writes the token (replacing the file whole); false, with `whyNot`, when it
  // cannot.
  bool save(const QString& token, QString* whyNot) const;

 private:
  QString path_;
};

}  // namespace ostrel::platform::portal
