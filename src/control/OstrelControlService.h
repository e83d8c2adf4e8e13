#pragma once
// Ostrel on the session bus: object /VELDOR/Ostrel, interface VELDOR.Ostrel1.
// ostrelctl, desktop keybindings and scripts reach the monitor through it
// while Ostrel runs (Ostrel holds the port, so nobody else can).
//
// Methods (all on the main thread, through MonitorControlTarget):
//   Refresh, ContrastUp, ContrastDown, SetContrast(i), SetImageMode(i),
//   SetRefreshSpeed(i), SetFrontLightMode(i), SetBrightness(i),
//   SetTemperature(i), SyncTime, ReadParameters, Activate.
// Each runs the window's own action, so the frames are the ones the window
// sends. A value outside its range (ControlProtocol.h) is refused with
// VELDOR.Ostrel1.Error.OutOfRange naming the range; without an open current
// monitor every monitor method is refused with ...Error.NoMonitor; front light
// methods on a monitor without a front light with ...Error.NotSupported. A
// refused call sends nothing and changes nothing. A call whose frame the
// monitor's port failed to write (the line failed or stalled past its bound)
// is answered with ...Error.WriteFailed.
// ContrastUp, ContrastDown and ReadParameters answer once their paced frames
// have gone out (ReadParameters: after the read-back and its spacing, so the
// monitor's reports are in by then); the others as soon as their frame is out.
// Activate raises the window; before the window exists it is remembered.
//
// Properties (read-only, ControlSnapshot.h): Monitors, CurrentMonitor,
// MCUVersion, Contrast, ImageMode, RefreshSpeed, FrontLightMode, Brightness,
// Temperature, PortReasons; DesktopServices (what serves the global shortcuts
// and the monitor's input, and the keys the desktop assigned). Whenever the
// event loop goes idle the values are compared with
// the last ones announced, and org.freedesktop.DBus.Properties.PropertiesChanged
// carries those that differ, whatever changed them: a report from the monitor,
// the user in the window, a shortcut, a bus call.
//
// When Ostrel refreshes by itself (RefreshSettingsTarget.h):
//   AutoClear (a{sv}, read-only, announced): the timer's period, the two
//   settings, whether the timer rests now and why, its idle and lock sources.
//   SetPauseWhileIdle(b), SetPageRefresh(i) 0..99: as the settings window's OK
//   for that setting; stored and in force at once. Need no monitor. Out of
//   range: ...Error.OutOfRange; before the window exists: ...Error.NotReady.
//
// The program and start at login:
//   Version (s, read-only): the program's version, as `ostrel --version` says.
//   StartAtLogin (b, read-only): whether Ostrel starts at login, read from the
//   autostart list at every read (StartAtLoginSwitch); not announced, since an
//   entry edited by hand changes it without Ostrel knowing.
//   SetStartAtLogin(b): switches it as the menus' "Start at Login" item does;
//   refused with VELDOR.Ostrel1.Error.StartAtLoginFailed, saying why, when the
//   state afterwards is not the one asked for. Needs no monitor.

#include "control/ControlProtocol.h"
#include "control/ControlSnapshot.h"
#include "control/RefreshSettingsTarget.h"
#include "loginitem/StartAtLoginSwitch.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QObject>
#include <QStringList>
#include <memory>
#include <optional>

namespace ostrel {

class MonitorControlTarget;

class OstrelControlService : public QObject, protected QDBusContext {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "VELDOR.Ostrel1")
  Q_PROPERTY(QStringList Monitors READ monitors)
  Q_PROPERTY(QString CurrentMonitor READ currentMonitor)
  Q_PROPERTY(int MCUVersion READ mcuVersion)
  Q_PROPERTY(int Contrast READ contrast)
  Q_PROPERTY(int ImageMode READ imageMode)
  Q_PROPERTY(int RefreshSpeed READ refreshSpeed)
  Q_PROPERTY(int FrontLightMode READ frontLightMode)
  Q_PROPERTY(int Brightness READ brightness)
  Q_PROPERTY(int Temperature READ temperature)
  // The program and start at login.
  Q_PROPERTY(QString Version READ version)
  Q_PROPERTY(bool StartAtLogin READ startAtLogin)
  Q_PROPERTY(QVariantMap DesktopServices READ desktopServices)
  Q_PROPERTY(QList<ostrel::PortProbeReport> PortReasons READ portReasons)
  Q_PROPERTY(QVariantMap AutoClear READ autoClear)

