#pragma once
// GNOME's idle time: GNOME Shell (Mutter) offers org.gnome.Mutter.IdleMonitor
// on the session bus, whose watches fire when the session has been idle for a
// given time (AddIdleWatch) and at the next input after that
// (AddUserActiveWatch). This backend is told: nothing is asked while the
// user works, and an idle session costs one signal each way.
//
// The watches belong to GNOME Shell: when the shell leaves the bus they are
// gone and isIdle() is empty until it is back, when they are made again.

#include "platform/IdleMonitor.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <functional>
#include <memory>

class QDBusServiceWatcher;

namespace ostrel::platform {

// Null with a reason when GNOME Shell's idle monitor does not answer.
// Main thread, after the QCoreApplication exists.
std::unique_ptr<IdleMonitor> createMutterIdleMonitor(const QDBusConnection& bus, QString* whyNot);

namespace mutter {

class MutterIdleMonitor final : public QObject, public IdleMonitor {
  Q_OBJECT

 public:
  static std::unique_ptr<MutterIdleMonitor> create(const QDBusConnection& bus, QString* whyNot);
  ~MutterIdleMonitor() override;

  void setIdleThreshold(std::chrono::milliseconds threshold) override;
  std::optional<bool> isIdle() override;
  void setChangedHandler(std::function<void()> handler) override;
  QString describe() const override;

 private Q_SLOTS:
  void watchFired(uint id);

 private:
  explicit MutterIdleMonitor(const QDBusConnection& bus);
  void armWatches();
  void watchUserActive();
  void removeWatch(uint id);
  void setIdle(bool idle);
  void ownerChanged(const QString& newOwner);
  // Calls `method`; `onReply` runs with the answer unless the watches were made
  // again in the meantime.
  void call(const QString& method, const QVariantList& arguments, std::function<void(const QDBusMessage&)> onReply);

  QDBusConnection bus_;
  QDBusServiceWatcher* ownerWatch_ = nullptr;
  std::function<void()> handler_;
  std::chrono::milliseconds threshold_{0};
  bool present_ = true;
  bool idle_ = false;
  uint idleWatch_ = 0;
  uint activeWatch_ = 0;
  std::uint64_t generation_ = 0;
};

}  // namespace mutter
}  // namespace ostrel::platform
