#pragma once
// The main window's words in its two languages. CurrentLanguage 0 shows Chinese,
// any other value English.

#include <QString>
#include <QStringList>
#include <cstdint>

namespace ostrel {

struct MainWindowTexts {
  QString portTitleInfo;
  QString thresholdTitleInfo;
  QString modeTitleInfo;
  QString speedTitleInfo;
  QString timeSyncButton;
  QString paramButton;
  QString hardRefreshButton;
  QString clientSettingsButton;
  QString frontLightModeTitleInfo;
  QString frontBrightnessTitleInfo;
  QString frontBrightnessDarkTitleInfo;
  QString frontBrightnessBrightTitleInfo;
  QString frontTemperatureTitleInfo;
  QString frontTemperatureWarmTitleInfo;
  QString frontTemperatureColdTitleInfo;
  QStringList imageModes;       // by list position: mode 2, 3, 4
  QStringList frontLightModes;  // off, cold, warm, mixed
  QString noDevice;             // the monitor list's placeholder
  QString starterWarning;       // the one-button warning dialog
  // Tool tips, by control.
  QString displaySerialPortToolTip;
  QString thresholdInfoToolTip;
  QString modeInfoToolTip;
  QString speedInfoToolTip;
  QString frontLightModeInfoToolTip;
  QString frontModeBrightnessInfoToolTip;
  QString frontModeTemperatureInfoToolTip;

  static const MainWindowTexts& forLanguage(std::int32_t language);
};

// Lists that read the same in both languages.
QStringList contrastEntries();      // "1" ... "9"
QStringList refreshSpeedEntries();  // "Fast" ... "Fast++++"

}  // namespace ostrel
