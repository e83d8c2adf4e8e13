#pragma once
// The push-button cell that a recorder control draws itself with: a title, its
// alignment and an on/off state, drawn as the desktop style draws a push button
// (QStyle), so the control looks like the platform's own buttons.
//
// The bezel styles are numbers so that any value can be stored; the style draws
// one push-button look for all of them, except that a borderless cell (the flat
// look) draws no bevel while it is off.

#include <QFont>
#include <QString>
#include <QtGlobal>

class QPainter;
class QRect;
class QWidget;

namespace ostrel {

class KivButtonCell {
 public:
  // The bezel styles the recorder uses.
  static constexpr int kBezelRounded = 1;
  static constexpr int kBezelTexturedRounded = 11;
  static constexpr int kBezelRoundRect = 12;

  // A push-on/push-off cell can show its "on" state, a momentary one cannot.
  enum class ButtonType { MomentaryPushIn, PushOnPushOff };

  KivButtonCell();
  virtual ~KivButtonCell();
  KivButtonCell(const KivButtonCell&) = delete;
  KivButtonCell& operator=(const KivButtonCell&) = delete;

  void setButtonType(ButtonType type) { buttonType_ = type; }
  ButtonType buttonType() const { return buttonType_; }
  void setTitle(const QString& title) { title_ = title; }
  const QString& title() const { return title_; }
  void setAlignment(Qt::Alignment alignment) { alignment_ = alignment; }
  Qt::Alignment alignment() const { return alignment_; }
  void setState(bool on) { on_ = on; }
  bool state() const { return on_; }
  void setEnabled(bool enabled) { enabled_ = enabled; }
  bool isEnabled() const { return enabled_; }
  void setBezelStyle(int bezelStyle) { bezelStyle_ = bezelStyle; }
  int bezelStyle() const { return bezelStyle_; }
  void setBordered(bool bordered) { bordered_ = bordered; }
  bool isBordered() const { return bordered_; }
  void setDrawsBackground(bool draws) { drawsBackground_ = draws; }
  bool drawsBackground() const { return drawsBackground_; }
  void setFont(const QFont& font) { font_ = font; }
  const QFont& font() const { return font_; }

  // Draws bevel and title in `frame` of `view` (palette, direction and style come
  // from the view).
  virtual void drawWithFrame(QPainter& painter, const QRect& frame, const QWidget& view) const;
  // The keyboard focus indicator over `frame`.
  virtual void drawFocusRing(QPainter& painter, const QRect& frame, const QWidget& view) const;

 private:
  ButtonType buttonType_ = ButtonType::MomentaryPushIn;
  QString title_;
  Qt::Alignment alignment_ = Qt::AlignHCenter;
  bool on_ = false;
  bool enabled_ = true;
  int bezelStyle_ = kBezelRoundRect;
  bool bordered_ = true;
  bool drawsBackground_ = true;
  QFont font_;
};

}  // namespace ostrel
