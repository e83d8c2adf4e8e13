#pragma once
// ostrel's command line, read before the application object exists: --help
// and --version answer without any display, and a missing graphical session
// is told in one line instead of the platform plugin's failure.
//
// Ostrel's own options are GNU-style long ones (and -h). Arguments with a
// single dash belong to Qt (-platform NAME, -display DISPLAY, -session ID from
// a session manager restoring the session) and are left for the application
// object to take; whatever it does not take is refused afterwards
// (refuseLeftovers), so a mistyped option is never ignored.
//
// Contract:
//  - -h/--help anywhere wins, then --version: both print to standard output
//    and end with status 0.
//  - An unknown "--option" is refused before anything starts: status 2, the
//    message and a pointer to --help on standard error.
//  - --minimized: the window starts minimised, and a running Ostrel is left as
//    it is instead of being brought to the front.

#include <QString>
#include <QStringList>
#include <optional>

namespace ostrel {

class CommandLineOptions {
 public:
  enum class Action { Run, Help, Version, Refuse };

  // `arguments` without the program name.
  static CommandLineOptions parse(const QStringList& arguments);
  static CommandLineOptions parse(int argc, char* argv[]);

  Action action() const { return action_; }
  bool minimized() const { return minimized_; }
  const QString& error() const { return error_; }
  // As given, without the program name.
  const QStringList& arguments() const { return arguments_; }

  // What an action other than Run prints, and the status to end with; nothing
  // for Run.
  std::optional<int> answer() const;

  // After the application object took Qt's arguments: the status to end with
  // (2, the refusal printed) when something else is left, nothing otherwise.
  // `remaining` without the program name.
  static std::optional<int> refuseLeftovers(const QStringList& remaining);

  static QString helpText();
  static QString versionText();  // "ostrel 0.1.0\n"
  // "ostrel: <message>\nTry 'ostrel --help'.\n"
  static QString usageErrorText(const QString& message);

 private:
  Action action_ = Action::Run;
  bool minimized_ = false;
  QString error_;
  QStringList arguments_;
};

}  // namespace ostrel
