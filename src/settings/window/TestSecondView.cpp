#include "TestSecondView.h"

#include "common/DesktopServices.h"
#include "common/Log.h"
#include "common/NotificationCenter.h"
#include "mainwindow/ViewController.h"
#include "settings/PreferenceKeys.h"
#include "settings/PreferenceStore.h"
#include "settings/ProgramValues.h"
#include "settings/window/DesktopKeybindingsPanel.h"
#include "settings/window/DesktopShortcutNotes.h"
#include "shortcuts/KivShortcut.h"
#include "shortcuts/view/KivShortcutView.h"
#include "ui_TestSecondView.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <algorithm>
#include <limits>
#include <optional>
#include <vector>

namespace ostrel {
namespace {

constexpr std::uint32_t kDefaultModifierFlags = 262144;     // Control
constexpr std::uint32_t kDefaultRefreshKeyCode = 2;         // D
constexpr std::uint32_t kDefaultThresholdKeyCode = 32;      // U
constexpr std::uint32_t kDefaultThresholdDownKeyCode = 35;  // P
constexpr std::int64_t kLongestPeriod = 9999;

struct Caption {
  QWidget* widget;
  const char* english;
  const char* chinese;
};

// Every caption of the window, in its two languages.
std::vector<Caption> captions(const Ui::TestSecondView& ui) {
  return {
      {ui.refreshHotKey, "Fast Refresh Hotkey", "快速刷新热键"},
      {ui.thresholdHotKey, "Contrast Hotkey", "对比度热键"},
      {ui.thresholdUp, "Up:", "增加:"},
      {ui.thresholdDown, "Down:", "减小:"},
      {ui.languageSettings, "Language Settings", "语言设置"},
      {ui.autoRefreshCheck, "Auto Clear Ghost", "定时清残影"},
      {ui.autoUnit, "second", "秒"},
      {ui.pauseWhileIdleCheck, "Pause while idle", "空闲时暂停"},
      {ui.pageRefreshTitle, "Refresh every", "每翻"},
      {ui.pageRefreshUnit, "page turns", "页刷新"},
      {ui.autoStartCheck, "Automatic start", "开机自启动"},
      {ui.buttonExit, "Exit", "退出"},
      {ui.buttonOK, "OK", "生效"},
  };
}

void setCaption(QWidget* widget, const QString& text) {
  if (auto* label = qobject_cast<QLabel*>(widget)) {
    label->setText(text);
  } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
    button->setText(text);
  }
}

std::int64_t stateOf(const QCheckBox* box) {
  return box->isChecked() ? 1 : 0;
}

// A stored pair the window shows as a shortcut. Key code 0 or no modifier is
// what nothing was chosen looks like in the store (and what OK replaces by the
// default), so the recorder shows it as empty rather than as a bare "A".
std::optional<KivShortcut> shortcutForStoredPair(std::uint32_t keyCode, std::uint32_t modifierFlags) {
  if (keyCode == 0 || modifierFlags == 0) return std::nullopt;
  return KivShortcut::shortcutWithKeyCode(keyCode, modifierFlags);
}

}  // namespace

// ---- Presentation --------------------------------------------------------------

TestSecondView* TestSecondView::presentFrom(QWidget* parent) {
  static QPointer<TestSecondView> shown;
  // A dismissed window lingers until its deferred deletion; it does not count.
  if (shown && shown->isVisible()) {
    shown->raise();
    shown->activateWindow();
    return shown;
  }
  auto* view = new TestSecondView(parent);
  connect(view, &QDialog::finished, view, &QObject::deleteLater);
  view->viewDidLoad();
  // Window-modal over the main window. Closing a dialog is not closing the main
  // window, so the application goes on.
  view->open();
  shown = view;
  return view;
}

TestSecondView::TestSecondView(QWidget* parent) : TestSecondView(PreferenceStore::standard(), parent) {}

