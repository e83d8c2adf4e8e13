#include "KivShortcutView.h"

#include "KivButtonCell.h"
#include "KivKeyEventTranslator.h"
#include "KivLocalKeyMonitor.h"
#include "KivShortcutViewAccessible.h"
#include "KivWindowResignObserver.h"
#include "common/Log.h"
#include "platform/KeyCodes.h"
#include "settings/ProgramValues.h"
#include "shortcuts/KivLocalizedString.h"
#include "shortcuts/KivShortcutValidator.h"

#include <QAccessible>
#include <QApplication>
#include <QFontInfo>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QToolTip>
#include <algorithm>
#include <cmath>

namespace ostrel {
namespace {

constexpr char16_t kEscapeGlyph = u'\u238B';  // ⎋
constexpr char16_t kDeleteGlyph = u'\u2715';  // ✕

// ---- Process-wide state shared by every recorder ---------------------------

QPointer<KivShortcutView>& currentRecorderReference() {
  static QPointer<KivShortcutView> recorder;
  return recorder;
}

struct KeyMonitoring {
  bool isActive = false;
  QPointer<KivShortcutView> owner;
};

KeyMonitoring& keyMonitoring() {
  static KeyMonitoring state;
  return state;
}

struct ResignObserving {
  bool isActive = false;
  QPointer<KivShortcutView> owner;
  QPointer<KivWindowResignObserver> observer;
};

ResignObserving& resignObserving() {
  static ResignObserving state;
  return state;
}

KivShortcutView::Beeper& beeper() {
  static KivShortcutView::Beeper function;
  return function;
}

int nextToolTipTag() {
  static int tag = 0;
  if (++tag <= 0) tag = 1;  // 0 means "no tool tip"
  return tag;
}

// ---- Texts -------------------------------------------------------------------

// The control's own texts: English only for CurrentLanguage 1.
QString localized(const char* english, const char* chinese) {
  return QString::fromUtf8(CurrentLanguage == 1 ? english : chinese);
}

std::shared_ptr<KivShortcutValidator> sharedValidatorReference() {
  // The shared validator lives for the whole process; the reference owns nothing.
  return std::shared_ptr<KivShortcutValidator>(std::shared_ptr<void>(), &KivShortcutValidator::sharedValidator());
}

}  // namespace

// ---- Construction --------------------------------------------------------------

KivShortcutView::KivShortcutView(QWidget* parent) : KivShortcutView(std::make_unique<KivButtonCell>(), parent) {}

KivShortcutView::KivShortcutView(std::unique_ptr<KivButtonCell> cell, QWidget* parent)
    : QWidget(parent), shortcutCell_(std::move(cell)) {
  commonInit();
}

KivShortcutView::~KivShortcutView() {
  // The key monitor and the resign observer serve the recording control only;
  // another control's destruction must not take them from it.
  if (keyMonitoring().owner == this) activateEventMonitoring(false);
  if (resignObserving().owner == this) activateResignObserver(false);
}

void KivShortcutView::commonInit() {
  if (!shortcutCell_) shortcutCell_ = std::make_unique<KivButtonCell>();
  shortcutCell_->setButtonType(KivButtonCell::ButtonType::PushOnPushOff);
  // The desktop's control font, like the push buttons beside the recorder.
  shortcutCell_->setFont(font());
  shortcutValidator_ = sharedValidatorReference();
  resetShortcutCellStyle();
  setFocusPolicy(Qt::NoFocus);
  setMouseTracking(true);
  setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
  KivShortcutViewAccessible::installFactory();
  updateTrackingAreas();
}

KivShortcutView* KivShortcutView::currentRecorder() {
  return currentRecorderReference().data();
}

void KivShortcutView::setBeeper(Beeper function) {
  beeper() = std::move(function);
}

// ---- Properties ------------------------------------------------------------------

void KivShortcutView::setShortcutValue(const std::optional<KivShortcut>& shortcutValue) {
  storeShortcutValue(shortcutValue, true);
}

void KivShortcutView::storeShortcutValue(const std::optional<KivShortcut>& value, bool propagate) {
  shortcutValue_ = value;
  resetToolTips();
  update();
  if (propagate) propagateValue(value, KivShortcutBinding);
  if (shortcutValueChange_) {
    const ValueChange change = shortcutValueChange_;  // the callback may replace itself
    change(this);
  }
}

void KivShortcutView::setShortcutValidator(std::shared_ptr<KivShortcutValidator> validator) {
  shortcutValidator_ = validator ? std::move(validator) : sharedValidatorReference();
}

void KivShortcutView::setHinting(bool hinting) {
  if (hinting_ == hinting) return;
  hinting_ = hinting;
  update();
}

void KivShortcutView::setShortcutPlaceholder(const QString& placeholder) {
  shortcutPlaceholder_ = placeholder;
  update();
}

void KivShortcutView::setShortcutStyle(qint64 style) {
  if (style_ == style) return;
  style_ = style;
  resetShortcutCellStyle();
  update();
}

void KivShortcutView::setAcceptsFirstResponder(bool accepts) {
  acceptsFirstResponder_ = accepts;
  setFocusPolicy(accepts ? Qt::StrongFocus : Qt::NoFocus);
}

void KivShortcutView::resetShortcutCellStyle() {
  switch (style_) {
    case StyleRoundRect:
      shortcutCell_->setBezelStyle(KivButtonCell::kBezelRoundRect);
      break;
    case StyleTexturedRounded:
      shortcutCell_->setBezelStyle(KivButtonCell::kBezelTexturedRounded);
      break;
    case StyleRounded:
      shortcutCell_->setBezelStyle(KivButtonCell::kBezelRounded);
      break;
    case StyleFlat:
      shortcutCell_->setDrawsBackground(false);
      shortcutCell_->setBordered(false);
      return;
    default:
      return;
  }
  // Leaving the flat style brings the bevel back.
  shortcutCell_->setDrawsBackground(true);
  shortcutCell_->setBordered(true);
}

// ---- Geometry --------------------------------------------------------------------

int KivShortcutView::hintWidth() const {
  switch (style_) {
    case StyleRoundRect:
      return 23;
    case StyleTexturedRounded:
      return 25;
    case StyleRounded:
      return 26;
    case StyleFlat: {
      qreal pointSize = shortcutCell_->font().pointSizeF();
      if (pointSize <= 0) pointSize = QFontInfo(shortcutCell_->font()).pointSizeF();
      return static_cast<int>(std::lround(pointSize - 11.0 - 8.0 + 23.0));
    }
    default:
      return 23;
  }
}

void KivShortcutView::getShortcutRect(QRect* shortcutRect, QRect* hintRect) const {
  const QRect bounds = rect();
  const int hint = std::clamp(hintWidth(), 0, bounds.width());
  if (hintRect) *hintRect = QRect(bounds.right() - hint + 1, bounds.top(), hint, bounds.height());
  if (shortcutRect) *shortcutRect = QRect(bounds.left(), bounds.top(), bounds.width() - hint, bounds.height());
}

bool KivShortcutView::locationInShortcutRect(const QPoint& location) const {
  QRect shortcutRect;
  getShortcutRect(&shortcutRect, nullptr);
  return shortcutRect.contains(location);
}

bool KivShortcutView::locationInHintRect(const QPoint& location) const {
  QRect hintRect;
  getShortcutRect(nullptr, &hintRect);
  return hintRect.contains(location);
}

QSize KivShortcutView::sizeHint() const {
  const QFontMetrics metrics(shortcutCell_->font());
  int textWidth = 0;
  for (const char* prompt : {"Type New Shortcut", "Record Shortcut", "使用旧快捷键", "键入新快捷键"}) {
    textWidth = std::max(textWidth, metrics.horizontalAdvance(QString::fromUtf8(prompt)));
  }
  QStyleOptionButton option;
  option.initFrom(this);
  const QSize contents(textWidth + hintWidth(), metrics.height());
  return QWidget::style()->sizeFromContents(QStyle::CT_PushButton, &option, contents, this);
}

QSize KivShortcutView::minimumSizeHint() const {
  const QSize preferred = sizeHint();
  return {std::min(preferred.width(), hintWidth() * 3), preferred.height()};
}

// ---- Drawing ---------------------------------------------------------------------

QString KivShortcutView::currentTitle() const {
  if (shortcutValue_) {
    if (!recording_) return shortcutValue_->description();
    if (hinting_) return localized("Use Old Shortcut", "使用旧快捷键");
    return shortcutPlaceholder_.isEmpty() ? localized("Type New Shortcut", "键入新快捷键") : shortcutPlaceholder_;
  }
  if (recording_) {
    if (hinting_) return localized("Cancel", "取消");
    return shortcutPlaceholder_.isEmpty() ? localized("Type Shortcut", "输入快捷键") : shortcutPlaceholder_;
  }
  return localized("Record Shortcut", "输入快捷键");
}

QString KivShortcutView::currentHintGlyph() const {
  if (recording_) return QString(QChar(kEscapeGlyph));
  if (shortcutValue_ && showsDeleteButton_) return QString(QChar(kDeleteGlyph));
  return {};
}

void KivShortcutView::drawInRect(QPainter& painter, const QRect& rect, const QString& title, Qt::Alignment alignment,
                                 bool on) {
  shortcutCell_->setTitle(title);
  shortcutCell_->setAlignment(alignment);
  shortcutCell_->setState(on);
  shortcutCell_->setEnabled(isEnabled());
  // The textured and rounded bezels sit one point lower in their frame.
  const bool lowered = style_ == StyleTexturedRounded || style_ == StyleRounded;
  shortcutCell_->drawWithFrame(painter, lowered ? rect.translated(0, 1) : rect, *this);
}

void KivShortcutView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  QRect shortcutRect;
  getShortcutRect(&shortcutRect, nullptr);
  const QString glyph = currentHintGlyph();
  if (shortcutValue_ || recording_) {
    if (!glyph.isEmpty()) drawInRect(painter, rect(), glyph, Qt::AlignRight, false);
    drawInRect(painter, shortcutRect, currentTitle(), Qt::AlignHCenter, recording_);
  } else {
    drawInRect(painter, rect(), currentTitle(), Qt::AlignHCenter, false);
  }
  if (hasFocus()) shortcutCell_->drawFocusRing(painter, rect(), *this);
}

