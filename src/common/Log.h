#pragma once
// Ostrel's diagnostic log: one line per event on standard error, printf-style.
//
//   ostrel::log("startPin availablePorts.count = %lu", ports.size());
//   ostrel::log("serialPortWasRemovedFromSystem  %@", port);
//
// Conversions follow printf (flags, width, precision, length modifiers), and
// "%@" prints the argument's description (see Describe.h); an empty reference
// prints "(null)". Integer arguments are narrowed the way a C vararg call would
// narrow them for the given length modifier, so "%X" of -1 prints FFFFFFFF.
//
// ostrel::notice() is the one kind of output that goes to standard output.
//
// Tests capture lines with ostrel::LogCapture (thread-safe).

#include "Describe.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <mutex>
#include <type_traits>
#include <vector>

namespace ostrel {

struct LogArg {
  enum class Kind { Signed, Unsigned, Floating, Text, Pointer };
  Kind kind = Kind::Text;
  std::int64_t i = 0;
  std::uint64_t u = 0;
  double d = 0.0;
  QString text;  // for Text: the string (for %s) or the description (for %@)
  bool isNull = false;
};

template <typename T>
LogArg toLogArg(const T& v) {
  LogArg a;
  using D = std::decay_t<T>;
  if constexpr (std::is_same_v<D, bool>) {
    a.kind = LogArg::Kind::Signed;
    a.i = v ? 1 : 0;
  } else if constexpr (std::is_integral_v<D> && std::is_signed_v<D>) {
    a.kind = LogArg::Kind::Signed;
    a.i = static_cast<std::int64_t>(v);
  } else if constexpr (std::is_integral_v<D> || std::is_enum_v<D>) {
    a.kind = LogArg::Kind::Unsigned;
    a.u = static_cast<std::uint64_t>(v);
  } else if constexpr (std::is_floating_point_v<D>) {
    a.kind = LogArg::Kind::Floating;
    a.d = static_cast<double>(v);
  } else if constexpr (std::is_array_v<T>) {
    // A char array (a literal, a buffer) is text and never null; comparing it
    // with null is what newer compilers rightly warn about.
    static_assert(std::is_same_v<std::remove_cv_t<std::remove_extent_t<T>>, char>, "only char arrays are text");
    a.kind = LogArg::Kind::Text;
    a.text = describe(static_cast<const char*>(v));
  } else if constexpr (std::is_same_v<D, const char*> || std::is_same_v<D, char*>) {
    a.kind = LogArg::Kind::Text;
    a.isNull = (v == nullptr);
    a.text = describe(static_cast<const char*>(v));
  } else if constexpr (std::is_same_v<D, std::nullptr_t>) {
    a.kind = LogArg::Kind::Text;
    a.isNull = true;
    a.text = QStringLiteral("(null)");
  } else {
    a.kind = LogArg::Kind::Text;
    a.text = describe(v);
  }
  return a;
}

// Formats like printf with the "%@" extension. Exposed for tests and for notice().
QString formatLog(const char* format, const std::vector<LogArg>& args);

enum class LogStream { Diagnostic, StandardOutput };

// Writes one formatted event to its stream (or to an active LogCapture).
void writeLogLine(LogStream stream, const QString& text);

// True while a LogDiscard is alive: log() then returns before formatting.
bool logDiscarding();

template <typename... Args>
void log(const char* format, const Args&... args) {
  if (logDiscarding()) return;
  writeLogLine(LogStream::Diagnostic, formatLog(format, {toLogArg(args)...}));
}

// The standard-output notice ("Serial port %s was opened\n"): written as given,
// no newline added.
template <typename... Args>
void notice(const char* format, const Args&... args) {
  writeLogLine(LogStream::StandardOutput, formatLog(format, {toLogArg(args)...}));
}

// While alive, every log line is also recorded here (and still printed unless
// `silence` is set). Nested captures all receive the lines.
class LogCapture {
 public:
  explicit LogCapture(bool silence = true);
  ~LogCapture();
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  QStringList lines() const;              // diagnostic lines, in order
  QStringList noticeLines() const;        // standard-output notices, in order
  bool contains(const QString& line) const;
  int count(const QString& line) const;
  void clear();

 private:
  friend void writeLogLine(LogStream, const QString&);
  void record(LogStream stream, const QString& text);
  mutable std::mutex mutex_;
  QStringList lines_;
  QStringList notices_;
  bool silence_;
};

// Benchmarks measure the program's own work, not the terminal's: while alive,
// diagnostic lines are neither formatted nor written. Notices still go out.
class LogDiscard {
 public:
  LogDiscard();
  ~LogDiscard();
  LogDiscard(const LogDiscard&) = delete;
  LogDiscard& operator=(const LogDiscard&) = delete;
};

}  // namespace ostrel
