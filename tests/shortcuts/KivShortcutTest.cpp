#include "shortcuts/KivShortcut.h"
#include "shortcuts/KivStringTable.h"

#include "common/Log.h"

#include <gtest/gtest.h>
#include <QtEndian>

#include <unordered_map>

namespace {

using ostrel::KivShortcut;
using ostrel::KivStringTable;

constexpr quint64 kCapsLock = 0x10000;
constexpr quint64 kShift = 0x20000;
constexpr quint64 kControl = 0x40000;
constexpr quint64 kOption = 0x80000;
constexpr quint64 kCommand = 0x100000;
constexpr quint64 kNoKey = KivShortcut::kNoKeyCode;

// Puts a string table in place for one test and restores the shipped English one.
class ScopedStringTable {
 public:
  explicit ScopedStringTable(std::shared_ptr<const KivStringTable> table) {
    KivStringTable::setProcessTable(std::move(table));
  }
  ~ScopedStringTable() { KivStringTable::setProcessTable(KivStringTable::shipped(KivStringTable::Language::English)); }
};

TEST(KivShortcut, ConstructionKeepsOnlyTheFourModifiers) {
  struct Case {
    const char* label;
    KivShortcut shortcut;
    quint64 keyCode;
    quint64 flags;
  };
  const Case cases[] = {
      {"all four plus Caps Lock", KivShortcut(0, kCapsLock | kShift | kControl | kOption | kCommand), 0, 0x1E0000},
      {"numeric pad, help, function bits dropped", KivShortcut(96, 0x200000 | 0x400000 | 0x800000 | kCommand), 96,
       kCommand},
      {"device-dependent low bits dropped", KivShortcut(2, kControl | 0x0101), 2, kControl},
      {"class method", KivShortcut::shortcutWithKeyCode(35, kControl | kCapsLock), 35, kControl},
      {"key code kept unchanged", KivShortcut::shortcutWithKeyCode(0x123456789ULL, 0), 0x123456789ULL, 0},
      {"event key code zero-extended", KivShortcut::shortcutWithEvent(0xFFFF, kShift | kCapsLock), 0xFFFF, kShift},
      {"no-key value", KivShortcut(kNoKey, kOption), kNoKey, kOption},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(c.shortcut.keyCode(), c.keyCode);
    EXPECT_EQ(c.shortcut.modifierFlags(), c.flags);
  }
}

TEST(KivShortcut, HotKeyServiceFormAndGlyphs) {
  struct Case {
    const char* label;
    quint64 keyCode;
    quint64 flags;
    quint32 carbonKeyCode;
    quint32 carbonFlags;
    QString glyphs;
  };
  const Case cases[] = {
      {"none", 2, 0, 2, 0, QString()},
      {"Shift", 2, kShift, 2, 0x0200, QStringLiteral("⇧")},
      {"Control", 2, kControl, 2, 0x1000, QStringLiteral("⌃")},
      {"Option", 2, kOption, 2, 0x0800, QStringLiteral("⌥")},
      {"Command", 2, kCommand, 2, 0x0100, QStringLiteral("⌘")},
      {"Command+Shift: Shift first", 6, kCommand | kShift, 6, 0x0300, QStringLiteral("⇧⌘")},
      {"all four in fixed order", 0, kCommand | kShift | kOption | kControl, 0, 0x1B00, QStringLiteral("⌃⌥⇧⌘")},
      {"no key gives carbon key 0", kNoKey, kControl, 0, 0x1000, QStringLiteral("⌃")},
      {"key code truncated to 32 bits", 0x100000024ULL, 0, 0x24, 0, QString()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const KivShortcut s(c.keyCode, c.flags);
    EXPECT_EQ(s.carbonKeyCode(), c.carbonKeyCode);
    EXPECT_EQ(s.carbonFlags(), c.carbonFlags);
    EXPECT_EQ(s.modifierFlagsString(), c.glyphs);
  }
  // Bits outside the four never reach the hotkey form, even when an archive kept them.
  const auto decoded = KivShortcut::decode({{"KeyCode", 2}, {"ModifierFlags", kCapsLock | kControl | 0xFF}});
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->carbonFlags(), 0x1000u);
}

TEST(KivShortcut, FixedKeyNamesAndKeyEquivalents) {
  ScopedStringTable english(KivStringTable::shipped(KivStringTable::Language::English));
  struct Case {
    quint64 keyCode;
    QString name;
    QString keyEquivalent;
  };
  const QString none;
  const Case cases[] = {
      {36, "↩", "↩"},
      {48, "⇥", "⇥"},
      {49, "Space", " "},
      {51, "⌫", "⌫"},
      {53, "⎋", "⎋"},
      {65, ".", "."},
      {67, "*", "*"},
      {69, "+", "+"},
      {71, "⌧", "⌧"},
      {75, "/", "/"},
      {76, "⌅", "⌅"},
      {78, "-", "-"},
      {81, "=", "="},
      {82, "0", "0"},
      {83, "1", "1"},
      {84, "2", "2"},
      {85, "3", "3"},
      {86, "4", "4"},
      {87, "5", "5"},
      {88, "6", "6"},
      {89, "7", "7"},
      {91, "8", "8"},
      {92, "9", "9"},
      {114, "?", "?"},
      {115, "↖", "↖"},
      {116, "⇞", "⇞"},
      {117, "⌦", "⌦"},
      {119, "↘", "↘"},
      {121, "⇟", "⇟"},
      {123, "←", "←"},
      {124, "→", "→"},
      {125, "↓", "↓"},
      {126, "↑", "↑"},
      {122, "F1", QString(QChar(0xF704))},
      {120, "F2", QString(QChar(0xF705))},
      {99, "F3", QString(QChar(0xF706))},
      {118, "F4", QString(QChar(0xF707))},
      {96, "F5", QString(QChar(0xF708))},
      {97, "F6", QString(QChar(0xF709))},
      {98, "F7", QString(QChar(0xF70A))},
      {100, "F8", QString(QChar(0xF70B))},
      {101, "F9", QString(QChar(0xF70C))},
      {109, "F10", QString(QChar(0xF70D))},
      {103, "F11", QString(QChar(0xF70E))},
      {111, "F12", QString(QChar(0xF70F))},
      {105, "F13", QString(QChar(0xF710))},
      {107, "F14", QString(QChar(0xF711))},
      {113, "F15", QString(QChar(0xF712))},
      {106, "F16", QString(QChar(0xF713))},
      {64, "F17", QString(QChar(0xF714))},
      {79, "F18", QString(QChar(0xF715))},
      {80, "F19", QString(QChar(0xF716))},
      // Without a keyboard layout every other key is nameless, F20 included.
      {90, none, none},
      {0, none, none},
      {52, none, none},
      {127, none, none},
      {kNoKey, none, none},
  };
  ASSERT_EQ(KivShortcut::keyboardLayout(), nullptr);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.keyCode);
    const KivShortcut s(c.keyCode, 0);
    EXPECT_EQ(s.keyCodeString(), c.name);
    EXPECT_EQ(s.keyCodeStringForKeyEquivalent(), c.keyEquivalent);
    EXPECT_EQ(s.description(), c.name) << "no modifiers: the key name alone";
  }
  EXPECT_EQ(KivShortcut(96, kCommand).description(), QStringLiteral("⌘F5"));
  EXPECT_EQ(KivShortcut(36, kCapsLock | 0x1E0000).description(), QStringLiteral("⌃⌥⇧⌘↩"));
}

