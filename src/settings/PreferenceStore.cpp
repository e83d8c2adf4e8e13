#include "PreferenceStore.h"

#include "PreferenceFileCheck.h"
#include "WholeNumber.h"
#include "common/Log.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QSettings>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>
#include <optional>

namespace ostrel {

const QString PreferenceStore::DidChangeNotification = QStringLiteral("OstrelPreferenceStoreDidChangeNotification");
const QString PreferenceStore::ChangedKeyUserInfoKey = QStringLiteral("key");

namespace {

// Bursts of file events (an editor's save, QSaveFile's rename) are read once.
constexpr int kReloadDelayMs = 30;

QString describeStoredValue(const QVariant& v) {
  if (v.typeId() == QMetaType::QString) return QStringLiteral("the text \"%1\"").arg(v.toString());
  return QStringLiteral("a value of type %1").arg(QString::fromLatin1(v.typeName()));
}

std::unique_ptr<QSettings> openSettings(const QString& path) {
  return std::make_unique<QSettings>(path, QSettings::NativeFormat);
}

QString backupPathFor(const QString& path) {
  const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
  QString candidate = path + QStringLiteral(".unusable-") + stamp;
  for (int n = 2; QFileInfo::exists(candidate) || QFileInfo(candidate).isSymLink(); ++n) {
    candidate = path + QStringLiteral(".unusable-") + stamp + QLatin1Char('-') + QString::number(n);
  }
  return candidate;
}

}  // namespace

PreferenceStore& PreferenceStore::standard() {
  static PreferenceStore* const store = new PreferenceStore(standardFilePath());
  return *store;
}

QString PreferenceStore::standardFilePath() {
  // The path QSettings("VELDOR", "Ostrel") uses, computed without opening the
  // file: a FIFO or device in its place must not block start-up.
  return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
         QStringLiteral("/VELDOR/Ostrel.conf");
}

PreferenceStore::PreferenceStore(const QString& filePath) : path_(filePath) {
  std::optional<QString> problem = preferenceFileProblem(path_);
  if (!problem) {
    settings_ = openSettings(path_);
    if (settings_->status() == QSettings::FormatError) problem = QStringLiteral("it is not valid INI text");
  }
  if (problem) {
    settings_.reset();
    state_ = FileState::LeftUntouched;
    log("Preferences file %@ cannot be used (%@): Ostrel starts with the default settings and leaves the file "
        "as it is until the settings are saved",
        path_, *problem);
  }
  context_ = std::make_unique<QObject>();
  if (QCoreApplication::instance()) {
    watcher_ = new QFileSystemWatcher(context_.get());
    reloadTimer_ = new QTimer(context_.get());
    reloadTimer_->setSingleShot(true);
    reloadTimer_->setInterval(kReloadDelayMs);
    QObject::connect(reloadTimer_, &QTimer::timeout, context_.get(), [this] { reloadFromDisk(); });
    QObject::connect(watcher_, &QFileSystemWatcher::fileChanged, context_.get(), [this] { scheduleReload(); });
    QObject::connect(watcher_, &QFileSystemWatcher::directoryChanged, context_.get(), [this] { scheduleReload(); });
    armWatcher();
  }
}

PreferenceStore::~PreferenceStore() {
  context_.reset();  // no reload may run while the members go away
  std::lock_guard lock(mutex_);
  if (settings_) settings_->sync();
}

QString PreferenceStore::filePath() const {
  return path_;
}

qint64 PreferenceStore::integerForKey(const QString& key) const {
  const QVariant v = objectForKey(key);
  if (!v.isValid()) return 0;
  if (const std::optional<qint64> n = wholeNumber(v)) return *n;
  log("Preference %@ holds %@, not a whole number: it reads as 0", key, describeStoredValue(v));
  return 0;
}

void PreferenceStore::setIntegerForKey(const QString& key, qint64 value) {
  setObjectForKey(key, QVariant(value));
}

QVariant PreferenceStore::objectForKey(const QString& key) const {
  std::lock_guard lock(mutex_);
  return valueLocked(key);
}

void PreferenceStore::setObjectForKey(const QString& key, const QVariant& value) {
  QVariant before;
  QVariant after;
  {
    std::lock_guard lock(mutex_);
    before = valueLocked(key);
    setLocked(key, value);
    after = valueLocked(key);
  }
  // QVariant compares a number with its text form by value, so 1 written here and
  // "1" read back from the INI file are no change.
  if (before != after) postChanges({{key, before}}, {{key, after}});
}

void PreferenceStore::removeObjectForKey(const QString& key) {
  setObjectForKey(key, QVariant());
}

void PreferenceStore::registerDefaults(const QVariantMap& defaults) {
  QVariantMap before;
  QVariantMap after;
  {
    std::lock_guard lock(mutex_);
    before = snapshotLocked();
    for (auto it = defaults.begin(); it != defaults.end(); ++it) defaults_.insert(it.key(), it.value());
    after = snapshotLocked();
  }
  postChanges(before, after);
}

bool PreferenceStore::synchronize() {
  std::lock_guard lock(mutex_);
  return synchronizeLocked();
}

bool PreferenceStore::synchronizeLocked() {
  if (state_ == FileState::InUse) {
    if (const std::optional<QString> problem = preferenceFileProblem(path_)) {
      // Someone spoiled the file since it was read: keep it, write a new one beside.
      log("Preferences file %@ cannot be used (%@): it is kept as it is", path_, *problem);
      session_ = snapshotLocked();
      settings_.reset();
      state_ = FileState::LeftUntouched;
      return replaceUnusableFileLocked();
    }
    // QSettings' status is sticky per instance; a fresh instance shares the
    // unsaved values and reports on this write alone.
    auto fresh = openSettings(path_);
    fresh->sync();
    const bool written = fresh->status() == QSettings::NoError;
    adoptSettingsLocked(std::move(fresh));
    if (!written) log("Preferences could not be written to %@: the settings apply to this session only", path_);
    return written;
  }
  return replaceUnusableFileLocked();
}

bool PreferenceStore::setObjectForKeyAndWrite(const QString& key, const QVariant& value) {
  QVariant before;
  QVariant after;
  bool written = true;
  {
    std::lock_guard lock(mutex_);
    before = valueLocked(key);
    if (state_ != FileState::InUse || preferenceFileProblem(path_)) {
      // Left alone, or spoiled since it was read: the usual way decides.
      setLocked(key, value);
      written = state_ != FileState::InUse || synchronizeLocked();
    } else {
      // The store's own settings would schedule a flush of their own on their
      // thread (the main thread) the moment the value changes, and that flush
      // would wait for the disk there. A fresh instance made here takes the
      // change and writes it on this thread; the store then uses it.
      auto fresh = openSettings(path_);
      if (value.isValid()) fresh->setValue(key, value);
      else fresh->remove(key);
      fresh->sync();
      written = fresh->status() == QSettings::NoError;
      if (!written) log("Preferences could not be written to %@: the settings apply to this session only", path_);
      adoptSettingsLocked(std::move(fresh));
    }
    after = valueLocked(key);
  }
  if (before == after) return written;
  QObject* owner = context_.get();
  if (!owner || !QCoreApplication::instance() || owner->thread() == QThread::currentThread()) {
    postChanges({{key, before}}, {{key, after}});
  } else {
    // Observers (the shortcut binder's bindings, the window) live on the
    // store's thread and read their own state unlocked: they hear of it there.
    QMetaObject::invokeMethod(
        owner, [this, key, before, after] { postChanges({{key, before}}, {{key, after}}); }, Qt::QueuedConnection);
  }
  return written;
}

bool PreferenceStore::isLeavingFileUntouched() const {
  std::lock_guard lock(mutex_);
  return state_ == FileState::LeftUntouched;
}

ScopedObserver PreferenceStore::observe(std::function<void(const QString& key)> handler) {
  NotificationCenter& center = NotificationCenter::defaultCenter();
  const auto token =
      center.addObserver(DidChangeNotification, this, [handler = std::move(handler)](const Notification& n) {
        const auto it = n.userInfo.find(ChangedKeyUserInfoKey);
        if (it != n.userInfo.end()) handler(std::any_cast<QString>(it->second));
      });
  return ScopedObserver(center, token);
}

QVariant PreferenceStore::valueLocked(const QString& key) const {
  QVariant v = state_ == FileState::InUse ? settings_->value(key) : session_.value(key);
  if (!v.isValid()) v = defaults_.value(key);
  return v;
}

QVariantMap PreferenceStore::snapshotLocked() const {
  QStringList keys = state_ == FileState::InUse ? settings_->allKeys() : session_.keys();
  keys += defaults_.keys();
  QVariantMap out;
  for (const QString& key : keys) out.insert(key, valueLocked(key));
  return out;
}

void PreferenceStore::setLocked(const QString& key, const QVariant& value) {
  if (state_ == FileState::InUse) {
    if (value.isValid()) {
      settings_->setValue(key, value);
    } else {
      settings_->remove(key);
    }
  } else if (value.isValid()) {
    session_.insert(key, value);
  } else {
    session_.remove(key);
  }
}

bool PreferenceStore::replaceUnusableFileLocked() {
  const QFileInfo target(path_);
  if (target.isDir() || (target.exists() && !target.isFile())) {
    log("Preferences could not be written to %@: a directory or special file is in its place; the settings apply to "
        "this session only",
        path_);
    return false;
  }
  if (!QDir().mkpath(target.absolutePath())) {
    log("Preferences could not be written to %@: its directory cannot be created; the settings apply to this session "
        "only",
        path_);
    return false;
  }
  // Write the new file completely before the old one is moved aside, so that a
  // failure at any step leaves the user's file where it was.
  const QString staging = path_ + QStringLiteral(".saving");
  QFile::remove(staging);
  {
    // An empty file first, so that even "nothing to keep" produces a file to move in.
    QFile created(staging);
    if (!created.open(QIODevice::WriteOnly)) {
      log("Preferences could not be written to %@: %@; the settings apply to this session only", path_,
          created.errorString());
      return false;
    }
  }
  {
    QSettings out(staging, QSettings::NativeFormat);
    for (auto it = session_.begin(); it != session_.end(); ++it) out.setValue(it.key(), it.value());
    out.sync();
    if (out.status() != QSettings::NoError) {
      QFile::remove(staging);
      log("Preferences could not be written to %@: the settings apply to this session only", path_);
      return false;
    }
  }
  QString backup;
  if (target.exists() || target.isSymLink()) {
    backup = backupPathFor(path_);
    if (!QFile::rename(path_, backup)) {
      QFile::remove(staging);
      log("Preferences could not be written to %@: the unusable file cannot be moved aside; the settings apply to "
          "this session only",
          path_);
      return false;
    }
  }
  if (!QFile::rename(staging, path_)) {
    if (!backup.isEmpty()) QFile::rename(backup, path_);
    QFile::remove(staging);
    log("Preferences could not be written to %@: the settings apply to this session only", path_);
    return false;
  }
  if (!backup.isEmpty()) log("Preferences saved to %@; the unusable file was kept as %@", path_, backup);
  adoptSettingsLocked(openSettings(path_));
  session_.clear();
  state_ = FileState::InUse;
  armWatcher();
  return true;
}

void PreferenceStore::adoptSettingsLocked(std::unique_ptr<QSettings> fresh) {
  QObject* owner = context_.get();
  if (!owner || fresh->thread() == owner->thread()) {
    settings_ = std::move(fresh);
    return;
  }
  // Made on another thread: the store's settings still belong to the thread
  // whose event loop flushes later writes, and the old ones, which may have a
  // flush of theirs queued there, are let go there too.
  fresh->moveToThread(owner->thread());
  if (settings_) settings_.release()->deleteLater();
  settings_ = std::move(fresh);
}

void PreferenceStore::scheduleReload() {
  armWatcher();
  if (reloadTimer_) reloadTimer_->start();
}

void PreferenceStore::armWatcher() {
  if (!watcher_) return;
  // Watch the file itself and the folder that holds it: an atomic replacement
  // (QSaveFile, editors) swaps the inode and ends the watch on the old file; a
  // first save creates the folder. Walk up to the nearest folder that exists.
  const QFileInfo file(path_);
  QStringList wanted;
  if (file.exists() && file.isReadable()) wanted << file.absoluteFilePath();
  QDir dir = file.absoluteDir();
  while (!dir.exists() && !dir.isRoot()) dir.setPath(QFileInfo(dir.absolutePath()).absolutePath());
  wanted << dir.absolutePath();
  const QStringList watched = watcher_->files() + watcher_->directories();
  QStringList stale;
  for (const QString& p : watched) {
    if (!wanted.contains(p)) stale << p;
  }
  if (!stale.isEmpty()) watcher_->removePaths(stale);
  QStringList missing;
  for (const QString& p : wanted) {
    if (!watched.contains(p)) missing << p;
  }
  if (!missing.isEmpty()) watcher_->addPaths(missing);
}

void PreferenceStore::reloadFromDisk() {
  QVariantMap before;
  QVariantMap after;
  {
    // A write under way on another thread waits for the disk, and its own
    // temporary file is what woke us: rather than wait for it here, on the
    // main thread, look again once it is done (its rename wakes us anyway).
    std::unique_lock lock(mutex_, std::try_to_lock);
    if (!lock.owns_lock()) {
      scheduleReload();
      return;
    }
    const std::optional<QString> problem = preferenceFileProblem(path_);
    if (problem) {
      if (state_ == FileState::InUse) {
        log("Preferences file %@ cannot be used (%@): Ostrel keeps the settings in use and leaves the file as it is "
            "until the settings are saved",
            path_, *problem);
        session_ = snapshotLocked();
        settings_.reset();
        state_ = FileState::LeftUntouched;
      }
      return;
    }
    before = snapshotLocked();
    if (state_ == FileState::LeftUntouched) {
      // The file was repaired or removed by someone else: use it again, with the
      // choices made meanwhile on top.
      settings_ = openSettings(path_);
      for (auto it = session_.begin(); it != session_.end(); ++it) settings_->setValue(it.key(), it.value());
      session_.clear();
      state_ = FileState::InUse;
    } else {
      settings_->sync();
    }
    after = snapshotLocked();
  }
  postChanges(before, after);
}

void PreferenceStore::postChanges(const QVariantMap& before, const QVariantMap& after) const {
  QStringList changed;
  for (auto it = after.begin(); it != after.end(); ++it) {
    if (before.value(it.key()) != it.value()) changed << it.key();
  }
  for (auto it = before.begin(); it != before.end(); ++it) {
    if (!after.contains(it.key()) && it.value().isValid()) changed << it.key();
  }
  for (const QString& key : changed) {
    NotificationCenter::defaultCenter().post({DidChangeNotification, this, {{ChangedKeyUserInfoKey, std::any(key)}}});
  }
}

}  // namespace ostrel
