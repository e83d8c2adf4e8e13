#pragma once
// Files the start-at-login tests put on disk: autostart entries written by hand
// (as a person or another program would), executables, and a fresh autostart
// directory inside the per-test XDG_CONFIG_HOME.

#include <QByteArray>
#include <QString>
#include <ostream>

// Readable failure messages for Qt strings (found by argument lookup).
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace ostrel::test {

void writeFile(const QString& path, const QByteArray& contents);
void writeExecutable(const QString& path, const QByteArray& contents);
void copyExecutable(const QString& from, const QString& to);
QByteArray readFile(const QString& path);

// "[Desktop Entry]\nType=Application\nName=Test\nExec=<exec>\n" plus extra lines;
// exec is written as given.
QByteArray entryText(const QString& exec, const QByteArray& extraLines = {});
// The same with Exec naming `program`, quoted as it needs.
QByteArray entryFor(const QString& program, const QByteArray& extraLines = {});

// Empties $XDG_CONFIG_HOME/autostart and answers its path.
QString freshAutostartDirectory();

}  // namespace ostrel::test