TestSecondView::TestSecondView(PreferenceStore& store, QWidget* parent)
    : QDialog(parent), store_(store), ui_(std::make_unique<Ui::TestSecondView>()) {
  ui_->setupUi(this);
  desktopNotes_ = new DesktopShortcutNotes(this);
  ui_->dialogLayout->insertWidget(ui_->dialogLayout->indexOf(ui_->buttonSeparator), desktopNotes_);
  keybindingsPanel_ = new DesktopKeybindingsPanel(this);
  ui_->dialogLayout->insertWidget(ui_->dialogLayout->indexOf(ui_->buttonSeparator), keybindingsPanel_);
  setWindowModality(Qt::WindowModal);
  keepCaptionWidthsSteady();
  // As wide as the settings above it, whatever its sentences say.
  keybindingsPanel_->setSteadyWidth(ui_->settingsGrid->sizeHint().width());
  connectActions();
}

TestSecondView::~TestSecondView() = default;

void TestSecondView::connectActions() {
  connect(ui_->currentLanguageInfo, &QComboBox::activated, this, [this] { setCurrentLanguage(); });
  connect(ui_->autoRefreshCheck, &QCheckBox::clicked, this, [this] { autoRefreshCheckAction(); });
  connect(ui_->autoRefreshValue, &QLineEdit::editingFinished, this, [this] { autoRefreshValueChange(); });
  connect(ui_->autoStartCheck, &QCheckBox::clicked, this, [this] { automaticStartCheckAction(); });
  connect(ui_->buttonOK, &QPushButton::clicked, this, [this] { finishViewAction(); });
  connect(ui_->buttonExit, &QPushButton::clicked, this, [this] { onlyExitView(); });
}

// ---- Loading and labels -----------------------------------------------------------

void TestSecondView::viewDidLoad() {
  log("TestSecondView viewDidLoad");

  ui_->currentLanguageInfo->clear();
  ui_->currentLanguageInfo->addItem(QStringLiteral("汉语"));
  ui_->currentLanguageInfo->addItem(QStringLiteral("English"));
  // Any language value but 0 shows English; the value itself is kept until the
  // user picks another item.
  ui_->currentLanguageInfo->setCurrentIndex(CurrentLanguage == 0 ? 0 : 1);
  currentViewLanguageFlag = CurrentLanguage;

  loadSettingsWindowPreferences(store_);
  log("autoClearCheckValue = %ld", autoClearCheckValue);
  log("autoClearCheckValue = %ld", autoClearValue);
  log("autoClearCheckValue = %ld", autoStart);

  setSettingsRes();
  // What is in force now (the bus may have changed it since the file was read).
  ui_->pauseWhileIdleCheck->setChecked(PauseWhileIdle != 0);
  ui_->pageRefreshValue->setText(QString::number(PageRefreshValue));

  ui_->refreshHotCutView->setShortcutValue(shortcutForStoredPair(RefreshHotkeyKeyCode, RefreshHotkeyModifierFlags));
  ui_->thresholdInfocutView->setShortcutValue(
      shortcutForStoredPair(ThresholdInfoHotkeyKeyCode, ThresholdInfoHotkeyModifierFlags));
  ui_->thresholdDownInfocutView->setShortcutValue(
      shortcutForStoredPair(ThresholdDownInfoHotkeyKeyCode, ThresholdDownInfoHotkeyModifierFlags));
}

void TestSecondView::setSettingsRes() {
  const bool english = currentViewLanguageFlag != 0;
  for (const Caption& caption : captions(*ui_)) {
    setCaption(caption.widget, QString::fromUtf8(english ? caption.english : caption.chinese));
  }
  desktopNotes_->setLanguage(currentViewLanguageFlag);
  keybindingsPanel_->setLanguage(currentViewLanguageFlag);
  ui_->autoStartCheck->setHidden(true);
  ui_->autoRefreshCheck->setChecked(autoClearCheckValue != 0);
  setAutoClearState(static_cast<std::int32_t>(autoClearCheckValue));
  ui_->autoStartCheck->setChecked(autoStart != 0);
}

