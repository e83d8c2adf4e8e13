#pragma once
// Decides whether a preference file can be trusted before anything reads or
// rewrites it. QSettings reads almost anything without complaint (binary junk
// parses as an empty key), so Ostrel checks the INI text itself first and keeps
// its hands off a file that fails: the user's data stays as it was until they
// save explicitly.

#include <QByteArray>
#include <QString>
#include <optional>

namespace ostrel {

// Why `text` is not a well-formed INI file as QSettings writes it, or nothing
// when it is. Accepted: UTF-8 lines that are blank, comments (; or #), section
// headers "[name]" or "key=value" with a non-empty key and balanced double
// quotes. Rejected: invalid UTF-8, control characters other than tab, CR and LF,
// and any other line (a line cut short, stray bytes).
std::optional<QString> iniTextProblem(const QByteArray& text);

// Why the file at `path` cannot be used as a preference file, or nothing when it
// can (an absent file is fine: it means "no preferences yet"). Never opens
// anything but a regular file, so a FIFO or a device in its place cannot block
// or feed the program.
std::optional<QString> preferenceFileProblem(const QString& path);

}  // namespace ostrel
