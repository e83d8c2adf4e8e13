// The recorder's binding to a preference entry: its value written through a
// transformer into a real preference file, changes of the entry shown, bad
// stored values ignored without being overwritten, and the designed messages
// for incomplete bindings.

#include "RecorderTestSupport.h"
#include "common/Log.h"
#include "settings/PreferenceStore.h"
#include "shortcuts/KivDictionaryTransformer.h"
#include "shortcuts/view/KivPreferenceValues.h"
#include "support/EventLoopWait.h"

#include <gtest/gtest.h>
#include <QFile>
#include <QTemporaryDir>

namespace ostrel {
namespace {

constexpr quint64 kControl = 0x40000;
const QString kKey = QStringLiteral("refreshShortcut");
const QString kKeyPath = QStringLiteral("values.refreshShortcut");

KivBindingOptions archiveOptions() {
  return KivBindingOptions{KivKeyedUnarchiveFromDataTransformerName, nullptr};
}

class RecorderBindingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::installRecorderEnvironment();
    ASSERT_TRUE(dir.isValid());
    store = std::make_unique<PreferenceStore>(dir.filePath(QStringLiteral("VELDOR/Ostrel.conf")));
    values = std::make_shared<KivPreferenceValues>(*store);
    view.setShortcutValueChange([this](KivShortcutView*) { ++changes; });
  }

  QByteArray fileText() {
    EXPECT_TRUE(store->synchronize());
    QFile file(store->filePath());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }

