#include "platform/storage/Defaults.h"

#include "platform/base/Clock.h"
#include "platform/storage/FileReader.h"
#include "platform/storage/FileWriter.h"
#include "platform/storage/HomeFolder.h"
#include "platform/base/Logging.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QPointer>
#include <QStandardPaths>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <unistd.h>

namespace {
Defaults* g_installed = nullptr;
constexpr int kSaveDelayMs = 250;
constexpr int kMaxAsideSuffix = 1000;
constexpr std::chrono::seconds kRetryDelay{30};

bool isBlank(QByteArrayView text)
{
    return std::ranges::all_of(text, [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; });
}

qsizetype skipSpace(QByteArrayView text, qsizetype i)
{
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text.at(i))))
        ++i;
    return i;
}

// The members of the object (or the elements of the array) whose opening
// bracket is just before `start`: the text is cut at every comma outside
// strings and brackets, up to the `close` that ends it or, for a text cut
// short, up to the end.
QList<QByteArrayView> piecesOf(QByteArrayView text, qsizetype start, char close)
{
    QList<QByteArrayView> pieces;
    qsizetype depth = 0;
    bool inString = false;
    bool escaped = false;
    for (qsizetype i = start; i < text.size(); ++i) {
        const char c = text.at(i);
        if (inString) {
            if (escaped)
                escaped = false;
            else if (c == '\\')
                escaped = true;
            else if (c == '"')
                inString = false;
            continue;
        }
        if (c == '"') {
            inString = true;
        } else if (c == '{' || c == '[') {
            ++depth;
        } else if (depth > 0 && (c == '}' || c == ']')) {
            --depth;
        } else if (depth == 0 && c == close) {
            pieces.append(text.sliced(start, i - start));
            return pieces;
        } else if (depth == 0 && c == ',') {
            pieces.append(text.sliced(start, i - start));
            start = i + 1;
        }
    }
    pieces.append(text.sliced(start));
    return pieces;
}

// What of a damaged settings object still reads: the members that read on
// their own, and for each member that does not, a line for the log naming it.
struct Salvage {
    QJsonObject members;
    QStringList lost;
};

// A key as the log shows it: quoted, and cut where no one reads.
QString shownKey(const QString& key)
{
    constexpr qsizetype kShownKeyLength = 120;
    return u'"' + (key.size() > kShownKeyLength ? key.left(kShownKeyLength) + u'\u2026' : key) + u'"';
}

// A member that does not read on its own: named by its key when the key
// still reads. Of a list, the records that still read are kept.
void salvageMember(QByteArrayView piece, qsizetype offset, Salvage& out)
{
    qsizetype i = skipSpace(piece, 0);
    const qsizetype keyStart = i;
    if (i < piece.size() && piece.at(i) == '"') {
        for (++i; i < piece.size() && piece.at(i) != '"'; ++i) {
            if (piece.at(i) == '\\')
                ++i;
        }
    }
    const QJsonArray keyArray =
        QJsonDocument::fromJson('[' + piece.sliced(keyStart, std::min(i + 1, piece.size()) - keyStart).toByteArray() + ']')
            .array();
    if (keyArray.size() != 1 || !keyArray.first().isString()) {
        out.lost.append(QStringLiteral("the text at byte %1 could not be read as a setting").arg(offset + keyStart));
        return;
    }
    const QString key = keyArray.first().toString();
    i = skipSpace(piece, i + 1);
    if (i < piece.size() && piece.at(i) == ':')
        i = skipSpace(piece, i + 1);
    if (i < piece.size() && piece.at(i) == '[') {
        QJsonArray records;
        for (QByteArrayView element : piecesOf(piece, i + 1, ']')) {
            const QJsonArray record = QJsonDocument::fromJson('[' + element.toByteArray() + ']').array();
            if (record.size() == 1)
                records.append(record.first());
        }
        if (!records.isEmpty()) {
            out.members.insert(key, records);
            out.lost.append(QStringLiteral("%1 could not be read whole; kept the %2 of its records that still read")
                                .arg(shownKey(key))
                                .arg(records.size()));
            return;
        }
    }
    out.lost.append(QStringLiteral("%1 could not be read and is left out").arg(shownKey(key)));
}

