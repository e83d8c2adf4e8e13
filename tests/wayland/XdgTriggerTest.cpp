// The preferred triggers Ostrel proposes to the GlobalShortcuts portal name
// each key the way xkb does: every name must resolve to a symbol a US
// keyboard's keymap gives that key (at some level), or the desktop binds a key
// that is not there, or another one.
#include "platform/KeyCodes.h"
#include "platform/portal/XdgTrigger.h"
#include "platform/x11/KeyCodeMap.h"

#include <gtest/gtest.h>
#include <xkbcommon/xkbcommon.h>
#include <QStringList>
#include <memory>

namespace ostrel::platform::portal {
namespace {

TEST(XdgTrigger, EveryKeyIsNamedAsTheUsKeymapNamesIt) {
  std::unique_ptr<xkb_context, decltype(&xkb_context_unref)> context(xkb_context_new(XKB_CONTEXT_NO_FLAGS),
                                                                     &xkb_context_unref);
  const xkb_rule_names us{"evdev", "pc105", "us", "", ""};
  std::unique_ptr<xkb_keymap, decltype(&xkb_keymap_unref)> keymap(
      xkb_keymap_new_from_names(context.get(), &us, XKB_KEYMAP_COMPILE_NO_FLAGS), &xkb_keymap_unref);
  ASSERT_TRUE(keymap);
  int named = 0;
  for (const x11::KeyCodeMapping& m : x11::keyCodeMappings()) {
    const QString trigger = xdgTrigger(m.virtualKeyCode, keys::kControl);
    if (trigger.isEmpty()) continue;
    ++named;
    const QString name = trigger.mid(5);  // after "CTRL+"
    // Desktops resolve the name with xkb; letters in either case.
    const xkb_keysym_t wanted = xkb_keysym_from_name(name.toLatin1().constData(), XKB_KEYSYM_CASE_INSENSITIVE);
    QStringList offered;
    bool found = false;
    const xkb_keycode_t keycode = m.evdevCode + 8;
    for (xkb_level_index_t level = 0; level < xkb_keymap_num_levels_for_key(keymap.get(), keycode, 0); ++level) {
      const xkb_keysym_t* syms = nullptr;
      const int n = xkb_keymap_key_get_syms_by_level(keymap.get(), keycode, 0, level, &syms);
      for (int i = 0; i < n; ++i) {
        found = found || syms[i] == wanted;
        char text[64];
        xkb_keysym_get_name(syms[i], text, sizeof text);
        offered << QString::fromLatin1(text);
      }
    }
    EXPECT_TRUE(found) << "key " << m.virtualKeyCode << " named " << name.toStdString() << ", the keymap offers "
                       << offered.join(QLatin1Char(' ')).toStdString();
  }
  EXPECT_GE(named, 90);
}

}  // namespace
}  // namespace ostrel::platform::portal
