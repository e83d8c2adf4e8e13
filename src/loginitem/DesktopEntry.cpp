#include "DesktopEntry.h"

#include <QStringList>
#include <QStringView>

namespace ostrel {
namespace {

const QString kMainGroup = QStringLiteral("Desktop Entry");

// Characters that force an Exec argument into double quotes.
bool isReserved(QChar c) {
  static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
  return reserved.contains(c);
}

// Inside double quotes only these four take a backslash.
bool isQuoteEscapable(QChar c) {
  return c == u'"' || c == u'`' || c == u'$' || c == u'\\';
}

bool isSeparator(QChar c) { return c == u' ' || c == u'\t'; }

// Field codes belong to arguments, never to the program's own path: "%%" is a
// literal percent, any other code makes the program unknowable.
std::optional<QString> undoFieldCodes(const QString& word) {
  QString out;
  out.reserve(word.size());
  for (qsizetype i = 0; i < word.size(); ++i) {
    if (word[i] != u'%') {
      out += word[i];
      continue;
    }
    if (i + 1 < word.size() && word[i + 1] == u'%') {
      out += u'%';
      ++i;
      continue;
    }
    return std::nullopt;
  }
  return out;
}

}  // namespace

DesktopEntry DesktopEntry::parse(const QByteArray& contents) {
  DesktopEntry entry;
  const QString text = QString::fromUtf8(contents);
  bool inMainGroup = false;
  for (QStringView line : QStringView(text).split(u'\n')) {
    if (line.endsWith(u'\r')) line.chop(1);
    const QStringView trimmed = line.trimmed();
    if (trimmed.isEmpty() || trimmed.startsWith(u'#')) continue;
    if (trimmed.startsWith(u'[')) {
      inMainGroup = trimmed.endsWith(u']') && trimmed.mid(1, trimmed.size() - 2) == kMainGroup;
      continue;
    }
    if (!inMainGroup) continue;
    const qsizetype eq = line.indexOf(u'=');
    if (eq <= 0) continue;
    const QString key = line.left(eq).trimmed().toString();
    if (key.isEmpty() || key.contains(u'[')) continue;
    // Only the space after '=' is layout; trailing spaces may be part of a value.
    QStringView value = line.mid(eq + 1);
    while (!value.isEmpty() && isSeparator(value.front())) value = value.mid(1);
    entry.raw_.try_emplace(key, value.toString());
  }
  return entry;
}

bool DesktopEntry::hasKey(const QString& key) const { return raw_.contains(key); }

QString DesktopEntry::value(const QString& key) const {
  const auto it = raw_.find(key);
  return it == raw_.end() ? QString() : unescapeString(it->second);
}

bool DesktopEntry::boolean(const QString& key, bool fallback) const {
  const auto it = raw_.find(key);
  if (it == raw_.end()) return fallback;
  const QString v = it->second.trimmed();
  if (v == u"true" || v == u"1") return true;
  if (v == u"false" || v == u"0") return false;
  return fallback;
}

QString DesktopEntry::unescapeString(const QString& raw) {
  QString out;
  out.reserve(raw.size());
  for (qsizetype i = 0; i < raw.size(); ++i) {
    const QChar c = raw[i];
    if (c != u'\\' || i + 1 >= raw.size()) {
      out += c;
      continue;
    }
    const QChar n = raw[i + 1];
    switch (n.unicode()) {
      case 's': out += u' '; break;
      case 'n': out += u'\n'; break;
      case 't': out += u'\t'; break;
      case 'r': out += u'\r'; break;
      case '\\': out += u'\\'; break;
      default:
        out += c;
        out += n;
        break;
    }
    ++i;
  }
  return out;
}

QString DesktopEntry::escapeString(const QString& text) {
  QString out;
  out.reserve(text.size() + 8);
  for (qsizetype i = 0; i < text.size(); ++i) {
    const QChar c = text[i];
    switch (c.unicode()) {
      case '\\': out += QStringLiteral("\\\\"); break;
      case '\n': out += QStringLiteral("\\n"); break;
      case '\t': out += QStringLiteral("\\t"); break;
      case '\r': out += QStringLiteral("\\r"); break;
      case ' ':
        // A leading space would be eaten as layout by every reader.
        out += i == 0 ? QStringLiteral("\\s") : QStringLiteral(" ");
        break;
      default: out += c; break;
    }
  }
  return out;
}

std::optional<QString> DesktopEntry::execProgram(const QString& execValue) {
  const QString& s = execValue;
  qsizetype i = 0;
  while (i < s.size() && isSeparator(s[i])) ++i;
  if (i >= s.size()) return std::nullopt;

  QString word;
  if (s[i] == u'"') {
    ++i;
    bool closed = false;
    while (i < s.size()) {
      const QChar c = s[i];
      if (c == u'"') {
        closed = true;
        ++i;
        break;
      }
      if (c == u'\\') {
        if (i + 1 >= s.size()) return std::nullopt;
        const QChar n = s[i + 1];
        // Before any other character a backslash is no escape but text.
        if (!isQuoteEscapable(n)) word += c;
        word += n;
        i += 2;
        continue;
      }
      word += c;
      ++i;
    }
    if (!closed) return std::nullopt;
    if (i < s.size() && !isSeparator(s[i])) return std::nullopt;
  } else {
    while (i < s.size() && !isSeparator(s[i])) {
      // Unquoted, a reserved character would mean shell syntax to some launchers
      // and plain text to others: no single path can be named.
      if (isReserved(s[i])) return std::nullopt;
      word += s[i];
      ++i;
    }
  }

  std::optional<QString> program = undoFieldCodes(word);
  if (!program || !program->startsWith(u'/')) return std::nullopt;
  return program;
}

std::optional<QString> DesktopEntry::quoteExecArgument(const QString& path) {
  if (path.isEmpty() || path.contains(u'=')) return std::nullopt;
  bool needsQuotes = false;
  for (const QChar c : path) {
    const char16_t u = c.unicode();
    if ((u < 0x20 && u != u'\t' && u != u'\n') || u == 0x7F) return std::nullopt;
    if (isReserved(c)) needsQuotes = true;
  }
  QString quoted;
  quoted.reserve(path.size() + 4);
  if (needsQuotes) quoted += u'"';
  for (const QChar c : path) {
    if (needsQuotes && isQuoteEscapable(c)) quoted += u'\\';
    if (c == u'%') quoted += u'%';
    quoted += c;
  }
  if (needsQuotes) quoted += u'"';
  return escapeString(quoted);
}

}  // namespace ostrel