// The members of a damaged settings object that still read. Each member is
// read as an object of one member: a member garbled by another program, or
// cut off by a short write, is left out (of a list, only the records that do
// not read), and the members around it are kept. Nothing when the text does
// not start as an object.
Salvage readableMembers(const QByteArray& bytes)
{
    Salvage out;
    const qsizetype start = skipSpace(bytes, 0);
    if (start >= bytes.size() || bytes.at(start) != '{')
        return out;
    for (QByteArrayView piece : piecesOf(bytes, start + 1, '}')) {
        if (isBlank(piece))
            continue;
        const QJsonObject member = QJsonDocument::fromJson('{' + piece.toByteArray() + '}').object();
        if (member.size() == 1)
            out.members.insert(member.begin().key(), member.begin().value());
        else
            salvageMember(piece, piece.data() - bytes.constData(), out);
    }
    return out;
}

// Gives the file at `path` the second name `aside`, or where the file
// system has no hard links, makes `aside` a copy of it. Why not, when not.
std::optional<QString> linkOrCopy(const QString& path, const QString& aside)
{
    if (::link(QFile::encodeName(path).constData(), QFile::encodeName(aside).constData()) == 0)
        return std::nullopt;
    const int error = errno;
    if (error != EPERM && error != EOPNOTSUPP && error != EMLINK && error != ENOSYS)
        return QString::fromLocal8Bit(std::strerror(error));
    QFile file(path);
    if (file.copy(aside))
        return std::nullopt;
    return file.errorString();
}

// Keeps a damaged file as "<path>.corrupt-<UTC time to the second>", or,
// when that name is taken (another damaged file within the same second), as
// the first free "<that name>-2", "-3", …; a file kept aside earlier is
// never replaced. `move` takes the file away from `path` (for a file of
// which nothing could be read); otherwise it stays there, to be replaced
// only once what was read of it is on disk. The name it is kept under, or
// why it could not be kept.
Result<QString> keepDamagedFile(const QString& path, bool move)
{
    const QString stamped = path + QStringLiteral(".corrupt-")
        + QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    for (int n = 1; n <= kMaxAsideSuffix; ++n) {
        const QString aside = n == 1 ? stamped : stamped + QLatin1Char('-') + QString::number(n);
        if (QFile::exists(aside))
            continue;
        QFile file(path);
        const std::optional<QString> refused =
            move ? (file.rename(aside) ? std::nullopt : std::optional(file.errorString())) : linkOrCopy(path, aside);
        if (!refused)
            return aside;
        if (!QFile::exists(aside))
            return fail(ErrorKind::Io, *refused);  // not for the name: the folder or the file refuses
    }
    return fail(ErrorKind::Io, QStringLiteral("every name to keep it aside under is taken"));
}

// What a settings file that is not one JSON object holds, for the log.
QString notAnObject(const QJsonParseError& error, const QJsonDocument& doc, const QByteArray& bytes)
{
    if (error.error != QJsonParseError::NoError) {
        if (bytes.trimmed().isEmpty())
            return QStringLiteral("the file is empty");
        return error.errorString() + QStringLiteral(" at byte ") + QString::number(error.offset);
    }
    if (doc.isArray())
        return QStringLiteral("the file holds an array");
    return QStringLiteral("the file holds no object");
}

// One line for each setting of a damaged file that could not be read
// (whole), saying where the original is kept. A file of countless damaged
// members does not flood the log: past a few, one line counts the rest.
void logLost(const QString& path, const QStringList& lost, const QString& original)
{
    constexpr qsizetype kMaxLostLines = 20;
    for (qsizetype i = 0; i < std::min(lost.size(), kMaxLostLines); ++i)
        qCCritical(lcPlatform).noquote() << "Settings file" << path + u':' << lost.at(i) + u';'
                                         << "the original is kept as" << original;
    if (lost.size() > kMaxLostLines)
        qCCritical(lcPlatform).noquote() << "Settings file" << path + u':' << lost.size() - kMaxLostLines
                                         << "more settings could not be read; the original is kept as" << original;
}

} // namespace

std::unique_ptr<Defaults> Defaults::openFile(const QString& filePath, const QString& cacheDirectory)
{
    return openFile(filePath, cacheDirectory, Scheduler::system());
}

