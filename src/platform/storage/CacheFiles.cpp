#include "platform/storage/CacheFiles.h"

#include "platform/storage/Defaults.h"
#include "platform/storage/FileReader.h"
#include "platform/storage/FileWriter.h"
#include "platform/storage/HomeFolder.h"
#include "platform/base/Logging.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QMutexLocker>
#include <QStandardPaths>

std::unique_ptr<CacheFiles> CacheFiles::inDirectory(const QString& directory)
{
    return std::unique_ptr<CacheFiles>(new CacheFiles(directory));
}

std::unique_ptr<CacheFiles> CacheFiles::inMemory()
{
    return std::unique_ptr<CacheFiles>(new CacheFiles(QString()));
}

QString CacheFiles::standardDirectory()
{
    if (!HomeFolder::known())
        return {};
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + QStringLiteral("/tidewire");
}

CacheFiles::CacheFiles(QString directory) : m_directory(std::move(directory))
{
    // One thread: writes land in the order they were asked for.
    m_writer.setMaxThreadCount(1);
    m_writer.setExpiryTimeout(5000);
}

CacheFiles::~CacheFiles()
{
    flush();
}

QString CacheFiles::pathFor(const QString& key) const
{
    return m_directory + u'/' + key;
}

QJsonValue CacheFiles::value(const QString& key)
{
    if (m_pending.value(key) > 0)
        flush();
    QByteArray bytes;
    if (m_directory.isEmpty()) {
        const QMutexLocker lock(&m_mutex);
        bytes = m_memory.value(key);
    } else {
        std::expected<QByteArray, FileReader::Failure> read = FileReader::read(pathFor(key), kMaxFileBytes);
        if (!read) {
            // Fetched again, and the next write replaces what is there.
            if (!read.error().is(FileReader::Failure::Kind::Absent))
                qCCritical(lcPlatform).noquote() << "Cache file" << pathFor(key) << "cannot be read:" << read.error().reason;
            return QJsonValue(QJsonValue::Undefined);
        }
        bytes = std::move(*read);
    }
    if (bytes.isEmpty())
        return QJsonValue(QJsonValue::Undefined);
    const QJsonDocument doc = QJsonDocument::fromJson(bytes);
    if (doc.isObject())
        return doc.object();
    if (doc.isArray())
        return doc.array();
    return QJsonValue(QJsonValue::Undefined);
}

void CacheFiles::set(const QString& key, const QJsonValue& value)
{
    setLater(key, [value] { return value; });
}

void CacheFiles::setLater(const QString& key, std::function<QJsonValue()> produce)
{
    ++m_pending[key];
    m_writer.start([this, key, produce = std::move(produce)] {
        Result<void> written = write(key, produce());
        QMetaObject::invokeMethod(this, [this, key] {
            if (--m_pending[key] <= 0)
                m_pending.remove(key);
        }, Qt::QueuedConnection);
        if (!written) {
            const QMutexLocker lock(&m_mutex);
            if (!m_failure)
                m_failure = std::move(written.error());
        }
    });
    Q_EMIT changed(key);
}

// Worker thread (and adopt() on the main thread while the worker is idle).
Result<void> CacheFiles::write(const QString& key, const QJsonValue& value)
{
    const bool remove = !value.isObject() && !value.isArray();
    const QByteArray bytes = remove ? QByteArray()
        : value.isObject()          ? QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact)
                                    : QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact);
    if (m_directory.isEmpty()) {
        const QMutexLocker lock(&m_mutex);
        if (remove)
            m_memory.remove(key);
        else
            m_memory.insert(key, bytes);
        return {};
    }
    const QString path = pathFor(key);
    if (remove) {
        QFile file(path);
        if (file.exists() && !file.remove())
            return fail(ErrorKind::Io, file.errorString());
        return {};
    }
    return FileWriter::replace(path, bytes);
}

Result<void> CacheFiles::flush()
{
    m_writer.waitForDone();
    const QMutexLocker lock(&m_mutex);
    std::optional<Error> failure = std::exchange(m_failure, std::nullopt);
    if (failure)
        return std::unexpected(std::move(*failure));
    return {};
}

void CacheFiles::adopt(Defaults& settings, const QStringList& keys)
{
    flush();
    for (const QString& key : keys) {
        if (!settings.contains(key))
            continue;
        if (!write(key, settings.value(key))) {
            qCCritical(lcPlatform).noquote() << "Kept" << key << "in the settings file: its cache file could not be written";
            continue;
        }
        settings.remove(key);
    }
}
