#include "platform/gnome/GSettingsCustomShortcutStore.h"

#include "platform/gnome/GnomePlatform.h"

#define G_SETTINGS_ENABLE_BACKEND
#include <gio/gio.h>
#include <gio/gsettingsbackend.h>

#include <map>

namespace ostrel::platform::gnome {
namespace {

constexpr const char* kListSchema = "org.gnome.settings-daemon.plugins.media-keys";
constexpr const char* kListKey = "custom-keybindings";
constexpr const char* kEntrySchema = "org.gnome.settings-daemon.plugins.media-keys.custom-keybinding";
constexpr const char* kEntryKeys[] = {"name", "command", "binding"};

struct ObjectUnref {
  void operator()(gpointer object) const { g_object_unref(object); }
};
struct SchemaUnref {
  void operator()(GSettingsSchema* schema) const { g_settings_schema_unref(schema); }
};
using SettingsPtr = std::unique_ptr<GSettings, ObjectUnref>;
using BackendPtr = std::unique_ptr<GSettingsBackend, ObjectUnref>;
using SchemaPtr = std::unique_ptr<GSettingsSchema, SchemaUnref>;

SchemaPtr lookUpSchema(const char* id) {
  GSettingsSchemaSource* source = g_settings_schema_source_get_default();  // not ours to free
  return SchemaPtr(source ? g_settings_schema_source_lookup(source, id, TRUE) : nullptr);
}

QString stringOf(GSettings* settings, const char* key) {
  gchar* value = g_settings_get_string(settings, key);
  QString text = QString::fromUtf8(value);
  g_free(value);
  return text;
}

}  // namespace

struct GSettingsCustomShortcutStore::Handles {
  SchemaPtr entrySchema;
  SettingsPtr list;
  // One object per path ever asked about: GSettings watches a path for as
  // long as its object lives, which is what watch() needs.
  std::map<QString, SettingsPtr> entries;
  std::function<void()> changed;
  QStringList watched;

  GSettings* entrySettings(const QString& path) {
    auto it = entries.find(path);
    if (it == entries.end()) {
      const QByteArray utf8 = path.toUtf8();
      it = entries.emplace(path, SettingsPtr(g_settings_new_full(entrySchema.get(), nullptr, utf8.constData()))).first;
      // Its three keys change together: one change for the settings daemon
      // to act on, not three.
      g_settings_delay(it->second.get());
    }
    return it->second.get();
  }

  void connect(GSettings* settings) { g_signal_connect(settings, "changed", G_CALLBACK(&Handles::onChanged), this); }

  static void onChanged(GSettings*, const gchar*, gpointer self) {
    auto* h = static_cast<Handles*>(self);
    if (h->changed) h->changed();
  }

