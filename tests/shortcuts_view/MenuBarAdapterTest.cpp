// Ostrel's menu bar as the validator's menu model.

#include "RecorderTestSupport.h"
#include "settings/ProgramValues.h"
#include "shortcuts/KivShortcutValidator.h"
#include "shortcuts/view/KivMenuBarAdapter.h"

#include <gtest/gtest.h>
#include <QAction>
#include <QMenu>
#include <QMenuBar>

namespace ostrel {
namespace {

constexpr quint64 kShift = 0x20000;
constexpr quint64 kControl = 0x40000;
constexpr quint64 kOption = 0x80000;
constexpr quint64 kCommand = 0x100000;

struct SequenceCase {
  const char* sequence;
  const char16_t* keyEquivalent;
  quint64 mask;
};

TEST(MenuBarAdapter, KeySequencesBecomeKeyEquivalentsAndMasks) {
  const SequenceCase cases[] = {
      {"Ctrl+Q", u"q", kControl},
      {"Ctrl+Shift+S", u"s", kControl | kShift},
      {"Alt+Space", u" ", kOption},
      {"Meta+Return", u"\u21A9", kCommand},
      {"Ctrl+Left", u"\u2190", kControl},
      {"Ctrl+Backspace", u"\u232B", kControl},
      {"F1", u"\uF704", 0},
      {"Shift+F5", u"\uF708", kShift},
      {"F19", u"\uF716", 0},
      {"Ctrl+F20", u"", kControl},
      {"Ctrl+,", u",", kControl},
      {"Ctrl+5", u"5", kControl},
  };
  for (const SequenceCase& c : cases) {
    SCOPED_TRACE(c.sequence);
    QMenu menu;
    QAction* action = menu.addAction(QStringLiteral("Item"));
    action->setShortcut(QKeySequence(QString::fromLatin1(c.sequence)));
    const std::vector<KivMenuItem> items = KivMenuBarAdapter(&menu).items();
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].keyEquivalent, QString::fromUtf16(c.keyEquivalent));
    EXPECT_EQ(items[0].keyEquivalentModifierMask, c.mask);
  }
}

TEST(MenuBarAdapter, TheTreeKeepsTitlesSubmenusAndEveryShortcutOfAnAction) {
  QMenuBar bar;
  QMenu* file = bar.addMenu(QStringLiteral("&File"));
  QAction* settings = file->addAction(QStringLiteral("&Settings…"));
  file->addSeparator();
  QAction* quit = file->addAction(QStringLiteral("&Quit && Close"));
  quit->setShortcuts({QKeySequence(QStringLiteral("Ctrl+Q")), QKeySequence(QStringLiteral("Ctrl+Shift+W"))});
  (void)settings;

  const std::vector<KivMenuItem> top = KivMenuBarAdapter(&bar).items();
  ASSERT_EQ(top.size(), 1u);
  EXPECT_EQ(top[0].title, QStringLiteral("File"));
  ASSERT_TRUE(top[0].submenu);
  const std::vector<KivMenuItem> items = top[0].submenu->items();
  ASSERT_EQ(items.size(), 3u);
  EXPECT_EQ(items[0].title, QStringLiteral("Settings…"));
  EXPECT_EQ(items[0].keyEquivalent, QString());
  EXPECT_EQ(items[1].title, QStringLiteral("Quit & Close"));
  EXPECT_EQ(items[1].keyEquivalent, QStringLiteral("q"));
  EXPECT_EQ(items[2].title, QStringLiteral("Quit & Close"));
  EXPECT_EQ(items[2].keyEquivalent, QStringLiteral("w"));
  EXPECT_EQ(items[2].keyEquivalentModifierMask, kControl | kShift);
}

TEST(MenuBarAdapter, TheValidatorFindsConflictsInTheRegisteredMenuBar) {
  test::installRecorderEnvironment();
  CurrentLanguage = 1;
  auto bar = std::make_unique<QMenuBar>();
  QMenu* view = bar->addMenu(QStringLiteral("&View"));
  QMenu* zoom = view->addMenu(QStringLiteral("&Zoom"));
  zoom->addAction(QStringLiteral("Zoom &In"))->setShortcut(QKeySequence(QStringLiteral("Ctrl+Alt+=")));
  KivMenuBarAdapter::registerAsMainMenu(bar.get());

  const KivShortcutValidator validator;
  QString explanation;
  EXPECT_TRUE(validator.isShortcutAlreadyTakenBySystem(KivShortcut(24, kControl | kOption), &explanation));
  EXPECT_EQ(explanation,
            QStringLiteral("This shortcut cannot be used because it is already used by the menu item ‘Zoom In’."));
  EXPECT_FALSE(validator.isShortcutAlreadyTakenBySystem(KivShortcut(24, kControl), nullptr));

  // A destroyed menu bar holds nothing.
  bar.reset();
  EXPECT_FALSE(validator.isShortcutAlreadyTakenBySystem(KivShortcut(24, kControl | kOption), nullptr));
  KivMenu::setMainMenuProvider(nullptr);
  CurrentLanguage = 0;
}

}  // namespace
}  // namespace ostrel
