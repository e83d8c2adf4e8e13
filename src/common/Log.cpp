#include "Log.h"

#include <QDateTime>
#include <QCoreApplication>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <string>
#include <unistd.h>

namespace ostrel {
namespace {

std::mutex& registryMutex() {
  static std::mutex m;
  return m;
}
std::atomic<int> discardDepth{0};

std::vector<LogCapture*>& captures() {
  static std::vector<LogCapture*> c;
  return c;
}

enum class Length { None, Char, Short, Long, LongLong, Size, Max, Ptrdiff, LongDouble };

// Narrow an integer the way a C vararg of the given length would be read.
std::int64_t narrowSigned(std::int64_t v, Length len) {
  switch (len) {
    case Length::Char: return static_cast<signed char>(v);
    case Length::Short: return static_cast<short>(v);
    case Length::None: return static_cast<int>(v);
    default: return v;
  }
}
std::uint64_t narrowUnsigned(std::uint64_t v, Length len) {
  switch (len) {
    case Length::Char: return static_cast<unsigned char>(v);
    case Length::Short: return static_cast<unsigned short>(v);
    case Length::None: return static_cast<unsigned int>(v);
    default: return v;
  }
}

QString formatOne(const std::string& flagsWidthPrecision, char conv, Length len, const LogArg* arg) {
  char buf[512];
  const std::string base = "%" + flagsWidthPrecision;
  auto asSigned = [&]() -> std::int64_t {
    if (!arg) return 0;
    switch (arg->kind) {
      case LogArg::Kind::Signed: return arg->i;
      case LogArg::Kind::Unsigned: return static_cast<std::int64_t>(arg->u);
      case LogArg::Kind::Floating: return static_cast<std::int64_t>(arg->d);
      default: return 0;
    }
  };
  auto asUnsigned = [&]() -> std::uint64_t {
    if (!arg) return 0;
    switch (arg->kind) {
      case LogArg::Kind::Signed: return static_cast<std::uint64_t>(arg->i);
      case LogArg::Kind::Unsigned: return arg->u;
      case LogArg::Kind::Floating: return static_cast<std::uint64_t>(arg->d);
      default: return 0;
    }
  };
  switch (conv) {
    case 'd':
    case 'i': {
      const std::string conversion = base + "lld";
      std::snprintf(buf, sizeof buf, conversion.c_str(), static_cast<long long>(narrowSigned(asSigned(), len)));
      return QString::fromUtf8(buf);
    }
    case 'u':
    case 'x':
    case 'X':
    case 'o': {
      const std::string conversion = base + "ll" + conv;
      std::snprintf(buf, sizeof buf, conversion.c_str(), static_cast<unsigned long long>(narrowUnsigned(asUnsigned(), len)));
      return QString::fromUtf8(buf);
    }
    case 'c': {
      const std::string conversion = base + "c";
      std::snprintf(buf, sizeof buf, conversion.c_str(), static_cast<int>(asSigned()));
      return QString::fromUtf8(buf);
    }
    case 'f':
    case 'F':
    case 'e':
    case 'E':
    case 'g':
    case 'G':
    case 'a':
    case 'A': {
      double v = 0.0;
      if (arg) {
        if (arg->kind == LogArg::Kind::Floating) v = arg->d;
        else if (arg->kind == LogArg::Kind::Signed) v = static_cast<double>(arg->i);
        else if (arg->kind == LogArg::Kind::Unsigned) v = static_cast<double>(arg->u);
      }
      const std::string conversion = base + conv;
      std::snprintf(buf, sizeof buf, conversion.c_str(), v);
      return QString::fromUtf8(buf);
    }
    case 's': {
      const QByteArray text = arg ? arg->text.toUtf8() : QByteArray("(null)");
      const std::string conversion = base + "s";
      const int n = std::snprintf(nullptr, 0, conversion.c_str(), text.constData());
      std::string out(static_cast<size_t>(std::max(n, 0)) + 1, '\0');
      std::snprintf(out.data(), out.size(), conversion.c_str(), text.constData());
      out.resize(static_cast<size_t>(std::max(n, 0)));
      return QString::fromUtf8(out.c_str());
    }
    case 'p': {
      std::snprintf(buf, sizeof buf, "0x%llx", static_cast<unsigned long long>(asUnsigned()));
      return QString::fromUtf8(buf);
    }
    case '@':
      return arg ? arg->text : QStringLiteral("(null)");
    default:
      return QString();
  }
}

}  // namespace

QString formatLog(const char* format, const std::vector<LogArg>& args) {
  QString out;
  if (!format) return out;
  size_t next = 0;
  const char* p = format;
  std::string literal;
  auto flushLiteral = [&]() {
    if (!literal.empty()) {
      out += QString::fromUtf8(literal.data(), static_cast<qsizetype>(literal.size()));
      literal.clear();
    }
  };
  while (*p) {
    if (*p != '%') {
      literal.push_back(*p++);
      continue;
    }
    const char* start = p++;
    if (*p == '%') {
      literal.push_back('%');
      ++p;
      continue;
    }
    std::string fwp;
    while (*p && std::string_view("-+ #0'").find(*p) != std::string_view::npos) fwp.push_back(*p++);
    while (*p >= '0' && *p <= '9') fwp.push_back(*p++);
    if (*p == '.') {
      fwp.push_back(*p++);
      while (*p >= '0' && *p <= '9') fwp.push_back(*p++);
    }
    Length len = Length::None;
    if (*p == 'h') {
      ++p;
      len = Length::Short;
      if (*p == 'h') { ++p; len = Length::Char; }
    } else if (*p == 'l') {
      ++p;
      len = Length::Long;
      if (*p == 'l') { ++p; len = Length::LongLong; }
    } else if (*p == 'q') { ++p; len = Length::LongLong; }
    else if (*p == 'z') { ++p; len = Length::Size; }
    else if (*p == 'j') { ++p; len = Length::Max; }
    else if (*p == 't') { ++p; len = Length::Ptrdiff; }
    else if (*p == 'L') { ++p; len = Length::LongDouble; }
    const char conv = *p;
    if (!conv || std::string_view("diuxXocfFeEgGaAsp@").find(conv) == std::string_view::npos) {
      // Not a conversion we know: print it as written.
      literal.append(start, static_cast<size_t>(p - start));
      continue;
    }
    ++p;
    flushLiteral();
    const LogArg* arg = next < args.size() ? &args[next] : nullptr;
    ++next;
    out += formatOne(fwp, conv, len, arg);
  }
  flushLiteral();
  return out;
}

bool logDiscarding() { return discardDepth.load(std::memory_order_relaxed) > 0; }
LogDiscard::LogDiscard() { discardDepth.fetch_add(1); }
LogDiscard::~LogDiscard() { discardDepth.fetch_sub(1); }

LogCapture::LogCapture(bool silence) : silence_(silence) {
  std::lock_guard lock(registryMutex());
  captures().push_back(this);
}

LogCapture::~LogCapture() {
  std::lock_guard lock(registryMutex());
  auto& c = captures();
  c.erase(std::remove(c.begin(), c.end(), this), c.end());
}

QStringList LogCapture::lines() const {
  std::lock_guard lock(mutex_);
  return lines_;
}
QStringList LogCapture::noticeLines() const {
  std::lock_guard lock(mutex_);
  return notices_;
}
bool LogCapture::contains(const QString& line) const { return count(line) > 0; }
int LogCapture::count(const QString& line) const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(lines_.count(line) + notices_.count(line));
}
void LogCapture::clear() {
  std::lock_guard lock(mutex_);
  lines_.clear();
  notices_.clear();
}
void LogCapture::record(LogStream stream, const QString& text) {
  std::lock_guard lock(mutex_);
  (stream == LogStream::Diagnostic ? lines_ : notices_) << text;
}

