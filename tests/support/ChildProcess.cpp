#include "support/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <cerrno>
#include <csignal>
#include <cstring>

extern char** environ;

namespace ostrel::test {

struct ChildProcess::Capture {
  mutable std::mutex mutex;
  std::condition_variable changed;
  std::vector<StampedLine> output;
  std::vector<StampedLine> error;
  int streamsEnded = 0;
  int stopRead = -1;   // read end of the readers' stop pipe
  int stopWrite = -1;  // written once at destruction

  std::vector<StampedLine>& of(ChildStream s) { return s == ChildStream::Output ? output : error; }
  const std::vector<StampedLine>& of(ChildStream s) const { return s == ChildStream::Output ? output : error; }
};

namespace {

class Pipe {
 public:
  Pipe() {
    if (::pipe2(fds_, O_CLOEXEC) != 0) fds_[0] = fds_[1] = -1;
  }
  ~Pipe() {
    closeRead();
    closeWrite();
  }
  Pipe(const Pipe&) = delete;
  Pipe& operator=(const Pipe&) = delete;
  bool valid() const { return fds_[0] >= 0; }
  int read() const { return fds_[0]; }
  int write() const { return fds_[1]; }
  int releaseRead() { return std::exchange(fds_[0], -1); }
  int releaseWrite() { return std::exchange(fds_[1], -1); }
  void closeRead() {
    if (fds_[0] >= 0) ::close(std::exchange(fds_[0], -1));
  }
  void closeWrite() {
    if (fds_[1] >= 0) ::close(std::exchange(fds_[1], -1));
  }

 private:
  int fds_[2] = {-1, -1};
};

}  // namespace

// One reader per stream: stamps each line when it is read, ends at the end of
// the stream or when the owner asks (a grandchild may keep the pipe open).
void ChildProcess::readLines(std::shared_ptr<Capture> capture, int fd, ChildStream stream) {
  QByteArray pending;
  char buffer[4096];
  for (;;) {
    pollfd fds[2] = {{fd, POLLIN, 0}, {capture->stopRead, POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (fds[1].revents) break;
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    const auto now = MonotonicClock::now();
    pending.append(buffer, n);
    std::lock_guard lock(capture->mutex);
    qsizetype end;
    while ((end = pending.indexOf('\n')) >= 0) {
      capture->of(stream).push_back({pending.left(end), now});
      pending.remove(0, end + 1);
    }
    capture->changed.notify_all();
  }
  std::lock_guard lock(capture->mutex);
  if (!pending.isEmpty()) capture->of(stream).push_back({pending, MonotonicClock::now()});
  ++capture->streamsEnded;
  capture->changed.notify_all();
  ::close(fd);
}

ChildProcess::ChildProcess() : capture_(std::make_shared<Capture>()) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) == 0) {
    capture_->stopRead = fds[0];
    capture_->stopWrite = fds[1];
  }
}

ChildProcess::~ChildProcess() {
  if (pid_ > 0 && !exit_) {
    stop(std::chrono::seconds(3));
    // Anything the child started and left behind in its group goes too.
    ::kill(-pid_, SIGKILL);
  }
  closeInput();
  if (capture_->stopWrite >= 0) {
    const char stop = 1;
    [[maybe_unused]] const ssize_t ignored = ::write(capture_->stopWrite, &stop, 1);
  }
  for (std::thread& reader : readers_) reader.join();
  if (capture_->stopRead >= 0) ::close(capture_->stopRead);
  if (capture_->stopWrite >= 0) ::close(capture_->stopWrite);
}

void ChildProcess::setEnvironment(const QString& name, std::optional<QString> value) {
  environment_[name] = std::move(value);
}

bool ChildProcess::start(const QString& program, const QStringList& arguments, QString* error) {
  if (pid_ > 0) {
    if (error) *error = QStringLiteral("already started");
    return false;
  }
  Pipe in, out, err;
  if (!in.valid() || !out.valid() || !err.valid()) {
    if (error) *error = QStringLiteral("pipe: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
    return false;
  }
  std::vector<QByteArray> argStorage;
  argStorage.push_back(QFile::encodeName(program));
  for (const QString& a : arguments) argStorage.push_back(a.toLocal8Bit());
  std::vector<char*> argv;
  for (QByteArray& a : argStorage) argv.push_back(a.data());
  argv.push_back(nullptr);

  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  for (const auto& [name, value] : environment_) {
    if (value) {
      env.insert(name, *value);
    } else {
      env.remove(name);
    }
  }
  std::vector<QByteArray> envStorage;
  for (const QString& entry : env.toStringList()) envStorage.push_back(entry.toLocal8Bit());
  std::vector<char*> envp;
  for (QByteArray& e : envStorage) envp.push_back(e.data());
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in.read(), STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, out.write(), STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, err.write(), STDERR_FILENO);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  // A group of its own, so that whatever the child starts can be cleaned up with it.
  posix_spawnattr_setpgroup(&attributes, 0);
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGTERM);
  sigaddset(&defaults, SIGINT);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
  pid_t pid = -1;
  const int rc = ::posix_spawn(&pid, argStorage.front().constData(), &actions, &attributes, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (rc != 0) {
    if (error) *error = QStringLiteral("cannot start %1: %2").arg(program, QString::fromLocal8Bit(std::strerror(rc)));
    return false;
  }
  pid_ = pid;
  input_ = in.releaseWrite();
  readers_.emplace_back(readLines, capture_, out.releaseRead(), ChildStream::Output);
  readers_.emplace_back(readLines, capture_, err.releaseRead(), ChildStream::Error);
  return true;
}

