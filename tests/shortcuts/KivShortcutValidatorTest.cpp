// The validator's rules on keys whose names do not depend on the keyboard
// layout; letters, and the system part, are checked on a real X server in the
// desktop test.
#include "shortcuts/KivMenu.h"
#include "shortcuts/KivMenuSnapshot.h"
#include "shortcuts/KivShortcutValidator.h"

#include "settings/ProgramValues.h"

#include <gtest/gtest.h>

namespace {

using ostrel::KivMenuItem;
using ostrel::KivMenuSnapshot;
using ostrel::KivShortcut;
using ostrel::KivShortcutValidator;

constexpr quint64 kCapsLock = 0x10000;
constexpr quint64 kShift = 0x20000;
constexpr quint64 kControl = 0x40000;
constexpr quint64 kOption = 0x80000;
constexpr quint64 kCommand = 0x100000;

const quint64 kFunctionKeys[] = {122, 120, 99,  118, 96,  97,  98, 100, 101, 109,
                                 103, 111, 105, 107, 113, 106, 64, 79,  80,  90};

TEST(KivShortcutValidator, OnlyTheTwentyFunctionKeysNeedNoModifier) {
  KivShortcutValidator validator;
  for (quint64 code = 0; code < 256; ++code) {
    const bool isFunctionKey =
        std::find(std::begin(kFunctionKeys), std::end(kFunctionKeys), code) != std::end(kFunctionKeys);
    EXPECT_EQ(validator.isShortcutValid(KivShortcut(code, 0)), isFunctionKey) << "key code " << code;
    EXPECT_EQ(validator.isShortcutValid(KivShortcut(code, kShift)), isFunctionKey) << "Shift + key code " << code;
  }
  EXPECT_FALSE(validator.isShortcutValid(KivShortcut(KivShortcut::kNoKeyCode, 0)));
}

TEST(KivShortcutValidator, ModifierRules) {
  struct Case {
    const char* label;
    KivShortcut shortcut;
    bool validByDefault;
    bool validWithAnyOption;
  };
  const Case cases[] = {
      {"A alone", KivShortcut(0, 0), false, false},
      {"Shift+A", KivShortcut(0, kShift), false, false},
      {"Control+A", KivShortcut(0, kControl), true, true},
      {"Command+A", KivShortcut(0, kCommand), true, true},
      {"Control+Shift+A", KivShortcut(0, kControl | kShift), true, true},
      {"Option+Space", KivShortcut(49, kOption), true, true},
      {"Option+Escape", KivShortcut(53, kOption), true, true},
      {"Option+Shift+Space", KivShortcut(49, kOption | kShift), true, true},
      {"Option+A", KivShortcut(0, kOption), false, true},
      {"Option+Shift+A", KivShortcut(0, kOption | kShift), false, true},
      {"Option+Command+A", KivShortcut(0, kOption | kCommand), true, true},
      {"Option+F5 (function key)", KivShortcut(96, kOption), true, true},
      {"Caps Lock alone (from an archive)", *KivShortcut::decode({{"KeyCode", 0}, {"ModifierFlags", kCapsLock}}), false,
       false},
      {"Caps Lock with Control (from an archive)",
       *KivShortcut::decode({{"KeyCode", 0}, {"ModifierFlags", kCapsLock | kControl}}), true, true},
  };
  KivShortcutValidator validator;
  EXPECT_FALSE(validator.allowAnyShortcutWithOptionModifier());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    validator.setAllowAnyShortcutWithOptionModifier(false);
    EXPECT_EQ(validator.isShortcutValid(c.shortcut), c.validByDefault);
    validator.setAllowAnyShortcutWithOptionModifier(true);
    EXPECT_EQ(validator.isShortcutValid(c.shortcut), c.validWithAnyOption);
  }
  EXPECT_FALSE(KivShortcutValidator::sharedValidator().allowAnyShortcutWithOptionModifier());
  EXPECT_EQ(&KivShortcutValidator::sharedValidator(), &KivShortcutValidator::sharedValidator());
}

// File > Open ↩ (Command), Edit > Find ▸ (Find Next F5 plain, Zoom keypad + with
// Control, Plus "+" with Shift+Command), Help (no key equivalent, Command mask).
std::shared_ptr<const KivMenuSnapshot> sampleMenu() {
  auto find = std::make_shared<const KivMenuSnapshot>(std::vector<KivMenuItem>{
      {QStringLiteral("Find Next"), QString(QChar(0xF708)), 0, nullptr},
      {QStringLiteral("Zoom"), QStringLiteral("+"), kControl, nullptr},
      {QStringLiteral("Bigger"), QStringLiteral("+"), kShift | kCommand, nullptr},
  });
  auto edit = std::make_shared<const KivMenuSnapshot>(std::vector<KivMenuItem>{
      {QStringLiteral("Find"), QString(), 0, find},
      {QStringLiteral("Select Line"), QStringLiteral("↩"), kOption | kCapsLock, nullptr},
  });
  auto file = std::make_shared<const KivMenuSnapshot>(std::vector<KivMenuItem>{
      {QStringLiteral("Open"), QStringLiteral("↩"), kCommand, nullptr},
      {QStringLiteral("Open Again"), QStringLiteral("↩"), kCommand, nullptr},
  });
  return std::make_shared<const KivMenuSnapshot>(std::vector<KivMenuItem>{
      {QStringLiteral("File"), QString(), 0, file},
      {QStringLiteral("Edit"), QString(), 0, edit},
      {QStringLiteral("About"), QString(), kCommand, nullptr},
      {QStringLiteral("Help"), QString(), 0, nullptr},
  });
}

