#pragma once
// The shortcut layer's own string table: the few texts it shows or speaks that
// do not follow Ostrel's language setting (the name of the space bar, the
// accessibility announcements, the system-shortcut explanation). The keys are
// the English texts; Ostrel ships an English and a Simplified Chinese table,
// compiled in as resources.
//
// Contract:
//  - lookup() answers "XXX" for a key the table does not hold, never the key.
//  - processTable() is chosen once, on first use, from the user's locale: the
//    first set of LANGUAGE (its first entry), LC_ALL, LC_MESSAGES, LANG; zh*
//    chooses Chinese, anything else (or nothing) English. setProcessTable()
//    replaces it (nullptr: no table at all, so every lookup gives "XXX").
//  - Thread-safe.

#include <QByteArray>
#include <QHash>
#include <QString>
#include <functional>
#include <memory>

namespace ostrel {

class KivStringTable {
 public:
  enum class Language { English, SimplifiedChinese };

  explicit KivStringTable(QHash<QString, QString> entries);

  // JSON text {"key": "text", ...}; nothing, with one log line, for anything else.
  static std::shared_ptr<const KivStringTable> fromJson(const QByteArray& json);
  static std::shared_ptr<const KivStringTable> shipped(Language language);

  QString lookup(const QString& key) const;
  bool contains(const QString& key) const { return entries_.contains(key); }
  QStringList keys() const { return entries_.keys(); }

  using EnvironmentLookup = std::function<QByteArray(const char* name)>;
  static Language languageFromEnvironment(const EnvironmentLookup& getenv);
  static Language languageFromEnvironment();

  static std::shared_ptr<const KivStringTable> processTable();
  static void setProcessTable(std::shared_ptr<const KivStringTable> table);

 private:
  QHash<QString, QString> entries_;
};

}  // namespace ostrel
