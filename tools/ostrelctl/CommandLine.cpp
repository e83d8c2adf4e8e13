#include "ostrelctl/CommandLine.h"

#include "common/Version.h"
#include "control/ControlProtocol.h"
#include "keybindings/CompositorKeybindings.h"
#include "settings/ProgramValues.h"

#include <QRegularExpression>
#include <optional>

namespace ostrel::ctl {
namespace {

struct CommandWord {
  const char* word;
  CtlCommand command;
  std::optional<ControlSetting> setting;  // the value it takes, if any
};

constexpr CommandWord kCommands[] = {
    {"refresh", CtlCommand::Refresh, std::nullopt},
    {"contrast", CtlCommand::Contrast, ControlSetting::Contrast},
    {"mode", CtlCommand::ImageMode, ControlSetting::ImageMode},
    {"speed", CtlCommand::RefreshSpeed, ControlSetting::RefreshSpeed},
    {"light", CtlCommand::FrontLight, ControlSetting::FrontLightMode},
    {"brightness", CtlCommand::Brightness, ControlSetting::Brightness},
    {"temperature", CtlCommand::Temperature, ControlSetting::Temperature},
    {"sync-time", CtlCommand::SyncTime, std::nullopt},
    {"read", CtlCommand::Read, std::nullopt},
    {"status", CtlCommand::Status, std::nullopt},
    {"monitors", CtlCommand::Monitors, std::nullopt},
    {"help", CtlCommand::Help, std::nullopt},
    // Its value (on, off, status) is read apart from the monitor's settings.
    {"autostart", CtlCommand::StartAtLoginStatus, std::nullopt},
    {"gnome-shortcuts", CtlCommand::GnomeShortcutsStatus, std::nullopt},
    {"keybindings", CtlCommand::Keybindings, std::nullopt},
    // These two change Ostrel's own settings, not the monitor's.
    {"pause-while-idle", CtlCommand::PauseWhileIdleOn, std::nullopt},
    {"page-refresh", CtlCommand::PageRefresh, std::nullopt},
};

// "pause-while-idle on|off".
std::variant<CtlCommand, UsageError> pauseWhileIdleCommand(const QStringList& words) {
  const QString name = words.at(0);
  if (words.size() < 2) return UsageError{QStringLiteral("%1 needs a value: on or off").arg(name)};
  if (words.size() > 2) return UsageError{QStringLiteral("%1 takes one value, not \"%2\"").arg(name, words.at(2))};
  const QString value = words.at(1).toLower();
  if (value == QLatin1String("on")) return CtlCommand::PauseWhileIdleOn;
  if (value == QLatin1String("off")) return CtlCommand::PauseWhileIdleOff;
  return UsageError{QStringLiteral("%1 must be on or off, not \"%2\"").arg(name, words.at(1))};
}

// "page-refresh 0..99".
std::variant<std::int32_t, UsageError> pageRefreshValue(const QStringList& words);

// "autostart on|off|status".
std::variant<CtlCommand, UsageError> startAtLoginCommand(const QStringList& words) {
  const QString accepted = QStringLiteral("on, off or status");
  if (words.size() < 2) return UsageError{QStringLiteral("autostart needs a value: %1").arg(accepted)};
  if (words.size() > 2) return UsageError{QStringLiteral("autostart takes one value, not \"%1\"").arg(words.at(2))};
  const QString value = words.at(1).toLower();
  if (value == QLatin1String("on")) return CtlCommand::StartAtLoginOn;
  if (value == QLatin1String("off")) return CtlCommand::StartAtLoginOff;
  if (value == QLatin1String("status")) return CtlCommand::StartAtLoginStatus;
  return UsageError{QStringLiteral("autostart must be %1, not \"%2\"").arg(accepted, words.at(1))};
}

// "gnome-shortcuts add|remove|status".
std::variant<CtlCommand, UsageError> gnomeShortcutsCommand(const QStringList& words) {
  const QString accepted = QStringLiteral("add, remove or status");
  if (words.size() < 2) return UsageError{QStringLiteral("gnome-shortcuts needs a value: %1").arg(accepted)};
  if (words.size() > 2) {
    return UsageError{QStringLiteral("gnome-shortcuts takes one value, not \"%1\"").arg(words.at(2))};
  }
  const QString value = words.at(1).toLower();
  if (value == QLatin1String("add")) return CtlCommand::GnomeShortcutsAdd;
  if (value == QLatin1String("remove")) return CtlCommand::GnomeShortcutsRemove;
  if (value == QLatin1String("status")) return CtlCommand::GnomeShortcutsStatus;
  return UsageError{QStringLiteral("gnome-shortcuts must be %1, not \"%2\"").arg(accepted, words.at(1))};
}

// "keybindings sway|hyprland|i3".
std::variant<std::int32_t, UsageError> keybindingsCompositor(const QStringList& words) {
  const QString accepted = QStringLiteral("sway, hyprland or i3");
  if (words.size() < 2) return UsageError{QStringLiteral("keybindings needs a value: %1").arg(accepted)};
  if (words.size() > 2) return UsageError{QStringLiteral("keybindings takes one value, not \"%1\"").arg(words.at(2))};
  if (const std::optional<Compositor> compositor = compositorNamed(words.at(1))) {
    return static_cast<std::int32_t>(*compositor);
  }
  return UsageError{QStringLiteral("keybindings must be %1, not \"%2\"").arg(accepted, words.at(1))};
}

const CommandWord* findCommand(const QString& word) {
  for (const CommandWord& c : kCommands) {
    if (word == QLatin1String(c.word)) return &c;
  }
  return nullptr;
}

bool looksNumeric(const QString& text) {
  static const QRegularExpression number(QStringLiteral("^[+-]?[0-9]+$"));
  return number.match(text).hasMatch();
}

QString acceptedValues(ControlSetting setting) {
  const ControlSettingRange& range = controlSettingRange(setting);
  switch (setting) {
    case ControlSetting::Contrast:
      return QStringLiteral("1..9, up or down");
    case ControlSetting::ImageMode:
      return imageModeNames().join(QStringLiteral(", "));
    case ControlSetting::FrontLightMode:
      return frontLightModeNames().join(QStringLiteral(", "));
    default:
      return QStringLiteral("%1..%2").arg(range.minimum).arg(range.maximum);
  }
}

// The value of `setting` written as `text`, or why it is not one.
std::variant<std::int32_t, UsageError> parseValue(ControlSetting setting, const QString& text) {
  const ControlSettingRange& range = controlSettingRange(setting);
  const QString label = QString::fromLatin1(range.label);
  const QString lower = text.toLower();
  if (setting == ControlSetting::ImageMode) {
    const qsizetype i = imageModeNames().indexOf(lower);
    if (i >= 0) return static_cast<std::int32_t>(i + 2);
  } else if (setting == ControlSetting::FrontLightMode) {
    const qsizetype i = frontLightModeNames().indexOf(lower);
    if (i >= 0) return static_cast<std::int32_t>(i);
  } else if (looksNumeric(text)) {
    bool ok = false;
    const qlonglong value = text.toLongLong(&ok);
    if (!ok) {
      return UsageError{QStringLiteral("%1 must be %2, not \"%3\"").arg(label, acceptedValues(setting), text)};
    }
    if (const std::optional<QString> refusal = refuseOutOfRange(setting, value)) {
      return UsageError{setting == ControlSetting::Contrast
                            ? QStringLiteral("%1 must be %2, not %3").arg(label, acceptedValues(setting), text)
                            : *refusal};
    }
    return static_cast<std::int32_t>(value);
  }
  return UsageError{QStringLiteral("%1 must be %2, not \"%3\"").arg(label, acceptedValues(setting), text)};
}

std::variant<std::int32_t, UsageError> pageRefreshValue(const QStringList& words) {
  const QString accepted = QStringLiteral("0..%1 (0: never)").arg(kLongestPageRefresh);
  if (words.size() < 2) return UsageError{QStringLiteral("page-refresh needs a value: %1").arg(accepted)};
  if (words.size() > 2) return UsageError{QStringLiteral("page-refresh takes one value, not \"%1\"").arg(words.at(2))};
  const QString& text = words.at(1);
  bool ok = false;
  const qlonglong value = looksNumeric(text) ? text.toLongLong(&ok) : 0;
  if (!ok) return UsageError{QStringLiteral("page-refresh must be %1, not \"%2\"").arg(accepted, text)};
  if (const std::optional<QString> refusal = refusePageRefresh(value)) return UsageError{*refusal};
  return static_cast<std::int32_t>(value);
}

bool takesJson(CtlCommand command) {
  return command == CtlCommand::Status || command == CtlCommand::Read || command == CtlCommand::Monitors;
}

}  // namespace

std::variant<CtlRequest, UsageError> parseCommandLine(const QStringList& arguments) {
  CtlRequest request;
  bool help = false;
  bool version = false;
  QStringList words;
  for (const QString& argument : arguments) {
    if (argument == QLatin1String("--json")) {
      request.json = true;
    } else if (argument == QLatin1String("--verbose") || argument == QLatin1String("-v")) {
      request.verbose = true;
    } else if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
      help = true;
    } else if (argument == QLatin1String("--version")) {
      version = true;
    } else if (argument.startsWith(QLatin1Char('-')) && !looksNumeric(argument)) {
      return UsageError{QStringLiteral("unknown option \"%1\"").arg(argument)};
    } else {
      words << argument;
    }
  }
  if (help) {
    request.command = CtlCommand::Help;
    return request;
  }
  if (version) {
    request.command = CtlCommand::Version;
    return request;
  }
  if (words.isEmpty()) return UsageError{QStringLiteral("no command given")};

