#include "ostrel-sim/Simulator.h"

#include "ostrel-sim/ConsoleCommand.h"
#include "ostrel-sim/ConsoleOutput.h"
#include "platform/posix/VirtualPortDirectory.h"

#include <fcntl.h>
#include <unistd.h>
#include <QCoreApplication>
#include <cerrno>
#include <cstring>

namespace ostrel::sim {
namespace {

// Far more than any reader leaves unread in practice; beyond it the line is
// clearly not being read and queueing more would only grow without bound.
constexpr std::size_t kMaxQueuedBytes = 64 * 1024;
constexpr qsizetype kMaxConsoleLine = 4096;

std::uint32_t seedFrom(const SimOptions& options) {
  if (options.seed) return *options.seed;
  std::random_device device;
  return device();
}

QString frameText(const QByteArray& frame) {
  return QString::fromLatin1(frame);
}

}  // namespace

Simulator::Simulator(SimOptions options, QObject* parent)
    : QObject(parent),
      options_(std::move(options)),
      model_(MonitorModel::Config{options_.mcuVersion, options_.reportPrefix, options_.notify}),
      random_(seedFrom(options_)) {
  pumpTimer_.setSingleShot(true);
  pumpTimer_.setTimerType(Qt::PreciseTimer);
  connect(&pumpTimer_, &QTimer::timeout, this, [this] { pump(); });
  clock_.start();
}

Simulator::~Simulator() {
  unplug();
  // Not inside any signal here, so these can go at once, before the
  // descriptors they watch are closed with the members.
  delete stdinRead_;
  delete signalRead_;
}

bool Simulator::start(QString* error) {
  signals_ = SignalPipe::install(error);
  if (!signals_) return false;
  signalRead_ = watch(signals_->readFd(), QSocketNotifier::Read, &Simulator::onSignal);

  const std::optional<QString> directory = platform::ensureVirtualPortDirectory(error);
  if (!directory) return false;
  directory_ = *directory;
  if (!plugIn(error)) return false;

  if (::fcntl(STDIN_FILENO, F_GETFD) != -1) {
    stdinRead_ = watch(STDIN_FILENO, QSocketNotifier::Read, &Simulator::onStdinReadable);
  }
  printDiagnostic(QStringLiteral("monitor with MCU version %1 ready on %2 -> %3 (type help for commands)")
                      .arg(options_.mcuVersion)
                      .arg(link_->path(), pty_->slavePath()));
  return true;
}

bool Simulator::plugIn(QString* error) {
  std::optional<PseudoTerminal> pty = PseudoTerminal::open(error);
  if (!pty) return false;
  QString watchError;
  std::optional<PortOpenWatch> openWatch = PortOpenWatch::watch(pty->slavePath(), &watchError);
  if (!openWatch) {
    printDiagnostic(QStringLiteral("%1; sending whether or not the port is open").arg(watchError));
  }
  QString note;
  std::optional<PortLink> link = PortLink::publish(directory_, options_.name, pty->slavePath(), error, &note);
  if (!link) return false;
  if (!note.isEmpty()) printDiagnostic(note);

  pty_ = std::move(pty);
  link_ = std::move(link);
  openWatch_ = std::move(openWatch);
  users_ = 0;
  if (openWatch_) openWatchRead_ = watch(openWatch_->fd(), QSocketNotifier::Read, &Simulator::updateUsers);
  masterRead_ = watch(pty_->masterFd(), QSocketNotifier::Read, &Simulator::onMasterReadable);
  masterWrite_ = watch(pty_->masterFd(), QSocketNotifier::Write, &Simulator::onMasterWritable);
  masterWrite_->setEnabled(false);
  return true;
}

QSocketNotifier* Simulator::watch(int fd, QSocketNotifier::Type type, void (Simulator::*handler)()) {
  auto* notifier = new QSocketNotifier(fd, type, this);
  connect(notifier, &QSocketNotifier::activated, this, handler);
  return notifier;
}

void Simulator::retire(QSocketNotifier*& notifier) {
  if (!notifier) return;
  notifier->setEnabled(false);
  notifier->deleteLater();
  notifier = nullptr;
}

void Simulator::onMasterWritable() {
  if (masterWrite_) masterWrite_->setEnabled(false);
  pump();
}

void Simulator::unplug() {
  // Notifiers go before the descriptor they watch.
  retire(masterRead_);
  retire(masterWrite_);
  retire(openWatchRead_);
  openWatch_.reset();  // before our own slave descriptor closes
  users_ = 0;
  pumpTimer_.stop();
  if (pty_) pty_->close();
  pty_.reset();
  link_.reset();
  if (!outbox_.empty()) {
    printDiagnostic(QStringLiteral("dropped %1 unsent bytes with the adapter").arg(outbox_.pendingBytes()));
    outbox_.clear();
  }
  if (!assembler_.pending().isEmpty()) {
    printDiagnostic(QStringLiteral("dropped an incomplete frame: %1").arg(visibleBytes(assembler_.pending())));
  }
  assembler_.reset();
}

void Simulator::updateUsers() {
  if (!openWatch_ || !pty_) return;
  const PortOpenWatch::Changes changes = openWatch_->take();
  const int before = users_;
  users_ = std::max(0, users_ + changes.opened - changes.closed);
  if (changes.lostTrack) {
    // Better to send into a closed port than to fall silent on an open one.
    printDiagnostic(QStringLiteral("lost track of opens and closes; assuming the port is open"));
    users_ = std::max(users_, 1);
  }
  if (before == 0 && users_ > 0) printDiagnostic(QStringLiteral("the port was opened"));
  if (users_ == 0 && changes.closed > 0) {
    printDiagnostic(QStringLiteral("the port was closed"));
    pty_->forgetLastUser();
    if (!outbox_.empty()) {
      printDiagnostic(QStringLiteral("dropped %1 unsent bytes: nobody has the port open").arg(outbox_.pendingBytes()));
      outbox_.clear();
    }
  }
}

bool Simulator::portInUse() {
  if (!openWatch_) return true;
  // The open may have happened a moment ago, its event not yet handled.
  updateUsers();
  return users_ > 0;
}

void Simulator::onMasterReadable() {
  if (!pty_) return;
  char buffer[4096];
  const IoResult r = pty_->read(buffer, sizeof buffer);
  switch (r.status) {
    case IoResult::Status::WouldBlock:
      return;
    case IoResult::Status::HungUp:
    case IoResult::Status::Failed:
      printDiagnostic(
          QStringLiteral("the line failed (%1); unplugging").arg(QString::fromLocal8Bit(std::strerror(r.error))));
      unplug();
      return;
    case IoResult::Status::Ok:
      break;
  }
  for (const FrameAssembler::Piece& piece : assembler_.feed(QByteArray(buffer, static_cast<qsizetype>(r.bytes)))) {
    if (piece.kind == FrameAssembler::Piece::Kind::Frame) {
      handleFrame(piece.bytes);
    } else {
      printDiagnostic(QStringLiteral("ignored %1 bytes that are not a frame: %2")
                          .arg(piece.bytes.size())
                          .arg(visibleBytes(piece.bytes)));
    }
  }
}

void Simulator::handleFrame(const QByteArray& frame) {
  printReceivedFrame(frame);
  const MonitorModel::Reaction reaction = model_.receive(frame);
  printDiagnostic(QStringLiteral("received %1: %2").arg(frameText(frame), reaction.note));
  const qint64 notBefore = options_.replyDelayMs > 0 ? startOfWait() + options_.replyDelayMs : now();
  for (const QByteArray& message : reaction.messages) send(message, notBefore, options_.split);
}

void Simulator::send(const QByteArray& message, qint64 notBeforeMs, bool split) {
  if (!pty_) {
    printDiagnostic(QStringLiteral("the adapter is unplugged; not sent: %1 (use replug)").arg(visibleBytes(message)));
    return;
  }
  if (!portInUse()) {
    printDiagnostic(
        QStringLiteral("the port is not open, so this is lost as with a real adapter: %1").arg(visibleBytes(message)));
    return;
  }
  if (outbox_.pendingBytes() + static_cast<std::size_t>(message.size()) > kMaxQueuedBytes) {
    printDiagnostic(QStringLiteral("nobody reads the line and %1 bytes wait already; not sent: %2")
                        .arg(outbox_.pendingBytes())
                        .arg(visibleBytes(message)));
    return;
  }
  printDiagnostic(QStringLiteral("sending %1").arg(visibleBytes(message)));
  outbox_.push(message, notBeforeMs, split, random_);
  pump();
}

void Simulator::pump() {
  while (pty_ && !outbox_.empty()) {
    if (!portInUse()) {
      outbox_.clear();
      return;
    }
    const qint64 t = now();
    const qint64 due = outbox_.dueAt(lastWriteMs_);
    if (due > t) {
      pumpTimer_.start(static_cast<int>(due - t));
      return;
    }
    const QByteArray& piece = outbox_.front();
    const IoResult r = pty_->write(piece.constData(), static_cast<std::size_t>(piece.size()));
    switch (r.status) {
      case IoResult::Status::Ok:
        outbox_.consume(r.bytes);
        lastWriteMs_ = startOfWait();
        break;
      case IoResult::Status::WouldBlock:
        masterWrite_->setEnabled(true);
        return;
      case IoResult::Status::HungUp:
      case IoResult::Status::Failed:
        printDiagnostic(QStringLiteral("cannot write to the line (%1); dropped %2 unsent bytes")
                            .arg(QString::fromLocal8Bit(std::strerror(r.error)))
                            .arg(outbox_.pendingBytes()));
        outbox_.clear();
        return;
    }
  }
}

void Simulator::onStdinReadable() {
  char buffer[4096];
  const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
  if (n < 0 && (errno == EINTR || errno == EAGAIN)) return;
  if (n < 0) {
    printDiagnostic(QStringLiteral("cannot read commands from standard input (%1); still running without them")
                        .arg(QString::fromLocal8Bit(std::strerror(errno))));
    retire(stdinRead_);
    return;
  }
  if (n == 0) {
    retire(stdinRead_);
    if (!stdinBuffer_.isEmpty() && !skippingLongLine_) handleLine(stdinBuffer_);
    stdinBuffer_.clear();
    if (options_.exitOnEof) {
      finish(0);
    } else {
      printDiagnostic(QStringLiteral("standard input ended; still running until SIGINT or SIGTERM"));
    }
    return;
  }
  stdinBuffer_.append(buffer, static_cast<qsizetype>(n));
  qsizetype end;
  while ((end = stdinBuffer_.indexOf('\n')) >= 0) {
    QByteArray line = stdinBuffer_.left(end);
    stdinBuffer_.remove(0, end + 1);
    if (skippingLongLine_) {
      skippingLongLine_ = false;
      continue;
    }
    if (line.endsWith('\r')) line.chop(1);
    handleLine(line);
    if (!stdinRead_) return;  // quit
  }
  if (stdinBuffer_.size() > kMaxConsoleLine) {
    printDiagnostic(QStringLiteral("console line longer than %1 bytes: ignored").arg(kMaxConsoleLine));
    stdinBuffer_.clear();
    skippingLongLine_ = true;
  }
}

void Simulator::handleLine(const QByteArray& line) {
  const ConsoleLine parsed = parseConsoleLine(line);
  if (const auto* problem = std::get_if<ConsoleError>(&parsed)) {
    printDiagnostic(problem->message);
  } else if (const auto* command = std::get_if<ConsoleCommand>(&parsed)) {
    runCommand(*command);
  }
}

void Simulator::runCommand(const ConsoleCommand& command) {
  switch (command.kind) {
    case ConsoleCommand::Kind::InputEvent:
      send(MonitorModel::inputEventFrame(command.event), now(), options_.split);
      return;
    case ConsoleCommand::Kind::Raw:
      send(command.raw, now(), false);
      return;
    case ConsoleCommand::Kind::Set:
      if (const std::optional<QString> refused = model_.set(command.setting, command.value)) {
        printDiagnostic(*refused);
        return;
      }
      send(MonitorModel::noticeFrame(command.setting, command.value), now(), options_.split);
      return;
    case ConsoleCommand::Kind::State:
      printDiagnostic(model_.describeState() +
                      (pty_ ? QStringLiteral("; plugged in at %1 -> %2").arg(link_->path(), pty_->slavePath())
                            : QStringLiteral("; unplugged")));
      return;
    case ConsoleCommand::Kind::Unplug:
      if (!pty_) {
        printDiagnostic(QStringLiteral("already unplugged"));
        return;
      }
      printDiagnostic(QStringLiteral("unplugged %1").arg(link_->path()));
      unplug();
      return;
    case ConsoleCommand::Kind::Replug: {
      if (pty_) {
        printDiagnostic(QStringLiteral("already plugged in at %1").arg(link_->path()));
        return;
      }
      QString error;
      if (!plugIn(&error)) {
        printDiagnostic(QStringLiteral("replug failed: %1").arg(error));
        return;
      }
      printDiagnostic(QStringLiteral("plugged in at %1 -> %2").arg(link_->path(), pty_->slavePath()));
      return;
    }
    case ConsoleCommand::Kind::Help:
      printDiagnostic(consoleHelp());
      return;
    case ConsoleCommand::Kind::Quit:
      finish(0);
      return;
  }
}

void Simulator::onSignal() {
  while (const std::optional<int> signo = signals_->take()) {
    printDiagnostic(
        QStringLiteral("stopping on signal %1 (%2)").arg(*signo).arg(QString::fromLocal8Bit(::strsignal(*signo))));
    finish(0);
  }
}

void Simulator::finish(int exitCode) {
  retire(stdinRead_);
  unplug();
  QCoreApplication::exit(exitCode);
}

}  // namespace ostrel::sim
