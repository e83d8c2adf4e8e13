#include "shortcuts/KivArchiveTransformer.h"
#include "shortcuts/KivDictionaryTransformer.h"
#include "shortcuts/KivShortcutTransformer.h"

#include "common/Log.h"

#include <gtest/gtest.h>

namespace {

using ostrel::KivShortcut;

constexpr quint64 kCapsLock = 0x10000;
constexpr quint64 kControl = 0x40000;

TEST(KivDictionaryTransformer, ForwardTable) {
  struct Case {
    const char* label;
    QVariant stored;
    std::optional<KivShortcut> expected;
    int logLines;
  };
  const Case cases[] = {
      {"numbers", QVariantMap{{"keyCode", 2}, {"modifierFlags", 262144}}, KivShortcut(2, kControl), 0},
      {"unsigned 64-bit numbers", QVariantMap{{"keyCode", 2ull}, {"modifierFlags", 262144ull}},
       KivShortcut(2, kControl), 0},
      {"numeric text", QVariantMap{{"keyCode", "32"}, {"modifierFlags", " 262144 "}}, KivShortcut(32, kControl), 0},
      {"bits outside the four modifiers are lost",
       QVariantMap{{"keyCode", 35}, {"modifierFlags", kControl | kCapsLock | 0xFF}}, KivShortcut(35, kControl), 0},
      {"extra entries ignored", QVariantMap{{"keyCode", 2}, {"modifierFlags", 0}, {"x", "y"}}, KivShortcut(2, 0), 0},
      {"absent value", QVariant(), std::nullopt, 0},
      {"empty map", QVariantMap(), std::nullopt, 0},
      {"keyCode missing", QVariantMap{{"modifierFlags", 262144}}, std::nullopt, 1},
      {"modifierFlags missing", QVariantMap{{"keyCode", 2}}, std::nullopt, 1},
      {"text that is no number", QVariantMap{{"keyCode", "D"}, {"modifierFlags", 262144}}, std::nullopt, 1},
      {"a list entry", QVariantMap{{"keyCode", QVariantList{2}}, {"modifierFlags", 0}}, std::nullopt, 1},
      {"not a map", QVariant(QByteArray("KVSC")), std::nullopt, 1},
      {"an integer", QVariant(2), std::nullopt, 1},
  };
  const ostrel::KivDictionaryTransformer transformer;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    ostrel::LogCapture log;
    EXPECT_EQ(transformer.transformedValue(c.stored), c.expected);
    EXPECT_EQ(log.lines().size(), c.logLines) << log.lines().join('\n').toStdString();
  }
}

TEST(KivDictionaryTransformer, Reverse) {
  const ostrel::KivDictionaryTransformer transformer;
  const QVariant stored = transformer.reverseTransformedValue(KivShortcut(2, kControl));
  ASSERT_EQ(stored.typeId(), QMetaType::QVariantMap);
  const QVariantMap map = stored.toMap();
  EXPECT_EQ(map.size(), 2);
  EXPECT_EQ(map.value("keyCode").toULongLong(), 2u);
  EXPECT_EQ(map.value("modifierFlags").toULongLong(), kControl);
  EXPECT_EQ(transformer.transformedValue(stored), KivShortcut(2, kControl));

  const QVariant nothing = transformer.reverseTransformedValue(std::nullopt);
  EXPECT_EQ(nothing.typeId(), QMetaType::QVariantMap);
  EXPECT_TRUE(nothing.toMap().isEmpty());
}

TEST(KivArchiveTransformer, BothDirections) {
  const ostrel::KivArchiveTransformer transformer;
  const KivShortcut shortcut(96, 0x100000);
  const QVariant stored = transformer.reverseTransformedValue(shortcut);
  EXPECT_EQ(stored.toByteArray(), shortcut.archivedData());
  EXPECT_EQ(transformer.transformedValue(stored), shortcut);
  EXPECT_EQ(transformer.transformedValue(shortcut.encode()), shortcut) << "the map form is read too";
  EXPECT_FALSE(transformer.reverseTransformedValue(std::nullopt).isValid());

  ostrel::LogCapture log;
  EXPECT_EQ(transformer.transformedValue(QVariant()), std::nullopt);
  EXPECT_TRUE(log.lines().isEmpty()) << "an absent value is no error";
  EXPECT_EQ(transformer.transformedValue(QVariant(QStringLiteral("KVSC"))), std::nullopt);
  EXPECT_EQ(transformer.transformedValue(QVariant(shortcut.archivedData().left(10))), std::nullopt);
  EXPECT_EQ(log.lines().size(), 2);
}

TEST(KivShortcutTransformer, FoundByName) {
  EXPECT_NE(dynamic_cast<const ostrel::KivDictionaryTransformer*>(
                ostrel::KivShortcutTransformer::transformerWithName(ostrel::KivDictionaryTransformerName).get()),
            nullptr);
  EXPECT_EQ(ostrel::KivDictionaryTransformerName, QStringLiteral("KivDictionaryTransformer"));
  EXPECT_NE(
      dynamic_cast<const ostrel::KivArchiveTransformer*>(
          ostrel::KivShortcutTransformer::transformerWithName(ostrel::KivKeyedUnarchiveFromDataTransformerName).get()),
      nullptr);
  EXPECT_EQ(ostrel::KivShortcutTransformer::transformerWithName(QStringLiteral("NSKeyedUnarchiveFromData")), nullptr);
}

}  // namespace