std::unique_ptr<Defaults> Defaults::openFile(const QString& filePath, const QString& cacheDirectory,
                                             Scheduler& retries)
{
    std::unique_ptr<Defaults> d(new Defaults(
        filePath, cacheDirectory.isEmpty() ? CacheFiles::inMemory() : CacheFiles::inDirectory(cacheDirectory)));
    d->m_retry = std::make_unique<SingleShot>(retries);
    d->load();
    return d;
}

std::unique_ptr<Defaults> Defaults::inMemory()
{
    return std::unique_ptr<Defaults>(new Defaults(QString(), CacheFiles::inMemory()));
}

QString Defaults::standardFilePath()
{
    if (!HomeFolder::known())
        return {};
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QStringLiteral("/tidewire/defaults.json");
}

Defaults& Defaults::standard()
{
    if (g_installed)
        return *g_installed;
    // Created on first use and never destroyed: settings outlive every view.
    // Without a home folder there is nowhere to keep them: they live in
    // memory, starting from the defaults.
    static Defaults* file = HomeFolder::known()
                              ? openFile(standardFilePath(), CacheFiles::standardDirectory()).release()
                              : inMemory().release();
    return *file;
}

void Defaults::setStandard(Defaults* defaults)
{
    g_installed = defaults;
}

Defaults::Defaults(QString path, std::unique_ptr<CacheFiles> caches)
    : m_path(std::move(path)), m_caches(std::move(caches))
{
    m_saveTimer.setSingleShot(true);
    m_saveTimer.setInterval(kSaveDelayMs);
    connect(&m_saveTimer, &QTimer::timeout, this, [this] { flush(); });
    if (auto* app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, this, [this] {
            flush();
            m_caches->flush();
        });
}

Defaults::~Defaults()
{
    if (g_installed == this)
        g_installed = nullptr;
    blockSignals(true);  // nothing may hear of a settings object on its way out
    flush();
}

void Defaults::load()
{
    std::expected<QByteArray, FileReader::Failure> read = FileReader::read(m_path, kMaxFileBytes);
    if (!read) {
        if (!read.error().is(FileReader::Failure::Kind::Absent))
            keepUnreadableAside(read.error());
        return;
    }
    const QByteArray bytes = std::move(*read);
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
    if (error.error == QJsonParseError::NoError && doc.isObject()) {
        const QJsonObject obj = doc.object();
        for (auto it = obj.begin(); it != obj.end(); ++it)
            m_values.insert(it.key(), it.value());
        return;
    }
    // One unreadable value must not cost the user every other setting: what
    // still reads is kept, and the whole file is kept aside as it was.
    const Salvage salvage = readableMembers(bytes);
    const QJsonObject& readable = salvage.members;
    for (auto it = readable.begin(); it != readable.end(); ++it)
        m_values.insert(it.key(), it.value());
    // A file of which nothing read may be moved away; one that still read
    // stays in place until what read of it is on disk there.
    const Result<QString> aside = keepDamagedFile(m_path, readable.isEmpty());
    const QString found = QStringLiteral("(") + notAnObject(error, doc, bytes) + QStringLiteral(");");
    logLost(m_path, salvage.lost, aside ? *aside : m_path);
    if (aside) {
        if (readable.isEmpty()) {
            qCCritical(lcPlatform).noquote() << "Settings file" << m_path << "is not a JSON object" << found
                                             << "kept it as" << *aside << "and started from defaults";
            return;
        }
        qCCritical(lcPlatform).noquote() << "Settings file" << m_path << "is not a JSON object" << found
                                         << "kept it as" << *aside << "and kept the" << readable.size()
                                         << "settings that still read";
    } else {
        const QString why = QStringLiteral("(") + aside.error().description + QStringLiteral(");");
        qCCritical(lcPlatform).noquote() << "Settings file" << m_path << "is corrupt and could not be kept aside" << why
                                         << "it stays as it is, and settings are saved once it can be kept aside";
        m_damagedFile = true;
        if (readable.isEmpty())
            return;
    }
    // Written at once: the next start must not have to read them again.
    m_dirty = true;
    flush();
}