void writeLogLine(LogStream stream, const QString& text) {
  bool silenced = false;
  {
    std::lock_guard lock(registryMutex());
    for (LogCapture* c : captures()) {
      c->record(stream, text);
      silenced = silenced || c->silence_;
    }
  }
  if (silenced) return;
  QByteArray bytes;
  if (stream == LogStream::Diagnostic) {
    // Same shape as the system log line people paste into bug reports:
    // date, time, program[pid] message.
    // The program name is asked each time: a line logged before the application
    // object exists must not fix the name for the rest of the run.
    const QByteArray program =
        QCoreApplication::instance() ? QCoreApplication::applicationName().toUtf8() : QByteArray("ostrel");
    QByteArray stamp;
    {
      // glibc's time-zone lookup behind local time is not safe to enter from two
      // threads at once.
      static std::mutex clockMutex;
      std::lock_guard lock(clockMutex);
      stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")).toUtf8();
    }
    bytes = stamp + ' ' + program + '[' + QByteArray::number(::getpid()) + "] " + text.toUtf8();
    if (!bytes.endsWith('\n')) bytes += '\n';
  } else {
    bytes = text.toUtf8();
  }
  // One write per event keeps lines from different threads whole.
  const int fd = stream == LogStream::Diagnostic ? STDERR_FILENO : STDOUT_FILENO;
  const char* data = bytes.constData();
  size_t left = static_cast<size_t>(bytes.size());
  while (left > 0) {
    const ssize_t n = ::write(fd, data, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return;
    }
    data += n;
    left -= static_cast<size_t>(n);
  }
}

}  // namespace ostrel