  QTemporaryDir dir{qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/binding-XXXXXX")};
  std::unique_ptr<PreferenceStore> store;
  std::shared_ptr<KivPreferenceValues> values;
  KivShortcutView view;
  int changes = 0;
};

TEST_F(RecorderBindingTest, TheValueIsStoredThroughTheTransformerAndFollowsTheEntry) {
  view.bind(KivShortcutBinding, values, kKeyPath, archiveOptions());
  EXPECT_EQ(view.shortcutValue(), std::nullopt);
  EXPECT_EQ(changes, 1) << "binding shows the bound value";
  changes = 0;

  view.setShortcutValue(KivShortcut(2, kControl));
  EXPECT_EQ(store->objectForKey(kKey).toByteArray(), KivShortcut(2, kControl).archivedData());
  EXPECT_TRUE(fileText().contains("refreshShortcut="));
  test::runEventLoopFor(300);
  EXPECT_EQ(changes, 1) << "our own write does not come back as a second change";

  store->setObjectForKey(kKey, KivShortcut(35, kControl).archivedData());
  EXPECT_TRUE(test::runEventLoopUntil([this] { return view.shortcutValue() == KivShortcut(35, kControl); }));
  EXPECT_EQ(changes, 2);

  view.setShortcutValue(std::nullopt);
  EXPECT_FALSE(store->objectForKey(kKey).isValid()) << "no shortcut removes the entry";
}

TEST_F(RecorderBindingTest, TheDictionaryFormByName) {
  view.bind(KivShortcutBinding, values, kKeyPath, KivBindingOptions{KivDictionaryTransformerName, nullptr});
  view.setShortcutValue(KivShortcut(32, kControl));
  const QVariantMap stored = store->objectForKey(kKey).toMap();
  EXPECT_EQ(stored.value(QStringLiteral("keyCode")).toULongLong(), 32u);
  EXPECT_EQ(stored.value(QStringLiteral("modifierFlags")).toULongLong(), kControl);
}

struct BadValueCase {
  const char* name;
  QVariant stored;
};

TEST_F(RecorderBindingTest, AnUnreadableStoredShortcutShowsEmptyAndStaysAsItIs) {
  const QByteArray archive = KivShortcut(2, kControl).archivedData();
  const BadValueCase cases[] = {
      {"truncated archive", archive.left(archive.size() - 3)},
      {"foreign bytes", QByteArray("not a shortcut archive")},
      {"a number", QVariant(qint64(262144))},
  };
  for (const BadValueCase& c : cases) {
    SCOPED_TRACE(c.name);
    view.setShortcutValue(KivShortcut(0, kControl));  // not yet bound: stays in the control only
    store->setObjectForKey(kKey, c.stored);
    const QVariant before = store->objectForKey(kKey);

    LogCapture log;
    view.bind(KivShortcutBinding, values, kKeyPath, archiveOptions());
    EXPECT_EQ(view.shortcutValue(), std::nullopt);
    EXPECT_EQ(log.lines().size(), 1) << log.lines().join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(store->objectForKey(kKey), before);
    view.unbind(KivShortcutBinding);
  }
}

TEST_F(RecorderBindingTest, IncompleteBindingsAreLoggedAndTheValueIsSetAnyway) {
  struct Case {
    std::shared_ptr<KivObservedObject> object;
    std::optional<QString> keyPath;
    const char* line;
  };
  const Case cases[] = {
      {nullptr, kKeyPath,
       "ERROR: NSObservedObjectKey was nil for binding \"shortcutValue\" in -[KivShortcutView "
       "propagateValue:forBinding:]"},
      {values, std::nullopt,
       "ERROR: NSObservedKeyPathKey was nil for binding \"shortcutValue\" in -[KivShortcutView "
       "propagateValue:forBinding:]"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    view.bind(KivShortcutBinding, c.object, c.keyPath, archiveOptions());
    const int before = changes;
    LogCapture log;
    view.setShortcutValue(KivShortcut(2, kControl));
    EXPECT_EQ(log.lines(), QStringList{QString::fromUtf8(c.line)});
    EXPECT_EQ(view.shortcutValue(), KivShortcut(2, kControl));
    EXPECT_EQ(changes, before + 1);
    EXPECT_FALSE(store->objectForKey(kKey).isValid());
    view.unbind(KivShortcutBinding);
  }

  // Unbound: nothing to say.
  LogCapture log;
  view.setShortcutValue(KivShortcut(32, kControl));
  EXPECT_TRUE(log.lines().isEmpty());
  ASSERT_FALSE(view.infoForBinding(KivShortcutBinding));
}

// Reads like the dictionary form but refuses to write back.
class ReadOnlyDictionaryTransformer : public KivShortcutTransformer {
 public:
  std::optional<KivShortcut> transformedValue(const QVariant& stored) const override {
    return KivShortcutTransformer::transformerWithName(KivDictionaryTransformerName)->transformedValue(stored);
  }
  QVariant reverseTransformedValue(const std::optional<KivShortcut>&) const override {
    ADD_FAILURE() << "a one-way transformer was asked to write";
    return {};
  }
  bool allowsReverseTransformation() const override { return false; }
};

TEST_F(RecorderBindingTest, AOneWayTransformerIsWarnedAboutAndTheValueGoesOutUntransformed) {
  LogCapture capture;
  view.bind(KivShortcutBinding, values, kKeyPath,
            KivBindingOptions{QString(), std::make_shared<ReadOnlyDictionaryTransformer>()});
  view.setShortcutValue(KivShortcut(2, kControl));
  EXPECT_EQ(capture.count(QStringLiteral("WARNING: binding \"shortcutValue\" has value transformer, but it doesn't "
                                         "allow reverse transformations in -[KivShortcutView propagateValue:forBinding:]")),
            1);
  EXPECT_EQ(view.shortcutValue(), KivShortcut(2, kControl));
  view.unbind(KivShortcutBinding);
}

TEST_F(RecorderBindingTest, OnlyTheShortcutValueIsBindable) {
  LogCapture log;
  view.bind(QStringLiteral("title"), values, kKeyPath, archiveOptions());
  EXPECT_EQ(log.lines().size(), 1);
  EXPECT_FALSE(view.infoForBinding(QStringLiteral("title")));
}

}  // namespace
}  // namespace ostrel