// ---- Mouse and tracking ------------------------------------------------------------

void KivShortcutView::mousePressEvent(QMouseEvent* event) {
  if (!isEnabled() || event->button() != Qt::LeftButton) {
    QWidget::mousePressEvent(event);
    return;
  }
  const QPoint location = event->position().toPoint();
  if (recording_) {
    if (locationInHintRect(location)) setRecording(false);
  } else if (!shortcutValue_ || locationInShortcutRect(location)) {
    setRecording(true);
  } else {
    // The hint area of a control at rest clears it, with or without the glyph.
    setShortcutValue(std::nullopt);
  }
  event->accept();
}

void KivShortcutView::updateTrackingAreas() {
  hintArea_.reset();
  if (!isEnabled()) return;
  QRect hintRect;
  getShortcutRect(nullptr, &hintRect);
  hintArea_ = hintRect;
}

void KivShortcutView::mouseMoveEvent(QMouseEvent* event) {
  if (hintArea_) setHinting(hintArea_->contains(event->position().toPoint()));
  QWidget::mouseMoveEvent(event);
}

void KivShortcutView::enterEvent(QEnterEvent* event) {
  if (hintArea_) setHinting(hintArea_->contains(event->position().toPoint()));
  QWidget::enterEvent(event);
}

void KivShortcutView::leaveEvent(QEvent* event) {
  if (hintArea_) setHinting(false);
  QWidget::leaveEvent(event);
}

