// A configuration directory Ostrel may not write: what the user confirms in the
// settings window still applies to the running program, the failed write is
// logged once, and the file on disk stays as it was.
#include <initializer_list>  // for the header below

#include "../settings/WithoutFileAccessOverride.h"
#include "MainWindowHarness.h"
#include "app/AppDelegate.h"
#include "common/Log.h"
#include "settings/ProgramValues.h"
#include "settings/window/TestSecondView.h"
#include "support/EventLoopWait.h"
#include "support/OstrelProcess.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMainWindow>
#include <QPushButton>

namespace ostrel::test {
namespace {

TEST(ReadOnlyConfiguration, ConfirmedSettingsApplyForTheSessionAndTheFailureIsLogged) {
  ASSERT_TRUE(writePreferences({{QStringLiteral("language"), 0}}));
  const QString file = preferenceFilePath();
  const QString dir = QFileInfo(file).absolutePath();
  QFile original(file);
  ASSERT_TRUE(original.open(QIODevice::ReadOnly));
  const QByteArray before = original.readAll();
  original.close();
  ASSERT_EQ(::chmod(QFile::encodeName(file).constData(), 0444), 0);
  ASSERT_EQ(::chmod(QFile::encodeName(dir).constData(), 0555), 0);
  const WithoutFileAccessOverride asAnOrdinaryUser;

  resetProcessState();
  LogCapture log(false);
  LoadedWindow window;
  ASSERT_EQ(CurrentLanguage, 0);
  EXPECT_EQ(AppDelegate::matchShortcut(2, 0x40000, KeyMonitorKind::Global), 0) << "nothing stored yet";

  TestSecondView* settings = TestSecondView::presentFrom(window->window());
  ASSERT_NE(settings, nullptr);
  settings->currentLanguageInfo()->setCurrentIndex(1);
  Q_EMIT settings->currentLanguageInfo()->activated(1);
  auto* ok = settings->findChild<QPushButton*>(QStringLiteral("buttonOK"));
  ASSERT_NE(ok, nullptr);
  ok->click();
  runEventLoopFor(300);

  // In force for this session: English, and the three default shortcuts.
  EXPECT_EQ(CurrentLanguage, 1);
  EXPECT_EQ(window->window()->findChild<QLabel*>(QStringLiteral("portTitleInfo"))->text(),
            QStringLiteral("Monitor Connected"));
  EXPECT_EQ(RefreshHotkeyModifierFlags, 0x40000u);
  EXPECT_EQ(RefreshHotkeyKeyCode, 2u);
  EXPECT_EQ(AppDelegate::matchShortcut(2, 0x40000, KeyMonitorKind::Global), 1);
  runEventLoopFor(100);

  // Said once; the file is untouched and nothing else appeared beside it.
  int failures = 0;
  for (const QString& line : log.lines())
    failures += line.startsWith(QStringLiteral("Preferences could not be written")) ? 1 : 0;
  EXPECT_EQ(failures, 1) << log.lines().join('\n').toStdString();
  QFile after(file);
  ASSERT_TRUE(after.open(QIODevice::ReadOnly));
  EXPECT_EQ(after.readAll(), before);
  EXPECT_EQ(QDir(dir).entryList(QDir::Files | QDir::Hidden).size(), 1);

  ::chmod(QFile::encodeName(dir).constData(), 0755);
  ::chmod(QFile::encodeName(file).constData(), 0644);
}

}  // namespace
}  // namespace ostrel::test
