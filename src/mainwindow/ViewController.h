#pragma once
// The controller of Ostrel's main window: shows the attached monitors and the
// current monitor's settings as they arrive, sends what the user chooses, runs
// the auto-clear timer and turns the monitor's own keys and pointer controls into
// desktop input.
//
// Everything runs on the main thread except the auto-clear timer and the
// long-move repeat, which fire on threads of their own and only send commands or
// move the pointer from there.

#include "monitor/ViewControllerInterface.h"
#include "serial/PelSerialPortInterface.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>

class QMainWindow;
class QRect;
class QAction;
class QComboBox;
class QMenu;
class QSlider;

namespace Ui {
class MainWindow;
}

namespace ostrel {

class UtilsPelSerialPortsValue;
class AutoClearTimer;
class AutoClearRest;
class PageTurnRefresh;
struct IdleSources;
class MonitorInputInjection;
class ScopedObserver;
namespace platform {
class InputInjector;
}

class ViewController : public QObject,
                       public ViewControllerInterface,
                       public std::enable_shared_from_this<ViewController> {
  Q_OBJECT

 public:
  // injector may be null (no X11): the monitor's input is then dropped, and
  // whyNoInjector logged once.
  explicit ViewController(std::shared_ptr<platform::InputInjector> injector = nullptr,
                          const QString& whyNoInjector = {});
  ~ViewController() override;

  QMainWindow* window() const;

  // Loading and display.
  void viewDidLoad();
  void viewDidAppear();
  void initViewInof();
  void setViewDisplay();
  void updateMainViewContent() override;
  void updateViewForRemvoedAllValidPortDisplay();
  void updateViewAllInfoWithCurrentPort();
  void currentDisplayPort(std::int32_t indexOfPortsArr);
  void connectValidPortCallback(const QString& name, const void* object, const QString& connectedPortsDescription);

  // Display handlers (the monitor's raw values).
  void updateViewThresholdDisplay(std::int32_t thresholdValue) override;
  void updateViewModeDisplay(std::int32_t modeValue) override;
  void updateViewSpeedDisplay(std::int32_t speedValue) override;
  void updateViewFrontLightModeDisplay(std::int32_t frontLightModeValue) override;
  void updateViewFrontTemperatureValueDisplay(std::int32_t frontTemperatureValue) override;
  void updateViewFrontBrightnessValueDisplay(std::int32_t frontBrightnessValue) override;
  void updateViewCurrentMCUVersion(std::int32_t version) override;

  // Command wrappers, one per command code: sendCommand's answer (false when
  // the command was refused or the port did not take the frame).
  bool updateViewThresholdInfo(std::int32_t value);
  bool updateViewModeInfo(std::int32_t value);
  bool updateViewRefreshInfo(std::int32_t value);
  bool updateViewSpeedInfo(std::int32_t value);
  bool updateRealTimeClockInfo();
  bool updateViewFrontModeInfo(std::int32_t value);
  bool updateViewFrontTemperatureValueInfo(std::int32_t value);
  bool updateViewFrontBrightnessValueInfo(std::int32_t value);
  bool requestUpdateViewInfo(std::int32_t identifier);

  // Control actions.
  void thresholdCheckAction();
  void modeCheckAction();
  void speedCheckAction();
  void frontModeCheckAction();
  void frontModeBrightnessCheckAction();
  void frontModeTemperatureCheckAction();
  void hardRefreshAction();
  void realTimeClockAction();
  void syncParametersAction();
  void settingsToSecond();
  void displaySerialPortInfo();

  // Global shortcut entry points (queued to the main thread by the key monitors).
  void setFromRefreshShortCutInfo();
  void setFromThresholdShortCutValue();
  void setFromThresholdDownShortCutValue();

  // Auto-clear timer and the monitor's input.
  void setAutoClearGhostDelay(std::int32_t delay);
  void receiveKeyBoardClickWithCode(std::int32_t keyCode) override;
  void receiveMouseMovePointX(std::int32_t x, std::int32_t y) override;
  void receiveMouseClickEvent(std::int32_t button) override;
  void receiveMouseLongMovePonitX(std::int32_t x, std::int32_t y) override;
  void runTestForOneSecond(std::int32_t x, std::int32_t y);
  void receiveKeyBoardClickWithCodeForStarter();

  // Auto Clear rests while nobody is there ("Pause while idle"), and a fast
  // refresh follows every Nth page turn ("Refresh every N page turns"). The
  // sources come from the application before viewDidLoad(), which reads both
  // settings; the settings window and the bus change them afterwards.
  void setIdleSources(IdleSources sources);
  void setPauseWhileIdle(bool on);
  void setPageRefreshValue(std::int32_t pageTurns);
  // The desktop's keyboard is watched everywhere (X11): its Page Up and Page
  // Down count as page turns, and keyboardKeyPressed() hears every press.
  void setKeyboardPageTurns(bool watched);
  void keyboardKeyPressed(std::uint16_t virtualKeyCode);
  AutoClearRest& autoClearRest() const { return *rest_; }
  PageTurnRefresh& pageTurnRefresh() const { return *pageTurns_; }

  // What the Settings button opens; set by the application (the settings window).
  void setSettingsPresenter(std::function<void()> presenter);

  std::shared_ptr<UtilsPelSerialPortsValue> utlsPorts() const { return utlsPorts_; }
  std::shared_ptr<QList<PelSerialPortRef>> availablePortsmutableArr() const { return availablePortsmutableArr_; }
  QString noDevStr() const { return noDevStr_; }
  const MonitorInputInjection& monitorInput() const { return *input_; }

  // Controls, for the window's own tests and for screenshots.
  QComboBox* displaySerialPort() const;
  QComboBox* thresholdInfo() const;
  QComboBox* modeInfo() const;
  QComboBox* speedInfo() const;
  QComboBox* frontLightModeInfo() const;
  QSlider* frontModeBrightnessInfo() const;
  QSlider* frontModeTemperatureInfo() const;

  // The Ostrel menu and its items. The application gives "Start at Login" its
  // behaviour (the start-at-login machinery lives above this folder); Quit
  // closes the window, which ends Ostrel.
  QMenu* ostrelMenu() const;
  QAction* startAtLoginAction() const;
  QAction* quitAction() const;

 Q_SIGNALS:
  // setViewDisplay() has put every text into the current language; whatever
  // else shows Ostrel's words (the tray's menu) follows.
  void relabelled();

 private:
  void connectActions();
  void selectPosition(QComboBox* list, std::int32_t position);
  void finishLoad();
  void alignSliderEnds();
  void relabelToolTipsAndMenu();
  static QRect mainScreenFrame();
  void stepContrast(bool upwards);

  std::unique_ptr<QMainWindow> window_;
  std::unique_ptr<Ui::MainWindow> ui_;
  std::shared_ptr<UtilsPelSerialPortsValue> utlsPorts_;
  std::shared_ptr<QList<PelSerialPortRef>> availablePortsmutableArr_;
  QString noDevStr_;
  // The rest and the page turns outlive the timer, which asks the one and
  // tells the other from its thread.
  std::unique_ptr<AutoClearRest> rest_;
  std::unique_ptr<PageTurnRefresh> pageTurns_;
  std::unique_ptr<AutoClearTimer> autoClear_;
  QStringList listedMonitors_;  // the monitor list as last shown, to notice arrivals
  std::unique_ptr<MonitorInputInjection> input_;
  std::unique_ptr<ScopedObserver> connectedObserver_;
  std::function<void()> settingsPresenter_;
};

// The main window controller, for the settings window and the shortcut actions.
extern std::shared_ptr<ViewController> VCInstance;

// Main screen size in desktop pixels, taken when the window loads.
extern float HEIGHT_MAX;
extern float WIDTH_MAX;

}  // namespace ostrel
