// What the X11 backends cost per call on a real server.
//
// KeyboardLayout/UnshiftedText is the price of following layout changes with one
// state round trip per call; KeyboardLayout/KeymapRefetch is what fetching the
// whole keymap on every call would cost instead.
#include "common/Log.h"
#include "platform/x11/X11Platform.h"

#include <benchmark/benchmark.h>
#include <xcb/xcb.h>
#include <xkbcommon/xkbcommon-x11.h>
#include <cstdio>
#include <cstdlib>

namespace {

using namespace ostrel::platform;

void KeyboardLayoutUnshiftedText(benchmark::State& state) {
  QString why;
  auto layout = createX11KeyboardLayout(&why);
  if (!layout) {
    state.SkipWithError(why.toUtf8().constData());
    return;
  }
  std::uint16_t key = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(layout->unshiftedText(key));
    key = static_cast<std::uint16_t>((key + 1) % 50);
  }
}
BENCHMARK(KeyboardLayoutUnshiftedText)->Name("KeyboardLayout/UnshiftedText");

void KeyboardLayoutKeymapRefetch(benchmark::State& state) {
  xcb_connection_t* c = xcb_connect(nullptr, nullptr);
  xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
  if (xcb_connection_has_error(c) || !context ||
      !xkb_x11_setup_xkb_extension(c, XKB_X11_MIN_MAJOR_XKB_VERSION, XKB_X11_MIN_MINOR_XKB_VERSION,
                                   XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, nullptr, nullptr, nullptr, nullptr)) {
    state.SkipWithError("no X server with XKB");
  } else {
    const std::int32_t device = xkb_x11_get_core_keyboard_device_id(c);
    for (auto _ : state) {
      xkb_keymap* keymap = xkb_x11_keymap_new_from_device(context, c, device, XKB_KEYMAP_COMPILE_NO_FLAGS);
      xkb_state* xstate = xkb_x11_state_new_from_device(keymap, c, device);
      benchmark::DoNotOptimize(xkb_state_key_get_one_sym(xstate, 38));
      xkb_state_unref(xstate);
      xkb_keymap_unref(keymap);
    }
  }
  if (context) xkb_context_unref(context);
  xcb_disconnect(c);
}
BENCHMARK(KeyboardLayoutKeymapRefetch)->Name("KeyboardLayout/KeymapRefetch");

void InputInjectorTapKey(benchmark::State& state) {
  QString why;
  auto injector = createX11InputInjector(&why);
  if (!injector) {
    state.SkipWithError(why.toUtf8().constData());
    return;
  }
  for (auto _ : state) benchmark::DoNotOptimize(injector->tapKey(121));
}
BENCHMARK(InputInjectorTapKey)->Name("InputInjector/TapKey");

void InputInjectorPointerStep(benchmark::State& state) {
  QString why;
  auto injector = createX11InputInjector(&why);
  if (!injector) {
    state.SkipWithError(why.toUtf8().constData());
    return;
  }
  // What one step of the monitor's pointer keys does: read, then move.
  double dx = 6;
  for (auto _ : state) {
    const auto at = injector->pointerPosition();
    if (at) injector->movePointerTo({at->x + dx, at->y});
    dx = -dx;
  }
}
BENCHMARK(InputInjectorPointerStep)->Name("InputInjector/PointerStep");

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("DISPLAY")) {
    std::fprintf(stderr, "bench_x11 needs an X server: run it as tests/support/run-test.sh --x11 %s\n", argv[0]);
    return 0;
  }
  ostrel::LogDiscard quiet;
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
