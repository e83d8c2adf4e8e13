#include "KivMenuBarAdapter.h"

#include "platform/KeyCodes.h"

#include <QAction>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>

namespace ostrel {
namespace {

struct GlyphKey {
  Qt::Key key;
  char16_t glyph;
};

// The keys the shortcut layer names with a glyph; their menu form is that glyph.
constexpr GlyphKey kGlyphKeys[] = {
    {Qt::Key_Return, u'\u21A9'},  {Qt::Key_Enter, u'\u2305'},     {Qt::Key_Tab, u'\u21E5'},
    {Qt::Key_Backtab, u'\u21E5'}, {Qt::Key_Backspace, u'\u232B'}, {Qt::Key_Escape, u'\u238B'},
    {Qt::Key_Clear, u'\u2327'},   {Qt::Key_Home, u'\u2196'},      {Qt::Key_PageUp, u'\u21DE'},
    {Qt::Key_Delete, u'\u2326'},  {Qt::Key_End, u'\u2198'},       {Qt::Key_PageDown, u'\u21DF'},
    {Qt::Key_Left, u'\u2190'},    {Qt::Key_Right, u'\u2192'},     {Qt::Key_Down, u'\u2193'},
    {Qt::Key_Up, u'\u2191'},      {Qt::Key_Help, u'?'},
};

constexpr char16_t kFunctionKeyBase = 0xF703;  // F1 is U+F704

}  // namespace

KivMenuBarAdapter::KivMenuBarAdapter(QWidget* menu) : menu_(menu) {}

QString KivMenuBarAdapter::keyEquivalentForKey(Qt::Key key) {
  if (key >= Qt::Key_F1 && key <= Qt::Key_F19) {
    return QString(QChar(static_cast<char16_t>(kFunctionKeyBase + 1 + (key - Qt::Key_F1))));
  }
  if (key == Qt::Key_Space) return QStringLiteral(" ");
  for (const GlyphKey& entry : kGlyphKeys) {
    if (entry.key == key) return QString(QChar(entry.glyph));
  }
  // Printable keys: Qt names them by their (upper-case) character.
  if (key > Qt::Key_Space && key <= 0xFFFF) {
    const QChar character(static_cast<char16_t>(key));
    if (character.isPrint()) return QString(character).toLower();
  }
  return {};
}

quint64 KivMenuBarAdapter::modifierMaskForModifiers(Qt::KeyboardModifiers modifiers) {
  quint64 mask = 0;
  if (modifiers & Qt::ShiftModifier) mask |= keys::kShift;
  if (modifiers & Qt::ControlModifier) mask |= keys::kControl;
  if (modifiers & Qt::AltModifier) mask |= keys::kOption;
  if (modifiers & Qt::MetaModifier) mask |= keys::kCommand;
  return mask;
}

QString KivMenuBarAdapter::titleWithoutMnemonic(const QString& text) {
  // "&Settings" -> "Settings"; "&&" stands for one ampersand.
  QString title;
  title.reserve(text.size());
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (text[i] == QLatin1Char('&')) {
      if (++i < text.size()) title += text[i];
      continue;
    }
    title += text[i];
  }
  return title;
}

std::vector<KivMenuItem> KivMenuBarAdapter::items() const {
  std::vector<KivMenuItem> items;
  if (!menu_) return items;
  for (QAction* action : menu_->actions()) {
    if (action->isSeparator()) continue;
    KivMenuItem item;
    item.title = titleWithoutMnemonic(action->text());
    if (QMenu* submenu = action->menu()) item.submenu = std::make_shared<KivMenuBarAdapter>(submenu);
    const QList<QKeySequence> shortcuts = action->shortcuts();
    if (shortcuts.isEmpty() || shortcuts.front().isEmpty()) {
      items.push_back(std::move(item));
      continue;
    }
    // One item per shortcut of the action: each of them takes its keys.
    for (const QKeySequence& sequence : shortcuts) {
      if (sequence.isEmpty()) continue;
      const QKeyCombination first = sequence[0];
      KivMenuItem withKey = item;
      withKey.keyEquivalent = keyEquivalentForKey(first.key());
      withKey.keyEquivalentModifierMask = modifierMaskForModifiers(first.keyboardModifiers());
      items.push_back(std::move(withKey));
    }
  }
  return items;
}

void KivMenuBarAdapter::registerAsMainMenu(QMenuBar* menuBar) {
  QPointer<QMenuBar> bar(menuBar);
  KivMenu::setMainMenuProvider([bar]() -> std::shared_ptr<const KivMenu> {
    if (!bar) return nullptr;
    return std::make_shared<KivMenuBarAdapter>(bar.data());
  });
}

}  // namespace ostrel