  const CommandWord* command = findCommand(words.front());
  if (!command) return UsageError{QStringLiteral("unknown command \"%1\"").arg(words.front())};
  request.command = command->command;
  const QString name = QString::fromLatin1(command->word);

  if (command->command == CtlCommand::StartAtLoginStatus) {
    auto which = startAtLoginCommand(words);
    if (auto* error = std::get_if<UsageError>(&which)) return *error;
    request.command = std::get<CtlCommand>(which);
  } else if (command->command == CtlCommand::GnomeShortcutsStatus) {
    auto which = gnomeShortcutsCommand(words);
    if (auto* error = std::get_if<UsageError>(&which)) return *error;
    request.command = std::get<CtlCommand>(which);
  } else if (command->command == CtlCommand::Keybindings) {
    auto which = keybindingsCompositor(words);
    if (auto* error = std::get_if<UsageError>(&which)) return *error;
    request.value = std::get<std::int32_t>(which);
  } else if (command->command == CtlCommand::PauseWhileIdleOn) {
    auto which = pauseWhileIdleCommand(words);
    if (auto* error = std::get_if<UsageError>(&which)) return *error;
    request.command = std::get<CtlCommand>(which);
  } else if (command->command == CtlCommand::PageRefresh) {
    auto value = pageRefreshValue(words);
    if (auto* error = std::get_if<UsageError>(&value)) return *error;
    request.value = std::get<std::int32_t>(value);
  } else if (command->setting) {
    if (words.size() < 2) {
      return UsageError{QStringLiteral("%1 needs a value: %2").arg(name, acceptedValues(*command->setting))};
    }
    if (words.size() > 2) return UsageError{QStringLiteral("%1 takes one value, not \"%2\"").arg(name, words.at(2))};
    const QString& text = words.at(1);
    if (command->command == CtlCommand::Contrast && text.compare(QLatin1String("up"), Qt::CaseInsensitive) == 0) {
      request.command = CtlCommand::ContrastUp;
    } else if (command->command == CtlCommand::Contrast &&
               text.compare(QLatin1String("down"), Qt::CaseInsensitive) == 0) {
      request.command = CtlCommand::ContrastDown;
    } else {
      auto value = parseValue(*command->setting, text);
      if (auto* error = std::get_if<UsageError>(&value)) return *error;
      request.value = std::get<std::int32_t>(value);
    }
  } else if (words.size() > 1) {
    return UsageError{QStringLiteral("%1 takes no value, not \"%2\"").arg(name, words.at(1))};
  }

