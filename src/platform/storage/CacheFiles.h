#pragma once

#include "platform/base/Error.h"

#include <QHash>
#include <QJsonValue>
#include <QMutex>
#include <QObject>
#include <QStringList>
#include <QThreadPool>
#include <functional>
#include <memory>
#include <optional>

class Defaults;

// What the app keeps only to start faster and can fetch again (the feed
// snapshot, the personal feeds' items): one JSON file per key, named after the
// key, in the cache folder ($XDG_CACHE_HOME/tidewire/), so the settings file
// holds settings only and a settings change never rewrites headlines.
//
// Writes run on one worker thread in the order they were asked for, each
// saved whole or not at all (FileWriter): a newer value is never overwritten
// by an older one, and a failed write keeps the previous file and is logged.
// Reads are synchronous and first wait for the key's pending writes. Main
// thread only (the worker is internal).
class CacheFiles : public QObject {
    Q_OBJECT
public:
    // Files in `directory`, created on the first write.
    static std::unique_ptr<CacheFiles> inDirectory(const QString& directory);
    // Values that live only in memory (tests, previews); same ordering rules.
    static std::unique_ptr<CacheFiles> inMemory();
    // $XDG_CACHE_HOME/tidewire; empty without a home folder (HomeFolder).
    static QString standardDirectory();

    ~CacheFiles() override;

    // A cache file larger than this is not read.
    static constexpr qint64 kMaxFileBytes = 64 * 1024 * 1024;

    // The stored value, or undefined when there is none or it does not parse
    // (or is no regular file, or is larger than kMaxFileBytes: logged).
    QJsonValue value(const QString& key);
    bool contains(const QString& key) { return !value(key).isUndefined(); }

    // Stores an object or array; undefined or null removes the key's file.
    void set(const QString& key, const QJsonValue& value);
    // Stores what `produce` returns, calling it on the worker thread (for
    // values that are costly to encode). It must not touch main-thread state.
    void setLater(const QString& key, std::function<QJsonValue()> produce);

    // Waits for every pending write. The first write since the last flush
    // that failed, if any (its old file stayed as it was).
    Result<void> flush();

    // Moves each of `keys` still kept in `settings` (written by earlier
    // versions) into its own file; a key leaves the settings only once its
    // file is written.
    void adopt(Defaults& settings, const QStringList& keys);

    QString directory() const { return m_directory; }

Q_SIGNALS:
    // A value for `key` was handed to the writer.
    void changed(const QString& key);

private:
    explicit CacheFiles(QString directory);
    Result<void> write(const QString& key, const QJsonValue& value);
    QString pathFor(const QString& key) const;

    QString m_directory;  // empty: in memory
    QThreadPool m_writer;
    QHash<QString, int> m_pending;  // key -> writes queued, main thread only

    QMutex m_mutex;  // guards what the worker touches below
    QHash<QString, QByteArray> m_memory;
    std::optional<Error> m_failure;
};
