// The keys of a recorded shortcut in each desktop's own syntax: exactly as
// each one writes them, resolvable by xkb the way the desktop resolves them,
// and GNOME's accelerators read back whatever their spelling.
#include "keybindings/DesktopKeyNames.h"
#include "platform/KeyCodes.h"
#include "platform/x11/KeyCodeMap.h"

#include <gtest/gtest.h>
#include <xkbcommon/xkbcommon.h>
#include <memory>

namespace ostrel {
namespace {

using namespace keys;

struct Spelled {
  std::uint16_t keyCode;
  std::uint32_t flags;
  const char* gnome;
  const char* sway;
  const char* i3;
  const char* hyprland;
  const char* readable;
};

TEST(DesktopKeyNames, EachSyntaxSpellsTheModifiersAndKeysItsOwnWay) {
  const Spelled cases[] = {
      {kD, kControl, "<Control>d", "Ctrl+d", "Control+d", "CTRL, D", "Ctrl+D"},
      {kU, kControl | kOption, "<Control><Alt>u", "Ctrl+Alt+u", "Control+Mod1+u", "CTRL ALT, U", "Ctrl+Alt+U"},
      // Shift before Super whatever order the bits come in; F5 as named.
      {96, kCommand | kShift, "<Shift><Super>F5", "Shift+Mod4+F5", "Shift+Mod4+F5", "SHIFT SUPER, F5",
       "Shift+Super+F5"},
      {kPageDown, kControl | kShift, "<Control><Shift>Page_Down", "Ctrl+Shift+Page_Down", "Control+Shift+Page_Down",
       "CTRL SHIFT, Page_Down", "Ctrl+Shift+Page_Down"},
      {kSpace, kOption, "<Alt>space", "Alt+space", "Mod1+space", "ALT, space", "Alt+space"},
      {33, kControl | kOption | kShift | kCommand, "<Control><Alt><Shift><Super>bracketleft",
       "Ctrl+Alt+Shift+Mod4+bracketleft", "Control+Mod1+Shift+Mod4+bracketleft", "CTRL ALT SHIFT SUPER, bracketleft",
       "Ctrl+Alt+Shift+Super+bracketleft"},
      {kUpArrow, kControl | kCapsLock, "<Control>Up", "Ctrl+Up", "Control+Up", "CTRL, Up", "Ctrl+Up"},
  };
  for (const Spelled& c : cases) {
    SCOPED_TRACE(c.readable);
    EXPECT_EQ(keysIn(KeySyntax::Gnome, c.keyCode, c.flags), QString::fromLatin1(c.gnome));
    EXPECT_EQ(keysIn(KeySyntax::Sway, c.keyCode, c.flags), QString::fromLatin1(c.sway));
    EXPECT_EQ(keysIn(KeySyntax::I3, c.keyCode, c.flags), QString::fromLatin1(c.i3));
    EXPECT_EQ(keysIn(KeySyntax::Hyprland, c.keyCode, c.flags), QString::fromLatin1(c.hyprland));
    EXPECT_EQ(keysIn(KeySyntax::Readable, c.keyCode, c.flags), QString::fromLatin1(c.readable));
  }
  // No modifier, a modifier key itself (Command, 55), a code no key has.
  for (auto [code, flags] : {std::pair{kD, std::uint32_t{0}}, {55, kControl}, {300, kControl}, {kD, kCapsLock}}) {
    EXPECT_TRUE(keysIn(KeySyntax::Gnome, code, flags).isEmpty()) << code;
    EXPECT_TRUE(keysIn(KeySyntax::Sway, code, flags).isEmpty()) << code;
  }
}

// GNOME (through Mutter), sway and i3 resolve the key's name with xkb, case
// sensitively: every name must be a symbol the key has on a US keymap, and a
// letter its unshifted one, or the binding waits for another key.
TEST(DesktopKeyNames, EveryKeyIsASymbolOfThatKeyOnAUsKeymap) {
  std::unique_ptr<xkb_context, decltype(&xkb_context_unref)> context(xkb_context_new(XKB_CONTEXT_NO_FLAGS),
                                                                     &xkb_context_unref);
  const xkb_rule_names us{"evdev", "pc105", "us", "", ""};
  std::unique_ptr<xkb_keymap, decltype(&xkb_keymap_unref)> keymap(
      xkb_keymap_new_from_names(context.get(), &us, XKB_KEYMAP_COMPILE_NO_FLAGS), &xkb_keymap_unref);
  ASSERT_TRUE(keymap);
  int named = 0;
  for (const platform::x11::KeyCodeMapping& m : platform::x11::keyCodeMappings()) {
    for (KeySyntax syntax : {KeySyntax::Gnome, KeySyntax::Sway, KeySyntax::I3}) {
      const QString keys = keysIn(syntax, m.virtualKeyCode, kControl);
      if (keys.isEmpty()) continue;
      ++named;
      const QString name = syntax == KeySyntax::Gnome ? keys.mid(int(sizeof "<Control>") - 1) : keys.section('+', 1);
      const xkb_keysym_t wanted = xkb_keysym_from_name(name.toLatin1().constData(), XKB_KEYSYM_NO_FLAGS);
      ASSERT_NE(wanted, XKB_KEY_NoSymbol) << name.toStdString();
      const xkb_keycode_t keycode = m.evdevCode + 8;
      xkb_level_index_t at = XKB_LEVEL_INVALID;
      for (xkb_level_index_t level = 0; level < xkb_keymap_num_levels_for_key(keymap.get(), keycode, 0); ++level) {
        const xkb_keysym_t* syms = nullptr;
        const int n = xkb_keymap_key_get_syms_by_level(keymap.get(), keycode, 0, level, &syms);
        for (int i = 0; i < n && at == XKB_LEVEL_INVALID; ++i) at = syms[i] == wanted ? level : at;
      }
      EXPECT_NE(at, XKB_LEVEL_INVALID) << "key " << m.virtualKeyCode << " named " << name.toStdString();
      if (name.size() == 1 && name[0].isLetter()) {
        EXPECT_EQ(at, 0u) << name.toStdString();
      }
    }
  }
  EXPECT_GE(named, 3 * 90);
}

TEST(DesktopKeyNames, GnomeAcceleratorsReadBackWhateverTheirSpelling) {
  // Every key and modifier Ostrel writes comes back as written.
  for (const platform::x11::KeyCodeMapping& m : platform::x11::keyCodeMappings()) {
    for (std::uint32_t flags : {kControl, kOption | kShift, kCommand | kControl | kOption | kShift}) {
      const QString written = keysIn(KeySyntax::Gnome, m.virtualKeyCode, flags);
      if (written.isEmpty()) continue;
      const std::optional<GnomeAccelerator> read = parseGnomeAccelerator(written);
      ASSERT_TRUE(read) << written.toStdString();
      EXPECT_EQ(read->keyCode, m.virtualKeyCode) << written.toStdString();
      EXPECT_EQ(read->modifierFlags, flags) << written.toStdString();
    }
  }
  // GTK's other spellings of the same combinations, as GNOME Settings and
  // people write them.
  const std::pair<const char*, const char*> same[] = {
      {"<Control>d", "<Primary>d"},
      {"<Control>d", "<Ctl>D"},
      {"<Control><Alt>r", "<Alt><Ctrl>r"},
      {"<Shift><Super>F5", "<Mod4><Shft>F5"},
      {"<Alt>u", "<Mod1>u"},
      {"<Control>Page_Down", "<Release><Control>Page_Down"},
  };
  for (const auto& [a, b] : same) {
    SCOPED_TRACE(b);
    const auto pa = parseGnomeAccelerator(QString::fromLatin1(a));
    const auto pb = parseGnomeAccelerator(QString::fromLatin1(b));
    ASSERT_TRUE(pa && pb);
    EXPECT_TRUE(pa->sameKeysAs(*pb));
  }
  const std::pair<const char*, const char*> different[] = {
      {"<Control>d", "<Control><Shift>d"},
      {"<Control>d", "<Control>u"},
      {"<Super>x", "<Hyper>x"},
      {"<Control>F5", "<Control>f5"},  // only letters are named in either case
  };
  for (const auto& [a, b] : different) {
    SCOPED_TRACE(b);
    const auto pa = parseGnomeAccelerator(QString::fromLatin1(a));
    const auto pb = parseGnomeAccelerator(QString::fromLatin1(b));
    ASSERT_TRUE(pa && pb);
    EXPECT_FALSE(pa->sameKeysAs(*pb));
  }
  for (const char* none : {"", "   ", "disabled", "<Control", "<Control>", "Control+d", "<Control> d"}) {
    EXPECT_FALSE(parseGnomeAccelerator(QString::fromLatin1(none))) << none;
  }
  const std::pair<const char*, const char*> shown[] = {
      {"<Primary><Shift>F5", "Ctrl+Shift+F5"},
      {"<Super>r", "Super+R"},
      {"<Hyper><Alt>XF86Calculator", "Alt+Hyper+XF86Calculator"},
      {"disabled", ""},
      {"", ""},
      {"Control+d", "Control+d"},
  };
  for (const auto& [binding, readable] : shown) {
    EXPECT_EQ(readableGnomeAccelerator(QString::fromLatin1(binding)), QString::fromLatin1(readable)) << binding;
  }
}

}  // namespace
}  // namespace ostrel
