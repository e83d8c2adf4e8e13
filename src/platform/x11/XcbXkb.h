#pragma once
// xcb's XKB header names a struct member `explicit`, which C++ reserves. It is
// only ever reached through the generated accessors, so renaming it while the
// header is read is harmless.

#include <xcb/xcb.h>

#define explicit xcb_xkb_explicit_member
#include <xcb/xkb.h>
#undef explicit
