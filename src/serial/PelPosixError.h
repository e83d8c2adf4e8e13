#pragma once
// The error a serial port reports to its delegate when a system call fails:
// domain "NSPOSIXErrorDomain", the errno value, the system's text for it and the
// device path.

#include <QString>

namespace ostrel {

struct PelPosixError {
  static constexpr const char* kDomain = "NSPOSIXErrorDomain";

  int code = 0;                  // errno
  QString localizedDescription;  // strerror(code)
  QString filePath;              // the port's device path

  static PelPosixError fromErrno(int code, const QString& path);
  QString domain() const { return QString::fromLatin1(kDomain); }
  QString description() const;
};

}  // namespace ostrel
