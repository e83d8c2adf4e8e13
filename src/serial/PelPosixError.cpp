#include "PelPosixError.h"

#include <cstring>

namespace ostrel {

PelPosixError PelPosixError::fromErrno(int code, const QString& path) {
  PelPosixError e;
  e.code = code;
  e.localizedDescription = QString::fromLocal8Bit(std::strerror(code));
  e.filePath = path;
  return e;
}

QString PelPosixError::description() const {
  return QStringLiteral("Error Domain=%1 Code=%2 \"%3\" UserInfo={NSFilePathErrorKey=%4, NSLocalizedDescription=%3}")
      .arg(domain())
      .arg(code)
      .arg(localizedDescription, filePath);
}

}  // namespace ostrel