void TestSecondView::keepCaptionWidthsSteady() {
  // Switching the language relabels the window at once; sizing every caption for
  // the larger of its two texts (Chinese lines are taller) keeps the window from
  // jumping.
  for (const Caption& caption : captions(*ui_)) {
    if (caption.widget == ui_->autoStartCheck) continue;  // always hidden
    QSize size;
    for (const char* text : {caption.english, caption.chinese}) {
      setCaption(caption.widget, QString::fromUtf8(text));
      size = size.expandedTo(caption.widget->sizeHint());
    }
    caption.widget->setMinimumSize(size);
  }
}

void TestSecondView::setAutoClearState(std::int32_t state) {
  const bool on = state == 1;
  // The field shows white while it can be edited and grey while the timer is off.
  // The unit label gets the same colour, like the field beside it, though a label
  // draws no background of its own.
  const QColor background = on ? QColor(Qt::white) : QColor(Qt::gray);
  QPalette fieldPalette = ui_->autoRefreshValue->palette();
  fieldPalette.setColor(QPalette::Active, QPalette::Base, background);
  fieldPalette.setColor(QPalette::Inactive, QPalette::Base, background);
  fieldPalette.setColor(QPalette::Disabled, QPalette::Base, background);
  ui_->autoRefreshValue->setPalette(fieldPalette);
  QPalette unitPalette = ui_->autoUnit->palette();
  unitPalette.setColor(QPalette::Active, QPalette::Window, background);
  unitPalette.setColor(QPalette::Inactive, QPalette::Window, background);
  unitPalette.setColor(QPalette::Disabled, QPalette::Window, background);
  ui_->autoUnit->setPalette(unitPalette);

  ui_->autoRefreshValue->setEnabled(on);
  ui_->autoUnit->setEnabled(on);
  // Resting is the timer's; without it there is nothing to pause.
  ui_->pauseWhileIdleCheck->setEnabled(on);
  ui_->autoRefreshValue->setText(QString::number(autoClearValue));
}

// ---- Actions --------------------------------------------------------------------

void TestSecondView::setCurrentLanguage() {
  const int index = ui_->currentLanguageInfo->currentIndex();
  log("finishViewAction  _currentLanguageInfo.indexOfSelectedItem = %ld", static_cast<long>(index));
  currentViewLanguageFlag = index != 0 ? 1 : 0;
  setSettingsRes();
}

void TestSecondView::autoRefreshCheckAction() {
  const std::int64_t state = stateOf(ui_->autoRefreshCheck);
  log("autoRefreshCheckAction state = %ld", state);
  setAutoClearState(static_cast<std::int32_t>(state));
}

void TestSecondView::autoRefreshValueChange() {
  log("autoRefreshValueChange state = %ld", periodFieldValue());
}

void TestSecondView::automaticStartCheckAction() {
  log("automaticStartCheckAction state = %ld", stateOf(ui_->autoStartCheck));
}

void TestSecondView::onlyExitView() {
  log("acb");
  reject();
}

void TestSecondView::finishViewAction() {
  log("finishViewAction");
  log("finishViewAction state = %ld", periodFieldValue());
  saveAllCheckState();
  saveRefreshRhythm();
  CurrentLanguage = currentViewLanguageFlag;
  setHotKey();
  saveSettingsValue();
  NotificationCenter::defaultCenter().post({ShortcutValuesDidChangeNotification, this, {}});

  const std::shared_ptr<ViewController> mainView = VCInstance;
  if (mainView) {
    mainView->setViewDisplay();
    mainView->setPauseWhileIdle(PauseWhileIdle != 0);
    mainView->setPageRefreshValue(PageRefreshValue);
    if (!ui_->autoRefreshCheck->isChecked()) {
      mainView->setAutoClearGhostDelay(0);
    } else if (autoClearCheckValue == 1 && autoClearValue_exit == autoClearValue) {
      // Opened with the same period and the timer on: it keeps its rhythm.
    } else {
      mainView->setAutoClearGhostDelay(static_cast<std::int32_t>(autoClearValue_exit));
    }
  }
  accept();
}

