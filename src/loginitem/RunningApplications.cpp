#include "RunningApplications.h"

#include <QByteArrayList>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <optional>

namespace ostrel {
namespace {

constexpr qsizetype kCommandLength = 15;  // TASK_COMM_LEN less the terminator

std::optional<QByteArray> readSmallFile(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
  // /proc files report size 0; read what is there, bounded. In pieces: a
  // buffer of the whole bound for each of a hundred processes costs more than
  // the reads themselves.
  constexpr qsizetype kLimit = 1 << 20;
  QByteArray bytes;
  char piece[4096];
  while (bytes.size() < kLimit) {
    const qint64 n = file.read(piece, sizeof piece);
    if (n <= 0) break;
    bytes.append(piece, static_cast<qsizetype>(n));
  }
  return bytes;
}

constexpr qulonglong kExitingFlag = 0x4;  // PF_EXITING

// The fields follow the last ')' in stat, because the command in parentheses
// may itself hold ')' and spaces: the state letter, then ppid, pgrp, session,
// tty, tpgid and the task flags.
bool isDead(const QByteArray& stat) {
  const qsizetype close = stat.lastIndexOf(')');
  if (close < 0 || close + 2 >= stat.size()) return false;
  const char state = stat.at(close + 2);
  if (state == 'Z' || state == 'X') return true;
  // A process that has begun to exit is not a zombie yet, but its address
  // space may already be gone: its environment then cannot be read, while its
  // command still can, and it would pass for a running Ostrel of this session.
  const QList<QByteArray> fields = stat.mid(close + 2).split(' ');
  bool numeric = false;
  const qulonglong flags = fields.size() > 6 ? fields.at(6).toULongLong(&numeric) : 0;
  return numeric && (flags & kExitingFlag) != 0;
}

std::optional<QByteArray> runtimeDirOf(const QByteArray& environ) {
  static const QByteArray key = QByteArrayLiteral("XDG_RUNTIME_DIR=");
  for (const QByteArray& entry : environ.split('\0')) {
    if (entry.startsWith(key)) return entry.mid(key.size());
  }
  return std::nullopt;
}

std::optional<QByteArray> ownRuntimeDir() {
  if (!qEnvironmentVariableIsSet("XDG_RUNTIME_DIR")) return std::nullopt;
  return qgetenv("XDG_RUNTIME_DIR");
}

}  // namespace

bool RunningApplication::matches(const QString& program) const {
  if (program.isEmpty()) return false;
  return name == program || (!command.isEmpty() && command == program.left(kCommandLength));
}

RunningApplications::RunningApplications(QString procRoot) : procRoot_(std::move(procRoot)) {}

std::vector<RunningApplication> RunningApplications::list() const {
  std::vector<RunningApplication> out;
  const QDir proc(procRoot_);
  const uint ownUser = QFileInfo(QStringLiteral("%1/self").arg(procRoot_)).ownerId();
  const std::optional<QByteArray> ownRuntime = ownRuntimeDir();
  const QStringList entries = proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
  for (const QString& entry : entries) {
    bool numeric = false;
    const qint64 pid = entry.toLongLong(&numeric);
    if (!numeric || pid <= 0) continue;
    const QString base = procRoot_ + u'/' + entry;
    const QFileInfo info(base);
    if (!info.exists() || info.ownerId() != ownUser) continue;

    const std::optional<QByteArray> stat = readSmallFile(base + u"/stat");
    if (!stat || isDead(*stat)) continue;
    const std::optional<QByteArray> environ = readSmallFile(base + u"/environ");
    if (environ && runtimeDirOf(*environ) != ownRuntime) continue;

    RunningApplication app;
    app.pid = pid;
    QString exe = QFileInfo(base + u"/exe").symLinkTarget();
    if (exe.endsWith(u" (deleted)")) exe.chop(10);
    app.name = QFileInfo(exe).fileName();
    if (const std::optional<QByteArray> comm = readSmallFile(base + u"/comm"))
      app.command = QString::fromUtf8(comm->trimmed());
    out.push_back(std::move(app));
  }
  return out;
}

}  // namespace ostrel
