#pragma once
// Ostrel's per-user preference store: QSettings("VELDOR", "Ostrel") in its native
// format, i.e. the INI file $XDG_CONFIG_HOME/VELDOR/Ostrel.conf.
//
// Contract:
//  - Reads never fail: a key that was never written reads as 0 / an invalid
//    QVariant (or the value given to registerDefaults(), which is never written).
//  - integerForKey() accepts whole numbers only (as INI text or as a number); any
//    other value reads as 0 and logs one line per read.
//  - Writes apply to the running process at once and reach the file on the next
//    turn of the store's event loop or at synchronize(). synchronize() returns
//    false and logs one line when the file could not be written (a read-only
//    directory, a full disk): the values stay in force for the session.
//  - An unusable file at load (not UTF-8 INI text, a line cut short, unreadable,
//    a directory in its place) is reported once on standard error; the store then
//    starts from the defaults and does not touch the file until synchronize() is
//    called explicitly, which keeps the unusable file beside the new one
//    (Ostrel.conf.unusable-<time>) rather than overwriting it. A file that turns
//    unusable while Ostrel runs is treated the same way; the values in use stay.
//  - Every change of a value, made through the store or by another program in the
//    file on disk (watched, also across atomic replacement), posts
//    DidChangeNotification on the default NotificationCenter with the store as
//    sender and the key under ChangedKeyUserInfoKey. Changes from disk arrive on
//    the thread that created the store (the main thread for standard()); changes
//    made through the store are posted on the writer's thread, except those of
//    setObjectForKeyAndWrite(), posted on the store's thread.
//  - Reads and writes are safe from any thread. Create the store on the main
//    thread (standard() is first used when the main window loads): the file is
//    watched, and unsaved writes are flushed, by that thread's event loop,
//    also after a write made on another thread (setObjectForKeyAndWrite(),
//    which keeps the wait for the disk off the main thread). A reload from
//    disk that meets a write under way looks again later instead of waiting.
//    Not copyable.

#include "common/NotificationCenter.h"

#include <QString>
#include <QVariant>
#include <QVariantMap>
#include <functional>
#include <memory>
#include <mutex>

class QSettings;
class QObject;
class QFileSystemWatcher;
class QTimer;

namespace ostrel {

class PreferenceStore {
 public:
  static const QString DidChangeNotification;  // "OstrelPreferenceStoreDidChangeNotification"
  static const QString ChangedKeyUserInfoKey;  // "key" -> QString

  // The process-wide store on the standard file; created on first use, never destroyed.
  static PreferenceStore& standard();
  static QString standardFilePath();

  // A store on any INI file (tests, tools). The directory is created on first write.
  explicit PreferenceStore(const QString& filePath);
  ~PreferenceStore();
  PreferenceStore(const PreferenceStore&) = delete;
  PreferenceStore& operator=(const PreferenceStore&) = delete;

  QString filePath() const;

  qint64 integerForKey(const QString& key) const;
  void setIntegerForKey(const QString& key, qint64 value);

  QVariant objectForKey(const QString& key) const;
  void setObjectForKey(const QString& key, const QVariant& value);
  void removeObjectForKey(const QString& key);

  // Values that reads fall back to while a key is absent; kept in memory only.
  void registerDefaults(const QVariantMap& defaults);

  bool synchronize();
  // setObjectForKey() and synchronize() in one, for a writer on another thread
  // than the store's: the file is written on the caller's thread alone (the
  // store's own flush is never scheduled on its thread), and the change is
  // posted on the store's thread, where its observers live. An unusable file is left alone as ever.
  bool setObjectForKeyAndWrite(const QString& key, const QVariant& value);

  // True while the file on disk is unusable and left alone until synchronize().
  bool isLeavingFileUntouched() const;

  // Shorthand for observing DidChangeNotification of this store.
  ScopedObserver observe(std::function<void(const QString& key)> handler);

 private:
  enum class FileState { InUse, LeftUntouched };

  QVariant valueLocked(const QString& key) const;
  QVariantMap snapshotLocked() const;
  void setLocked(const QString& key, const QVariant& value);
  bool synchronizeLocked();
  bool replaceUnusableFileLocked();
  void adoptSettingsLocked(std::unique_ptr<QSettings> fresh);
  void reloadFromDisk();
  void armWatcher();
  void scheduleReload();
  void postChanges(const QVariantMap& before, const QVariantMap& after) const;

  const QString path_;
  mutable std::mutex mutex_;
  FileState state_ = FileState::InUse;
  std::unique_ptr<QSettings> settings_;  // while InUse
  QVariantMap session_;                  // while LeftUntouched: the values in force
  QVariantMap defaults_;
  std::unique_ptr<QObject> context_;  // owns the watcher and the reload timer
  QFileSystemWatcher* watcher_ = nullptr;
  QTimer* reloadTimer_ = nullptr;
};

}  // namespace ostrel
