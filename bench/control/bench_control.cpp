// How long `ostrelctl refresh` takes, from the moment its process is started
// to the moment the monitor reads the refresh frame.
//
//   with Ostrel:    Ostrel runs and holds the monitor; ostrelctl asks it over
//                   the session bus (target: median <= 30 ms over 50 runs)
//   without Ostrel: ostrelctl finds the monitor itself with Ostrel's discovery
//                   and sends the frame (target: <= 0.8 s, discovery included)
//
// Everything runs in a private world: a session bus of its own (dbus-daemon),
// fresh XDG directories, Ostrel on the offscreen platform, and ostrel-sim as
// the monitor, whose standard output (one line per frame received) is read by
// a thread that stamps each line when it arrives. Programs are taken from the
// directory this benchmark lives in (build/bin).
//
// Usage: bench_control [runs-with-ostrel [runs-without-ostrel]]   (50 and 20)

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

const char* const kRefreshFrame = "5FF50301000000000000A0FA";
const char* const kLastReadBackFrame = "5FF50A08000000000000A0FA";

struct Line {
  std::string text;
  Clock::time_point at;
};

// A child process with its standard output read line by line, stamped.
class Child {
 public:
  Child(const std::vector<std::string>& argv, bool captureOutput) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    int pipeFds[2] = {-1, -1};
    if (captureOutput) {
      if (::pipe2(pipeFds, O_CLOEXEC) != 0) std::perror("pipe2");
      posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    } else {
      posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    }
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    started_ = Clock::now();
    const int rc = posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
      std::fprintf(stderr, "cannot start %s: %s\n", args[0], std::strerror(rc));
      pid_ = -1;
    }
    if (captureOutput) {
      ::close(pipeFds[1]);
      out_ = pipeFds[0];
      reader_ = std::thread([this] { readLines(); });
    }
  }
  ~Child() {
    stop();
    if (reader_.joinable()) reader_.join();
    if (out_ >= 0) ::close(out_);
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  bool running() const { return pid_ > 0; }
  Clock::time_point started() const { return started_; }

  std::size_t lineCount() {
    std::lock_guard lock(mutex_);
    return lines_.size();
  }
  std::string firstLine(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, timeout, [this] { return !lines_.empty() || ended_; });
    return lines_.empty() ? std::string() : lines_.front().text;
  }
  // The first line equal to `text` at index `from` or later.
  std::optional<Line> waitFor(const std::string& text, std::size_t from, std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    std::optional<Line> found;
    changed_.wait_for(lock, timeout, [&] {
      for (std::size_t i = from; i < lines_.size(); ++i) {
        if (lines_[i].text == text) {
          found = lines_[i];
          return true;
        }
      }
      return ended_;
    });
    return found;
  }

  // The exit status, or -1 when it had to be killed or could not be waited for.
  int wait(std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (pid_ > 0) {
      int status = 0;
      const pid_t r = ::waitpid(pid_, &status, WNOHANG);
      if (r == pid_) {
        pid_ = -1;
        ended_at_ = Clock::now();
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
      if (Clock::now() > deadline) break;
      std::this_thread::sleep_for(1ms);
    }
    stop();
    return -1;
  }
  Clock::time_point endedAt() const { return ended_at_; }

  void stop() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    for (int i = 0; i < 300; ++i) {
      if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {
        pid_ = -1;
        return;
      }
      std::this_thread::sleep_for(10ms);
    }
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  void readLines() {
    std::string pending;
    char buffer[4096];
    for (;;) {
      const ssize_t n = ::read(out_, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      const Clock::time_point at = Clock::now();
      pending.append(buffer, static_cast<std::size_t>(n));
      std::lock_guard lock(mutex_);
      for (std::size_t end; (end = pending.find('\n')) != std::string::npos;) {
        lines_.push_back({pending.substr(0, end), at});
        pending.erase(0, end + 1);
      }
      changed_.notify_all();
    }
    std::lock_guard lock(mutex_);
    ended_ = true;
    changed_.notify_all();
  }

  pid_t pid_ = -1;
  int out_ = -1;
  Clock::time_point started_{};
  Clock::time_point ended_at_{};
  std::thread reader_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Line> lines_;
  bool ended_ = false;
};

struct Stats {
  double median = 0, p90 = 0, min = 0, max = 0;
};

Stats stats(std::vector<double> v) {
  Stats s;
  if (v.empty()) return s;
  std::sort(v.begin(), v.end());
  s.median = v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
  s.p90 = v[std::min(v.size() - 1, static_cast<std::size_t>(v.size() * 0.9))];
  s.min = v.front();
  s.max = v.back();
  return s;
}

double ms(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

struct Measured {
  std::vector<double> toFrame;  // process start -> frame read by the monitor
  std::vector<double> toExit;   // process start -> process ended
  int failures = 0;
};

Measured refreshRuns(const std::string& ostrelctl, Child& sim, int runs) {
  Measured m;
  for (int i = 0; i < runs; ++i) {
    const std::size_t from = sim.lineCount();
    Child ctl({ostrelctl, "refresh"}, false);
    const std::optional<Line> frame = sim.waitFor(kRefreshFrame, from, 10s);
    const int status = ctl.wait(20s);
    if (!frame || status != 0) {
      ++m.failures;
      std::fprintf(stderr, "run %d: %s, exit status %d\n", i, frame ? "frame seen" : "no frame", status);
      continue;
    }
    m.toFrame.push_back(ms(frame->at - ctl.started()));
    m.toExit.push_back(ms(ctl.endedAt() - ctl.started()));
    std::this_thread::sleep_for(30ms);
  }
  return m;
}

enum class Bound { Median, Every };

bool report(const char* title, const Measured& m, Bound bound, double targetMs) {
  const Stats f = stats(m.toFrame);
  const Stats e = stats(m.toExit);
  const bool pass = m.failures == 0 && (bound == Bound::Median ? f.median : f.max) <= targetMs;
  std::printf("%s: %zu runs, %d failed\n", title, m.toFrame.size(), m.failures);
  std::printf(
      "  start -> frame at monitor: median %.1f ms, p90 %.1f ms, min %.1f ms, max %.1f ms  (target: %s <= %.0f ms) "
      "%s\n",
      f.median, f.p90, f.min, f.max, bound == Bound::Median ? "median" : "every run", targetMs, pass ? "PASS" : "FAIL");
  std::printf("  start -> ostrelctl ended:  median %.1f ms, p90 %.1f ms, max %.1f ms\n", e.median, e.p90, e.max);
  return pass;
}

std::string binDir(const char* argv0) {
  std::error_code ec;
  const std::filesystem::path self = std::filesystem::canonical("/proc/self/exe", ec);
  if (!ec) return self.parent_path().string();
  return std::filesystem::path(argv0).parent_path().string();
}

}  // namespace

int main(int argc, char** argv) {
  const int withRuns = argc > 1 ? std::max(1, std::atoi(argv[1])) : 50;
  const int withoutRuns = argc > 2 ? std::max(1, std::atoi(argv[2])) : 20;
  const std::string bin = binDir(argv[0]);
  const std::string ostrel = bin + "/ostrel", ostrelctl = bin + "/ostrelctl", simulator = bin + "/ostrel-sim";

  char scratchTemplate[] = "/tmp/ostrel-bench-control.XXXXXX";
  if (!::mkdtemp(scratchTemplate)) {
    std::perror("mkdtemp");
    return 1;
  }
  const std::string scratch = scratchTemplate;
  std::filesystem::create_directories(scratch + "/runtime");
  std::filesystem::create_directories(scratch + "/config");
  std::filesystem::permissions(scratch + "/runtime", std::filesystem::perms::owner_all);
  ::setenv("XDG_RUNTIME_DIR", (scratch + "/runtime").c_str(), 1);
  ::setenv("XDG_CONFIG_HOME", (scratch + "/config").c_str(), 1);
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  ::unsetenv("DISPLAY");
  ::unsetenv("WAYLAND_DISPLAY");

  int status = 0;
  {
    Child bus({"/usr/bin/dbus-daemon", "--session", "--nofork", "--print-address=1"}, true);
    const std::string address = bus.firstLine(10s);
    if (address.empty()) {
      std::fprintf(stderr, "no session bus: dbus-daemon did not start\n");
      return 1;
    }
    ::setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), 1);

    Child sim({simulator, "--name", "bench-sim0"}, true);
    for (int i = 0; i < 500 && !std::filesystem::is_symlink(scratch + "/runtime/ostrel/serial/bench-sim0"); ++i)
      std::this_thread::sleep_for(10ms);

    Measured with;
    {
      Child app({ostrel}, false);
      if (!sim.waitFor(kLastReadBackFrame, 0, 30s)) {
        std::fprintf(stderr, "Ostrel did not find the simulated monitor\n");
        return 1;
      }
      std::this_thread::sleep_for(500ms);  // the read-back's answers are in
      with = refreshRuns(ostrelctl, sim, withRuns);
      app.stop();
    }
    std::this_thread::sleep_for(500ms);  // Ostrel's name and port are released
    const Measured without = refreshRuns(ostrelctl, sim, withoutRuns);

    std::printf("ostrelctl refresh (bench_control, %s)\n", bin.c_str());
    const bool fast = report("with Ostrel running (session bus)", with, Bound::Median, 30);
    const bool direct = report("without Ostrel (discovery included)", without, Bound::Every, 800);
    status = fast && direct ? 0 : 1;
  }
  std::filesystem::remove_all(scratch);
  return status;
}
