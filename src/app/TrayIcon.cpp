#include "app/TrayIcon.h"

#include "app/StartAtLoginItems.h"
#include "app/StatusNotifierHostWatch.h"
#include "common/Log.h"
#include "control/MonitorControlTarget.h"
#include "mainwindow/MenuTexts.h"
#include "mainwindow/ViewController.h"
#include "settings/ProgramValues.h"

#include <QAction>
#include <QIcon>
#include <QMenu>
#include <QSystemTrayIcon>

namespace ostrel {

TrayIcon::TrayIcon(TrayActions actions, StartAtLoginItems& startAtLogin, QObject* parent)
    : QObject(parent), actions_(std::move(actions)), menu_(std::make_unique<QMenu>()) {
  const auto item = [this](const std::function<void()>& run) {
    QAction* action = menu_->addAction(QString());
    connect(action, &QAction::triggered, this, [run] {
      if (run) run();
    });
    return action;
  };
  refresh_ = item(actions_.refresh);
  contrastUp_ = item(actions_.contrastUp);
  contrastDown_ = item(actions_.contrastDown);
  menu_->addSeparator();
  showOstrel_ = item(actions_.show);
  settings_ = item(actions_.settings);
  startAtLogin_ = menu_->addAction(QString());
  startAtLogin.add(startAtLogin_, menu_.get());
  menu_->addSeparator();
  quit_ = item(actions_.quit);
  relabel();
}

TrayIcon::~TrayIcon() = default;

std::unique_ptr<TrayIcon> TrayIcon::forWindow(const std::shared_ptr<ViewController>& controller,
                                              const std::shared_ptr<MonitorControlTarget>& window,
                                              StartAtLoginItems& startAtLogin) {
  const std::weak_ptr<ViewController> vc = controller;
  const std::weak_ptr<MonitorControlTarget> target = window;
  const auto onWindow = [vc](void (ViewController::*action)()) {
    return [vc, action] {
      if (auto c = vc.lock()) ((*c).*action)();
    };
  };
  TrayActions actions;
  actions.refresh = onWindow(&ViewController::hardRefreshAction);
  actions.contrastUp = onWindow(&ViewController::setFromThresholdShortCutValue);
  actions.contrastDown = onWindow(&ViewController::setFromThresholdDownShortCutValue);
  actions.show = [target] {
    if (auto t = target.lock()) t->activate();
  };
  actions.settings = [target, vc] {
    if (auto t = target.lock()) t->activate();
    if (auto c = vc.lock()) c->settingsToSecond();
  };
  actions.quit = [vc] {
    if (auto c = vc.lock()) c->quitAction()->trigger();
  };
  auto tray = std::make_unique<TrayIcon>(std::move(actions), startAtLogin);
  QObject::connect(controller.get(), &ViewController::relabelled, tray.get(), &TrayIcon::relabel);
  return tray;
}

QIcon TrayIcon::ostrelIcon() {
  return QIcon::fromTheme(QStringLiteral("ostrel"), QIcon(QStringLiteral(":/ostrel/ostrel.png")));
}

void TrayIcon::start(const QDBusConnection& bus) {
  hostWatch_ = new StatusNotifierHostWatch(bus, this);
  connect(hostWatch_, &StatusNotifierHostWatch::available, this, &TrayIcon::show);
  hostWatch_->start();
}

void TrayIcon::show() {
  if (icon_) return;
  icon_ = std::make_unique<QSystemTrayIcon>(ostrelIcon());
  icon_->setToolTip(QStringLiteral("Ostrel"));
  icon_->setContextMenu(menu_.get());
  connect(icon_.get(), &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
    // The context menu is the host's business; every other click means "show me".
    if (reason == QSystemTrayIcon::Context) return;
    log("Tray icon clicked: showing the window");
    if (actions_.show) actions_.show();
  });
  icon_->show();
  log("Tray icon shown");
}

bool TrayIcon::isShown() const {
  return icon_ && icon_->isVisible();
}

void TrayIcon::relabel() {
  const MenuTexts& t = MenuTexts::forLanguage(CurrentLanguage);
  refresh_->setText(t.fastRefresh);
  contrastUp_->setText(t.contrastUp);
  contrastDown_->setText(t.contrastDown);
  showOstrel_->setText(t.showOstrel);
  settings_->setText(t.settings);
  startAtLogin_->setText(t.startAtLogin);
  quit_->setText(t.quit);
}

}  // namespace ostrel
