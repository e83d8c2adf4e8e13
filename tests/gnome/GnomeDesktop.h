#pragma once
// What the GNOME tests need of the headless GNOME Shell run-test.sh started
// for them (--gnome, tests/gnome/gnome-session.sh).

#include <QByteArray>
#include <QString>
#include <chrono>
#include <optional>
#include <string>

namespace ostrel::test {

// Why there is no GNOME session (its programs are not installed); nothing
// when there is one.
std::optional<std::string> missingGnome();
// CI sets OSTREL_REQUIRE_ALL_TESTS=1: a missing desktop then fails the test
// instead of skipping it.
bool everyTestMustRun();

// GNOME's settings daemon asks the shell to grab a custom shortcut's key a
// moment after the list changes. Returns once it has, after the entry at
// `path` was added: true when seen within `timeout`.
bool waitForGrab(const QString& path, std::chrono::milliseconds timeout);

// `dconf dump PATH` as text.
QString dconfDump(const QString& path);

}  // namespace ostrel::test