void ChildProcess::reapIfExited(bool block) {
  if (pid_ <= 0 || exit_) return;
  int status = 0;
  pid_t r;
  do {
    r = ::waitpid(pid_, &status, block ? 0 : WNOHANG);
  } while (r < 0 && errno == EINTR);
  if (r != pid_) return;
  ChildExit e;
  if (WIFEXITED(status)) {
    e.exited = true;
    e.status = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    e.signal = WTERMSIG(status);
  }
  exit_ = e;
}

bool ChildProcess::isRunning() {
  reapIfExited(false);
  return pid_ > 0 && !exit_;
}

bool ChildProcess::writeInput(const QByteArray& bytes) {
  if (input_ < 0) return false;
  qsizetype done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(input_, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += n;
  }
  return true;
}

void ChildProcess::closeInput() {
  if (input_ >= 0) ::close(std::exchange(input_, -1));
}

std::vector<StampedLine> ChildProcess::lines(ChildStream stream) const {
  std::lock_guard lock(capture_->mutex);
  return capture_->of(stream);
}

std::size_t ChildProcess::lineCount(ChildStream stream) const {
  std::lock_guard lock(capture_->mutex);
  return capture_->of(stream).size();
}

std::optional<std::size_t> ChildProcess::waitForLine(ChildStream stream,
                                                     const std::function<bool(const QByteArray&)>& match,
                                                     std::chrono::milliseconds timeout, std::size_t from) {
  const auto deadline = MonotonicClock::now() + timeout;
  std::unique_lock lock(capture_->mutex);
  std::size_t next = from;
  for (;;) {
    const auto& all = capture_->of(stream);
    for (; next < all.size(); ++next) {
      if (match(all[next].text)) return next;
    }
    if (capture_->changed.wait_until(lock, deadline) == std::cv_status::timeout) {
      const auto& again = capture_->of(stream);
      for (; next < again.size(); ++next) {
        if (match(again[next].text)) return next;
      }
      return std::nullopt;
    }
  }
}

bool ChildProcess::waitForLineCount(ChildStream stream, std::size_t count, std::chrono::milliseconds timeout) {
  std::unique_lock lock(capture_->mutex);
  return capture_->changed.wait_for(lock, timeout, [&] { return capture_->of(stream).size() >= count; });
}

bool ChildProcess::waitForEndOfStreams(std::chrono::milliseconds timeout) {
  std::unique_lock lock(capture_->mutex);
  return capture_->changed.wait_for(lock, timeout, [&] { return capture_->streamsEnded >= 2; });
}

int ChildProcess::countLines(ChildStream stream, const QByteArray& text) const {
  std::lock_guard lock(capture_->mutex);
  int n = 0;
  for (const StampedLine& line : capture_->of(stream)) n += line.text == text ? 1 : 0;
  return n;
}

bool ChildProcess::signal(int signalNumber) {
  if (!isRunning()) return false;
  return ::kill(pid_, signalNumber) == 0;
}

std::optional<ChildExit> ChildProcess::waitForExit(std::chrono::milliseconds timeout) {
  const auto deadline = MonotonicClock::now() + timeout;
  for (;;) {
    reapIfExited(false);
    if (exit_ || pid_ <= 0) return exit_;
    if (MonotonicClock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

ChildExit ChildProcess::stop(std::chrono::milliseconds grace) {
  if (!isRunning()) return exit_.value_or(ChildExit{});
  ::kill(pid_, SIGTERM);
  if (auto e = waitForExit(grace)) return *e;
  ::kill(pid_, SIGKILL);
  reapIfExited(true);
  return exit_.value_or(ChildExit{});
}

QString buildProgram(const QString& name) {
  QString dir = qEnvironmentVariable("OSTREL_BIN_DIR");
  // Tests and benchmarks live beside the programs in the build's bin directory.
  if (dir.isEmpty() && QCoreApplication::instance()) dir = QCoreApplication::applicationDirPath();
  return (dir.isEmpty() ? QStringLiteral(".") : dir) + QLatin1Char('/') + name;
}

bool holdOpen(ChildProcess& child, const QString& path, QString* error) {
  const QStringList arguments{QStringLiteral("-c"), QStringLiteral("exec 3<>\"$0\" && exec sleep 600"), path};
  if (!child.start(QStringLiteral("/bin/sh"), arguments, error)) return false;
  // The shell becomes sleep only once it has the device open.
  QFile comm(QStringLiteral("/proc/%1/comm").arg(child.pid()));
  const auto deadline = MonotonicClock::now() + std::chrono::seconds(20);
  while (MonotonicClock::now() < deadline && child.isRunning()) {
    if (comm.open(QIODevice::ReadOnly) && comm.readAll().trimmed() == "sleep") return true;
    comm.close();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (error) *error = QStringLiteral("the holder could not open %1").arg(path);
  return false;
}

}  // namespace ostrel::test
