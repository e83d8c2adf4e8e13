// Runs with LANGUAGE=zh_CN:en and LANG=en_US.UTF-8 (see CMakeLists.txt): the
// process picks the Chinese table once, from LANGUAGE.
#include "shortcuts/KivLocalizedString.h"
#include "shortcuts/KivShortcut.h"

#include <gtest/gtest.h>

TEST(KivStringsInAChineseSession, TheChineseTableIsChosenOnce) {
  ASSERT_EQ(qgetenv("LANGUAGE"), QByteArray("zh_CN:en"));
  EXPECT_EQ(ostrel::KivShortcut(49, 0x80000).description(), QStringLiteral("⌥空格"));
  EXPECT_EQ(
      ostrel::KivLocalizedString(ostrel::kivstrings::shortcutCleared, QStringLiteral("VoiceOver: Shortcut cleared")),
      QStringLiteral("快捷键已清除"));
  qputenv("LANGUAGE", "en");
  EXPECT_EQ(ostrel::KivLocalizedString(ostrel::kivstrings::space, QString()), QStringLiteral("空格"))
      << "chosen once per process";
}