void KivShortcutView::resizeEvent(QResizeEvent* event) {
  updateTrackingAreas();
  QWidget::resizeEvent(event);
}

void KivShortcutView::changeEvent(QEvent* event) {
  if (event->type() == QEvent::EnabledChange) {
    updateTrackingAreas();
    setRecording(false);
    update();
  } else if (event->type() == QEvent::FontChange) {
    shortcutCell_->setFont(font());
    updateGeometry();
  }
  QWidget::changeEvent(event);
}

void KivShortcutView::focusInEvent(QFocusEvent* event) {
  update();
  QWidget::focusInEvent(event);
}

void KivShortcutView::focusOutEvent(QFocusEvent* event) {
  update();
  QWidget::focusOutEvent(event);
}

// ---- Tool tips -----------------------------------------------------------------------

void KivShortcutView::resetToolTips() {
  if (shortcutToolTipTag_ != 0 || hintToolTipTag_ != 0) QToolTip::hideText();
  shortcutToolTipTag_ = 0;
  hintToolTipTag_ = 0;
  shortcutToolTipRect_ = {};
  hintToolTipRect_ = {};
  if (!shortcutValue_ || recording_ || !isEnabled()) return;
  getShortcutRect(&shortcutToolTipRect_, &hintToolTipRect_);
  shortcutToolTipTag_ = nextToolTipTag();
  hintToolTipTag_ = nextToolTipTag();
}

