#pragma once
// The settings window: the interface language, the three shortcuts (fast
// refresh, contrast up, contrast down), "Auto Clear Ghost" and its period,
// whether it pauses while the session is idle, and the refresh after every N
// page turns.
//
// Contract:
//  - Each opening is a fresh window whose viewDidLoad() reads the program-wide
//    values and the stored auto-clear settings. Nothing the user does takes effect
//    before OK (finishViewAction): then the choices are stored, applied to the
//    running program (language, shortcuts, the auto-clear timer through
//    VCInstance) and the window closes.
//  - Exit, Escape and the close button drop every change. Dismissing the window
//    never ends the application.
//  - No input is refused: a period that is not a number counts as 0, one outside
//    0..9999 is clamped on OK, and so is a page count outside 0..99; a shortcut
//    left empty, on the key with code 0 or without a modifier is replaced by
//    the default (Control with D, U, P).
//  - "Pause while idle" can be changed while "Auto Clear Ghost" is on; it and
//    the page count open with the values in force and keep what the user set
//    when the language is switched.
//  - The hidden "Automatic start" box keeps its stored value as it was.
//  - Where the desktop assigns the shortcuts' keys (Wayland), a note under the
//    recorders shows what it assigned (DesktopShortcutNotes.h); OK posts
//    ShortcutValuesDidChangeNotification so that they are bound again.
//  - Below them, what serves the shortcuts and the monitor's input on this
//    desktop and what the user must do, with GNOME's custom shortcuts or a
//    compositor's configuration lines where those stand in for a portal
//    (DesktopKeybindingsPanel.h). Its buttons act at once.
//  - Main thread only.

#include <QDialog>
#include <QPointer>
#include <cstdint>
#include <memory>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace Ui {
class TestSecondView;
}

namespace ostrel {

class DesktopKeybindingsPanel;
class DesktopShortcutNotes;
class KivShortcutView;
class PreferenceStore;

class TestSecondView : public QDialog {
  Q_OBJECT

 public:
  // Opens a fresh settings window, window-modal over `parent` (the main window),
  // and returns it; while one is open, raises that one instead.
  static TestSecondView* presentFrom(QWidget* parent);

  explicit TestSecondView(QWidget* parent = nullptr);
  // A window on another preference store (tests).
  TestSecondView(PreferenceStore& store, QWidget* parent);
  ~TestSecondView() override;

  void viewDidLoad();
  void setSettingsRes();
  void setAutoClearState(std::int32_t state);

  // Actions of the controls.
  void setCurrentLanguage();
  void autoRefreshCheckAction();
  void autoRefreshValueChange();
  void automaticStartCheckAction();
  void finishViewAction();
  void onlyExitView();

  // The steps of OK.
  void saveAllCheckState();
  void saveRefreshRhythm();
  void setHotKey();
  void saveSettingsValue();

  // The period field's integer value: leading blanks, an optional sign and the
  // digits that follow; 0 when there are none; saturated at the 64-bit limits.
  static std::int64_t integerValueOfText(const QString& text);

  // Outlets.
  QComboBox* currentLanguageInfo() const;
  KivShortcutView* refreshHotCutView() const;
  KivShortcutView* thresholdInfocutView() const;
  KivShortcutView* thresholdDownInfocutView() const;
  QLabel* refreshHotKey() const;
  QLabel* thresholdHotKey() const;
  QLabel* thresholdUp() const;
  QLabel* thresholdDown() const;
  QLabel* languageSettings() const;
  QCheckBox* autoRefreshCheck() const;
  QLineEdit* autoRefreshValue() const;
  QLabel* autoUnit() const;
  QCheckBox* pauseWhileIdleCheck() const;
  QLabel* pageRefreshTitle() const;
  QLineEdit* pageRefreshValue() const;
  QLabel* pageRefreshUnit() const;
  QCheckBox* autoStartCheck() const;
  QPushButton* buttonExit() const;
  QPushButton* buttonOK() const;
  DesktopShortcutNotes* desktopShortcutNotes() const { return desktopNotes_; }
  DesktopKeybindingsPanel* desktopKeybindingsPanel() const { return keybindingsPanel_; }

 private:
  void connectActions();
  void keepCaptionWidthsSteady();
  std::int64_t periodFieldValue() const;
  std::int32_t pageRefreshFieldValue() const;

  PreferenceStore& store_;
  std::unique_ptr<Ui::TestSecondView> ui_;
  DesktopShortcutNotes* desktopNotes_ = nullptr;
  DesktopKeybindingsPanel* keybindingsPanel_ = nullptr;
};

}  // namespace ostrel
