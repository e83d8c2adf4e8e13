#pragma once
// The simulator's entry in the virtual-port directory: a symbolic link named
// after the simulated adapter that points at the pseudo-terminal's slave.
// Creating it is Ostrel's "device arrived", removing it "device unplugged".

#include <QString>
#include <optional>

namespace ostrel::sim {

class PortLink {
 public:
  // Creates `directory/name` -> `target`. A link of that name left behind by a
  // simulator that died (dangling, or no longer pointing at a terminal) is
  // replaced and `*note` says so. A live link to a terminal, or anything that is
  // not a symbolic link, is never touched: the call fails with a reason that
  // tells the user what to do.
  static std::optional<PortLink> publish(const QString& directory, const QString& name, const QString& target,
                                         QString* error, QString* note);

  PortLink(PortLink&& other) noexcept;
  PortLink& operator=(PortLink&& other) noexcept;
  PortLink(const PortLink&) = delete;
  PortLink& operator=(const PortLink&) = delete;
  ~PortLink();

  const QString& path() const { return path_; }
  const QString& target() const { return target_; }

  // Removes the link if it still points where we made it point; a link that
  // somebody replaced meanwhile is theirs and stays. Idempotent.
  void remove();

 private:
  PortLink(QString path, QString target) : path_(std::move(path)), target_(std::move(target)) {}
  QString path_;
  QString target_;
};

}  // namespace ostrel::sim