TEST(KivShortcutValidator, MenuSearch) {
  struct Case {
    const char* label;
    KivShortcut shortcut;
    QString takenBy;  // empty: free
  };
  const Case cases[] = {
      {"first matching item wins", KivShortcut(36, kCommand), QStringLiteral("Open")},
      {"found inside a submenu", KivShortcut(96, 0), QStringLiteral("Find Next")},
      {"submenu of a submenu, exact modifiers", KivShortcut(69, kControl), QStringLiteral("Zoom")},
      {"modifiers must be equal, not a subset", KivShortcut(69, kControl | kShift), QString()},
      {"mask reduced to the four modifiers", KivShortcut(36, kOption), QStringLiteral("Select Line")},
      {"same key, other modifiers", KivShortcut(36, kControl), QString()},
      {"F5 with Command differs from plain F5", KivShortcut(96, kCommand), QString()},
      {"an item without key equivalent never conflicts (Command+F20)", KivShortcut(90, kCommand), QString()},
      {"an item without key equivalent never conflicts (plain F20)", KivShortcut(90, 0), QString()},
      {"a nameless key with no modifiers", KivShortcut(52, 0), QString()},
  };
  KivShortcutValidator validator;
  const auto menu = sampleMenu();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    ostrel::CurrentLanguage = 1;
    QString explanation = QStringLiteral("untouched");
    const bool taken = validator.isShortcutAlreadyTakenInMenu(c.shortcut, menu.get(), &explanation);
    EXPECT_EQ(taken, !c.takenBy.isEmpty());
    if (taken) {
      EXPECT_EQ(explanation,
                QStringLiteral("This shortcut cannot be used because it is already used by the menu item ‘") +
                    c.takenBy + QStringLiteral("’."));
    } else {
      EXPECT_EQ(explanation, QStringLiteral("untouched"));
    }
    EXPECT_EQ(validator.isShortcutAlreadyTakenInMenu(c.shortcut, menu.get(), nullptr), taken) << "without a text";
  }
}

TEST(KivShortcutValidator, MenuMessageFollowsCurrentLanguage) {
  struct Case {
    std::int32_t language;
    QString message;
  };
  const Case cases[] = {
      {1, QStringLiteral("This shortcut cannot be used because it is already used by the menu item ‘Find Next’.")},
      {0, QStringLiteral("键入快捷键已经被 ‘Find Next’ 菜单所使用.")},
      {2, QStringLiteral("键入快捷键已经被 ‘Find Next’ 菜单所使用.")},
      {-1, QStringLiteral("键入快捷键已经被 ‘Find Next’ 菜单所使用.")},
  };
  KivShortcutValidator validator;
  const auto menu = sampleMenu();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.language);
    ostrel::CurrentLanguage = c.language;
    QString explanation;
    ASSERT_TRUE(validator.isShortcutAlreadyTakenInMenu(KivShortcut(96, 0), menu.get(), &explanation));
    EXPECT_EQ(explanation, c.message);
  }
  ostrel::CurrentLanguage = 0;
}

TEST(KivShortcutValidator, TitlesArePrintedAsTheyAre) {
  const auto menu = std::make_shared<const KivMenuSnapshot>(
      std::vector<KivMenuItem>{{QStringLiteral("100% %@ %d"), QStringLiteral("↩"), kCommand, nullptr}});
  ostrel::CurrentLanguage = 1;
  QString explanation;
  ASSERT_TRUE(KivShortcutValidator().isShortcutAlreadyTakenInMenu(KivShortcut(36, kCommand), menu.get(), &explanation));
  EXPECT_TRUE(explanation.endsWith(QStringLiteral("‘100% %@ %d’."))) << explanation.toStdString();
  ostrel::CurrentLanguage = 0;
}

TEST(KivShortcutValidator, EmptyMenusAndNoMainMenu) {
  KivShortcutValidator validator;
  const KivMenuSnapshot empty({});
  EXPECT_FALSE(validator.isShortcutAlreadyTakenInMenu(KivShortcut(36, kCommand), &empty, nullptr));
  EXPECT_FALSE(validator.isShortcutAlreadyTakenInMenu(KivShortcut(36, kCommand), nullptr, nullptr));

  // No hotkey service and no main menu: nothing is taken.
  ostrel::KivMenu::setMainMenuProvider(nullptr);
  EXPECT_FALSE(validator.isShortcutAlreadyTakenBySystem(KivShortcut(36, kCommand), nullptr));

  // The main menu is searched when the system has nothing to say.
  ostrel::KivMenu::setMainMenuProvider([] { return sampleMenu(); });
  QString explanation;
  ostrel::CurrentLanguage = 1;
  EXPECT_TRUE(validator.isShortcutAlreadyTakenBySystem(KivShortcut(36, kCommand), &explanation));
  EXPECT_TRUE(explanation.contains(QStringLiteral("‘Open’"))) << explanation.toStdString();
  EXPECT_FALSE(validator.isShortcutAlreadyTakenBySystem(KivShortcut(36, kControl), &explanation));
  ostrel::KivMenu::setMainMenuProvider(nullptr);
  ostrel::CurrentLanguage = 0;
}

}  // namespace