TEST(KivShortcut, SpaceIsNamedByTheStringTable) {
  struct Case {
    const char* label;
    std::shared_ptr<const KivStringTable> table;
    QString name;
  };
  const Case cases[] = {
      {"English table", KivStringTable::shipped(KivStringTable::Language::English), QStringLiteral("Space")},
      {"Chinese table", KivStringTable::shipped(KivStringTable::Language::SimplifiedChinese), QStringLiteral("空格")},
      {"table without the entry", std::make_shared<const KivStringTable>(QHash<QString, QString>{}),
       QStringLiteral("XXX")},
      {"no table at all", nullptr, QStringLiteral("XXX")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    ScopedStringTable table(c.table);
    const KivShortcut space(49, kOption);
    EXPECT_EQ(space.keyCodeString(), c.name);
    EXPECT_EQ(space.description(), QStringLiteral("⌥") + c.name);
    EXPECT_EQ(space.keyCodeStringForKeyEquivalent(), QStringLiteral(" ")) << "a long name of Space is still a space";
  }
}

TEST(KivShortcut, LayoutTextBecomesANameOnlyWhenPrintable) {
  struct Case {
    const char* label;
    QString text;
    QString name;
  };
  const Case cases[] = {
      {"lower-case letter", "a", "A"},
      {"already upper case", "Z", "Z"},
      {"digit", "1", "1"},
      {"punctuation", ";", ";"},
      {"symbol", "+", "+"},
      {"currency", "€", "€"},
      {"umlaut", "ü", "Ü"},
      {"sharp s grows", "ß", "SS"},
      {"Cyrillic", "я", "Я"},
      {"combining accent (dead key shown)", QString(QChar(0x0301)), QString(QChar(0x0301))},
      {"character outside the BMP", QString::fromUcs4(U"\U0001D400"), QString::fromUcs4(U"\U0001D400")},
      {"nothing", "", ""},
      {"space", " ", ""},
      {"control character", "\r", ""},
      {"tab", "\t", ""},
      {"one bad character spoils all", "a\x01", ""},
      {"no-break space", QString(QChar(0x00A0)), ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(KivShortcut::keyNameFromLayoutText(c.text), c.name);
  }
}

TEST(KivShortcut, EqualityAndHash) {
  const KivShortcut controlD(2, kControl);
  const KivShortcut copy = controlD;
  EXPECT_EQ(copy, controlD);
  EXPECT_EQ(copy.hash(), controlD.hash());

  struct Case {
    const char* label;
    KivShortcut a;
    KivShortcut b;
    bool equal;
    bool sameHash;
  };
  const Case cases[] = {
      {"same fields", KivShortcut(2, kControl), KivShortcut(2, kControl | kCapsLock), true, true},
      {"key code and flags swap their sum", KivShortcut(2, kControl), KivShortcut(2 + kControl, 0), false, true},
      {"different modifiers", KivShortcut(2, kControl), KivShortcut(2, kCommand), false, false},
      {"archive keeps unmasked flags", *KivShortcut::decode({{"KeyCode", 2}, {"ModifierFlags", kControl | kCapsLock}}),
       KivShortcut(2, kControl | kCapsLock), false, false},
      {"sum wraps around", KivShortcut(~0ULL, 0), KivShortcut(kNoKey, 0), false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(c.a == c.b, c.equal);
    EXPECT_EQ(c.a.hash() == c.b.hash(), c.sameHash);
  }
  EXPECT_EQ(KivShortcut(~0ULL, kShift).hash(), static_cast<std::size_t>(kShift - 1)) << "unsigned, wrapping";

  // As dictionary keys, colliding shortcuts stay apart.
  std::unordered_map<KivShortcut, int> map;
  map[KivShortcut(2, kControl)] = 1;
  map[KivShortcut(2 + kControl, 0)] = 2;
  EXPECT_EQ(map.size(), 2u);
  EXPECT_EQ(map.at(KivShortcut(2, kControl)), 1);
}

TEST(KivShortcut, ArchiveMapRoundTripAndClamping) {
  struct Case {
    const char* label;
    QVariantMap archive;
    quint64 keyCode;
    quint64 flags;
  };
  const Case cases[] = {
      {"ordinary", {{"KeyCode", qint64{2}}, {"ModifierFlags", quint64{kControl}}}, 2, kControl},
      {"-1 is no key", {{"KeyCode", qint64{-1}}, {"ModifierFlags", quint64{0}}}, kNoKey, 0},
      {"-5 is no key", {{"KeyCode", -5}, {"ModifierFlags", 0}}, kNoKey, 0},
      {"the no-key value itself", {{"KeyCode", qint64(kNoKey)}, {"ModifierFlags", 0}}, kNoKey, 0},
      {"unsigned above the no-key value", {{"KeyCode", ~0ULL - 3}, {"ModifierFlags", 0}}, kNoKey, 0},
      {"Caps Lock kept", {{"KeyCode", 0}, {"ModifierFlags", kCapsLock | kShift}}, 0, kCapsLock | kShift},
      {"all flag bits kept", {{"KeyCode", 126}, {"ModifierFlags", ~0ULL}}, 126, ~0ULL},
      {"extra entries ignored", {{"KeyCode", 96}, {"ModifierFlags", 0}, {"Other", "x"}}, 96, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    ostrel::LogCapture log;
    const std::optional<KivShortcut> s = KivShortcut::decode(c.archive);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->keyCode(), c.keyCode);
    EXPECT_EQ(s->modifierFlags(), c.flags);
    EXPECT_TRUE(log.lines().isEmpty());
    // Encoding writes -1 for no key; decoding that gives the same shortcut back.
    const QVariantMap encoded = s->encode();
    EXPECT_EQ(encoded.value("KeyCode").toLongLong(), c.keyCode == kNoKey ? -1 : static_cast<qint64>(c.keyCode));
    EXPECT_EQ(encoded.value("ModifierFlags").toULongLong(), c.flags);
    EXPECT_EQ(KivShortcut::decode(encoded), s);
  }
}

TEST(KivShortcut, ArchiveBytesRoundTripAndLayout) {
  const KivShortcut shortcuts[] = {KivShortcut(2, kControl), KivShortcut(kNoKey, kOption | kShift),
                                   *KivShortcut::decode({{"KeyCode", 0}, {"ModifierFlags", ~0ULL}}),
                                   KivShortcut(0x7FFFFFFFFFFFFFFEULL, 0)};
  for (const KivShortcut& s : shortcuts) {
    SCOPED_TRACE(s.keyCode());
    const QByteArray data = s.archivedData();
    ASSERT_EQ(data.size(), KivShortcut::kArchiveSize);
    EXPECT_TRUE(data.startsWith("KVSC\x01"));
    EXPECT_EQ(qFromBigEndian<qint64>(data.constData() + 5), s.keyCode() == kNoKey ? -1 : qint64(s.keyCode()));
    EXPECT_EQ(qFromBigEndian<quint64>(data.constData() + 13), s.modifierFlags());
    EXPECT_EQ(KivShortcut::unarchive(data), s);
  }
  // A negative key code written by someone else decodes to no key.
  QByteArray minusFive = KivShortcut(2, kControl).archivedData();
  qToBigEndian(qint64{-5}, minusFive.data() + 5);
  ASSERT_TRUE(KivShortcut::unarchive(minusFive));
  EXPECT_EQ(KivShortcut::unarchive(minusFive)->keyCode(), kNoKey);
}

TEST(KivShortcut, DamagedArchivesGiveNothingWithOneLogLine) {
  const QByteArray good = KivShortcut(2, kControl).archivedData();
  QByteArray version2 = good;
  version2[4] = 2;
  struct BytesCase {
    const char* label;
    QByteArray data;
    const char* reason;
  };
  const BytesCase byteCases[] = {
      {"empty", QByteArray(), "cut short"},
      {"magic only", good.left(4), "cut short"},
      {"truncated", good.left(20), "cut short"},
      {"one byte too many", good + '\0', "beyond its end"},
      {"foreign bytes", QByteArray("bplist00\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0a\x0b\x0c\x0d"), "not a shortcut"},
      {"unknown version", version2, "version"},
  };
  for (const BytesCase& c : byteCases) {
    SCOPED_TRACE(c.label);
    ostrel::LogCapture log;
    EXPECT_FALSE(KivShortcut::unarchive(c.data).has_value());
    ASSERT_EQ(log.lines().size(), 1);
    EXPECT_TRUE(log.lines().first().contains(QLatin1String(c.reason))) << log.lines().first().toStdString();
  }

  struct MapCase {
    const char* label;
    QVariantMap archive;
  };
  const MapCase mapCases[] = {
      {"empty", {}},
      {"KeyCode missing", {{"ModifierFlags", 0}}},
      {"ModifierFlags missing", {{"KeyCode", 2}}},
      {"KeyCode is text", {{"KeyCode", "2"}, {"ModifierFlags", 0}}},
      {"ModifierFlags is a number with a fraction", {{"KeyCode", 2}, {"ModifierFlags", 1.5}}},
      {"KeyCode is bytes", {{"KeyCode", QByteArray("\x02")}, {"ModifierFlags", 0}}},
  };
  for (const MapCase& c : mapCases) {
    SCOPED_TRACE(c.label);
    ostrel::LogCapture log;
    EXPECT_FALSE(KivShortcut::decode(c.archive).has_value());
    EXPECT_EQ(log.lines().size(), 1);
  }
}

}  // namespace
