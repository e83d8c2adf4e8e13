// Runs with LC_MESSAGES=fr_FR.UTF-8 and LANG=zh_CN.UTF-8 (see CMakeLists.txt):
// LC_MESSAGES comes first and is not Chinese, so the English table is chosen.
#include "shortcuts/KivLocalizedString.h"
#include "shortcuts/KivShortcut.h"

#include <gtest/gtest.h>

TEST(KivStringsInAnotherSession, TheEnglishTableIsChosen) {
  ASSERT_EQ(qgetenv("LANG"), QByteArray("zh_CN.UTF-8"));
  EXPECT_EQ(ostrel::KivShortcut(49, 0x40000).description(), QStringLiteral("⌃Space"));
  EXPECT_EQ(ostrel::KivLocalizedString(ostrel::kivstrings::shortcutSet, QStringLiteral("VoiceOver: Shortcut set")),
            QStringLiteral("Shortcut set"));
}