// ---- The steps of OK ----------------------------------------------------------------

void TestSecondView::saveAllCheckState() {
  store_.setIntegerForKey(prefkeys::autoClearCheckValue, stateOf(ui_->autoRefreshCheck));
  // The hidden box cannot be changed here: write back exactly what was stored.
  const std::int64_t startState = stateOf(ui_->autoStartCheck);
  store_.setIntegerForKey(prefkeys::autoStart, startState == (autoStart != 0 ? 1 : 0) ? autoStart : startState);
  autoClearValue_exit = std::clamp<std::int64_t>(periodFieldValue(), 0, kLongestPeriod);
  store_.setIntegerForKey(prefkeys::autoClearValue, autoClearValue_exit);
}

void TestSecondView::saveRefreshRhythm() {
  PauseWhileIdle = static_cast<std::int32_t>(stateOf(ui_->pauseWhileIdleCheck));
  PageRefreshValue = pageRefreshFieldValue();
  log("saveRefreshRhythm pauseWhileIdle = %d pageRefreshValue = %d", PauseWhileIdle, PageRefreshValue);
  store_.setIntegerForKey(prefkeys::pauseWhileIdle, PauseWhileIdle);
  store_.setIntegerForKey(prefkeys::pageRefreshValue, PageRefreshValue);
}

void TestSecondView::setHotKey() {
  struct Slot {
    const KivShortcutView* view;
    std::uint32_t& keyCode;
    std::uint32_t& modifierFlags;
    std::uint32_t defaultKeyCode;
  };
  const Slot slots[] = {
      {ui_->refreshHotCutView, RefreshHotkeyKeyCode, RefreshHotkeyModifierFlags, kDefaultRefreshKeyCode},
      {ui_->thresholdInfocutView, ThresholdInfoHotkeyKeyCode, ThresholdInfoHotkeyModifierFlags,
       kDefaultThresholdKeyCode},
      {ui_->thresholdDownInfocutView, ThresholdDownInfoHotkeyKeyCode, ThresholdDownInfoHotkeyModifierFlags,
       kDefaultThresholdDownKeyCode},
  };
  for (const Slot& slot : slots) {
    const std::optional<KivShortcut>& shortcut = slot.view->shortcutValue();
    // A key code beyond 16 bits (the no-key value of a restored archive) names no
    // key the monitors could ever see: it counts as no shortcut.
    const bool usable =
        shortcut && shortcut->keyCode() != 0 && shortcut->keyCode() <= 0xFFFF && shortcut->modifierFlags() != 0;
    if (usable) {
      slot.keyCode = static_cast<std::uint32_t>(shortcut->keyCode());
      slot.modifierFlags = static_cast<std::uint32_t>(shortcut->modifierFlags());
    } else {
      slot.keyCode = slot.defaultKeyCode;
      slot.modifierFlags = kDefaultModifierFlags;
    }
  }
  log("setHotKey RefreshHotkeyKeyCode = %d", RefreshHotkeyKeyCode);
  log("setHotKey RefreshHotkeyModifierFlags = %d", RefreshHotkeyModifierFlags);
  log("setHotKey ThresholdInfoHotkeyKeyCode = %d", ThresholdInfoHotkeyKeyCode);
  log("setHotKey ThresholdInfoHotkeyModifierFlags = %d", ThresholdInfoHotkeyModifierFlags);
  log("setHotKey ThresholdDownInfoHotkeyKeyCode = %d", ThresholdDownInfoHotkeyKeyCode);
  log("setHotKey ThresholdDownInfoHotkeyModifierFlags = %d", ThresholdDownInfoHotkeyModifierFlags);
}

