// Ostrel as a process on an X server: how fast its window appears, how fast a
// shortcut reaches the monitor, and how much memory it holds.
//
//   tests/support/run-test.sh --x11 build/bin/bench_app [launches] [presses] [commands]
//
// run-test.sh gives the benchmark its own Xvfb and XDG directories; the
// monitor is the bundled simulator (OSTREL_BIN_DIR or the benchmark's own
// directory). Figures go to standard output; the exit status is 1 when a
// target is missed.
#include "support/ChildProcess.h"
#include "support/OstrelProcess.h"
#include "support/SimulatedMonitor.h"

#include <xcb/xcb.h>
#include <xcb/xtest.h>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using ostrel::test::ChildExit;
using ostrel::test::MonotonicClock;
using ostrel::test::OstrelProcess;
using ostrel::test::SimulatedMonitor;

template <typename T>
using XcbReply = std::unique_ptr<T, decltype(&std::free)>;

class XServer {
 public:
  XServer() : c_(xcb_connect(nullptr, nullptr)) {
    if (xcb_connection_has_error(c_)) return;
    root_ = xcb_setup_roots_iterator(xcb_get_setup(c_)).data->root;
    const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(c_, root_, XCB_CW_EVENT_MASK, &mask);
    pidAtom_ = atom("_NET_WM_PID");
    xcb_flush(c_);
  }
  ~XServer() { xcb_disconnect(c_); }
  bool ok() const { return !xcb_connection_has_error(c_); }