 public:
  explicit OstrelControlService(QObject* parent = nullptr);
  ~OstrelControlService() override;

  // The window's side. Until it is set every monitor method is refused with
  // NoMonitor (Ostrel is still starting), and Activate is kept for it.
  void setTarget(std::shared_ptr<MonitorControlTarget> target);

  // Registers the object on `connection` (no bus name; SingleInstance takes
  // that) and starts announcing property changes there.
  bool publish(const QDBusConnection& connection);
  void unpublish();
  bool isPublished() const { return connection_.has_value(); }

  // Announces what changed since the last announcement; normally run when the
  // event loop goes idle.
  void announceChanges();

  QStringList monitors() const;
  QString currentMonitor() const;
  int mcuVersion() const;
  int contrast() const;
  int imageMode() const;
  int refreshSpeed() const;
  int frontLightMode() const;
  int brightness() const;
  int temperature() const;
  QVariantMap desktopServices() const;
  QVariantMap autoClear() const;

  // "Pause while idle" and the page-turn refresh, through `target` (the
  // running Ostrel's). Until it is set, both methods are refused.
  void setRefreshSettingsTarget(std::shared_ptr<RefreshSettingsTarget> target);

  // Start at login, through `startAtLogin` (the running Ostrel's). Until it is
  // set the property reads false and SetStartAtLogin is refused.
  void setStartAtLoginSwitch(StartAtLoginSwitch startAtLogin);
  QString version() const;
  bool startAtLogin() const;
  QList<PortProbeReport> portReasons() const;

 public Q_SLOTS:
  Q_SCRIPTABLE void Refresh();
  Q_SCRIPTABLE void ContrastUp();
  Q_SCRIPTABLE void ContrastDown();
  Q_SCRIPTABLE void SetContrast(int contrast);
  Q_SCRIPTABLE void SetImageMode(int mode);
  Q_SCRIPTABLE void SetRefreshSpeed(int speed);
  Q_SCRIPTABLE void SetFrontLightMode(int mode);
  Q_SCRIPTABLE void SetBrightness(int brightness);
  Q_SCRIPTABLE void SetTemperature(int temperature);
  Q_SCRIPTABLE void SyncTime();
  Q_SCRIPTABLE void ReadParameters();
  Q_SCRIPTABLE void Activate();
  Q_SCRIPTABLE void SetStartAtLogin(bool startAtLogin);
  Q_SCRIPTABLE void SetPauseWhileIdle(bool on);
  Q_SCRIPTABLE void SetPageRefresh(int pageTurns);

 private:
  // True when the call may go ahead; otherwise the caller has its error reply.
  bool admit(const char* method, std::optional<ControlSetting> setting = std::nullopt, std::int64_t value = 0);
  void refuse(const char* method, const QString& errorName, const QString& text);
  void replyWhenCommandsSent(const char* method, std::uint64_t failedBefore);
  // True when no write failed since `failedBefore`; otherwise the caller has
  // its WriteFailed reply.
  bool reached(const char* method, std::uint64_t failedBefore);
  QString caller() const;

  std::shared_ptr<MonitorControlTarget> target_;
  bool activationPending_ = false;
  std::optional<QDBusConnection> connection_;
  ControlSnapshot announced_;
  QMetaObject::Connection idleHook_;
  std::optional<StartAtLoginSwitch> startAtLogin_;
  std::shared_ptr<RefreshSettingsTarget> refreshSettings_;
};

}  // namespace ostrel
