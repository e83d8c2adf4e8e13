#pragma once
// describe(): the text that "%@" prints for a value in a log line.
// Objects print their description(), empty references print "(null)", lists print
// in the bracketed multi-line form people know from the original tool's logs.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <concepts>
#include <memory>
#include <type_traits>
#include <vector>

namespace ostrel {

template <typename T>
concept HasDescription = requires(const T& t) {
  { t.description() } -> std::convertible_to<QString>;
};

inline QString describe(std::nullptr_t) { return QStringLiteral("(null)"); }
inline QString describe(const QString& s) { return s; }
inline QString describe(const char* s) { return s ? QString::fromUtf8(s) : QStringLiteral("(null)"); }
inline QString describe(const QByteArray& bytes) {
  // Byte strings print like a data object: <hex bytes in groups of four>.
  QString out = QStringLiteral("<");
  const QByteArray hex = bytes.toHex();
  for (qsizetype i = 0; i < hex.size(); i += 8) {
    if (i) out += QLatin1Char(' ');
    out += QString::fromLatin1(hex.mid(i, 8));
  }
  out += QLatin1Char('>');
  return out;
}

template <HasDescription T>
QString describe(const T& object) { return object.description(); }

template <typename T>
QString describe(const std::shared_ptr<T>& p) {
  if (!p) return QStringLiteral("(null)");
  return describe(*p);
}

template <typename T>
QString describe(const std::weak_ptr<T>& p) { return describe(p.lock()); }

template <typename T>
QString describe(T* p) requires(!std::is_same_v<std::remove_cv_t<T>, char>) {
  if (!p) return QStringLiteral("(null)");
  return describe(*p);
}

template <typename Seq>
QString describeSequence(const Seq& seq) {
  if (seq.empty()) return QStringLiteral("(\n)");
  QStringList items;
  for (const auto& item : seq) items << QStringLiteral("    ") + describe(item);
  return QStringLiteral("(\n") + items.join(QStringLiteral(",\n")) + QStringLiteral("\n)");
}

template <typename T>
QString describe(const QList<T>& list) { return describeSequence(list); }

template <typename T>
QString describe(const std::vector<T>& list) { return describeSequence(list); }

}  // namespace ostrel
