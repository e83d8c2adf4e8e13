#pragma once
// What `ostrelctl status --json` says about the running Ostrel, as a user's
// script would read it.

#include <QJsonObject>

namespace ostrel::test {

QJsonObject statusJson();

}  // namespace ostrel::test
