// The embedded key code table against the reference table in tests/data, and the
// modifier translations.
#include "platform/KeyCodes.h"
#include "platform/x11/KeyCodeMap.h"
#include "platform/x11/X11Modifiers.h"

#include <gtest/gtest.h>
#include <QFile>
#include <QString>
#include <QStringList>
#include <set>
#include <vector>

namespace ostrel::platform::x11 {
namespace {

struct ReferenceRow {
  std::uint16_t virtualKeyCode;
  std::uint16_t evdevCode;
  QString name;
};

std::vector<ReferenceRow> readReferenceTable() {
  QFile file(qEnvironmentVariable("OSTREL_SOURCE_DIR") + QStringLiteral("/tests/data/keycodes.tsv"));
  EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << file.fileName().toStdString();
  std::vector<ReferenceRow> rows;
  const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
  for (qsizetype i = 1; i < lines.size(); ++i) {  // line 0 is the header
    const QStringList fields = lines[i].split(QLatin1Char('\t'));
    EXPECT_EQ(fields.size(), 3) << lines[i].toStdString();
    if (fields.size() != 3) continue;
    bool vkOk = false;
    bool evOk = false;
    rows.push_back({static_cast<std::uint16_t>(fields[0].toUShort(&vkOk)),
                    static_cast<std::uint16_t>(fields[2].toUShort(&evOk)), fields[1]});
    EXPECT_TRUE(vkOk && evOk) << lines[i].toStdString();
  }
  return rows;
}

TEST(KeyCodeMap, EveryReferenceRowMapsBothWays) {
  const auto rows = readReferenceTable();
  ASSERT_GT(rows.size(), 100u);
  EXPECT_EQ(keyCodeMappings().size(), rows.size());
  for (const ReferenceRow& row : rows) {
    SCOPED_TRACE(row.name.toStdString());
    EXPECT_EQ(evdevCodeForVirtualKeyCode(row.virtualKeyCode), row.evdevCode);
    EXPECT_EQ(virtualKeyCodeForEvdevCode(row.evdevCode), row.virtualKeyCode);
    const auto keycode = x11KeycodeForVirtualKeyCode(row.virtualKeyCode);
    if (row.evdevCode + 8 <= 255) {
      ASSERT_TRUE(keycode.has_value());
      EXPECT_EQ(*keycode, row.evdevCode + 8);
      EXPECT_EQ(virtualKeyCodeForX11Keycode(*keycode), row.virtualKeyCode);
    } else {
      EXPECT_FALSE(keycode.has_value()) << "X keycodes end at 255";
    }
  }
}

TEST(KeyCodeMap, CodesOutsideTheTableHaveNoKey) {
  const std::uint16_t unassignedVirtual[] = {52, 66, 68, 70, 77, 108, 110, 112, 127, 128, 500, 0xFFFF};
  for (std::uint16_t vk : unassignedVirtual) {
    EXPECT_FALSE(evdevCodeForVirtualKeyCode(vk).has_value()) << vk;
    EXPECT_FALSE(x11KeycodeForVirtualKeyCode(vk).has_value()) << vk;
  }
  // KEY_RESERVED, keys the table leaves out (Scroll Lock, SysRq), and beyond the last key.
  const std::uint16_t unmappedEvdev[] = {0, 70, 99, 465, 511, 512, 0xFFFF};
  for (std::uint16_t evdev : unmappedEvdev) EXPECT_FALSE(virtualKeyCodeForEvdevCode(evdev).has_value()) << evdev;
  for (std::uint8_t keycode = 0; keycode < 8; ++keycode) {
    EXPECT_FALSE(virtualKeyCodeForX11Keycode(keycode).has_value()) << int(keycode);
  }
}

TEST(KeyCodeMap, OnlyTheModifierKeysCountAsModifiers) {
  std::set<std::uint16_t> modifiers;
  for (const KeyCodeMapping& m : keyCodeMappings()) {
    if (isModifierVirtualKeyCode(m.virtualKeyCode)) modifiers.insert(m.virtualKeyCode);
  }
  EXPECT_EQ(modifiers, (std::set<std::uint16_t>{54, 55, 56, 57, 58, 59, 60, 61, 62, 63}));
}

TEST(X11Modifiers, XStateToProgramFlags) {
  struct Case {
    std::uint16_t xState;
    std::uint32_t flags;
  };
  const Case cases[] = {
      {0x00, 0},
      {kXShiftMask, keys::kShift},
      {kXLockMask, keys::kCapsLock},
      {kXControlMask, keys::kControl},
      {kXMod1Mask, keys::kOption},
      {kXMod4Mask, keys::kCommand},
      {0x10, 0},                               // Mod2: Num Lock
      {0x80, 0},                               // Mod5: AltGr
      {0x0100 | 0x0400, 0},                    // pointer buttons
      {kXControlMask | 0x10, keys::kControl},  // Control with Num Lock on
      {kXControlMask | kXLockMask, keys::kControl | keys::kCapsLock},
      {0xFF, keys::kShortcutModifierMask | keys::kCapsLock},
  };
  for (const Case& c : cases) EXPECT_EQ(programFlagsForXModifiers(c.xState), c.flags) << std::hex << c.xState;
}

TEST(X11Modifiers, HotKeyBitsToXModifiers) {
  struct Case {
    std::uint32_t hotKeyBits;
    bool accepted;
    std::uint16_t xModifiers;
  };
  const Case cases[] = {
      {0, true, 0},
      {0x0100, true, kXMod4Mask},
      {0x0200, true, kXShiftMask},
      {0x0800, true, kXMod1Mask},
      {0x1000, true, kXControlMask},
      {0x1300, true, kXControlMask | kXShiftMask | kXMod4Mask},
      {0x1B00, true, kXControlMask | kXShiftMask | kXMod4Mask | kXMod1Mask},
      {0x0400, false, 0},           // alpha lock
      {0x1000 | 0x2000, false, 0},  // right-hand Shift
      {0x40000, false, 0},          // an event bit by mistake
  };
  for (const Case& c : cases) {
    std::uint16_t mods = 0xABCD;
    EXPECT_EQ(xModifiersForHotKeyModifiers(c.hotKeyBits, &mods), c.accepted) << std::hex << c.hotKeyBits;
    if (c.accepted) {
      EXPECT_EQ(mods, c.xModifiers) << std::hex << c.hotKeyBits;
    }
  }
}

TEST(X11Modifiers, LockVariantsAndMatching) {
  struct Case {
    std::uint16_t mods;
    std::uint16_t numLock;
    std::vector<std::uint16_t> variants;
  };
  const Case cases[] = {
      {kXControlMask, 0x10, {0x04, 0x06, 0x14, 0x16}},
      {kXControlMask, 0, {0x04, 0x06}},  // no Num Lock modifier on this keyboard
      {0, 0x10, {0x00, 0x02, 0x10, 0x12}},
      {kXMod1Mask | kXShiftMask, 0x80, {0x09, 0x0B, 0x89, 0x8B}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(lockVariants(c.mods, c.numLock), c.variants) << std::hex << c.mods << " " << c.numLock;
    for (std::uint16_t variant : c.variants) {
      EXPECT_EQ(withoutLocks(variant | 0x0100, c.numLock), c.mods) << "button 1 held, variant " << variant;
    }
  }
}

}  // namespace
}  // namespace ostrel::platform::x11
