#include "HostRig.h"

#include <QDir>
#include <QFile>
#include <QThread>
#include <QtGlobal>

namespace ostrel::test {

HostRig::HostRig() : dir_(qEnvironmentVariable("OSTREL_USB_RIG")) {}

int HostRig::send(const QString& request) {
  const int id = next_++;
  const QString temporary = dir_ + QStringLiteral("/.req-%1").arg(id);
  QFile file(temporary);
  if (!file.open(QIODevice::WriteOnly) || file.write(request.toUtf8() + '\n') < 0) return -1;
  file.close();
  // The host must never read a request half written.
  if (!QFile::rename(temporary, dir_ + QStringLiteral("/req-%1").arg(id))) return -1;
  return id;
}

std::optional<QString> HostRig::await(int request, std::chrono::milliseconds timeout) {
  if (request < 0) return std::nullopt;
  const QString path = dir_ + QStringLiteral("/ack-%1").arg(request);
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!QFile::exists(path)) {
    if (std::chrono::steady_clock::now() > deadline) return std::nullopt;
    QThread::msleep(3);
  }
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
  const QString answer = QString::fromUtf8(file.readAll()).trimmed();
  file.remove();
  return answer;
}

bool HostRig::ask(const QString& request, QString* answer) {
  const std::optional<QString> got = await(send(request));
  const QString text = got.value_or(QStringLiteral("error no answer from the host to \"%1\"").arg(request));
  if (answer) *answer = text;
  return text.startsWith(QLatin1String("ok"));
}

std::vector<RigFrame> HostRig::frames(const QString& chardev) const {
  std::vector<RigFrame> out;
  QFile file(dir_ + QLatin1Char('/') + chardev + QStringLiteral(".frames"));
  if (!file.open(QIODevice::ReadOnly)) return out;
  for (const QByteArray& line : file.readAll().split('\n')) {
    const QList<QByteArray> fields = line.split(' ');
    // A line still being written has no frame yet.
    if (fields.size() != 3 || fields[2].size() != 24) continue;
    out.push_back({fields[0].toDouble(), fields[1] == "rx", QString::fromLatin1(fields[2])});
  }
  return out;
}

std::vector<QString> HostRig::received(const QString& chardev, std::size_t from) const {
  const std::vector<RigFrame> all = frames(chardev);
  std::vector<QString> out;
  for (std::size_t i = from; i < all.size(); ++i) {
    if (all[i].fromGuest) out.push_back(all[i].text);
  }
  return out;
}

}  // namespace ostrel::test
