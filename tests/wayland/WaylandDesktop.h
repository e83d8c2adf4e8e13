#pragma once
// What the Wayland tests need of the desktop run-test.sh started for them
// (--kwin, --weston): whether it is there, and screenshots of it, saved like
// the other tests' screenshots under $OSTREL_BUILD_DIR/screenshots/.

#include <QImage>
#include <QString>
#include <optional>
#include <string>

namespace ostrel::test {

// Why the test program has no compositor (its programs are not installed), or
// nothing when it has one.
std::optional<std::string> missingDesktop();
// OSTREL_REQUIRE_ALL_TESTS=1 (CI): a missing desktop is a failure, not a skip.
bool requireAllTests();

// The version of a portal interface ("org.freedesktop.portal.RemoteDesktop"),
// 0 when the portal does not offer it.
unsigned portalVersion(const QString& interface);

// KWin's whole screen (org.kde.KWin.ScreenShot2); a null image with `error`.
QImage kwinScreenshot(QString* error);
// weston's screen (weston-screenshooter); a null image with `error`.
QImage westonScreenshot(QString* error);

// Saves `image` as $OSTREL_BUILD_DIR/screenshots/<name>.png.
bool saveScreenshot(const QImage& image, const QString& name);

// The share of pixels in `image` that are exactly `colour`.
double shareOf(const QImage& image, QRgb colour);

}  // namespace ostrel::test
