// Without a reachable X server every factory answers null with a reason a person
// can act on. This executable runs without DISPLAY (no Xvfb of its own).
#include "platform/x11/X11Platform.h"

#include <gtest/gtest.h>
#include <QByteArray>
#include <QString>
#include <functional>
#include <thread>

namespace ostrel::platform {
namespace {

class DisplayVariable {
 public:
  explicit DisplayVariable(const QByteArray& value)
      : saved_(qgetenv("DISPLAY")), had_(qEnvironmentVariableIsSet("DISPLAY")) {
    if (value.isNull()) {
      qunsetenv("DISPLAY");
    } else {
      qputenv("DISPLAY", value);
    }
  }
  ~DisplayVariable() {
    if (had_) {
      qputenv("DISPLAY", saved_);
    } else {
      qunsetenv("DISPLAY");
    }
  }

 private:
  QByteArray saved_;
  bool had_;
};

struct Factory {
  const char* name;
  std::function<bool(QString*)> create;  // true when an object came back
};

const Factory kFactories[] = {
    {"session", [](QString* why) { return x11SessionAvailable(why); }},
    {"injector", [](QString* why) { return createX11InputInjector(why) != nullptr; }},
    {"key monitor", [](QString* why) { return createX11GlobalKeyMonitor(why) != nullptr; }},
    {"hotkeys", [](QString* why) { return createX11HotKeyService(why) != nullptr; }},
    {"layout", [](QString* why) { return createX11KeyboardLayout(why) != nullptr; }},
};

TEST(X11PlatformFactory, NoDisplayGivesAReason) {
  struct Case {
    QByteArray display;
    QString expected;
  };
  const Case cases[] = {
      {QByteArray(), QStringLiteral("no X11 display: DISPLAY is not set")},
      {QByteArray(""), QStringLiteral("no X11 display: DISPLAY is not set")},
      {QByteArray(":4711"), QStringLiteral("no X11 display: cannot connect to \":4711\"")},
      {QByteArray("not a display"), QStringLiteral("no X11 display: cannot connect to \"not a display\"")},
  };
  for (const Case& c : cases) {
    DisplayVariable display(c.display);
    for (const Factory& factory : kFactories) {
      SCOPED_TRACE(std::string(factory.name) + " with DISPLAY=" + c.display.toStdString());
      QString why;
      EXPECT_FALSE(factory.create(&why));
      EXPECT_TRUE(why.startsWith(c.expected)) << why.toStdString();
      EXPECT_FALSE(factory.create(nullptr)) << "a null reason pointer is allowed";
    }
  }
}

TEST(X11PlatformFactory, NoDisplayOnWaylandPointsToXWayland) {
  DisplayVariable display(":4712");
  qputenv("WAYLAND_DISPLAY", "wayland-0");
  QString why;
  EXPECT_FALSE(createX11HotKeyService(&why));
  qunsetenv("WAYLAND_DISPLAY");
  EXPECT_TRUE(why.contains(QStringLiteral("XWayland"))) << why.toStdString();
}

TEST(X11PlatformFactory, DeliveringServicesRefuseAThreadWithoutTheEventLoop) {
  QString monitorWhy;
  QString hotKeyWhy;
  bool monitor = true;
  bool hotKeys = true;
  std::thread worker([&] {
    monitor = createX11GlobalKeyMonitor(&monitorWhy) != nullptr;
    hotKeys = createX11HotKeyService(&hotKeyWhy) != nullptr;
  });
  worker.join();
  EXPECT_FALSE(monitor);
  EXPECT_FALSE(hotKeys);
  EXPECT_TRUE(monitorWhy.contains(QStringLiteral("main thread"))) << monitorWhy.toStdString();
  EXPECT_TRUE(hotKeyWhy.contains(QStringLiteral("main thread"))) << hotKeyWhy.toStdString();
}

}  // namespace
}  // namespace ostrel::platform
