#pragma once
// The slice of a freedesktop desktop entry file that start-at-login needs:
// reading the keys of the [Desktop Entry] group, finding the program an Exec
// line starts, and writing Exec lines that any session manager reads back as
// the same path.
//
// Contract:
//  - parse() never fails: lines it cannot read are ignored, keys of other groups
//    and localised keys (Name[de]) are not kept. A key given twice keeps its
//    first value, as GLib does.
//  - value() undoes the string escapes (\s \n \t \r \\); an unknown escape is
//    kept as written so that nothing is lost.
//  - boolean() reads "true"/"1" as true and "false"/"0" as false; anything else,
//    or a missing key, gives the fallback.
//  - execProgram() gives the absolute path of the program an Exec value (as
//    value() returns it, string escapes undone) starts, or nothing when the value is empty, malformed (unterminated quote, stray
//    quote or backslash outside quotes, lone field code), names the program
//    relative to $PATH or a directory, or names it through a field code.
//  - quoteExecArgument() writes a path so that execProgram() of the result gives
//    the path back: quoted when it holds a reserved character, '%' doubled, and
//    the string escapes applied on top. It refuses (nothing) what an Exec line
//    cannot carry: an empty path, an '=' (not allowed in the program name) or a
//    control character other than tab and newline.

#include <QByteArray>
#include <QString>
#include <map>
#include <optional>

namespace ostrel {

class DesktopEntry {
 public:
  static DesktopEntry parse(const QByteArray& contents);

  bool hasKey(const QString& key) const;
  QString value(const QString& key) const;
  bool boolean(const QString& key, bool fallback) const;

  static QString unescapeString(const QString& raw);
  static QString escapeString(const QString& text);
  static std::optional<QString> execProgram(const QString& execValue);
  static std::optional<QString> quoteExecArgument(const QString& path);

 private:
  std::map<QString, QString> raw_;  // key -> value as written (escapes intact)
};

}  // namespace ostrel
