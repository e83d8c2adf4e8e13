#include "loginitem/DesktopEntry.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

using ostrel::DesktopEntry;

struct ExecCase {
  const char* label;
  QString exec;  // as written in the file, escapes included
  std::optional<QString> program;
};

TEST(DesktopEntryExec, FindsTheProgramOfAnExecLine) {
  const ExecCase cases[] = {
      {"plain path", "/usr/bin/ostrel", "/usr/bin/ostrel"},
      {"arguments and field codes follow", "/usr/bin/ostrel --x %U", "/usr/bin/ostrel"},
      {"leading spaces", "   /usr/bin/ostrel", "/usr/bin/ostrel"},
      {"quoted with a space", R"("/opt/my apps/ostrel" --x)", "/opt/my apps/ostrel"},
      {"escaped quote inside quotes", R"("/opt/a\\"b/ostrel")", "/opt/a\"b/ostrel"},
      {"literal backslash takes four", R"("/opt/a\\\\b/ostrel")", "/opt/a\\b/ostrel"},
      {"dollar and backtick escaped", R"("/opt/\\$x\\`/ostrel")", "/opt/$x`/ostrel"},
      {"other backslash inside quotes is text", R"("/opt/x\\y")", "/opt/x\\y"},
      {"doubled percent", "/opt/50%%/ostrel", "/opt/50%/ostrel"},
      {"doubled percent quoted", R"("/opt/5 0%%/ostrel")", "/opt/5 0%/ostrel"},
      {"string escape \\s in a quoted path", R"("/opt/a\sb/ostrel")", "/opt/a b/ostrel"},
      {"relative to PATH", "ostrel", std::nullopt},
      {"relative directory", "bin/ostrel", std::nullopt},
      {"home shorthand", "~/bin/ostrel", std::nullopt},
      {"through env", "env A=1 /usr/bin/ostrel", std::nullopt},
      {"empty", "", std::nullopt},
      {"only spaces", "   ", std::nullopt},
      {"unterminated quote", R"("/usr/bin/ostrel)", std::nullopt},
      {"text glued to a closing quote", R"("/usr/bin/ost"rel)", std::nullopt},
      {"backslash ends the quoted text", R"("/usr/bin/ostrel\\)", std::nullopt},
      {"reserved character unquoted", "/usr/bin/ost$rel", std::nullopt},
      {"single quotes are not quoting", "'/usr/bin/ostrel'", std::nullopt},
      {"lone field code in the program", "/opt/50%/ostrel", std::nullopt},
      {"program named by a field code", "%k", std::nullopt},
      {"trailing percent", "/opt/ostrel%", std::nullopt},
  };
  for (const auto& c : cases) {
    const DesktopEntry entry = DesktopEntry::parse("[Desktop Entry]\nExec=" + c.exec.toUtf8() + "\n");
    EXPECT_EQ(DesktopEntry::execProgram(entry.value("Exec")), c.program) << c.label;
  }
}

TEST(DesktopEntryExec, QuotedPathsReadBackAsTheSamePath) {
  const QString paths[] = {
      "/usr/bin/ostrel",
      "/opt/my apps/ostrel",
      "/opt/quote\"d/ostrel",
      "/opt/single'quote/ostrel",
      "/opt/back\\slash/ostrel",
      "/opt/two\\\\slashes/ostrel",
      "/opt/$HOME/ostrel",
      "/opt/`tick`/ostrel",
      "/opt/100%/ostrel",
      "/opt/%U/ostrel",
      "/opt/tab\there/ostrel",
      "/opt/new\nline/ostrel",
      "/opt/#hash (1) *?;&|<>~/ostrel",
      QStringLiteral("/opt/墨水屏/ostrel"),
      "/opt/ leading space/ostrel",
      "/opt/trailing space /ostrel",
  };
  for (const QString& path : paths) {
    const std::optional<QString> quoted = DesktopEntry::quoteExecArgument(path);
    ASSERT_TRUE(quoted.has_value()) << path.toStdString();
    EXPECT_FALSE(quoted->contains(u'\n')) << "an Exec value must stay on one line: " << path.toStdString();
    const DesktopEntry entry = DesktopEntry::parse("[Desktop Entry]\nExec=" + quoted->toUtf8() + " %U\n");
    EXPECT_EQ(DesktopEntry::execProgram(entry.value("Exec")), path) << "written as " << quoted->toStdString();
  }
}

TEST(DesktopEntryExec, RefusesPathsAnExecLineCannotCarry) {
  const struct {
    const char* label;
    QString path;
  } cases[] = {
      {"empty", ""},
      {"equals sign", "/opt/a=b/ostrel"},
      {"control character", QStringLiteral("/opt/a") + QChar(0x01) + QStringLiteral("b/ostrel")},
      {"carriage return", "/opt/a\rb/ostrel"},
      {"delete character", QStringLiteral("/opt/a") + QChar(0x7F)},
  };
  for (const auto& c : cases) EXPECT_EQ(DesktopEntry::quoteExecArgument(c.path), std::nullopt) << c.label;
}

TEST(DesktopEntryParse, ReadsTheMainGroupOnly) {
  const DesktopEntry entry = DesktopEntry::parse(
      "# a comment\r\n"
      "Stray=before any group\r\n"
      "[Desktop Entry]\r\n"
      "Type=Application\r\n"
      "Name = Ostrel\r\n"
      "Name[de]=Ostrel DE\r\n"
      "Comment=tab\\tand\\nnewline and \\\\ and \\q\r\n"
      "Exec=/first\r\n"
      "Exec=/second\r\n"
      "   \r\n"
      "NoEquals\r\n"
      "=novalue\r\n"
      "[Desktop Action refresh]\r\n"
      "Exec=/action\r\n"
      "Hidden=true\r\n");
  EXPECT_EQ(entry.value("Type"), "Application");
  EXPECT_EQ(entry.value("Name"), "Ostrel");
  EXPECT_EQ(entry.value("Comment"), "tab\tand\nnewline and \\ and \\q");
  EXPECT_EQ(entry.value("Exec"), "/first") << "the first of a repeated key wins";
  EXPECT_FALSE(entry.hasKey("Stray"));
  EXPECT_FALSE(entry.hasKey("Hidden")) << "keys of other groups are not the entry's";
  EXPECT_FALSE(entry.hasKey("Name[de]"));
  EXPECT_FALSE(entry.hasKey("NoEquals"));
}

TEST(DesktopEntryParse, ReadsBooleansLikeSessionManagers) {
  const struct {
    QByteArray line;
    bool fallback;
    bool want;
  } cases[] = {
      {"Hidden=true", false, true},   {"Hidden=1", false, true},       {"Hidden=false", true, false},
      {"Hidden=0", true, false},      {"Hidden= true ", false, true},  {"Hidden=True", false, false},
      {"Hidden=yes", true, true},     {"Other=true", false, false},    {"Other=true", true, true},
  };
  for (const auto& c : cases) {
    const DesktopEntry entry = DesktopEntry::parse("[Desktop Entry]\n" + c.line + "\n");
    EXPECT_EQ(entry.boolean("Hidden", c.fallback), c.want) << c.line.constData() << " fallback " << c.fallback;
  }
}

}  // namespace