QString KivShortcutView::viewStringForToolTip(int, const QPoint&, ToolTipUserData userData) const {
  switch (userData) {
    case ToolTipUserData::Shortcut:
      return localized("Click to record new shortcut", "单击记录快捷键");
    case ToolTipUserData::Hint:
      return localized("Delete shortcut", "删除快捷键");
    case ToolTipUserData::None:
      break;
  }
  return {};
}

bool KivShortcutView::showToolTip(const QHelpEvent& help) {
  const QPoint point = help.pos();
  if (shortcutToolTipTag_ != 0 && shortcutToolTipRect_.contains(point)) {
    QToolTip::showText(help.globalPos(), viewStringForToolTip(shortcutToolTipTag_, point, ToolTipUserData::Shortcut),
                       this, shortcutToolTipRect_);
    return true;
  }
  if (hintToolTipTag_ != 0 && hintToolTipRect_.contains(point)) {
    QToolTip::showText(help.globalPos(), viewStringForToolTip(hintToolTipTag_, point, ToolTipUserData::Hint), this,
                       hintToolTipRect_);
    return true;
  }
  QToolTip::hideText();
  return false;
}

bool KivShortcutView::event(QEvent* event) {
  if (event->type() == QEvent::ToolTip) {
    if (!showToolTip(*static_cast<QHelpEvent*>(event))) event->ignore();
    return true;
  }
  return QWidget::event(event);
}

// ---- Recording -------------------------------------------------------------------------

void KivShortcutView::setRecording(bool recording) {
  if (recording) {
    // Before the checks below: even a disabled control that is asked to record
    // stops the one that does.
    QPointer<KivShortcutView>& current = currentRecorderReference();
    if (current != this) {
      if (current) current->setRecording(false);
      current = this;
    }
  }
  if (recording && !isEnabled()) return;
  if (recording == recording_) return;

  recording_ = recording;
  shortcutPlaceholder_.clear();
  resetToolTips();
  activateEventMonitoring(recording);
  activateResignObserver(recording);
  update();

  if (!recording) {
    announce(shortcutValue_
                 ? KivLocalizedString(kivstrings::shortcutSet, QStringLiteral("VoiceOver: Shortcut set"))
                 : KivLocalizedString(kivstrings::shortcutCleared, QStringLiteral("VoiceOver: Shortcut cleared")));
  }
}

KivShortcutView::KeyDisposition KivShortcutView::handleRecordingKey(QKeyEvent& event) {
  // Like a key-down and modifier-change monitor: the release of an ordinary key
  // goes on untouched.
  if (event.type() == QEvent::KeyRelease && !KivKeyEventTranslator::isModifierKeyEvent(event)) {
    return KeyDisposition::PassThrough;
  }
  const KivShortcut shortcut = KivKeyEventTranslator::shortcutForKeyEvent(event);
  const quint64 keyCode = shortcut.keyCode();
  const quint64 modifiers = shortcut.modifierFlags();

  // Keyboard navigation keeps working; Tab cannot be recorded.
  if (keyCode == keys::kTab) return KeyDisposition::PassThrough;

  // On Linux desktops Control+W closes a window and Control+Q quits: the
  // recorder steps aside for them.
  const bool closesOrQuits = modifiers == keys::kControl && (keyCode == keys::kW || keyCode == keys::kQ);

  if (event.type() == QEvent::ShortcutOverride) {
    // The check comes before the press. Taking it keeps menu and button
    // shortcuts from firing, so the press itself arrives next; a close or quit
    // key must reach its shortcut, which may never deliver the press.
    if (closesOrQuits) {
      setRecording(false);
      return KeyDisposition::PassThrough;
    }
    return KeyDisposition::Consume;
  }

  if (modifiers == 0 && (keyCode == keys::kDelete || keyCode == keys::kForwardDelete)) {
    setShortcutValue(std::nullopt);
    setRecording(false);
    return KeyDisposition::Consume;
  }
  if (modifiers == 0 && keyCode == keys::kEscape) {
    setRecording(false);
    return KeyDisposition::Consume;
  }
  if (closesOrQuits) {
    setRecording(false);
    return KeyDisposition::PassThrough;
  }
  if (shortcut.keyCodeString().isEmpty()) {
    setShortcutPlaceholder(shortcut.modifierFlagsString());
    return KeyDisposition::Consume;
  }
  if (!shortcutValidator_->isShortcutValid(shortcut)) {
    if (beeper()) {
      beeper()();
    } else {
      QApplication::beep();
    }
    return KeyDisposition::Consume;
  }
  QString explanation;
  if (shortcutValidator_->isShortcutAlreadyTakenBySystem(shortcut, &explanation)) {
    showConflictAlert(shortcut, explanation);
    return KeyDisposition::Consume;
  }
  setShortcutValue(shortcut);
  setRecording(false);
  return KeyDisposition::Consume;
}

