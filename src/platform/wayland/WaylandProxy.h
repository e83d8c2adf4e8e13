#pragma once
// Owns one Wayland protocol object of the client side. Its destroy function is
// the protocol's destructor request where the interface has one (the
// compositor frees its side too), else wl_proxy_destroy; wayland-scanner
// generates both as <interface>_destroy.

#include <memory>

namespace ostrel::platform::wayland {

template <typename T>
using WaylandProxy = std::unique_ptr<T, void (*)(T*)>;

template <typename T>
WaylandProxy<T> ownProxy(T* proxy, void (*destroy)(T*)) {
  return WaylandProxy<T>(proxy, destroy);
}

template <typename T>
WaylandProxy<T> noProxy() {
  return WaylandProxy<T>(nullptr, [](T*) {});
}

}  // namespace ostrel::platform::wayland
