#pragma once

#include "platform/storage/CacheFiles.h"
#include "platform/base/Error.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <memory>
#include <optional>

class Scheduler;
class SingleShot;
namespace FileReader {
struct Failure;
}

// Typed key/value user settings, the app's "user defaults".
//
// Values keep their JSON type (bool, number, string, array, object). Typed
// getters return the caller's default for an absent or wrongly typed value.
// The file backend keeps one JSON object in a file; writes are coalesced and
// saved whole or not at all (FileWriter), and flush() is called on quit. A
// change the user must not lose goes through setAndSave(), which writes the
// file before it returns. Whether the last save failed, and why, is kept
// (saveError()) until a save succeeds; while saves fail, they are tried
// again every 30 seconds (and at the next change). A file that cannot be
// parsed is kept aside (".corrupt-<time>", with "-2", "-3", …
// after it for more within the same second) and logged, never overwritten
// silently; the settings in it that still read are kept (a value garbled or
// cut off costs only that value, a list only its records that do not read),
// each one that does not is named in the log, and the file stays where it is
// until what read of it is on disk in its place (one deleted meanwhile is
// no longer kept aside: the save goes ahead). What is no regular file, or
// is larger than kMaxFileBytes, is never read: it is moved aside and the
// settings start from defaults. changed(key) fires only when a value really
// changes.
// Main thread only.
class Defaults : public QObject {
    Q_OBJECT
public:
    // A settings file larger than this is not read: it is moved aside like
    // one that does not parse. Far above what any settings reach.
    static constexpr qint64 kMaxFileBytes = 64 * 1024 * 1024;

    // Settings in `filePath`, loaded now. Cached values (caches()) go to
    // files in `cacheDirectory`, or stay in memory when it is empty.
    // Failed saves are tried again on `retries` (Scheduler::system() unless
    // given), which must outlive the settings.
    static std::unique_ptr<Defaults> openFile(const QString& filePath, const QString& cacheDirectory = {});
    static std::unique_ptr<Defaults> openFile(const QString& filePath, const QString& cacheDirectory,
                                              Scheduler& retries);
    // Settings that live only in memory (tests, previews).
    static std::unique_ptr<Defaults> inMemory();

    // The process-wide settings: $XDG_CONFIG_HOME/tidewire/defaults.json,
    // with its caches in CacheFiles::standardDirectory(); in memory when
    // there is no home folder (HomeFolder). Created on first use unless
    // main() or a test installed another.
    static Defaults& standard();
    // Installs `defaults` as standard() (not owned); nullptr restores the file.
    static void setStandard(Defaults* defaults);
    // Empty without a home folder.
    static QString standardFilePath();

    ~Defaults() override;

    bool contains(const QString& key) const { return m_values.contains(key); }
    QJsonValue value(const QString& key) const { return m_values.value(key); }
    QStringList keys() const { return m_values.keys(); }

    bool boolValue(const QString& key, bool fallback) const;
    double doubleValue(const QString& key, double fallback) const;
    // Integral JSON numbers only; 2.5 is the wrong type for an integer key.
    qint64 intValue(const QString& key, qint64 fallback) const;
    QString stringValue(const QString& key, const QString& fallback = {}) const;
    // An array whose elements are all strings; anything else is the fallback.
    QStringList stringList(const QString& key, const QStringList& fallback = {}) const;
    QJsonArray arrayValue(const QString& key, const QJsonArray& fallback = {}) const;
    QJsonObject objectValue(const QString& key, const QJsonObject& fallback = {}) const;

    // Stores `value`; an undefined or null value removes the key.
    void set(const QString& key, const QJsonValue& value);
    void set(const QString& key, const QStringList& list) { set(key, QJsonArray::fromStringList(list)); }
    void set(const QString& key, const char* text) { set(key, QJsonValue(QString::fromUtf8(text))); }
    void remove(const QString& key);
    // Stores `value` like set() and writes the file at once, with every
    // other pending change; the failure when the file could not be written
    // (the value is kept in memory all the same). Every change the user makes
    // is stored this way (or with set() and flush() for several keys), so
    // what a window shows as done is on disk before the next event; set()
    // alone is for what the app keeps for itself (a window's frame, a value
    // a drag is still moving).
    Result<void> setAndSave(const QString& key, const QJsonValue& value);

    // Writes pending changes now. The failure when the file could not be
    // written (the old file stays as it was). In-memory settings always succeed.
    Result<void> flush();
    // Why the last save failed; nothing once a save succeeded (or before
    // any save).
    const std::optional<Error>& saveError() const { return m_saveError; }
    // The user's words for saveError(): "Tidewire can't write its settings
    // file <path> (<reason>)."; empty while saves succeed.
    QString saveProblem() const;
    QString filePath() const { return m_path; }

    // What the app keeps beside its settings but can fetch again; written
    // to their own files, never into the settings file.
    CacheFiles& caches() { return *m_caches; }

    // Why a stored value is set aside, which the name of its file tells:
    // it held what its owner could not read ("<key>.unreadable-…"), or
    // records past the limit of its owner's list ("<key>.past-limit-…").
    enum class Aside { Unreadable, PastLimit };

    // Keeps the value now stored under `key` where a person can find it,
    // before its owner replaces a value it could not read whole: a file
    // "<key>.unreadable-<UTC time>" (or ".past-limit-", after `why`) beside
    // the settings file ("-2", "-3", … after it for more within the same
    // second; one kept earlier is never replaced) holding a settings object
    // of that one member, so it can be put back as it was. The file's path;
    // an empty text when there is nothing to keep (no value under `key`, or
    // in-memory settings, which keep nothing past the run anyway); nothing
    // when the file could not be written (logged).
    std::optional<QString> setAside(const QString& key, Aside why = Aside::Unreadable);
    // For an owner about to replace a value it could not read whole: the
    // value now stored under `key` is set aside (setAside()) before another
    // takes its place in the file, at once or, when that cannot be done now,
    // by the next save, which writes nothing until it is (a failed save,
    // tried again). The new value may be set at once either way.
    void setAsideBeforeReplacing(const QString& key, Aside why = Aside::Unreadable);
    // The file the value under `key` was last set aside in during this run;
    // empty when none was.
    QString keptAsideAs(const QString& key) const { return m_keptAside.value(key); }

Q_SIGNALS:
    void changed(const QString& key);
    // saveError() changed: a save failed, or succeeded after a failure.
    void saveErrorChanged();
    // The value under `key` was set aside in the file at `path`.
    void keptAside(const QString& key, const QString& path);

private:
    Defaults(QString path, std::unique_ptr<CacheFiles> caches);
    void load();
    void keepUnreadableAside(const FileReader::Failure& failure);
    void scheduleSave();
    Result<void> recordSave(Result<void> saved);
    Result<QString> keepAside(const QString& key, const QJsonValue& value, Aside why);
    Result<void> keepWhatASaveReplaces();

    QString m_path;  // empty: in memory
    std::unique_ptr<CacheFiles> m_caches;
    QHash<QString, QJsonValue> m_values;
    QTimer m_saveTimer;
    bool m_dirty = false;
    bool m_saveBlocked = false;  // the file could not be read
    bool m_damagedFile = false;  // the file could not be parsed and is not kept aside yet
    struct PendingAside {
        QJsonValue value;  // as stored when its owner was about to replace it
        Aside why;
    };
    QHash<QString, PendingAside> m_asidePending;  // key -> stored value still to set aside before a save
    QHash<QString, QString> m_keptAside;          // key -> the file it was last set aside in
    std::unique_ptr<SingleShot> m_retry;  // file settings only
    std::optional<Error> m_saveError;
};
