#pragma once
// The shortcut recorder: a small push-button-like control that shows a keyboard
// shortcut and records a new one.
//
// At rest it shows the shortcut (⌃⌥R) with a delete glyph ✕ at its right end, or
// the prompt "Record Shortcut" / "输入快捷键" when it holds none. A click puts it
// into recording: the next key combination typed in any of Ostrel's windows is
// judged by the validator and either taken, refused with a beep, or explained in
// an alert; Escape cancels and Delete clears. One control in the process records
// at a time.
//
// Contract:
//  - The control's own texts are English when CurrentLanguage is 1 and Chinese
//    for every other value; its accessibility texts go through KivLocalizedString.
//  - The bounds split at the right edge: the hint area (as wide as hintWidth())
//    holds the delete or cancel glyph, the rest is the shortcut area.
//  - setShortcutValue() always stores, rebuilds the tool tips, redraws, writes the
//    value through the "shortcutValue" binding and calls shortcutValueChange, even
//    when the value did not change.
//  - While recording, an application-wide key monitor takes the keys (Tab and
//    exactly Control+W / Control+Q go on to the application, the last two after
//    recording stopped) and recording stops when the control's window is
//    deactivated, another control starts recording or the control is disabled.
//  - "Enabled" is QWidget's: a disabled control (or one in a disabled window)
//    stops recording and takes no clicks.
//  - Main thread only.

#include "KivBinding.h"
#include "shortcuts/KivShortcut.h"

#include <QPointer>
#include <QRect>
#include <QString>
#include <QWidget>
#include <functional>
#include <map>
#include <memory>
#include <optional>

class QKeyEvent;
class QHelpEvent;

namespace ostrel {

class KivButtonCell;
class KivShortcutValidator;

class KivShortcutView : public QWidget {
  Q_OBJECT

 public:
  // Appearance (`shortcutStyle`). Other values are kept but change nothing.
  static constexpr qint64 StyleRoundRect = 0;
  static constexpr qint64 StyleTexturedRounded = 1;
  static constexpr qint64 StyleRounded = 2;
  static constexpr qint64 StyleFlat = 3;

  // Tool-tip rectangles are told apart by these.
  enum class ToolTipUserData { None, Shortcut, Hint };

  explicit KivShortcutView(QWidget* parent = nullptr);
  ~KivShortcutView() override;

  // The value; empty for no shortcut.
  const std::optional<KivShortcut>& shortcutValue() const { return shortcutValue_; }
  void setShortcutValue(const std::optional<KivShortcut>& shortcutValue);

  std::shared_ptr<KivShortcutValidator> shortcutValidator() const { return shortcutValidator_; }
  void setShortcutValidator(std::shared_ptr<KivShortcutValidator> validator);

  bool isRecording() const { return recording_; }
  void setRecording(bool recording);

  bool isHinting() const { return hinting_; }
  void setHinting(bool hinting);

  bool showsDeleteButton() const { return showsDeleteButton_; }
  void setShowsDeleteButton(bool shows) { showsDeleteButton_ = shows; }

  const QString& shortcutPlaceholder() const { return shortcutPlaceholder_; }
  void setShortcutPlaceholder(const QString& placeholder);

  using ValueChange = std::function<void(KivShortcutView* view)>;
  const ValueChange& shortcutValueChange() const { return shortcutValueChange_; }
  void setShortcutValueChange(ValueChange change) { shortcutValueChange_ = std::move(change); }

  // Named so because QWidget::style() is the widget's QStyle.
  qint64 shortcutStyle() const { return style_; }
  void setShortcutStyle(qint64 style);

  // Whether the control takes keyboard focus (Tab, clicks); off by default.
  bool acceptsFirstResponder() const { return acceptsFirstResponder_; }
  void setAcceptsFirstResponder(bool accepts);

  // Width of the hint area: 23, 25 and 26 for the bevelled styles, the cell
  // font's point size + 4 for the flat one.
  int hintWidth() const;
  void getShortcutRect(QRect* shortcutRect, QRect* hintRect) const;
  bool locationInShortcutRect(const QPoint& location) const;
  bool locationInHintRect(const QPoint& location) const;

  // What the control shows now in its shortcut area (or over its whole bounds at
  // rest without a value), and the glyph at its right end (empty for none).
  QString currentTitle() const;
  QString currentHintGlyph() const;

  // The text of a tool tip, asked for when the tip is about to show.
  QString viewStringForToolTip(int tag, const QPoint& point, ToolTipUserData userData) const;
  int shortcutToolTipTag() const { return shortcutToolTipTag_; }
  int hintToolTipTag() const { return hintToolTipTag_; }

  // Bindings; only KivShortcutBinding is bindable. Binding reads the bound value
  // into the control at once (and again whenever the observed object reports a
  // change) without writing it back, so an unreadable stored value is left as it
  // is and the control shows no shortcut.
  void bind(const QString& binding, std::shared_ptr<KivObservedObject> observedObject, std::optional<QString> keyPath,
            KivBindingOptions options = {});
  void unbind(const QString& binding);
  std::optional<KivBindingInfo> infoForBinding(const QString& binding) const;

  // Accessibility: the spoken label and help, the press action (false when the
  // control already records), the last announcement made.
  QString accessibilityLabel() const;
  QString accessibilityHelp() const;
  bool accessibilityPerformPress();
  const QString& accessibilityAnnouncement() const { return accessibilityAnnouncement_; }

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

  // The control that last started recording (kept after it stops).
  static KivShortcutView* currentRecorder();

  // The refusal sound; tests replace it. An empty function restores the system
  // beep.
  using Beeper = std::function<void()>;
  static void setBeeper(Beeper beeper);

 protected:
  // For a control that draws with a cell of its own class.
  KivShortcutView(std::unique_ptr<KivButtonCell> cell, QWidget* parent);

  KivButtonCell& shortcutCell() const { return *shortcutCell_; }

  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  enum class KeyDisposition { PassThrough, Consume };

  void commonInit();
  void resetShortcutCellStyle();
  void resetToolTips();
  void updateTrackingAreas();
  bool showToolTip(const QHelpEvent& help);
  void drawInRect(QPainter& painter, const QRect& rect, const QString& title, Qt::Alignment alignment, bool on);
  KeyDisposition handleRecordingKey(QKeyEvent& event);
  void showConflictAlert(const KivShortcut& shortcut, const QString& explanation);
  void activateEventMonitoring(bool active);
  void activateResignObserver(bool active);
  void propagateValue(const std::optional<KivShortcut>& value, const QString& binding);
  void takeBoundValue();
  void storeShortcutValue(const std::optional<KivShortcut>& value, bool propagate);
  void announce(const QString& text);

  std::unique_ptr<KivButtonCell> shortcutCell_;
  int shortcutToolTipTag_ = 0;
  int hintToolTipTag_ = 0;
  QRect shortcutToolTipRect_;
  QRect hintToolTipRect_;
  std::optional<QRect> hintArea_;
  bool acceptsFirstResponder_ = false;
  bool recording_ = false;
  bool hinting_ = false;
  bool showsDeleteButton_ = true;
  std::optional<KivShortcut> shortcutValue_;
  std::shared_ptr<KivShortcutValidator> shortcutValidator_;
  ValueChange shortcutValueChange_;
  qint64 style_ = StyleRoundRect;
  QString shortcutPlaceholder_;

  std::map<QString, KivBindingInfo> bindings_;
  ScopedObserver bindingObservation_;
  bool propagating_ = false;
  bool bound_ = false;  // the bound value has been taken once since bind()
  QString accessibilityAnnouncement_;
};

}  // namespace ostrel
