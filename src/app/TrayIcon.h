#pragma once
// Ostrel's icon in the desktop's tray, where the desktop shows
// status-notifier items (KDE Plasma, GNOME with the AppIndicator extension,
// Xfce, LXQt, MATE, Cinnamon, ...). Ostrel keeps running for the monitor's
// keys and the shortcuts; the icon is the way back to it without the window in
// the way.
//
// Contract:
//  - The icon is made only once a status-notifier host is there
//    (StatusNotifierHostWatch): without one, nothing of the tray exists and
//    nothing changes. A host that turns up later gets the icon then.
//  - Clicking the icon runs `actions.show`.
//  - The menu, in this order: Fast Refresh, Contrast Up, Contrast Down, Show
//    Ostrel, Settings…, Start at Login (a StartAtLoginItems item), Quit; its
//    words in CurrentLanguage's language (MenuTexts), put again by relabel().
//  - The icon goes with this object; the main window's closing ends Ostrel as
//    before, the tray does not keep it running.

#include <QDBusConnection>
#include <QObject>
#include <functional>
#include <memory>

class QAction;
class QIcon;
class QMenu;
class QSystemTrayIcon;

namespace ostrel {

class MonitorControlTarget;
class StartAtLoginItems;
class StatusNotifierHostWatch;
class ViewController;

struct TrayActions {
  std::function<void()> refresh;
  std::function<void()> contrastUp;
  std::function<void()> contrastDown;
  std::function<void()> show;
  std::function<void()> settings;
  std::function<void()> quit;
};

class TrayIcon : public QObject {
 public:
  TrayIcon(TrayActions actions, StartAtLoginItems& startAtLogin, QObject* parent = nullptr);
  ~TrayIcon() override;
  // The main window's tray: its Fast Refresh button, the contrast shortcuts,
  // `window.activate()` to show it (Settings… shows it first, so the settings
  // window opens over it), its Quit; relabelled with the window.
  static std::unique_ptr<TrayIcon> forWindow(const std::shared_ptr<ViewController>& controller,
                                             const std::shared_ptr<MonitorControlTarget>& window,
                                             StartAtLoginItems& startAtLogin);

  // Starts watching `bus` for a host.
  void start(const QDBusConnection& bus);
  void relabel();

  bool isShown() const;
  QMenu* menu() const { return menu_.get(); }

  // Ostrel's picture: the installed theme icon "ostrel", else the one built in.
  static QIcon ostrelIcon();

 private:
  void show();

  TrayActions actions_;
  std::unique_ptr<QMenu> menu_;
  QAction* refresh_ = nullptr;
  QAction* contrastUp_ = nullptr;
  QAction* contrastDown_ = nullptr;
  QAction* showOstrel_ = nullptr;
  QAction* settings_ = nullptr;
  QAction* startAtLogin_ = nullptr;
  QAction* quit_ = nullptr;
  StatusNotifierHostWatch* hostWatch_ = nullptr;
  std::unique_ptr<QSystemTrayIcon> icon_;
};

}  // namespace ostrel