  if (request.json && !takesJson(request.command)) {
    return UsageError{QStringLiteral("--json goes with status, read or monitors, not with %1").arg(name)};
  }
  return request;
}

QString versionText() {
  return QStringLiteral("ostrelctl %1\n").arg(QLatin1String(kOstrelVersion));
}

QString usageErrorText(const UsageError& error) {
  return QStringLiteral("ostrelctl: %1\nTry 'ostrelctl --help'.\n").arg(error.message);
}

QString helpText() {
  return QStringLiteral(
      "Usage: ostrelctl [OPTION]... COMMAND [VALUE]\n"
      "Control the e-paper monitor through the running Ostrel, or directly when\n"
      "Ostrel is not running. An Ostrel that is still starting is waited for, up\n"
      "to 5 s, and then asked; the monitor's port stays its own.\n"
      "\n"
      "Commands:\n"
      "  refresh                  fast refresh: clear the ghost images\n"
      "  contrast 1..9|up|down    set the contrast, or step it (9 wraps to 1)\n"
      "  mode text|graphic|video  set the image mode\n"
      "  speed 1..5               set the refresh speed (Fast .. Fast++++)\n"
      "  light off|cold|warm|mixed\n"
      "                           set the front light (monitors with a front light)\n"
      "  brightness 0..100        set the front light's brightness\n"
      "  temperature 0..100       set the front light's colour temperature (0 warm)\n"
      "  sync-time                synchronise the monitor's clock\n"
      "  read                     read every setting back from the monitor and show it\n"
      "  status                   show the monitor and its settings, and whether\n"
      "                           Auto Clear rests now and why\n"
      "  monitors                 list the monitors found (the first is in use); with --json\n"
      "                           also what the search did with each serial port\n"
      "  autostart on|off|status  start Ostrel when you log in, or not; status\n"
      "                           prints on or off\n"
      "  gnome-shortcuts add|remove|status\n"
      "                           GNOME 43 to 47: add the three shortcuts recorded in\n"
      "                           Ostrel's settings to GNOME's custom keyboard shortcuts,\n"
      "                           take them out again, or show which keys GNOME runs\n"
      "  keybindings sway|hyprland|i3\n"
      "                           print the lines that bind the three shortcuts in that\n"
      "                           compositor's configuration\n"
      "  pause-while-idle on|off  Auto Clear rests while the session is idle or\n"
      "                           locked (on), or refreshes all the same (off)\n"
      "  page-refresh 0..99       a fast refresh after every N page turns (0: never)\n"
      "Without Ostrel, pause-while-idle and page-refresh are stored in its settings\n"
      "file for its next start.\n"
      "\n"
      "Options:\n"
      "  --json                   status, read and monitors print JSON\n"
      "  -v, --verbose            show Ostrel's diagnostic log when working directly,\n"
      "                           and say so when waiting for a starting Ostrel\n"
      "  -h, --help               show this help\n"
      "  --version                show the version\n"
      "\n"
      "Exit status:\n"
      "  0  done\n"
      "  1  the monitor cannot do that, did not answer or did not take the command,\n"
      "     Ostrel failed, start at login could not be switched, a setting could not\n"
      "     be stored, GNOME's shortcuts could not be changed or (status) do not run\n"
      "     all three, a shortcut has no key name for the compositor, or an Ostrel\n"
      "     that is starting did not answer within 5 s (nothing was sent)\n"
      "  2  bad command line or value; nothing was sent\n"
      "  3  no monitor connected\n"
      "  4  Ostrel is not running and the serial ports cannot be opened\n");
}

}  // namespace ostrel::ctl