void Defaults::keepUnreadableAside(const FileReader::Failure& failure)
{
    if (failure.is(FileReader::Failure::Kind::Unreadable)) {
        qCCritical(lcPlatform).noquote() << "Settings file" << m_path << "cannot be read:" << failure.reason
                                         << "- starting from defaults and leaving it untouched";
        m_saveBlocked = true;
        return;
    }
    // No settings file at all (a FIFO, a device, a folder) or one of a size
    // no settings reach: it is never read, and its name is moved aside so
    // that the settings saved from now on have a file of their own.
    const Result<QString> aside = keepDamagedFile(m_path, true);
    if (!aside) {
        qCCritical(lcPlatform).noquote() << "Settings file" << m_path << "cannot be read (" + failure.reason + u')'
                                         << "and could not be moved aside; starting from defaults, settings will not be saved";
        m_saveBlocked = true;
        return;
    }
    qCCritical(lcPlatform).noquote() << "Settings file" << m_path << "cannot be read (" + failure.reason + ");"
                                     << "kept it as" << *aside << "and started from defaults";
}

std::optional<QString> Defaults::setAside(const QString& key, Aside why)
{
    if (m_path.isEmpty() || !m_values.contains(key))
        return QString();
    Result<QString> kept = keepAside(key, m_values.value(key), why);
    return kept ? std::optional(*kept) : std::nullopt;
}

void Defaults::setAsideBeforeReplacing(const QString& key, Aside why)
{
    if (m_asidePending.contains(key) || setAside(key, why))
        return;
    qCCritical(lcPlatform).noquote() << "Not saving the settings until the stored" << key << "is kept aside";
    m_asidePending.insert(key, {m_values.value(key), why});
}

Result<QString> Defaults::keepAside(const QString& key, const QJsonValue& value, Aside why)
{
    // Written here, on this thread, like the settings file: kept aside
    // whole or not at all before the save goes on.
    const bool pastLimit = why == Aside::PastLimit;
    const QString folder = QFileInfo(m_path).absolutePath();
    const QString stamped = key + (pastLimit ? QStringLiteral(".past-limit-") : QStringLiteral(".unreadable-"))
        + QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    Result<void> written = fail(ErrorKind::Io, QStringLiteral("every name to keep it aside under is taken"));
    for (int n = 1; n <= kMaxAsideSuffix; ++n) {
        const QString name = n == 1 ? stamped : stamped + QLatin1Char('-') + QString::number(n);
        const QString path = folder + QLatin1Char('/') + name;
        if (QFileInfo::exists(path))
            continue;
        const QJsonDocument kept(QJsonObject{{key, value}});
        written = FileWriter::replace(path, kept.toJson(QJsonDocument::Compact));
        if (!written)
            break;
        qCCritical(lcPlatform).noquote() << "Kept the stored" << key << "as" << path << "before replacing it:"
                                         << (pastLimit ? "it held records past the limit of its list"
                                                       : "it held what could not be read");
        m_keptAside.insert(key, path);
        Q_EMIT keptAside(key, path);
        return path;
    }
    qCCritical(lcPlatform).noquote() << "Could not keep the stored" << key << "aside in" << folder << ":"
                                     << written.error().description;
    return std::unexpected(written.error());
}

// What the file now holds and a save would replace without a copy is kept
// aside first: a damaged file, and stored values their owners could not
// read whole (those still as stored replace nothing and wait). A damaged
// file that is gone (the user deleted it) holds nothing left to keep.
Result<void> Defaults::keepWhatASaveReplaces()
{
    if (m_damagedFile) {
        const Result<QString> aside = keepDamagedFile(m_path, false);
        if (aside) {
            qCCritical(lcPlatform).noquote() << "Kept the damaged settings file" << m_path << "as" << *aside
                                             << "before replacing it";
        } else if (QFileInfo(m_path).exists() || QFileInfo(m_path).isSymLink()) {
            return std::unexpected(aside.error());
        } else {
            qCInfo(lcPlatform).noquote() << "The damaged settings file" << m_path
                                         << "is gone; nothing is left to keep aside before saving";
        }
        m_damagedFile = false;
    }
    for (auto it = m_asidePending.begin(); it != m_asidePending.end();) {
        const auto now = m_values.constFind(it.key());
        if (now != m_values.cend() && *now == it->value) {
            ++it;
            continue;
        }
        const Result<QString> kept = keepAside(it.key(), it->value, it->why);
        if (!kept)
            return std::unexpected(kept.error());
        it = m_asidePending.erase(it);
    }
    return {};
}

