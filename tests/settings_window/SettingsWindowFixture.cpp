#include "SettingsWindowFixture.h"

#include "mainwindow/ViewController.h"
#include "monitor/MonitorState.h"
#include "platform/x11/X11Platform.h"
#include "settings/PreferenceKeys.h"
#include "settings/PreferenceStore.h"
#include "settings/ProgramValues.h"
#include "shortcuts/KivShortcut.h"
#include "shortcuts/KivShortcutMonitor.h"
#include "shortcuts/KivStringTable.h"
#include "support/EventLoopWait.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMainWindow>
#include <QTest>

namespace ostrel::test {

std::shared_ptr<ViewController> SettingsWindowTest::mainWindow;

void SettingsWindowTest::SetUpTestSuite() {
  if (mainWindow) return;
  QString why;
  std::shared_ptr<platform::KeyboardLayout> layout = platform::createX11KeyboardLayout(&why);
  ASSERT_TRUE(layout) << why.toStdString();
  KivShortcut::setKeyboardLayout(layout);
  std::shared_ptr<platform::HotKeyService> hotKeys = platform::createX11HotKeyService(&why);
  ASSERT_TRUE(hotKeys) << why.toStdString();
  KivShortcutMonitor::setSystemHotKeyService(hotKeys);
  KivStringTable::setProcessTable(KivStringTable::shipped(KivStringTable::Language::English));

  LogCapture quiet;
  mainWindow = std::make_shared<ViewController>();
  mainWindow->viewDidLoad();
  mainWindow->window()->show();
  mainWindow->window()->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(mainWindow->window(), 10000));
}

void SettingsWindowTest::TearDownTestSuite() {
  // The main window must go while the application object still exists; the
  // reply decoder holds it too.
  VCInstance.reset();
  mainViewController.reset();
  mainWindow.reset();
}

void SettingsWindowTest::SetUp() {
  ASSERT_TRUE(mainWindow);
  ASSERT_EQ(VCInstance, mainWindow);
  clearPreferences();
  CurrentLanguage = 0;
  RefreshHotkeyKeyCode = RefreshHotkeyModifierFlags = 0;
  ThresholdInfoHotkeyKeyCode = ThresholdInfoHotkeyModifierFlags = 0;
  ThresholdDownInfoHotkeyKeyCode = ThresholdDownInfoHotkeyModifierFlags = 0;
  mainWindow->setAutoClearGhostDelay(0);
  PauseWhileIdle = 1;
  PageRefreshValue = 0;
  mainWindow->setPauseWhileIdle(true);
  mainWindow->setPageRefreshValue(0);
  mainWindow->window()->activateWindow();
  ASSERT_TRUE(runEventLoopUntil([] { return mainWindow->window()->isActiveWindow(); }, 10000));
  log = std::make_unique<LogCapture>();
}

void SettingsWindowTest::clearPreferences() {
  PreferenceStore& preferences = PreferenceStore::standard();
  for (QLatin1String key :
       {prefkeys::language, prefkeys::refreshHotKeyCode, prefkeys::refreshHotKeyCodeFlags,
        prefkeys::thresholdHotKeyCode, prefkeys::thresholdHotKeyCodeFlags, prefkeys::thresholdDownHotKeyCode,
        prefkeys::thresholdDownHotKeyCodeFlags, prefkeys::autoClearCheckValue, prefkeys::autoClearValue,
        prefkeys::autoStart, prefkeys::pauseWhileIdle, prefkeys::pageRefreshValue}) {
    preferences.removeObjectForKey(key);
  }
  EXPECT_TRUE(preferences.synchronize());
}

void SettingsWindowTest::TearDown() {
  if (window) {
    window->reject();
    waitUntilClosed();
  }
  mainWindow->setAutoClearGhostDelay(0);
  log.reset();
}

TestSecondView* SettingsWindowTest::open() {
  window = TestSecondView::presentFrom(mainWindow->window());
  EXPECT_TRUE(QTest::qWaitForWindowActive(window, 10000));
  return window;
}

bool SettingsWindowTest::waitUntilClosed() {
  // A dismissed window deletes itself later; outside a running event loop Qt
  // only does that when asked.
  return runEventLoopUntil([this] {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return window.isNull();
  });
}

QMap<QString, QString> SettingsWindowTest::fileValues() {
  QMap<QString, QString> values;
  QFile file(PreferenceStore::standardFilePath());
  if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return values;
  for (const QString& line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
    const qsizetype equals = line.indexOf(QLatin1Char('='));
    if (equals > 0) values.insert(line.left(equals).trimmed(), line.mid(equals + 1).trimmed());
  }
  return values;
}

void SettingsWindowTest::store(const QString& key, qint64 value) {
  PreferenceStore::standard().setIntegerForKey(key, value);
  EXPECT_TRUE(PreferenceStore::standard().synchronize());
}

void SettingsWindowTest::typePeriod(const QString& text) {
  QLineEdit* field = window->autoRefreshValue();
  field->setFocus();
  QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(field, Qt::Key_Backspace);
  QTest::keyClicks(field, text);
  QTest::keyClick(field, Qt::Key_Return);  // ends the edit
}

void saveScreenshot(QWidget* widget, const QString& name) {
  const QString buildDir = qEnvironmentVariable("OSTREL_BUILD_DIR");
  if (buildDir.isEmpty()) return;
  const QString dir = buildDir + QStringLiteral("/screenshots");
  QDir().mkpath(dir);
  EXPECT_TRUE(widget->grab().save(dir + QLatin1Char('/') + name + QStringLiteral(".png")));
}

}  // namespace ostrel::test
