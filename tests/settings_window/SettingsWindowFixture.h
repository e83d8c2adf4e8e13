#pragma once
// The settings window's tests run against the real preference file
// ($XDG_CONFIG_HOME/VELDOR/Ostrel.conf) and a real main window (VCInstance),
// created once per test program.

#include "common/Log.h"
#include "settings/window/TestSecondView.h"

#include <gtest/gtest.h>
#include <QMap>
#include <QPointer>
#include <QString>
#include <memory>

namespace ostrel {

class ViewController;

namespace test {

class SettingsWindowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite();
  static void TearDownTestSuite();
  void SetUp() override;
  void TearDown() override;

  // Opens the window the way the main window's Settings button does.
  TestSecondView* open();
  // Waits until the window that open() returned is gone.
  bool waitUntilClosed();

  // The preference file as written on disk: key -> text of the value.
  static QMap<QString, QString> fileValues();
  static void store(const QString& key, qint64 value);
  // Removes Ostrel's ten keys from the file.
  static void clearPreferences();

  // Replaces the period field's text the way a person does.
  void typePeriod(const QString& text);

  static std::shared_ptr<ViewController> mainWindow;
  QPointer<TestSecondView> window;
  std::unique_ptr<LogCapture> log;
};

// Saves widget->grab() as $OSTREL_BUILD_DIR/screenshots/<name>.png.
void saveScreenshot(QWidget* widget, const QString& name);

}  // namespace test
}  // namespace ostrel