bool Defaults::boolValue(const QString& key, bool fallback) const
{
    const QJsonValue v = m_values.value(key);
    return v.isBool() ? v.toBool() : fallback;
}

double Defaults::doubleValue(const QString& key, double fallback) const
{
    const QJsonValue v = m_values.value(key);
    return v.isDouble() ? v.toDouble() : fallback;
}

qint64 Defaults::intValue(const QString& key, qint64 fallback) const
{
    const QJsonValue v = m_values.value(key);
    if (!v.isDouble())
        return fallback;
    const double d = v.toDouble();
    if (!std::isfinite(d) || std::trunc(d) != d || std::fabs(d) > 9.007199254740992e15)
        return fallback;
    return static_cast<qint64>(d);
}

QString Defaults::stringValue(const QString& key, const QString& fallback) const
{
    const QJsonValue v = m_values.value(key);
    return v.isString() ? v.toString() : fallback;
}

QStringList Defaults::stringList(const QString& key, const QStringList& fallback) const
{
    const QJsonValue v = m_values.value(key);
    if (!v.isArray())
        return fallback;
    QStringList out;
    const QJsonArray array = v.toArray();
    out.reserve(array.size());
    for (const QJsonValue& e : array) {
        if (!e.isString())
            return fallback;
        out.append(e.toString());
    }
    return out;
}

QJsonArray Defaults::arrayValue(const QString& key, const QJsonArray& fallback) const
{
    const QJsonValue v = m_values.value(key);
    return v.isArray() ? v.toArray() : fallback;
}

QJsonObject Defaults::objectValue(const QString& key, const QJsonObject& fallback) const
{
    const QJsonValue v = m_values.value(key);
    return v.isObject() ? v.toObject() : fallback;
}

void Defaults::set(const QString& key, const QJsonValue& value)
{
    if (value.isUndefined() || value.isNull()) {
        remove(key);
        return;
    }
    auto it = m_values.find(key);
    if (it != m_values.end() && it.value() == value)
        return;
    m_values.insert(key, value);
    scheduleSave();
    Q_EMIT changed(key);
}

void Defaults::remove(const QString& key)
{
    if (m_values.remove(key) == 0)
        return;
    scheduleSave();
    Q_EMIT changed(key);
}

Result<void> Defaults::setAndSave(const QString& key, const QJsonValue& value)
{
    set(key, value);
    return flush();
}

void Defaults::scheduleSave()
{
    if (m_path.isEmpty())
        return;
    m_dirty = true;
    if (!m_saveTimer.isActive())
        m_saveTimer.start();
}

Result<void> Defaults::flush()
{
    m_saveTimer.stop();
    if (m_path.isEmpty() || !m_dirty)
        return {};
    if (m_saveBlocked)
        return recordSave(fail(ErrorKind::Io, QStringLiteral("it could not be read, so it is left as it was")));
    if (Result<void> kept = keepWhatASaveReplaces(); !kept)
        return recordSave(std::move(kept));
    QJsonObject obj;
    for (auto it = m_values.cbegin(); it != m_values.cend(); ++it)
        obj.insert(it.key(), it.value());
    Result<void> saved = FileWriter::replace(m_path, QJsonDocument(obj).toJson(QJsonDocument::Indented), u"settings to");
    if (saved)
        m_dirty = false;
    return recordSave(std::move(saved));
}

Result<void> Defaults::recordSave(Result<void> saved)
{
    std::optional<Error> error = saved ? std::nullopt : std::optional<Error>(saved.error());
    const bool changed = error.has_value() != m_saveError.has_value()
        || (error && error->description != m_saveError->description);
    m_saveError = std::move(error);
    // Tried again until a save succeeds; a file that could not be read is
    // left alone for this run.
    if (m_retry && (saved || m_saveBlocked))
        m_retry->cancel();
    else if (m_retry)
        m_retry->start(kRetryDelay, [this] { flush(); });
    if (changed)
        Q_EMIT saveErrorChanged();
    return saved;
}

QString Defaults::saveProblem() const
{
    if (!m_saveError)
        return {};
    return QStringLiteral("Tidewire can't write its settings file %1 (%2).").arg(m_path, m_saveError->description);
}
