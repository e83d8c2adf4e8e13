// libxkbcommon-x11 copies the keymap's atom names out of xcb replies with
// strndup(); the names are not NUL-terminated, so AddressSanitizer's strict
// string checks read on past the reply. The copy itself stays in bounds; the
// report is about a system library, not Ostrel. Only built into the tests that
// read keymaps; without a sanitizer this function is never called.
extern "C" const char* __asan_default_suppressions() {
  return "interceptor_via_lib:libxkbcommon-x11.so\n";
}
