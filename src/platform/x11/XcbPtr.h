#pragma once
// Replies, errors and events that xcb hands over are malloc'ed; this owns them.

#include <cstdlib>
#include <memory>

namespace ostrel::platform::x11 {

struct XcbFree {
  void operator()(void* p) const noexcept { std::free(p); }
};

template <typename T>
using XcbPtr = std::unique_ptr<T, XcbFree>;

}  // namespace ostrel::platform::x11
