#include "PreferenceFileCheck.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

namespace ostrel {
namespace {

bool isForbiddenControl(char16_t c) {
  return (c < 0x20 && c != u'\t' && c != u'\r' && c != u'\n') || c == 0x7F;
}

// QSettings escapes a quote inside a quoted value with a backslash.
bool quotesBalanced(QStringView value) {
  bool inside = false;
  for (qsizetype i = 0; i < value.size(); ++i) {
    if (value[i] == u'\\') {
      ++i;
    } else if (value[i] == u'"') {
      inside = !inside;
    }
  }
  return !inside;
}

std::optional<QString> lineProblem(QStringView line) {
  const QStringView t = line.trimmed();
  if (t.isEmpty() || t.startsWith(u';') || t.startsWith(u'#')) return std::nullopt;
  if (t.startsWith(u'[')) {
    if (t.endsWith(u']') && t.size() > 2) return std::nullopt;
    return QStringLiteral("an unfinished section header");
  }
  const qsizetype eq = t.indexOf(u'=');
  if (eq < 0) return QStringLiteral("a line without \"=\"");
  if (t.first(eq).trimmed().isEmpty()) return QStringLiteral("a value without a key");
  if (!quotesBalanced(t.sliced(eq + 1))) return QStringLiteral("an unterminated quoted value");
  return std::nullopt;
}

}  // namespace

std::optional<QString> iniTextProblem(const QByteArray& text) {
  QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  const QString decoded = decoder.decode(text);
  if (decoder.hasError()) return QStringLiteral("the text is not valid UTF-8");
  int lineNumber = 1;
  for (QStringView line : QStringView(decoded).split(u'\n')) {
    for (QChar qc : line) {
      const char16_t c = qc.unicode();
      if (isForbiddenControl(c)) {
        return QStringLiteral("line %1 holds the control character 0x%2")
            .arg(lineNumber)
            .arg(static_cast<int>(c), 2, 16, QLatin1Char('0'));
      }
    }
    if (auto problem = lineProblem(line)) return QStringLiteral("line %1 holds %2").arg(lineNumber).arg(*problem);
    ++lineNumber;
  }
  return std::nullopt;
}

std::optional<QString> preferenceFileProblem(const QString& path) {
  const QFileInfo info(path);
  if (!info.exists() && !info.isSymLink()) return std::nullopt;
  if (info.isDir()) return QStringLiteral("it is a directory");
  if (!info.exists()) return QStringLiteral("it is a dangling symbolic link");
  if (!info.isFile()) return QStringLiteral("it is not a regular file");
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return QStringLiteral("it cannot be read: %1").arg(file.errorString());
  const QByteArray text = file.readAll();
  if (file.error() != QFileDevice::NoError) return QStringLiteral("it cannot be read: %1").arg(file.errorString());
  return iniTextProblem(text);
}

}  // namespace ostrel