void TestSecondView::saveSettingsValue() {
  store_.setIntegerForKey(prefkeys::language, CurrentLanguage);
  store_.setIntegerForKey(prefkeys::refreshHotKeyCode, RefreshHotkeyKeyCode);
  store_.setIntegerForKey(prefkeys::refreshHotKeyCodeFlags, RefreshHotkeyModifierFlags);
  store_.setIntegerForKey(prefkeys::thresholdHotKeyCode, ThresholdInfoHotkeyKeyCode);
  store_.setIntegerForKey(prefkeys::thresholdHotKeyCodeFlags, ThresholdInfoHotkeyModifierFlags);
  store_.setIntegerForKey(prefkeys::thresholdDownHotKeyCode, ThresholdDownInfoHotkeyKeyCode);
  store_.setIntegerForKey(prefkeys::thresholdDownHotKeyCodeFlags, ThresholdDownInfoHotkeyModifierFlags);
  store_.synchronize();
}

// ---- The period field ----------------------------------------------------------------

std::int64_t TestSecondView::integerValueOfText(const QString& text) {
  qsizetype i = 0;
  while (i < text.size() && text[i].isSpace()) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == QLatin1Char('-') || text[i] == QLatin1Char('+'))) {
    negative = text[i] == QLatin1Char('-');
    ++i;
  }
  // Accumulate towards the sign's limit so that the most negative value fits.
  std::int64_t value = 0;
  constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
  constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
  for (; i < text.size() && text[i] >= QLatin1Char('0') && text[i] <= QLatin1Char('9'); ++i) {
    const int digit = text[i].unicode() - u'0';
    if (negative) {
      if (value < (kMin + digit) / 10) return kMin;
      value = value * 10 - digit;
    } else {
      if (value > (kMax - digit) / 10) return kMax;
      value = value * 10 + digit;
    }
  }
  return value;
}

std::int64_t TestSecondView::periodFieldValue() const {
  return integerValueOfText(ui_->autoRefreshValue->text());
}

std::int32_t TestSecondView::pageRefreshFieldValue() const {
  return static_cast<std::int32_t>(
      std::clamp<std::int64_t>(integerValueOfText(ui_->pageRefreshValue->text()), 0, kLongestPageRefresh));
}

// ---- Outlets ----------------------------------------------------------------------

QComboBox* TestSecondView::currentLanguageInfo() const {
  return ui_->currentLanguageInfo;
}
KivShortcutView* TestSecondView::refreshHotCutView() const {
  return ui_->refreshHotCutView;
}
KivShortcutView* TestSecondView::thresholdInfocutView() const {
  return ui_->thresholdInfocutView;
}
KivShortcutView* TestSecondView::thresholdDownInfocutView() const {
  return ui_->thresholdDownInfocutView;
}
QLabel* TestSecondView::refreshHotKey() const {
  return ui_->refreshHotKey;
}
QLabel* TestSecondView::thresholdHotKey() const {
  return ui_->thresholdHotKey;
}
QLabel* TestSecondView::thresholdUp() const {
  return ui_->thresholdUp;
}
QLabel* TestSecondView::thresholdDown() const {
  return ui_->thresholdDown;
}
QLabel* TestSecondView::languageSettings() const {
  return ui_->languageSettings;
}
QCheckBox* TestSecondView::autoRefreshCheck() const {
  return ui_->autoRefreshCheck;
}
QLineEdit* TestSecondView::autoRefreshValue() const {
  return ui_->autoRefreshValue;
}
QLabel* TestSecondView::autoUnit() const {
  return ui_->autoUnit;
}
QCheckBox* TestSecondView::pauseWhileIdleCheck() const {
  return ui_->pauseWhileIdleCheck;
}
QLabel* TestSecondView::pageRefreshTitle() const {
  return ui_->pageRefreshTitle;
}
QLineEdit* TestSecondView::pageRefreshValue() const {
  return ui_->pageRefreshValue;
}
QLabel* TestSecondView::pageRefreshUnit() const {
  return ui_->pageRefreshUnit;
}
QCheckBox* TestSecondView::autoStartCheck() const {
  return ui_->autoStartCheck;
}
QPushButton* TestSecondView::buttonExit() const {
  return ui_->buttonExit;
}
QPushButton* TestSecondView::buttonOK() const {
  return ui_->buttonOK;
}

}  // namespace ostrel