  xcb_atom_t atom(const char* name) {
    XcbReply<xcb_intern_atom_reply_t> r(
        xcb_intern_atom_reply(c_, xcb_intern_atom(c_, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr),
        &std::free);
    return r ? r->atom : xcb_atom_t{XCB_ATOM_NONE};
  }

  std::optional<std::uint32_t> pidOf(xcb_window_t w) {
    XcbReply<xcb_get_property_reply_t> r(
        xcb_get_property_reply(c_, xcb_get_property(c_, 0, w, pidAtom_, XCB_ATOM_CARDINAL, 0, 1), nullptr), &std::free);
    if (!r || xcb_get_property_value_length(r.get()) < 4) return std::nullopt;
    return *static_cast<std::uint32_t*>(xcb_get_property_value(r.get()));
  }

  // The moment a top-level window of process `pid` was mapped.
  std::optional<MonotonicClock::time_point> waitForMap(pid_t pid, std::chrono::milliseconds timeout) {
    const auto deadline = MonotonicClock::now() + timeout;
    while (MonotonicClock::now() < deadline) {
      XcbReply<xcb_generic_event_t> e(xcb_poll_for_event(c_), &std::free);
      if (!e) {
        std::this_thread::sleep_for(1ms);
        continue;
      }
      if ((e->response_type & 0x7f) != XCB_MAP_NOTIFY) continue;
      const auto at = MonotonicClock::now();
      const auto* map = reinterpret_cast<xcb_map_notify_event_t*>(e.get());
      if (map->override_redirect) continue;
      if (pidOf(map->window) == static_cast<std::uint32_t>(pid)) return at;
    }
    return std::nullopt;
  }

  void drain() {
    while (XcbReply<xcb_generic_event_t> e{xcb_poll_for_event(c_), &std::free}) {
    }
  }

  xcb_keycode_t keycodeOf(xcb_keysym_t keysym) {
    const xcb_setup_t* setup = xcb_get_setup(c_);
    const int count = setup->max_keycode - setup->min_keycode + 1;
    XcbReply<xcb_get_keyboard_mapping_reply_t> m(
        xcb_get_keyboard_mapping_reply(
            c_, xcb_get_keyboard_mapping(c_, setup->min_keycode, static_cast<std::uint8_t>(count)), nullptr),
        &std::free);
    if (!m) return 0;
    const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(m.get());
    for (int i = 0; i < count * m->keysyms_per_keycode; ++i) {
      if (syms[i] == keysym) return static_cast<xcb_keycode_t>(setup->min_keycode + i / m->keysyms_per_keycode);
    }
    return 0;
  }

  // Control+key, pressed and released through XTEST.
  void controlChord(xcb_keycode_t control, xcb_keycode_t key) {
    xcb_test_fake_input(c_, XCB_KEY_PRESS, control, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    xcb_test_fake_input(c_, XCB_KEY_PRESS, key, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    xcb_test_fake_input(c_, XCB_KEY_RELEASE, key, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    xcb_test_fake_input(c_, XCB_KEY_RELEASE, control, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    xcb_flush(c_);
  }

  // A window of another application that holds the keyboard focus.
  void focusWindowOfOurOwn() {
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c_)).data;
    const xcb_window_t w = xcb_generate_id(c_);
    xcb_create_window(c_, XCB_COPY_FROM_PARENT, w, root_, 600, 500, 200, 100, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      screen->root_visual, 0, nullptr);
    xcb_map_window(c_, w);
    xcb_flush(c_);
    std::this_thread::sleep_for(200ms);
    xcb_set_input_focus(c_, XCB_INPUT_FOCUS_PARENT, w, XCB_CURRENT_TIME);
    xcb_flush(c_);
  }

 private:
  xcb_connection_t* c_;
  xcb_window_t root_ = 0;
  xcb_atom_t pidAtom_ = XCB_ATOM_NONE;
};

double ms(MonotonicClock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

double percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const std::size_t i = std::min(v.size() - 1, static_cast<std::size_t>(p * static_cast<double>(v.size() - 1) + 0.5));
  return v[i];
}

struct Memory {
  long rssKb = 0;
  long privateKb = 0;    // Private_Clean + Private_Dirty
  long anonymousKb = 0;  // heap and other anonymous pages: what the program itself allocated
};

Memory memoryOf(pid_t pid) {
  QFile f(QStringLiteral("/proc/%1/smaps_rollup").arg(pid));
  Memory m;
  if (!f.open(QIODevice::ReadOnly)) return m;
  for (const QByteArray& line : f.readAll().split('\n')) {
    const QList<QByteArray> parts = line.simplified().split(' ');
    if (parts.size() < 2) continue;
    if (parts[0] == "Rss:") m.rssKb = parts[1].toLong();
    if (parts[0] == "Private_Clean:" || parts[0] == "Private_Dirty:") m.privateKb += parts[1].toLong();
    if (parts[0] == "Anonymous:") m.anonymousKb = parts[1].toLong();
  }
  return m;
}

bool writeShortcuts() {
  return ostrel::test::writePreferences({{QStringLiteral("refresh_hot_keycode"), 2},
                                         {QStringLiteral("refresh_hot_keycode_flags"), 0x40000},
                                         {QStringLiteral("threshold_hot_keycode"), 32},
                                         {QStringLiteral("threshold_hot_keycode_flags"), 0x40000},
                                         {QStringLiteral("threshold_down_hot_keycode"), 35},
                                         {QStringLiteral("threshold_down_hot_keycode_flags"), 0x40000}});
}

bool failed = false;

void verdict(const char* what, bool met) {
  std::printf("  %-52s %s\n", what, met ? "met" : "MISSED");
  failed = failed || !met;
}

void launchTime(XServer& x, int launches) {
  std::vector<double> times;
  for (int i = 0; i < launches; ++i) {
    x.drain();
    OstrelProcess ostrel;
    QString error;
    if (!ostrel.start(&error)) {
      std::fprintf(stderr, "%s\n", qPrintable(error));
      failed = true;
      return;
    }
    const auto mapped = x.waitForMap(ostrel.process().pid(), 20s);
    if (mapped) times.push_back(ms(*mapped - ostrel.startedAt()));
    ostrel.stop();
  }
  const double median = percentile(times, 0.5);
  std::printf("launch to first window shown (%zu launches): median %.1f ms, min %.1f ms, max %.1f ms\n", times.size(),
              median, percentile(times, 0), percentile(times, 1));
  verdict("median <= 400 ms", times.size() == static_cast<std::size_t>(launches) && median <= 400);
}

void shortcutLatencyAndMemory(XServer& x, int presses, int commands) {
  SimulatedMonitor monitor(48, QStringLiteral("bench-sim"));
  QString error;
  if (!writeShortcuts() || !monitor.start(&error)) {
    std::fprintf(stderr, "monitor: %s\n", qPrintable(error));
    failed = true;
    return;
  }
  OstrelProcess ostrel;
  if (!ostrel.start(&error) || !ostrel.waitUntilReady() ||
      !monitor.waitForFrame(ostrel::test::commandFrame(10, 8), 30s)) {
    std::fprintf(stderr, "ostrel did not come up: %s\n%s\n", qPrintable(error), qPrintable(ostrel.logText()));
    failed = true;
    return;
  }
  std::this_thread::sleep_for(700ms);
  const Memory started = memoryOf(ostrel.process().pid());
  std::printf("memory after start with a version-48 monitor: resident %.1f MB, private %.1f MB\n",
              static_cast<double>(started.rssKb) / 1024, static_cast<double>(started.privateKb) / 1024);
  verdict("resident <= 80 MB", started.rssKb <= 80 * 1024);
  verdict("private <= 50 MB", started.privateKb <= 50 * 1024);

  x.focusWindowOfOurOwn();
  const xcb_keycode_t control = x.keycodeOf(0xffe3);
  const xcb_keycode_t d = x.keycodeOf(0x64);
  const QByteArray refresh = ostrel::test::commandFrame(3, 1);
  std::vector<double> latencies;
  for (int i = 0; i < presses; ++i) {
    const std::size_t from = monitor.frameCount();
    const auto pressed = MonotonicClock::now();
    x.controlChord(control, d);
    const auto at = monitor.waitForFrame(refresh, 2s, from);
    if (at) latencies.push_back(ms(monitor.frames()[*at].at - pressed));
    std::this_thread::sleep_for(20ms);
  }
  std::printf(
      "key press (XTEST) to refresh frame at the monitor (%zu of %d presses): median %.2f ms, p99 %.2f ms, "
      "max %.2f ms\n",
      latencies.size(), presses, percentile(latencies, 0.5), percentile(latencies, 0.99), percentile(latencies, 1));
  std::printf("  physical floor on a real line: 24 characters at 115200 baud 8N1 = 2.08 ms\n");
  verdict("median <= 5 ms", latencies.size() == static_cast<std::size_t>(presses) && percentile(latencies, 0.5) <= 5);
  verdict("p99 <= 20 ms", percentile(latencies, 0.99) <= 20);

  // Commands in batches the line keeps up with.
  const Memory before = memoryOf(ostrel.process().pid());
  const std::size_t base = monitor.frameCount();
  int sent = 0;
  while (sent < commands) {
    const int batch = std::min(50, commands - sent);
    for (int i = 0; i < batch; ++i) x.controlChord(control, d);
    sent += batch;
    if (!monitor.waitForFrameCount(base + static_cast<std::size_t>(sent), 20s)) break;
  }
  std::this_thread::sleep_for(500ms);
  const Memory after = memoryOf(ostrel.process().pid());
  const std::size_t arrived = monitor.frameCount() - base;
  std::printf("after %zu further commands: resident %+.2f MB, anonymous %+.2f MB (private %+.2f MB)\n", arrived,
              static_cast<double>(after.rssKb - before.rssKb) / 1024,
              static_cast<double>(after.anonymousKb - before.anonymousKb) / 1024,
              static_cast<double>(after.privateKb - before.privateKb) / 1024);
  // Private_Clean also grows when another program that shared a library's
  // pages (Qt, on a busy machine) exits: resident and anonymous memory are
  // what Ostrel itself holds on to.
  verdict("all commands reached the monitor", arrived == static_cast<std::size_t>(commands));
  verdict("no growth beyond 1 MB",
          after.rssKb - before.rssKb <= 1024 && after.anonymousKb - before.anonymousKb <= 1024);
  ostrel.stop();
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (qEnvironmentVariableIsEmpty("OSTREL_BIN_DIR")) {
    qputenv("OSTREL_BIN_DIR", QFileInfo(QCoreApplication::applicationFilePath()).absolutePath().toLocal8Bit());
  }
  const int launches = argc > 1 ? std::atoi(argv[1]) : 20;
  const int presses = argc > 2 ? std::atoi(argv[2]) : 200;
  const int commands = argc > 3 ? std::atoi(argv[3]) : 10000;
  XServer x;
  if (!x.ok()) {
    std::fprintf(stderr, "bench_app needs an X server: run it through tests/support/run-test.sh --x11\n");
    return 2;
  }
  launchTime(x, launches);
  shortcutLatencyAndMemory(x, presses, commands);
  return failed ? 1 : 0;
}
