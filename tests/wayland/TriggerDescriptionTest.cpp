// What desktops report as a shortcut's key becomes the form Ostrel shows, and
// the key the user recorded is recognised in it.
#include "common/DesktopServices.h"
#include "platform/portal/TriggerDescription.h"

#include <gtest/gtest.h>

namespace ostrel::platform::portal {
namespace {

TEST(TriggerDescription, GnomeSentencesAndKdeKeysReadAsOstrelsKeys) {
  const struct {
    const char* reported;
    const char* shown;
    const char* recorded;  // what Ostrel proposed; "" when it is not that key
  } cases[] = {
      {"Press <Control><Alt>r", "Ctrl+Alt+R", "CTRL+ALT+R"},      // GNOME 48
      {"Press <Shift><Super>F5", "Shift+Super+F5", "SHIFT+LOGO+F5"},
      {"<Primary>Page_Down", "Ctrl+Page_Down", "CTRL+Page_Down"},
      {"Press <Control>period", "Ctrl+period", "CTRL+period"},
      {"Press <Control>r or <Alt>F2", "Press Ctrl+R or Alt+F2", ""},  // two keys: the sentence stays
      {"Drücken Sie <Control><Alt>r.", "Ctrl+Alt+R", "CTRL+ALT+R"},  // another language
      {"Ctrl+Alt+R", "Ctrl+Alt+R", "CTRL+ALT+R"},                  // KDE
      {"Meta+Shift+F5", "Meta+Shift+F5", "SHIFT+LOGO+F5"},
      {"", "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.reported);
    const QString shown = readableTrigger(QString::fromUtf8(c.reported));
    EXPECT_EQ(shown, QString::fromUtf8(c.shown));
    const ShortcutAssignment a{QStringLiteral("refresh"), QString::fromUtf8(c.recorded), shown};
    EXPECT_EQ(a.matchesPreferred(), *c.recorded != '\0');
  }
}

}  // namespace
}  // namespace ostrel::platform::portal
