#include "KivStringTable.h"

#include "common/Log.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <mutex>

// Resources of a static library must be registered by name, outside any namespace.
static void registerKivStringResources() {
  Q_INIT_RESOURCE(KivStrings);
}

namespace ostrel {
namespace {

const QString kMissing = QStringLiteral("XXX");

struct ProcessTable {
  std::mutex mutex;
  bool chosen = false;
  std::shared_ptr<const KivStringTable> table;
};

ProcessTable& processState() {
  static ProcessTable state;
  return state;
}

}  // namespace

KivStringTable::KivStringTable(QHash<QString, QString> entries) : entries_(std::move(entries)) {}

std::shared_ptr<const KivStringTable> KivStringTable::fromJson(const QByteArray& json) {
  QJsonParseError error{};
  const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
  if (error.error != QJsonParseError::NoError || !doc.isObject()) {
    log("KivStringTable: not a JSON object of texts (%@)", error.errorString());
    return nullptr;
  }
  QHash<QString, QString> entries;
  const QJsonObject object = doc.object();
  for (auto it = object.begin(); it != object.end(); ++it) {
    if (!it.value().isString()) {
      log("KivStringTable: the entry %@ is not a text", it.key());
      return nullptr;
    }
    entries.insert(it.key(), it.value().toString());
  }
  return std::make_shared<const KivStringTable>(std::move(entries));
}

std::shared_ptr<const KivStringTable> KivStringTable::shipped(Language language) {
  static std::once_flag once;
  std::call_once(once, registerKivStringResources);
  const QString path = language == Language::SimplifiedChinese
                           ? QStringLiteral(":/ostrel/shortcuts/Localizable.zh-Hans.json")
                           : QStringLiteral(":/ostrel/shortcuts/Localizable.en.json");
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    log("KivStringTable: %@ is missing from the program", path);
    return nullptr;
  }
  return fromJson(file.readAll());
}

QString KivStringTable::lookup(const QString& key) const {
  return entries_.value(key, kMissing);
}

KivStringTable::Language KivStringTable::languageFromEnvironment(const EnvironmentLookup& getenv) {
  for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
    QByteArray value = getenv(name);
    if (qstrcmp(name, "LANGUAGE") == 0) value = value.left(value.indexOf(':') < 0 ? value.size() : value.indexOf(':'));
    if (value.isEmpty()) continue;
    return value.toLower().startsWith("zh") ? Language::SimplifiedChinese : Language::English;
  }
  return Language::English;
}

KivStringTable::Language KivStringTable::languageFromEnvironment() {
  return languageFromEnvironment([](const char* name) { return qgetenv(name); });
}

std::shared_ptr<const KivStringTable> KivStringTable::processTable() {
  ProcessTable& state = processState();
  std::lock_guard lock(state.mutex);
  if (!state.chosen) {
    state.table = shipped(languageFromEnvironment());
    state.chosen = true;
  }
  return state.table;
}

void KivStringTable::setProcessTable(std::shared_ptr<const KivStringTable> table) {
  ProcessTable& state = processState();
  std::lock_guard lock(state.mutex);
  state.table = std::move(table);
  state.chosen = true;
}

}  // namespace ostrel
