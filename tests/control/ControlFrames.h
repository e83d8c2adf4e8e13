#pragma once
// The frames the control tests expect at the simulated monitor, as the
// simulator logs them: hex, upper case.
#include <QLatin1Char>
#include <QString>

namespace ostrel::test {

// The frame of command `code` with `parameter`.
inline QString f(int code, int parameter) {
  return QStringLiteral("5FF5%1%2")
             .arg(code, 2, 16, QLatin1Char('0'))
             .arg(parameter, 2, 16, QLatin1Char('0'))
             .toUpper() +
         QStringLiteral("000000000000A0FA");
}

// The question every port is asked first: is this the monitor?
inline const QString kProbe = f(10, 16);

}  // namespace ostrel::test
