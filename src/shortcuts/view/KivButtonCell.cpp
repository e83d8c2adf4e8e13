#include "KivButtonCell.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionFocusRect>
#include <QWidget>

namespace ostrel {

KivButtonCell::KivButtonCell() = default;
KivButtonCell::~KivButtonCell() = default;

void KivButtonCell::drawWithFrame(QPainter& painter, const QRect& frame, const QWidget& view) const {
  QStyleOptionButton option;
  option.initFrom(&view);
  option.rect = frame;
  option.state &= ~(QStyle::State_Enabled | QStyle::State_HasFocus | QStyle::State_On | QStyle::State_Sunken);
  if (enabled_) option.state |= QStyle::State_Enabled;
  const bool showsOn = on_ && buttonType_ == ButtonType::PushOnPushOff;
  option.state |= showsOn ? (QStyle::State_On | QStyle::State_Sunken) : QStyle::State_Raised;
  if (!bordered_) option.features |= QStyleOptionButton::Flat;
  if (!enabled_) option.palette.setCurrentColorGroup(QPalette::Disabled);

  QStyle* style = view.style();
  // A flat cell without background shows a bevel only while it is on, like the
  // desktop's flat tool buttons.
  if (bordered_ || drawsBackground_ || showsOn) {
    style->drawControl(QStyle::CE_PushButtonBevel, &option, &painter, &view);
  }
  if (title_.isEmpty()) return;

  QRect textRect = style->subElementRect(QStyle::SE_PushButtonContents, &option, &view);
  if (showsOn) {
    textRect.translate(style->pixelMetric(QStyle::PM_ButtonShiftHorizontal, &option, &view),
                       style->pixelMetric(QStyle::PM_ButtonShiftVertical, &option, &view));
  }
  painter.save();
  painter.setFont(font_);
  const QFontMetrics metrics(font_);
  const QString shown = metrics.elidedText(title_, Qt::ElideMiddle, textRect.width());
  style->drawItemText(&painter, textRect, static_cast<int>(alignment_ | Qt::AlignVCenter | Qt::TextSingleLine),
                      option.palette, enabled_, shown, QPalette::ButtonText);
  painter.restore();
}

void KivButtonCell::drawFocusRing(QPainter& painter, const QRect& frame, const QWidget& view) const {
  QStyleOptionFocusRect option;
  option.initFrom(&view);
  option.rect = frame.adjusted(2, 2, -2, -2);
  option.backgroundColor = view.palette().color(QPalette::Button);
  view.style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, &view);
}

}  // namespace ostrel
