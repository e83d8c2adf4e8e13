#include "mainwindow/ViewController.h"

#include "common/AutoClearStatus.h"
#include "common/Log.h"
#include "common/NotificationCenter.h"
#include "mainwindow/AutoClearRest.h"
#include "mainwindow/AutoClearTimer.h"
#include "mainwindow/MainWindowTexts.h"
#include "mainwindow/MenuTexts.h"
#include "mainwindow/MonitorAdapterMemory.h"
#include "mainwindow/MonitorInputInjection.h"
#include "mainwindow/PageTurnRefresh.h"
#include "monitor/MonitorProtocol.h"
#include "monitor/MonitorState.h"
#include "monitor/UtilsPelSerialPortsValue.h"
#include "serial/PelSerialPort.h"
#include "serial/PelSerialPortManager.h"
#include "settings/PreferenceStore.h"
#include "settings/ProgramValues.h"
#include "ui_MainWindow.h"

#include <QComboBox>
#include <QLabel>
#include <QGuiApplication>
#include <QMainWindow>
#include <QPalette>
#include <QScreen>
#include <QSignalBlocker>
#include <QSlider>
#include <algorithm>
#include <any>

namespace ostrel {

std::shared_ptr<ViewController> VCInstance;
float HEIGHT_MAX = 0.0f;
float WIDTH_MAX = 0.0f;

namespace {
constexpr int kReadBackSpacingMs = 330;
constexpr int kLoadSettleMs = 1000;
}  // namespace

ViewController::ViewController(std::shared_ptr<platform::InputInjector> injector, const QString& whyNoInjector)
    : window_(std::make_unique<QMainWindow>()), ui_(std::make_unique<Ui::MainWindow>()) {
  ui_->setupUi(window_.get());
  rest_ = std::make_unique<AutoClearRest>();
  pageTurns_ = std::make_unique<PageTurnRefresh>([this] { updateViewRefreshInfo(1); });
  autoClear_ = std::make_unique<AutoClearTimer>(
      [this] { updateViewRefreshInfo(1); },
      AutoClearTimer::Rest{[this] { return rest_->decidesOnMainThread(); }, [this] { return rest_->restsNow(); }});
  input_ = std::make_unique<MonitorInputInjection>(std::move(injector), whyNoInjector);
  input_->setMonitorInputHandler([this] { rest_->noteMonitorInput(); });
  connectActions();
}

ViewController::~ViewController() {
  // The timers call back into this object from their own threads: stop them
  // before anything else goes away.
  autoClear_.reset();
  input_.reset();
}

QMainWindow* ViewController::window() const { return window_.get(); }
QComboBox* ViewController::displaySerialPort() const { return ui_->displaySerialPort; }
QComboBox* ViewController::thresholdInfo() const { return ui_->thresholdInfo; }
QComboBox* ViewController::modeInfo() const { return ui_->modeInfo; }
QComboBox* ViewController::speedInfo() const { return ui_->speedInfo; }
QComboBox* ViewController::frontLightModeInfo() const { return ui_->frontLightModeInfo; }
QSlider* ViewController::frontModeBrightnessInfo() const { return ui_->frontModeBrightnessInfo; }
QSlider* ViewController::frontModeTemperatureInfo() const { return ui_->frontModeTemperatureInfo; }
QMenu* ViewController::ostrelMenu() const { return ui_->menuOstrel; }
QAction* ViewController::startAtLoginAction() const { return ui_->actionStartAtLogin; }
QAction* ViewController::quitAction() const { return ui_->actionQuit; }

void ViewController::setSettingsPresenter(std::function<void()> presenter) { settingsPresenter_ = std::move(presenter); }

void ViewController::connectActions() {
  // `activated` fires for the user's choices only, so showing a reported value
  // never sends it back to the monitor.
  connect(ui_->thresholdInfo, &QComboBox::activated, this, [this] { thresholdCheckAction(); });
  connect(ui_->modeInfo, &QComboBox::activated, this, [this] { modeCheckAction(); });
  connect(ui_->speedInfo, &QComboBox::activated, this, [this] { speedCheckAction(); });
  connect(ui_->frontLightModeInfo, &QComboBox::activated, this, [this] { frontModeCheckAction(); });
  connect(ui_->displaySerialPort, &QComboBox::activated, this, [this] { displaySerialPortInfo(); });
  // Sliders send on release (and on keyboard or page steps), not on every pixel
  // of a drag: each value is a command on a 115200-baud line.
  for (QSlider* slider : {ui_->frontModeBrightnessInfo, ui_->frontModeTemperatureInfo}) {
    slider->setTracking(false);
  }
  connect(ui_->frontModeBrightnessInfo, &QSlider::valueChanged, this, [this] { frontModeBrightnessCheckAction(); });
  connect(ui_->frontModeTemperatureInfo, &QSlider::valueChanged, this, [this] { frontModeTemperatureCheckAction(); });
  connect(ui_->timeSyncButton, &QPushButton::clicked, this, [this] { realTimeClockAction(); });
  connect(ui_->paramButton, &QPushButton::clicked, this, [this] { syncParametersAction(); });
  connect(ui_->hardRefreshButton, &QPushButton::clicked, this, [this] { hardRefreshAction(); });
  connect(ui_->clientSettingsButton, &QPushButton::clicked, this, [this] { settingsToSecond(); });
  connect(ui_->actionSettings, &QAction::triggered, this, [this] { settingsToSecond(); });
  connect(ui_->actionQuit, &QAction::triggered, window_.get(), &QMainWindow::close);
}

// ---- Loading ---------------------------------------------------------------

QRect ViewController::mainScreenFrame() {
  QScreen* screen = QGuiApplication::primaryScreen();
  return screen ? screen->geometry() : QRect();
}

void ViewController::viewDidLoad() {
  log("viewDidLoad");
  // The monitor may send pointer steps as soon as discovery accepts it, before
  // load's settling second is over; the edges must be known by then.
  const QRect frame = mainScreenFrame();
  HEIGHT_MAX = static_cast<float>(frame.height());
  WIDTH_MAX = static_cast<float>(frame.width());
  input_->setScreenSize(WIDTH_MAX, HEIGHT_MAX);
  utlsPorts_ = std::make_shared<UtilsPelSerialPortsValue>();
  // The monitor's adapter is remembered in the preferences, so the next start
  // asks it first and leaves the other serial devices alone; the file is
  // written off the main thread, which is busy with the monitor just then.
  auto memory = std::make_shared<MonitorAdapterMemory>(PreferenceStore::standard());
  utlsPorts_->setAdapterMemory(
      {[memory] { return memory->recall(); }, [memory](const QString& identity) { memory->remember(identity); }});
  utlsPorts_->initSerialPorts();

  const AutoClearAtStart autoClear = loadMainWindowPreferences();
  rest_->setShortestIdle(std::chrono::seconds(IdlePauseSeconds));
  setPauseWhileIdle(PauseWhileIdle != 0);
  setPageRefreshValue(PageRefreshValue);
  if (autoClear.armTimer) setAutoClearGhostDelay(autoClear.periodSeconds);
  log("viewDidLoad CurrentLanguage = %d", CurrentLanguage);

  initViewInof();
  VCInstance = shared_from_this();

  auto& center = NotificationCenter::defaultCenter();
  std::weak_ptr<ViewController> weakSelf = shared_from_this();
  connectedObserver_ = std::make_unique<ScopedObserver>(
      center, center.addObserver(PelSerialPortsWereConnectedNotification, nullptr, [weakSelf](const Notification& n) {
        auto self = weakSelf.lock();
        if (!self) return;
        QString connected = QStringLiteral("(null)");
        if (auto it = n.userInfo.find(PelConnectedSerialPortsKey); it != n.userInfo.end()) {
          if (const auto* ports = std::any_cast<QList<std::shared_ptr<PelSerialPort>>>(&it->second)) {
            connected = describe(*ports);
            // Newly plugged devices are probed even while a known monitor answers.
            self->utlsPorts_->noteArrivals(QList<PelSerialPortRef>(ports->cbegin(), ports->cend()));
          }
        }
        self->connectValidPortCallback(n.name, n.object, connected);
      }));

  ui_->testView1->setAutoFillBackground(true);
  QPalette backdrop = ui_->testView1->palette();
  backdrop.setColor(QPalette::Window, Qt::white);
  ui_->testView1->setPalette(backdrop);

  availablePortsmutableArr_ = std::make_shared<QList<PelSerialPortRef>>();
  utlsPorts_->startPinAvailablePorts(availablePortsmutableArr_, shared_from_this());
  utlsPorts_->startPin();

  // The monitor gets a second to settle before the window reads anything back;
  // the wait runs on the command queue, not on the event loop.
  std::weak_ptr<ViewController> weak = shared_from_this();
  utlsPorts_->runPacedSequence({{[] {}, kLoadSettleMs}, {[weak] {
                                  if (auto self = weak.lock()) self->finishLoad();
                                },
                                0}});
}

void ViewController::finishLoad() {
  log("updateMainViewContent ***************************************");
  const QRect frame = mainScreenFrame();
  HEIGHT_MAX = static_cast<float>(frame.height());
  WIDTH_MAX = static_cast<float>(frame.width());
  log("***************************************************** frame x= %f, y = %f, height = %f, width = %f",
      static_cast<double>(frame.x()), static_cast<double>(frame.y()), static_cast<double>(frame.height()),
      static_cast<double>(frame.width()));
  input_->setScreenSize(WIDTH_MAX, HEIGHT_MAX);
}

void ViewController::viewDidAppear() {
  log("viewDidAppear");
  window_->setWindowTitle(QString());
}

void ViewController::initViewInof() {
  const MainWindowTexts& texts = MainWindowTexts::forLanguage(CurrentLanguage);
  ui_->displaySerialPort->clear();
  ui_->modeInfo->clear();

  noDevStr_ = texts.noDevice;
  ui_->displaySerialPort->addItem(noDevStr_);
  ui_->displaySerialPort->setCurrentIndex(0);

  ui_->thresholdInfo->clear();
  ui_->thresholdInfo->addItems(contrastEntries());
  ui_->thresholdInfo->setCurrentIndex(0);
  ui_->thresholdInfo->setEnabled(false);

  ui_->modeInfo->addItems(texts.imageModes);
  ui_->modeInfo->setCurrentIndex(0);
  ui_->modeInfo->setEnabled(false);

  ui_->speedInfo->clear();
  ui_->speedInfo->addItems(refreshSpeedEntries());
  ui_->speedInfo->setCurrentIndex(0);
  ui_->speedInfo->setEnabled(false);

  ui_->frontLightModeInfo->clear();
  ui_->frontLightModeInfo->addItems(MainWindowTexts::forLanguage(0).frontLightModes);
  ui_->frontLightModeInfo->setCurrentIndex(0);
  ui_->frontLightModeInfo->setEnabled(false);

  for (QSlider* slider : {ui_->frontModeBrightnessInfo, ui_->frontModeTemperatureInfo}) {
    const QSignalBlocker quiet(slider);
    slider->setRange(0, 100);
    slider->setEnabled(false);
  }
  setViewDisplay();
}

void ViewController::setViewDisplay() {
  log("setViewDisplay CurrentLanguage = %d currentModeValue = %d, currentSpeedValue = %d", CurrentLanguage,
      currentModeValue, currentSpeedValue);
  const MainWindowTexts& t = MainWindowTexts::forLanguage(CurrentLanguage);
  ui_->portTitleInfo->setText(t.portTitleInfo);
  ui_->thresholdTitleInfo->setText(t.thresholdTitleInfo);
  ui_->modeTitleInfo->setText(t.modeTitleInfo);
  ui_->speedTitleInfo->setText(t.speedTitleInfo);
  ui_->timeSyncButton->setText(t.timeSyncButton);
  ui_->paramButton->setText(t.paramButton);
  ui_->hardRefreshButton->setText(t.hardRefreshButton);
  ui_->clientSettingsButton->setText(t.clientSettingsButton);
  ui_->frontLightModeTitleInfo->setText(t.frontLightModeTitleInfo);
  ui_->frontBrightnessTitleInfo->setText(t.frontBrightnessTitleInfo);
  ui_->frontBrightnessDarkTitleInfo->setText(t.frontBrightnessDarkTitleInfo);
  ui_->frontBrightnessBrightTitleInfo->setText(t.frontBrightnessBrightTitleInfo);
  ui_->frontTemperatureTitleInfo->setText(t.frontTemperatureTitleInfo);
  ui_->frontTemperatureWarmTitleInfo->setText(t.frontTemperatureWarmTitleInfo);
  ui_->frontTemperatureColdTitleInfo->setText(t.frontTemperatureColdTitleInfo);
  alignSliderEnds();
  relabelToolTipsAndMenu();

  ui_->modeInfo->clear();
  ui_->modeInfo->addItems(t.imageModes);
  selectPosition(ui_->modeInfo, currentModeValue);

  ui_->frontLightModeInfo->clear();
  ui_->frontLightModeInfo->addItems(t.frontLightModes);
  selectPosition(ui_->frontLightModeInfo, currentFrontLightModeValue);

  // With a monitor listed, the list keeps its port names and noDevStr its text.
  if (!availablePortsmutableArr_ || availablePortsmutableArr_->isEmpty()) {
    noDevStr_ = t.noDevice;
    ui_->displaySerialPort->clear();
    ui_->displaySerialPort->addItem(noDevStr_);
    ui_->displaySerialPort->setCurrentIndex(0);
  }
  Q_EMIT relabelled();
}

void ViewController::relabelToolTipsAndMenu() {
  const MainWindowTexts& t = MainWindowTexts::forLanguage(CurrentLanguage);
  ui_->displaySerialPort->setToolTip(t.displaySerialPortToolTip);
  ui_->thresholdInfo->setToolTip(t.thresholdInfoToolTip);
  ui_->modeInfo->setToolTip(t.modeInfoToolTip);
  ui_->speedInfo->setToolTip(t.speedInfoToolTip);
  ui_->frontLightModeInfo->setToolTip(t.frontLightModeInfoToolTip);
  ui_->frontModeBrightnessInfo->setToolTip(t.frontModeBrightnessInfoToolTip);
  ui_->frontModeTemperatureInfo->setToolTip(t.frontModeTemperatureInfoToolTip);
  // The texts carry the mnemonics; the Quit shortcut is the action's own and
  // stays whatever the words.
  const MenuTexts& m = MenuTexts::forLanguage(CurrentLanguage);
  ui_->menuOstrel->setTitle(m.ostrelMenu);
  ui_->actionSettings->setText(m.settings);
  ui_->actionStartAtLogin->setText(m.startAtLogin);
  ui_->actionQuit->setText(m.quit);
}

void ViewController::alignSliderEnds() {
  // The two sliders start and end at the same place whatever the words at
  // their ends are in the language shown.
  const auto sameWidth = [](QLabel* a, QLabel* b) {
    const int width = std::max(a->sizeHint().width(), b->sizeHint().width());
    a->setMinimumWidth(width);
    b->setMinimumWidth(width);
  };
  sameWidth(ui_->frontBrightnessDarkTitleInfo, ui_->frontTemperatureWarmTitleInfo);
  sameWidth(ui_->frontBrightnessBrightTitleInfo, ui_->frontTemperatureColdTitleInfo);
}

void ViewController::selectPosition(QComboBox* list, std::int32_t position) {
  // A value the list has no entry for shows no selection rather than a wrong one.
  list->setCurrentIndex(position >= 0 && position < list->count() ? position : -1);
}

// ---- Monitor list and read-back --------------------------------------------

void ViewController::updateMainViewContent() {
  const QList<PelSerialPortRef> empty;
  const QList<PelSerialPortRef>& ports = availablePortsmutableArr_ ? *availablePortsmutableArr_ : empty;
  log("updateMainViewContent mutableArr = %@", ports);
  if (ports.isEmpty()) {
    log("updateMainViewContent no content to display");
    ui_->displaySerialPort->clear();
    ui_->displaySerialPort->addItem(noDevStr_);
    ui_->displaySerialPort->setCurrentIndex(0);
    updateViewForRemvoedAllValidPortDisplay();
    listedMonitors_.clear();
    return;
  }
  log("updateMainViewContent _displaySerialPort = %@", ui_->displaySerialPort->itemText(0));
  ui_->displaySerialPort->clear();
  for (const PelSerialPortRef& port : ports) ui_->displaySerialPort->addItem(port ? port->name() : QString());
  // A monitor that was not listed before may send input: where the desktop
  // must allow that, it is asked now rather than at every start.
  QStringList listed;
  for (const PelSerialPortRef& port : ports) listed << (port ? port->path() : QString());
  const bool arrived = std::any_of(listed.cbegin(), listed.cend(),
                                   [this](const QString& path) { return !listedMonitors_.contains(path); });
  listedMonitors_ = listed;
  if (arrived) input_->monitorConnected();
  ui_->displaySerialPort->setCurrentIndex(0);
  currentDisplayPort(0);
  updateViewAllInfoWithCurrentPort();
}

void ViewController::updateViewForRemvoedAllValidPortDisplay() {
  for (QWidget* control : std::initializer_list<QWidget*>{ui_->thresholdInfo, ui_->modeInfo, ui_->speedInfo,
                                                          ui_->frontLightModeInfo, ui_->frontModeBrightnessInfo,
                                                          ui_->frontModeTemperatureInfo}) {
    control->setEnabled(false);
  }
}

void ViewController::updateViewAllInfoWithCurrentPort() {
  std::weak_ptr<ViewController> weak = shared_from_this();
  auto ask = [weak](protocol::MonitorSetting setting) {
    return [weak, identifier = protocol::settingRange(setting).identifier] {
      if (auto self = weak.lock()) self->requestUpdateViewInfo(identifier);
    };
  };
  std::vector<PacedStep> steps;
  for (const protocol::MonitorSetting setting : protocol::readBackFor(currentMCUVersion)) {
    if (setting == protocol::MonitorSetting::FrontLightMode) {
      // The front light's list is usable from its first question on.
      steps.push_back({[weak, asked = ask(setting)] {
                         if (auto self = weak.lock()) self->ui_->frontLightModeInfo->setEnabled(true);
                         asked();
                       },
                       kReadBackSpacingMs});
      continue;
    }
    steps.push_back({ask(setting), kReadBackSpacingMs});
    if (setting == protocol::MonitorSetting::RefreshSpeed) {
      steps.push_back({[] { log("updateViewAllInfoWithCurrentPort currentMCUVersion = %d", currentMCUVersion); }, 0});
    }
  }
  utlsPorts_->runPacedSequence(std::move(steps));
}

void ViewController::currentDisplayPort(std::int32_t indexOfPortsArr) { utlsPorts_->currentDisplayPort(indexOfPortsArr); }

void ViewController::connectValidPortCallback(const QString& name, const void* object, const QString& connectedPorts) {
  log(" name = %@, object = %@ !!!", name,
      object ? QStringLiteral("<PelSerialPortManager: 0x%1>").arg(quintptr(object), 0, 16) : QStringLiteral("(null)"));
  log(" objectForKey = %@!!!", connectedPorts);
  utlsPorts_->startPin();
}

// ---- Display handlers ------------------------------------------------------

void ViewController::updateViewThresholdDisplay(std::int32_t v) {
  log("updateViewThresholdDisplay thresholdValue = %d", v);
  currentThresholdValue = v - 1;
  selectPosition(ui_->thresholdInfo, v - 1);
  ui_->thresholdInfo->setEnabled(true);
}

void ViewController::updateViewModeDisplay(std::int32_t v) {
  log("updateViewModeDisplay modeValue = %d", v);
  const std::int32_t p = v < 2 ? 0 : v - 2;
  currentModeValue = p;
  selectPosition(ui_->modeInfo, p);
  ui_->modeInfo->setEnabled(true);
}

void ViewController::updateViewSpeedDisplay(std::int32_t v) {
  log("updateViewSpeedDisplay speedValue = %d", v);
  currentSpeedValue = v - 1;
  selectPosition(ui_->speedInfo, v - 1);
  ui_->speedInfo->setEnabled(true);
}

void ViewController::updateViewFrontLightModeDisplay(std::int32_t v) {
  log("updateViewFrontLightModeDisplay frontLightModeValue = %d, currentMCUVersion = %d", v, currentMCUVersion);
  currentFrontLightModeValue = v;
  selectPosition(ui_->frontLightModeInfo, v);
  ui_->frontLightModeInfo->setEnabled(true);
  ui_->frontModeBrightnessInfo->setEnabled(currentMCUVersion == 48 && v != 0);
  ui_->frontModeTemperatureInfo->setEnabled(currentMCUVersion == 48 && v == 3);
}

void ViewController::updateViewFrontBrightnessValueDisplay(std::int32_t v) {
  log("updateViewFrontBrightnessValueDisplay frontBrightnessValue = %d", v);
  currentFrontBrightnessValue = std::clamp(v, 0, 100);
  const QSignalBlocker quiet(ui_->frontModeBrightnessInfo);
  ui_->frontModeBrightnessInfo->setValue(currentFrontBrightnessValue);
}

void ViewController::updateViewFrontTemperatureValueDisplay(std::int32_t v) {
  log("updateViewFrontTemperatureValueDisplay frontTemperatureValue = %d", v);
  currentFrontTemperatureValue = std::clamp(v, 0, 100);
  const QSignalBlocker quiet(ui_->frontModeTemperatureInfo);
  ui_->frontModeTemperatureInfo->setValue(currentFrontTemperatureValue);
}

void ViewController::updateViewCurrentMCUVersion(std::int32_t version) { currentMCUVersion = version; }

// ---- Command wrappers ------------------------------------------------------

bool ViewController::updateViewThresholdInfo(std::int32_t value) {
  return utlsPorts_->sendCommand(protocol::kSetContrast, value);
}
bool ViewController::updateViewModeInfo(std::int32_t value) {
  return utlsPorts_->sendCommand(protocol::kSetImageMode, value);
}
bool ViewController::updateViewRefreshInfo(std::int32_t value) {
  const bool sent = utlsPorts_->sendCommand(protocol::kRefresh, value);
  // Whoever asked for it, the panel is clean now: the page turns count afresh.
  if (sent) pageTurns_->noteRefresh();
  return sent;
}
bool ViewController::updateViewSpeedInfo(std::int32_t value) {
  return utlsPorts_->sendCommand(protocol::kSetRefreshSpeed, value);
}
bool ViewController::updateRealTimeClockInfo() {
  return utlsPorts_->sendCommand(protocol::kClockSync, 0);
}
bool ViewController::updateViewFrontModeInfo(std::int32_t value) {
  return utlsPorts_->sendCommand(protocol::kSetFrontLightMode, value);
}
bool ViewController::updateViewFrontTemperatureValueInfo(std::int32_t value) {
  return utlsPorts_->sendCommand(protocol::kSetTemperature, value);
}
bool ViewController::updateViewFrontBrightnessValueInfo(std::int32_t value) {
  return utlsPorts_->sendCommand(protocol::kSetBrightness, value);
}
bool ViewController::requestUpdateViewInfo(std::int32_t identifier) {
  return utlsPorts_->sendCommand(protocol::kReadParameter, identifier);
}

// ---- Control actions -------------------------------------------------------

void ViewController::thresholdCheckAction() {
  const std::int32_t p = ui_->thresholdInfo->currentIndex();
  currentThresholdValue = p;
  updateViewThresholdInfo(p + 1);
}

void ViewController::modeCheckAction() {
  const std::int32_t p = ui_->modeInfo->currentIndex();
  currentModeValue = p;
  updateViewModeInfo(p + 2);
}

void ViewController::speedCheckAction() {
  const std::int32_t p = ui_->speedInfo->currentIndex();
  currentSpeedValue = p;
  updateViewSpeedInfo(p + 1);
}

void ViewController::frontModeCheckAction() {
  const std::int32_t p = ui_->frontLightModeInfo->currentIndex();
  log("frontModeCheckAction mode = %d", p);
  currentFrontLightModeValue = p;
  ui_->frontModeBrightnessInfo->setEnabled(p != 0);
  ui_->frontModeTemperatureInfo->setEnabled(p == 3);
  updateViewFrontModeInfo(p);
}

void ViewController::frontModeBrightnessCheckAction() {
  const std::int32_t v = ui_->frontModeBrightnessInfo->value();
  currentFrontBrightnessValue = v;
  log("frontModeBrightnessCheckAction brightness = %d", v);
  updateViewFrontBrightnessValueInfo(v);
}

void ViewController::frontModeTemperatureCheckAction() {
  const std::int32_t v = ui_->frontModeTemperatureInfo->value();
  currentFrontTemperatureValue = v;
  log("frontModeTemperatureCheckAction temperature = %d", v);
  updateViewFrontTemperatureValueInfo(v);
}

void ViewController::hardRefreshAction() { updateViewRefreshInfo(1); }
void ViewController::realTimeClockAction() { updateRealTimeClockInfo(); }
void ViewController::syncParametersAction() { updateViewAllInfoWithCurrentPort(); }

void ViewController::settingsToSecond() {
  if (settingsPresenter_) settingsPresenter_();
}

void ViewController::displaySerialPortInfo() { log("displaySerialPortInfo"); }

// ---- Shortcut entry points -------------------------------------------------

void ViewController::setFromRefreshShortCutInfo() { updateViewRefreshInfo(1); }
void ViewController::setFromThresholdShortCutValue() { stepContrast(true); }
void ViewController::setFromThresholdDownShortCutValue() { stepContrast(false); }

void ViewController::stepContrast(bool upwards) {
  // The step itself waits its turn on the command queue, so a contrast press
  // during a read-back changes the contrast after it, as it always did.
  std::weak_ptr<ViewController> weak = shared_from_this();
  utlsPorts_->runPacedSequence({
      {[weak, upwards] {
         auto self = weak.lock();
         if (!self) return;
         log(upwards ? "setFromThresholdShortCutValue currentThresholdValue = %d"
                     : "setFromThresholdDownShortCutValue currentThresholdValue = %d",
             currentThresholdValue);
         currentThresholdValue = protocol::contrastStep(currentThresholdValue, upwards);
         self->updateViewThresholdInfo(currentThresholdValue + 1);
       },
       kReadBackSpacingMs},
      {[weak] {
         if (auto self = weak.lock())
           self->requestUpdateViewInfo(protocol::settingRange(protocol::MonitorSetting::Contrast).identifier);
       },
       0},
  });
}

// ---- Auto-clear and the monitor's input ------------------------------------

void ViewController::setAutoClearGhostDelay(std::int32_t delay) {
  // The rest knows the period before the first tick asks it.
  const std::int32_t period = std::max(delay, 0);
  rest_->setPeriod(period);
  AutoClearStatus::shared().setPeriod(period);
  autoClear_->setAutoClearGhostDelay(delay);
}

void ViewController::receiveKeyBoardClickWithCode(std::int32_t keyCode) {
  const bool injected = input_->receiveKeyBoardClickWithCode(keyCode);
  pageTurns_->monitorPageKey(static_cast<std::uint16_t>(keyCode & 0xFFFF), injected);
}
void ViewController::receiveMouseMovePointX(std::int32_t x, std::int32_t y) { input_->receiveMouseMovePointX(x, y); }
void ViewController::receiveMouseClickEvent(std::int32_t button) { input_->receiveMouseClickEvent(button); }
void ViewController::receiveMouseLongMovePonitX(std::int32_t x, std::int32_t y) {
  input_->receiveMouseLongMovePonitX(x, y);
}
void ViewController::runTestForOneSecond(std::int32_t x, std::int32_t y) { input_->runTestForOneSecond(x, y); }
void ViewController::receiveKeyBoardClickWithCodeForStarter() {
  input_->receiveKeyBoardClickWithCodeForStarter(window_.get());
}

// ---- Pause while idle, page-turn refresh ------------------------------------

void ViewController::setIdleSources(IdleSources sources) {
  rest_->setSources(std::move(sources));
}

void ViewController::setPauseWhileIdle(bool on) {
  rest_->setPauseWhileIdle(on);
  AutoClearStatus::shared().setSettings(on, pageTurns_->every());
}

void ViewController::setPageRefreshValue(std::int32_t pageTurns) {
  pageTurns_->setEvery(pageTurns);
  AutoClearStatus::shared().setSettings(AutoClearStatus::shared().state().pauseWhileIdle, pageTurns_->every());
}

void ViewController::setKeyboardPageTurns(bool watched) {
  pageTurns_->setKeyboardWatched(watched);
}

void ViewController::keyboardKeyPressed(std::uint16_t virtualKeyCode) {
  pageTurns_->keyboardKey(virtualKeyCode);
}

}  // namespace ostrel
