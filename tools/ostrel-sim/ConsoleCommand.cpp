#include "ostrel-sim/ConsoleCommand.h"

#include <QList>
#include <QStringList>
#include <array>
#include <cctype>

namespace ostrel::sim {
namespace {

struct Named {
  const char* name;
  int event;
};

struct EventFamily {
  const char* verb;
  std::array<Named, 5> choices;
  int count;
};

// Input event numbers the monitor reports for its keys and pointer controls.
const std::array<EventFamily, 4>& eventFamilies() {
  static const std::array<EventFamily, 4> families{{
      {"key", {{{"pagedown", 1}, {"pageup", 2}, {"down", 3}, {"up", 4}, {"delete", 5}}}, 5},
      {"move", {{{"left", 7}, {"right", 8}, {"down", 9}, {"up", 10}, {"", 0}}}, 4},
      {"click", {{{"left", 11}, {"right", 12}, {"", 0}, {"", 0}, {"", 0}}}, 2},
      {"long", {{{"up", 16}, {"down", 17}, {"right", 18}, {"left", 19}, {"stop", 20}}}, 5},
  }};
  return families;
}

QString choicesOf(const EventFamily& family) {
  QStringList names;
  for (int i = 0; i < family.count; ++i) names << QString::fromLatin1(family.choices[static_cast<std::size_t>(i)].name);
  return names.join(QLatin1Char('|'));
}

QString settingNames() {
  QStringList names;
  for (const SettingInfo& info : allSettings()) names << QString::fromLatin1(info.name);
  return names.join(QLatin1Char('|'));
}

std::optional<int> parseInteger(const QByteArray& word) {
  // Decimal only: a leading zero must not turn a value into octal.
  if (word.isEmpty() || word.size() > 9) return std::nullopt;
  qsizetype start = (word.front() == '-' || word.front() == '+') ? 1 : 0;
  if (start == word.size()) return std::nullopt;
  for (qsizetype i = start; i < word.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(word[i]))) return std::nullopt;
  }
  return word.toInt();
}

ConsoleError error(const QString& text) {
  return ConsoleError{text};
}

ConsoleCommand simple(ConsoleCommand::Kind kind) {
  ConsoleCommand c;
  c.kind = kind;
  return c;
}

}  // namespace

ConsoleLine parseConsoleLine(const QByteArray& line) {
  const QByteArray trimmed = line.trimmed();
  if (trimmed.isEmpty() || trimmed.startsWith('#')) return ConsoleBlank{};

  const QList<QByteArray> words = trimmed.simplified().split(' ');
  const QByteArray verb = words.front().toLower();
  const QString verbText = QString::fromUtf8(verb);
  const qsizetype argc = words.size() - 1;

  if (verb == "raw") {
    // Everything after "raw " exactly as typed, inner spaces included.
    qsizetype start = 0;
    while (start < line.size() && std::isspace(static_cast<unsigned char>(line[start]))) ++start;
    QByteArray text = line.mid(start + 3);
    if (!text.isEmpty() && (text.front() == ' ' || text.front() == '\t')) text.remove(0, 1);
    if (text.isEmpty()) return error(QStringLiteral("raw needs the text to send, e.g. raw 5FF50614000000000000A0FA"));
    ConsoleCommand c = simple(ConsoleCommand::Kind::Raw);
    c.raw = text;
    return c;
  }

  for (const EventFamily& family : eventFamilies()) {
    if (verb != family.verb) continue;
    if (argc != 1) return error(QStringLiteral("usage: %1 %2").arg(verbText, choicesOf(family)));
    const QByteArray choice = words[1].toLower();
    for (int i = 0; i < family.count; ++i) {
      const Named& named = family.choices[static_cast<std::size_t>(i)];
      if (choice == named.name) {
        ConsoleCommand c = simple(ConsoleCommand::Kind::InputEvent);
        c.event = named.event;
        return c;
      }
    }
    return error(QStringLiteral("%1: unknown choice \"%2\"; expected %3")
                     .arg(verbText, QString::fromUtf8(words[1]), choicesOf(family)));
  }

  if (verb == "event") {
    const std::optional<int> n = argc == 1 ? parseInteger(words[1]) : std::nullopt;
    if (!n || *n < 0 || *n > 255) return error(QStringLiteral("usage: event N, with N a decimal number from 0 to 255"));
    ConsoleCommand c = simple(ConsoleCommand::Kind::InputEvent);
    c.event = *n;
    return c;
  }

  if (verb == "set") {
    if (argc != 2) return error(QStringLiteral("usage: set %1 VALUE").arg(settingNames()));
    const std::optional<Setting> setting = settingByName(QString::fromUtf8(words[1]));
    if (!setting) {
      return error(
          QStringLiteral("set: unknown setting \"%1\"; expected %2").arg(QString::fromUtf8(words[1]), settingNames()));
    }
    const std::optional<int> value = parseInteger(words[2]);
    if (!value)
      return error(QStringLiteral("set %1: \"%2\" is not a decimal number")
                       .arg(QString::fromUtf8(words[1]), QString::fromUtf8(words[2])));
    ConsoleCommand c = simple(ConsoleCommand::Kind::Set);
    c.setting = *setting;
    c.value = *value;
    return c;
  }

  struct Bare {
    const char* verb;
    ConsoleCommand::Kind kind;
  };
  static constexpr std::array<Bare, 6> bare{{{"state", ConsoleCommand::Kind::State},
                                             {"unplug", ConsoleCommand::Kind::Unplug},
                                             {"replug", ConsoleCommand::Kind::Replug},
                                             {"help", ConsoleCommand::Kind::Help},
                                             {"quit", ConsoleCommand::Kind::Quit},
                                             {"exit", ConsoleCommand::Kind::Quit}}};
  for (const Bare& b : bare) {
    if (verb != b.verb) continue;
    if (argc != 0) return error(QStringLiteral("%1 takes no arguments").arg(verbText));
    return simple(b.kind);
  }

  return error(QStringLiteral("unknown command \"%1\" (type help for the list)").arg(verbText));
}

QString consoleHelp() {
  QStringList lines;
  for (const EventFamily& family : eventFamilies()) {
    lines << QStringLiteral("  %1 %2").arg(QString::fromLatin1(family.verb), choicesOf(family));
  }
  lines << QStringLiteral("  event N          any input event number (0-255)")
        << QStringLiteral("  raw TEXT         write TEXT to the line exactly as typed")
        << QStringLiteral("  set %1 VALUE   change a setting on the monitor and announce it").arg(settingNames())
        << QStringLiteral("  state            show the monitor's settings")
        << QStringLiteral("  unplug           pull the adapter (the port disappears)")
        << QStringLiteral("  replug           plug it back in")
        << QStringLiteral("  quit             remove the port and exit");
  return QStringLiteral("commands:\n") + lines.join(QLatin1Char('\n'));
}

}  // namespace ostrel::sim
