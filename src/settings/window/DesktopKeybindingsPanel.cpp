#include "settings/window/DesktopKeybindingsPanel.h"

#include "common/DesktopServices.h"
#include "keybindings/CompositorKeybindings.h"
#include "keybindings/GnomeShortcutsKeeper.h"
#include "settings/window/DesktopKeybindingsTexts.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QFontDatabase>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QTextDocument>
#include <QVBoxLayout>
#include <algorithm>
#include <optional>
#include <tuple>

namespace ostrel {
namespace {

QLabel* wrappingLabel(const char* name, QWidget* parent) {
  auto* label = new QLabel(parent);
  label->setObjectName(QLatin1String(name));
  label->setWordWrap(true);
  label->setTextFormat(Qt::PlainText);
  return label;
}

QPushButton* button(const char* name, QWidget* parent) {
  auto* b = new QPushButton(parent);
  b->setObjectName(QLatin1String(name));
  b->setAutoDefault(false);
  return b;
}

std::optional<Compositor> offeredCompositor() {
  return compositorNamed(DesktopServices::shared().ownKeybindings());
}

GnomeShortcutsKeeper* offeredGnome() {
  return DesktopServices::shared().ownKeybindings() == QLatin1String("gnome") ? GnomeShortcutsKeeper::active()
                                                                              : nullptr;
}

}  // namespace

struct DesktopKeybindingsPanel::Texts {
  QString services;
  QString gnome;
  QString outcome;
  QString add;
  QString remove;
  QString copy;
  QString copied;
};

DesktopKeybindingsPanel::DesktopKeybindingsPanel(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("desktopKeybindingsPanel"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(8);
  auto* line = new QFrame(this);
  line->setFrameShape(QFrame::HLine);
  line->setFrameShadow(QFrame::Sunken);
  layout->addWidget(line);
  serviceLines_ = wrappingLabel("desktopServiceLines", this);
  layout->addWidget(serviceLines_);

  gnomeSection_ = new QWidget(this);
  gnomeSection_->setObjectName(QStringLiteral("gnomeShortcutsSection"));
  auto* gnomeLayout = new QVBoxLayout(gnomeSection_);
  gnomeLayout->setContentsMargins(0, 0, 0, 0);
  // Spacings of its own, as the window's form has: a layout asks the style
  // for them only once the window is shown, which would lay it out twice.
  gnomeLayout->setSpacing(6);
  gnomeLines_ = wrappingLabel("gnomeShortcutLines", gnomeSection_);
  gnomeLayout->addWidget(gnomeLines_);
  auto* gnomeButtons = new QHBoxLayout;
  gnomeButtons->setSpacing(6);
  gnomeAdd_ = button("gnomeAddButton", gnomeSection_);
  gnomeRemove_ = button("gnomeRemoveButton", gnomeSection_);
  gnomeButtons->addWidget(gnomeAdd_);
  gnomeButtons->addWidget(gnomeRemove_);
  gnomeButtons->addStretch();
  gnomeLayout->addLayout(gnomeButtons);
  gnomeOutcome_ = wrappingLabel("gnomeShortcutsOutcome", gnomeSection_);
  gnomeLayout->addWidget(gnomeOutcome_);
  layout->addWidget(gnomeSection_);

  keybindingsSection_ = new QWidget(this);
  keybindingsSection_->setObjectName(QStringLiteral("compositorKeybindingsSection"));
  auto* keybindingsLayout = new QVBoxLayout(keybindingsSection_);
  keybindingsLayout->setContentsMargins(0, 0, 0, 0);
  keybindingsLayout->setSpacing(6);
  keybindingsText_ = new QPlainTextEdit(keybindingsSection_);
  keybindingsText_->setObjectName(QStringLiteral("compositorKeybindings"));
  keybindingsText_->setReadOnly(true);
  keybindingsText_->setLineWrapMode(QPlainTextEdit::NoWrap);
  keybindingsText_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  const QFontMetrics metrics(keybindingsText_->font());
  // Three lines, and room for a scroll bar under them when a path is long.
  keybindingsText_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  keybindingsText_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  keybindingsText_->setFixedHeight(metrics.lineSpacing() * 3 + 2 * int(keybindingsText_->document()->documentMargin()) +
                                   2 * keybindingsText_->frameWidth() +
                                   keybindingsText_->style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 2);
  keybindingsLayout->addWidget(keybindingsText_);
  auto* copyRow = new QHBoxLayout;
  copyRow->setSpacing(6);
  copy_ = button("copyKeybindingsButton", keybindingsSection_);
  copied_ = new QLabel(keybindingsSection_);
  copied_->setObjectName(QStringLiteral("keybindingsCopied"));
  copyRow->addWidget(copy_);
  copyRow->addWidget(copied_);
  copyRow->addStretch();
  keybindingsLayout->addLayout(copyRow);
  layout->addWidget(keybindingsSection_);

  connect(gnomeAdd_, &QPushButton::clicked, this, [this] { addToGnome(); });
  connect(gnomeRemove_, &QPushButton::clicked, this, [this] { removeFromGnome(); });
  connect(copy_, &QPushButton::clicked, this, [this] { copyKeybindings(); });
  NotificationCenter& center = NotificationCenter::defaultCenter();
  observer_ = ScopedObserver(center, center.addObserver(DesktopServicesDidChangeNotification, nullptr,
                                                        [this](const Notification&) { refresh(); }));
  refresh();
}

void DesktopKeybindingsPanel::setLanguage(int language) {
  english_ = language != 0;
  refresh();
}

void DesktopKeybindingsPanel::setSteadyWidth(int width) {
  width_ = width;
  setFixedWidth(width);
  refresh();
}

DesktopKeybindingsPanel::Texts DesktopKeybindingsPanel::texts(bool english) const {
  Texts t;
  t.services = desktopServiceLines(DesktopServices::shared().properties(), english).join(QLatin1Char('\n'));
  if (GnomeShortcutsKeeper* gnome = offeredGnome()) {
    t.gnome = gnomeShortcutLines(gnome->status(), english).join(QLatin1Char('\n'));
  }
  if (!gnomeError_.isEmpty()) t.outcome = gnomeFailure(gnomeError_, english);
  t.add = gnomeAddTitle(english);
  t.remove = gnomeRemoveTitle(english);
  t.copy = copyTitle(english);
  t.copied = wasCopied_ ? ostrel::copiedNote(english) : QString();
  return t;
}

void DesktopKeybindingsPanel::refresh() {
  const Texts shown = texts(english_);
  const Texts other = texts(!english_);
  const Texts& en = english_ ? shown : other;
  const Texts& zh = english_ ? other : shown;
  holdHeight(serviceLines_, en.services, zh.services);
  serviceLines_->setText(shown.services);

  GnomeShortcutsKeeper* gnome = offeredGnome();
  gnomeSection_->setVisible(gnome != nullptr);
  if (gnome) {
    holdHeight(gnomeLines_, en.gnome, zh.gnome);
    gnomeLines_->setText(shown.gnome);
    holdHeight(gnomeOutcome_, en.outcome, zh.outcome);
    gnomeOutcome_->setText(shown.outcome);
    gnomeOutcome_->setVisible(!shown.outcome.isEmpty());
    for (auto [b, enText, zhText, text] : {std::tuple{gnomeAdd_, en.add, zh.add, shown.add},
                                           std::tuple{gnomeRemove_, en.remove, zh.remove, shown.remove}}) {
      b->setText(enText);
      QSize size = b->sizeHint();
      b->setText(zhText);
      b->setMinimumSize(size.expandedTo(b->sizeHint()));
      b->setText(text);
    }
    gnomeRemove_->setEnabled(gnome->status().anyListed());
  }

  const std::optional<Compositor> compositor = offeredCompositor();
  keybindingsSection_->setVisible(compositor.has_value());
  if (compositor) {
    const QString lines =
        compositorKeybindings(*compositor, recordedShortcuts(), ostrelctlIn(QCoreApplication::applicationDirPath()));
    if (keybindingsText_->toPlainText() != lines) keybindingsText_->setPlainText(lines);
    copy_->setText(en.copy);
    QSize size = copy_->sizeHint();
    copy_->setText(zh.copy);
    copy_->setMinimumSize(size.expandedTo(copy_->sizeHint()));
    copy_->setText(shown.copy);
    copied_->setText(ostrel::copiedNote(true));
    QSize note = copied_->sizeHint();
    copied_->setText(ostrel::copiedNote(false));
    copied_->setMinimumSize(note.expandedTo(copied_->sizeHint()));
    copied_->setText(shown.copied);
  }
}

void DesktopKeybindingsPanel::holdHeight(QLabel* label, const QString& english, const QString& chinese) {
  if (width_ <= 0) return;
  int height = 0;
  for (const QString& text : {english, chinese}) {
    label->setText(text);
    height = std::max(height, label->heightForWidth(width_));
  }
  // Fixed: the dialog sizes itself from size hints, which a word-wrapping
  // label guesses at another width.
  label->setFixedHeight(height);
}

void DesktopKeybindingsPanel::addToGnome() {
  if (GnomeShortcutsKeeper* gnome = offeredGnome()) {
    const GnomeShortcutsOutcome outcome = gnome->add();
    gnomeError_ = outcome.ok ? QString() : outcome.error;
  }
  refresh();
}

void DesktopKeybindingsPanel::removeFromGnome() {
  if (GnomeShortcutsKeeper* gnome = offeredGnome()) {
    const GnomeShortcutsOutcome outcome = gnome->remove();
    gnomeError_ = outcome.ok ? QString() : outcome.error;
  }
  refresh();
}

void DesktopKeybindingsPanel::copyKeybindings() {
  QGuiApplication::clipboard()->setText(keybindingsText_->toPlainText());
  wasCopied_ = true;
  refresh();
}

}  // namespace ostrel