  ~Handles() {
    g_signal_handlers_disconnect_by_data(list.get(), this);
    for (auto& [path, settings] : entries) g_signal_handlers_disconnect_by_data(settings.get(), this);
  }
};

std::unique_ptr<GSettingsCustomShortcutStore> GSettingsCustomShortcutStore::create(QString* whyNot) {
  SchemaPtr listSchema = lookUpSchema(kListSchema);
  SchemaPtr entrySchema = lookUpSchema(kEntrySchema);
  bool complete = listSchema && entrySchema && g_settings_schema_has_key(listSchema.get(), kListKey);
  for (const char* key : kEntryKeys) complete = complete && g_settings_schema_has_key(entrySchema.get(), key);
  if (!complete) {
    if (whyNot) {
      *whyNot =
          QStringLiteral(
              "GNOME's keyboard shortcut settings (the GSettings schema %1) are not installed: this is not a GNOME "
              "desktop, or gnome-settings-daemon is missing")
              .arg(QLatin1String(kListSchema));
    }
    return nullptr;
  }
  // Without dconf's module GSettings falls back to keeping values in this
  // process only: the desktop would never see them.
  const BackendPtr backend(g_settings_backend_get_default());
  const char* backendType = G_OBJECT_TYPE_NAME(backend.get());
  if (qstrcmp(backendType, "GMemorySettingsBackend") == 0 || qstrcmp(backendType, "GNullSettingsBackend") == 0) {
    if (whyNot) {
      *whyNot = QStringLiteral(
                    "GSettings keeps values only inside this program here (%1; dconf-gsettings-backend is missing), so "
                    "GNOME would never see the shortcuts")
                    .arg(QLatin1String(backendType));
    }
    return nullptr;
  }
  auto h = std::make_unique<Handles>();
  h->entrySchema = std::move(entrySchema);
  h->list.reset(g_settings_new_full(listSchema.get(), nullptr, nullptr));
  return std::unique_ptr<GSettingsCustomShortcutStore>(new GSettingsCustomShortcutStore(std::move(h)));
}

GSettingsCustomShortcutStore::GSettingsCustomShortcutStore(std::unique_ptr<Handles> handles) : h_(std::move(handles)) {}

GSettingsCustomShortcutStore::~GSettingsCustomShortcutStore() = default;

bool GSettingsCustomShortcutStore::isEntryPath(const QString& path) {
  // GSettings' own rule for a path; it aborts on any other.
  return path.startsWith(QLatin1Char('/')) && path.endsWith(QLatin1Char('/')) && !path.contains(QLatin1String("//"));
}

QStringList GSettingsCustomShortcutStore::paths() const {
  gchar** values = g_settings_get_strv(h_->list.get(), kListKey);
  QStringList out;
  for (gchar** v = values; v && *v; ++v) out << QString::fromUtf8(*v);
  g_strfreev(values);
  return out;
}

bool GSettingsCustomShortcutStore::setPaths(const QStringList& paths) {
  if (paths.isEmpty()) {
    g_settings_reset(h_->list.get(), kListKey);
    return true;
  }
  std::vector<QByteArray> utf8;
  std::vector<const gchar*> values;
  for (const QString& p : paths) utf8.push_back(p.toUtf8());
  for (const QByteArray& u : utf8) values.push_back(u.constData());
  values.push_back(nullptr);
  return g_settings_set_strv(h_->list.get(), kListKey, values.data());
}

std::optional<CustomShortcutEntry> GSettingsCustomShortcutStore::entry(const QString& path) const {
  if (!isEntryPath(path)) return std::nullopt;
  GSettings* settings = h_->entrySettings(path);
  return CustomShortcutEntry{stringOf(settings, "name"), stringOf(settings, "command"), stringOf(settings, "binding")};
}

bool GSettingsCustomShortcutStore::setEntry(const QString& path, const CustomShortcutEntry& entry) {
  if (!isEntryPath(path)) return false;
  GSettings* settings = h_->entrySettings(path);
  bool ok = g_settings_set_string(settings, "name", entry.name.toUtf8().constData());
  ok = g_settings_set_string(settings, "command", entry.command.toUtf8().constData()) && ok;
  ok = g_settings_set_string(settings, "binding", entry.binding.toUtf8().constData()) && ok;
  if (ok) {
    g_settings_apply(settings);
  } else {
    g_settings_revert(settings);
  }
  return ok;
}

bool GSettingsCustomShortcutStore::resetEntry(const QString& path) {
  if (!isEntryPath(path)) return false;
  GSettings* settings = h_->entrySettings(path);
  for (const char* key : kEntryKeys) g_settings_reset(settings, key);
  g_settings_apply(settings);
  return true;
}

void GSettingsCustomShortcutStore::flush() {
  g_settings_sync();
}

void GSettingsCustomShortcutStore::watch(const QStringList& paths, std::function<void()> changed) {
  g_signal_handlers_disconnect_by_data(h_->list.get(), h_.get());
  for (auto& [path, settings] : h_->entries) g_signal_handlers_disconnect_by_data(settings.get(), h_.get());
  h_->changed = std::move(changed);
  h_->watched.clear();
  for (const QString& path : paths) {
    if (isEntryPath(path)) h_->watched << path;
  }
  h_->connect(h_->list.get());
  for (const QString& path : h_->watched) h_->entrySettings(path);
  for (auto& [path, settings] : h_->entries) {
    if (h_->watched.contains(path)) h_->connect(settings.get());
  }
}

}  // namespace ostrel::platform::gnome

namespace ostrel::platform {

std::unique_ptr<CustomShortcutStore> createGnomeCustomShortcutStore(QString* whyNot) {
  return gnome::GSettingsCustomShortcutStore::create(whyNot);
}

}  // namespace ostrel::platform
