#include "AutostartList.h"

#include "DesktopEntry.h"
#include "common/Log.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <algorithm>

namespace ostrel {
namespace {

const QString kSuffix = QStringLiteral(".desktop");

// Nothing a person keeps in autostart comes near this; a larger file is not a
// desktop entry, and reading it would only cost memory.
constexpr qint64 kMaxEntrySize = 1 << 20;

constexpr QFileDevice::Permissions kEntryPermissions =
    QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser | QFileDevice::WriteUser |
    QFileDevice::ReadGroup | QFileDevice::ReadOther;

bool isPlainFileId(const QString& fileId) {
  return !fileId.isEmpty() && !fileId.contains(u'/') && !fileId.startsWith(u'.') &&
         std::none_of(fileId.cbegin(), fileId.cend(), [](QChar c) { return c.unicode() < 0x20; });
}

AutostartItem readItem(const QFileInfo& info) {
  AutostartItem item;
  item.fileId = info.fileName().chopped(kSuffix.size());
  item.filePath = info.filePath();
  if (info.size() > kMaxEntrySize) return item;
  QFile file(info.filePath());
  if (!file.open(QIODevice::ReadOnly)) return item;
  const DesktopEntry entry = DesktopEntry::parse(file.read(kMaxEntrySize));
  item.readable = true;
  item.hidden = entry.boolean(QStringLiteral("Hidden"), false);
  item.autostartEnabled = entry.boolean(QStringLiteral("X-GNOME-Autostart-enabled"), true);
  if (const auto program = DesktopEntry::execProgram(entry.value(QStringLiteral("Exec"))))
    item.program = AutostartList::resolvePath(*program);
  return item;
}

}  // namespace

AutostartList::AutostartList(QString directory) : directory_(std::move(directory)) {}

QString AutostartList::userDirectory() {
  // The base directory rules ignore a relative XDG_CONFIG_HOME.
  const QString configHome = qEnvironmentVariable("XDG_CONFIG_HOME");
  const QString base = QDir::isAbsolutePath(configHome) ? configHome : QDir::homePath() + u"/.config";
  return QDir::cleanPath(base + u"/autostart");
}

AutostartList AutostartList::forUser() { return AutostartList(userDirectory()); }

QString AutostartList::filePathFor(const QString& fileId) const { return directory_ + u'/' + fileId + kSuffix; }

QString AutostartList::resolvePath(const QString& path) {
  const QString canonical = QFileInfo(path).canonicalFilePath();
  return canonical.isEmpty() ? QDir::cleanPath(path) : canonical;
}

std::vector<AutostartItem> AutostartList::items() const {
  std::vector<AutostartItem> out;
  const QDir dir(directory_);
  if (!dir.exists()) return out;
  const QFileInfoList files =
      dir.entryInfoList({u'*' + kSuffix}, QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
  for (const QFileInfo& info : files) {
    if (info.fileName().size() <= kSuffix.size()) continue;
    out.push_back(readItem(info));
  }
  return out;
}

std::vector<AutostartItem> AutostartList::itemsFor(const QString& program) const {
  const QString wanted = resolvePath(program);
  std::vector<AutostartItem> out;
  for (AutostartItem& item : items()) {
    if (!item.program.isEmpty() && item.program == wanted) out.push_back(std::move(item));
  }
  return out;
}

bool AutostartList::write(const QString& fileId, const QString& name, const QString& program) const {
  if (!isPlainFileId(fileId)) {
    log("Autostart entry not written: \"%@\" is not a plain file name", fileId);
    return false;
  }
  const std::optional<QString> exec = DesktopEntry::quoteExecArgument(program);
  if (!exec || !QDir::isAbsolutePath(program)) {
    log("Autostart entry %@ not written: the path \"%@\" cannot be started from an Exec line", fileId, program);
    return false;
  }
  if (!QDir().mkpath(directory_)) {
    log("Autostart entry %@ not written: cannot create %@", fileId, directory_);
    return false;
  }
  const QString path = filePathFor(fileId);
  const QString text = u"[Desktop Entry]\n"
                       u"Type=Application\n"
                       u"Name=" + DesktopEntry::escapeString(name) + u"\n"
                       u"Exec=" + *exec + u"\n"
                       u"X-GNOME-Autostart-enabled=true\n";
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) {
    log("Autostart entry %@ not written: %@", path, file.errorString());
    return false;
  }
  file.write(text.toUtf8());
  // Set on the temporary file, so the entry never appears with other rights.
  file.setPermissions(kEntryPermissions);
  if (!file.commit()) {
    log("Autostart entry %@ not written: %@", path, file.errorString());
    return false;
  }
  return true;
}

bool AutostartList::remove(const QString& filePath) const {
  QFile file(filePath);
  if (file.remove()) return true;
  if (!QFileInfo::exists(filePath) && !QFileInfo(filePath).isSymLink()) return true;
  log("Autostart entry %@ not removed: %@", filePath, file.errorString());
  return false;
}

}  // namespace ostrel
