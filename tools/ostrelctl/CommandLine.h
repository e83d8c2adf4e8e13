#pragma once
// ostrelctl's command line: a command word, its value, and the options
// --json, --verbose (-v), --help (-h) and --version, in any order. --help wins
// over everything, --version over any command.
//
// Every refusal names what was wrong and what would be accepted; a refused
// command line sends nothing (exit status 2).

#include "ostrelctl/CtlRequest.h"

#include <QString>
#include <QStringList>
#include <variant>

namespace ostrel::ctl {

struct UsageError {
  QString message;  // without the program name, e.g. "contrast must be 1..9, not 12"
};

// `arguments` without the program name.
std::variant<CtlRequest, UsageError> parseCommandLine(const QStringList& arguments);

QString helpText();
QString versionText();  // "ostrelctl 0.1.0\n"

// "ostrelctl: <message>\nTry 'ostrelctl --help'.\n"
QString usageErrorText(const UsageError& error);

}  // namespace ostrel::ctl
