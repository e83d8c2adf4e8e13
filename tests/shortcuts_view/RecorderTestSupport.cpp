#include "RecorderTestSupport.h"

#include "platform/x11/X11Platform.h"
#include "shortcuts/KivShortcut.h"
#include "shortcuts/KivShortcutMonitor.h"
#include "shortcuts/KivStringTable.h"
#include "support/EventLoopWait.h"

#include <gtest/gtest.h>
#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QProcess>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>

namespace ostrel::test {

void installRecorderEnvironment() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  QString why;
  std::shared_ptr<platform::KeyboardLayout> layout = platform::createX11KeyboardLayout(&why);
  ASSERT_TRUE(layout) << why.toStdString();
  KivShortcut::setKeyboardLayout(layout);
  std::shared_ptr<platform::HotKeyService> hotKeys = platform::createX11HotKeyService(&why);
  ASSERT_TRUE(hotKeys) << why.toStdString();
  KivShortcutMonitor::setSystemHotKeyService(hotKeys);
  KivStringTable::setProcessTable(KivStringTable::shipped(KivStringTable::Language::English));
}

BeepCounter::BeepCounter() : count_(std::make_shared<int>(0)) {
  KivShortcutView::setBeeper([count = count_] { ++*count; });
}

BeepCounter::~BeepCounter() {
  KivShortcutView::setBeeper(nullptr);
}

RecorderWindow::RecorderWindow() {
  setWindowTitle(QStringLiteral("Recorders"));
  auto* layout = new QVBoxLayout(this);
  first = new KivShortcutView(this);
  second = new KivShortcutView(this);
  field = new QLineEdit(this);
  layout->addWidget(first);
  layout->addWidget(second);
  layout->addWidget(field);
  field->installEventFilter(this);
  resize(260, sizeHint().height());
}

RecorderWindow::~RecorderWindow() {
  field->removeEventFilter(this);
}

bool RecorderWindow::showActive() {
  show();
  activateWindow();
  if (!QTest::qWaitForWindowActive(this, 10000)) return false;
  field->setFocus();
  return runEventLoopUntil([this] { return field->hasFocus(); }, 5000);
}

bool RecorderWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == field && event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    keysReachingField.append({key->key(), key->modifiers()});
  }
  return QWidget::eventFilter(watched, event);
}

AlertAnswerer::AlertAnswerer() : seen_(std::make_shared<AlertSeen>()), timerOwner_(std::make_unique<QObject>()) {
  auto* timer = new QTimer(timerOwner_.get());
  timer->setInterval(50);
  QObject::connect(timer, &QTimer::timeout, timer, [timer, seen = seen_] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || !box->isVisible()) return;
    seen->shown = true;
    seen->text = box->text();
    seen->informativeText = box->informativeText();
    seen->icon = box->icon();
    for (QAbstractButton* button : box->buttons()) seen->buttons.append(button->text());
    timer->stop();
    if (!box->buttons().isEmpty()) box->buttons().front()->click();
  });
  timer->start();
}

AlertAnswerer::~AlertAnswerer() = default;

namespace {
QWidget* keyTarget() {
  if (QWidget* focus = QApplication::focusWidget()) return focus;
  return QApplication::activeWindow();
}
}  // namespace

void typeKey(Qt::Key key, Qt::KeyboardModifiers modifiers) {
  QTest::keyClick(keyTarget(), key, modifiers);
}
// QTest's press and release also press or release the modifiers named; a person
// presses one key at a time.
void pressKey(Qt::Key key, Qt::KeyboardModifiers modifiers) {
  QKeyEvent press(QEvent::KeyPress, key, modifiers);
  QApplication::sendEvent(keyTarget(), &press);
}

void releaseKey(Qt::Key key, Qt::KeyboardModifiers modifiers) {
  QKeyEvent release(QEvent::KeyRelease, key, modifiers);
  QApplication::sendEvent(keyTarget(), &release);
}

bool xdotool(const QStringList& arguments) {
  QProcess process;
  process.setProcessChannelMode(QProcess::ForwardedChannels);
  process.start(QStringLiteral("xdotool"), arguments);
  if (!process.waitForStarted(10000)) return false;
  // Keep Qt reading the X connection while xdotool runs; generous on a busy machine.
  const bool finished = runEventLoopUntil([&process] { return process.state() == QProcess::NotRunning; }, 30000);
  if (!finished) {
    process.kill();
    process.waitForFinished();
    return false;
  }
  runEventLoopFor(150);
  return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

void clickAt(QWidget* widget, const QPoint& point) {
  QTest::mouseClick(widget, Qt::LeftButton, Qt::NoModifier, point);
}

bool movePointerTo(QWidget* widget, const QPoint& point) {
  const QPoint global = widget->mapToGlobal(point);
  return xdotool({QStringLiteral("mousemove"), QString::number(global.x()), QString::number(global.y())});
}

QPoint centerOfShortcutArea(const KivShortcutView& view) {
  QRect shortcutRect;
  view.getShortcutRect(&shortcutRect, nullptr);
  return shortcutRect.center();
}

QPoint centerOfHintArea(const KivShortcutView& view) {
  QRect hintRect;
  view.getShortcutRect(nullptr, &hintRect);
  return hintRect.center();
}

void saveScreenshot(QWidget* widget, const QString& name) {
  const QString buildDir = qEnvironmentVariable("OSTREL_BUILD_DIR");
  if (buildDir.isEmpty()) return;
  const QString dir = buildDir + QStringLiteral("/screenshots");
  QDir().mkpath(dir);
  EXPECT_TRUE(widget->grab().save(dir + QLatin1Char('/') + name + QStringLiteral(".png")));
}

}  // namespace ostrel::test