void KivShortcutView::showConflictAlert(const KivShortcut& shortcut, const QString& explanation) {
  // The alert's own keys and the window losing the keyboard to it are not the
  // recorder's business.
  activateResignObserver(false);
  activateEventMonitoring(false);

  QPointer<KivShortcutView> self(this);
  {
    QMessageBox alert(window());
    alert.setIcon(QMessageBox::Critical);
    alert.setText(formatLog(CurrentLanguage == 1 ? "The key combination %@ cannot be used" : "组合键%@不能被使用",
                            {toLogArg(shortcut.description())}));
    alert.setInformativeText(explanation);
    QPushButton* ok = alert.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    alert.setDefaultButton(ok);
    alert.setEscapeButton(ok);
    alert.exec();
  }
  if (!self) return;

  // Give the keyboard back to the recorder's window: not every desktop returns
  // it when a modal alert closes, and the next combination is typed there.
  window()->activateWindow();
  setShortcutPlaceholder(QString());
  // Something may have ended the recording meanwhile (the control was disabled);
  // then there is nothing to listen for.
  if (!recording_) return;
  activateResignObserver(true);
  activateEventMonitoring(true);
}

void KivShortcutView::activateEventMonitoring(bool active) {
  KeyMonitoring& state = keyMonitoring();
  if (state.isActive == active) return;
  state.isActive = active;
  if (active) {
    state.owner = this;
    QPointer<KivShortcutView> view(this);
    KivLocalKeyMonitor::shared().install([view](QKeyEvent& event) {
      if (!view) return KivLocalKeyMonitor::Disposition::PassThrough;
      return view->handleRecordingKey(event) == KeyDisposition::Consume ? KivLocalKeyMonitor::Disposition::Consume
                                                                        : KivLocalKeyMonitor::Disposition::PassThrough;
    });
  } else {
    state.owner = nullptr;
    KivLocalKeyMonitor::shared().remove();
  }
}

void KivShortcutView::activateResignObserver(bool active) {
  ResignObserving& state = resignObserving();
  if (state.isActive == active) return;
  state.isActive = active;
  if (state.observer) {
    state.observer->stop();
    state.observer->deleteLater();
    state.observer = nullptr;
  }
  state.owner = nullptr;
  if (!active) return;
  state.owner = this;
  QPointer<KivShortcutView> view(this);
  state.observer = new KivWindowResignObserver(window(), [view] {
    if (view) view->setRecording(false);
  });
}

// ---- Accessibility ---------------------------------------------------------------------

QString KivShortcutView::accessibilityLabel() const {
  const QString title = shortcutValue_ ? shortcutValue_->description() : QStringLiteral("Empty");
  return title +
         formatLog(" %@",
                   {toLogArg(KivLocalizedString(kivstrings::keyboardShortcut, QStringLiteral("VoiceOver title")))});
}

QString KivShortcutView::accessibilityHelp() const {
  return KivLocalizedString(kivstrings::recorderHelp, QStringLiteral("VoiceOver shortcut help"));
}

bool KivShortcutView::accessibilityPerformPress() {
  if (recording_) return false;
  setRecording(true);
  // A disabled control does not start: say so rather than claim success.
  return recording_;
}

void KivShortcutView::announce(const QString& text) {
  accessibilityAnnouncement_ = text;
  // Qt 6.4 has no announcement event: a name change makes screen readers speak
  // the control (whose name now carries the new value) again.
  QAccessibleEvent changed(this, QAccessible::NameChanged);
  QAccessible::updateAccessibility(&changed);
}

}  // namespace ostrel
