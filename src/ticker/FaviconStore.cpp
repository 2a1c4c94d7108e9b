#include "ticker/FaviconStore.h"

#include "platform/storage/CacheFiles.h"
#include "platform/base/Clock.h"
#include "platform/net/Endpoints.h"
#include "platform/storage/FileReader.h"
#include "platform/storage/FileWriter.h"
#include "platform/net/Http.h"
#include "platform/net/ImageNetwork.h"
#include "platform/session/UrlOpener.h"
#include "ticker/ImageFetchGate.h"

#include <QBuffer>
#include <QDir>
#include <QImageReader>
#include <QAbstractNetworkCache>
#include <QNetworkAccessManager>
#include <QPointer>
#include <QRegularExpression>
#include <QtConcurrent/QtConcurrentRun>

#include <qcoro/qcorofuture.h>

using namespace std::chrono_literals;

QImage decodeImageBytes(const QByteArray& bytes, int maxSide, QSize target)
{
    if (bytes.isEmpty())
        return {};
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(true);
    const QSize full = reader.size();
    if (target.isValid() && !target.isEmpty() && full.isValid()) {
        // Fill the frame, never enlarge.
        const QSize filled = full.scaled(target, Qt::KeepAspectRatioByExpanding);
        if (filled.width() < full.width() && filled.height() < full.height())
            reader.setScaledSize(filled);
    } else if (maxSide > 0 && full.isValid() && (full.width() > maxSide || full.height() > maxSide)) {
        reader.setScaledSize(full.scaled(maxSide, maxSide, Qt::KeepAspectRatio));
    }
    QImage image = reader.read();
    if (image.isNull())
        return {};
    if (maxSide > 0 && (image.width() > maxSide || image.height() > maxSide))
        image = image.scaled(maxSide, maxSide, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return image;
}

FaviconStore::FaviconStore(QString cacheDir, QNetworkAccessManager* network, QUrl faviconBase,
                           ImageFetchGate& gate, Scheduler& scheduler, QObject* parent)
    : QObject(parent)
    , m_cacheDir(std::move(cacheDir))
    , m_network(network ? network : new QNetworkAccessManager(this))
    , m_faviconBase(std::move(faviconBase))
    , m_gate(&gate)
    , m_scheduler(&scheduler)
{
    // A folder that cannot be created is used all the same: reads then miss
    // and writes fail quietly.
    if (!m_cacheDir.isEmpty())
        QDir().mkpath(m_cacheDir);
}

FaviconStore::~FaviconStore()
{
    m_stop.request_stop();
}

FaviconStore& FaviconStore::shared()
{
    static FaviconStore* store = new FaviconStore(standardCacheDir(), ImageNetwork::shared(), Endpoints::current().faviconBase,
                                                  ImageFetchGate::shared(), Scheduler::system());
    return *store;
}

QString FaviconStore::standardCacheDir()
{
    // Under the app's own caches folder, not Qt's per-application one, which
    // follows the application name. None without a home folder.
    const QString caches = CacheFiles::standardDirectory();
    return caches.isEmpty() ? QString() : caches + QStringLiteral("/favicons");
}

QString FaviconStore::cacheKey(const QString& host, int size)
{
    return host + QLatin1Char('_') + QString::number(size);
}

QString FaviconStore::fileName(const QString& key)
{
    QString name;
    name.reserve(key.size() + 4);
    for (const char32_t c : key.toUcs4()) {
        const bool keep = QChar::isLetterOrNumber(c) || QChar::isMark(c) || c == U'-' || c == U'.' || c == U'_';
        if (keep)
            name += QString::fromUcs4(&c, 1);
        else
            name += QLatin1Char('-');
    }
    return name + QStringLiteral(".img");
}

bool FaviconStore::isValidHostName(const QString& host)
{
    if (host.isEmpty() || host.size() > 253)
        return false;
    const QByteArray ace = QUrl::toAce(host);
    if (ace.isEmpty() || ace.size() > 253)
        return false;
    static const QRegularExpression label(QStringLiteral("^(?!-)[A-Za-z0-9-]{1,63}(?<!-)$"));
    const QList<QByteArray> labels = ace.endsWith('.') ? ace.chopped(1).split('.') : ace.split('.');
    for (const QByteArray& part : labels) {
        if (!label.match(QString::fromLatin1(part)).hasMatch())
            return false;
    }
    return true;
}

void FaviconStore::request(const QString& host, const std::optional<QString>& iconURL, int size)
{
    const QString key = cacheKey(host, size);
    if (m_images.contains(key) || m_activeRequests.contains(key))
        return;
    QUrl url;
    if (iconURL && !iconURL->isEmpty()) {
        url = webUrl(*iconURL).value_or(QUrl());
    } else {
        if (!isValidHostName(host))
            return;
        // The service knows hosts by their ASCII (punycode) form.
        const QString ace = QString::fromLatin1(QUrl::toAce(host)).toLower();
        url = Endpoints::join(m_faviconBase, QStringLiteral("ip3/") + ace + QStringLiteral(".ico"));
    }
    if (!isHttpUrl(url))
        return;
    m_activeRequests.insert(key);
    load(key, url);  // runs on by itself; it frees the key when it ends
}

QString FaviconStore::diskPath(const QString& key) const
{
    return m_cacheDir.isEmpty() ? QString() : m_cacheDir + QLatin1Char('/') + fileName(key);
}

namespace {

// Worker-thread halves of a load: they touch only their arguments.
QImage readAndDecode(const QString& path)
{
    if (path.isEmpty())
        return {};
    // What is no regular file, or more than a download may be, is fetched
    // again; the fetched icon replaces it.
    const std::expected<QByteArray, FileReader::Failure> bytes = FileReader::read(path, FaviconStore::maxDownloadBytes);
    if (!bytes)
        return {};
    return decodeImageBytes(*bytes, FaviconStore::maxDecodedSide);
}

// A reply that is no picture must not be served again from the HTTP cache.
void dropFromHttpCache(QNetworkAccessManager* network, const QUrl& url)
{
    if (QAbstractNetworkCache* cache = network->cache())
        cache->remove(url);
}

QImage decodeAndWrite(const QByteArray& bytes, const QString& path)
{
    QImage image = decodeImageBytes(bytes, FaviconStore::maxDecodedSide);
    // Only what decodes is kept on disk. A failed write is logged and leaves
    // the old file; the icon is shown all the same and fetched again by the
    // next run.
    if (!image.isNull() && !path.isEmpty())
        (void)FileWriter::replace(path, bytes);
    return image;
}

} // namespace

void FaviconStore::store(const QString& key, const QImage& image)
{
    m_images.insert(key, image);
    Q_EMIT changed(key);
}

QCoro::Task<void> FaviconStore::load(QString key, QUrl url)
{
    QPointer<FaviconStore> self(this);
    const std::stop_token stop = m_stop.get_token();

    if (const QString path = diskPath(key); !path.isEmpty()) {
        const QImage cached = co_await QtConcurrent::run(&readAndDecode, path);
        if (!self || stop.stop_requested())
            co_return;
        if (!cached.isNull()) {
            store(key, cached);
            m_activeRequests.remove(key);
            co_return;
        }
    }

    // A store that goes away meanwhile ends the pause (its destructor stops
    // the token) and is noticed right after it: waiting on without a token,
    // a scheduler that is destroyed first would leave this frame suspended.
    co_await m_scheduler->sleep(100ms, stop);
    if (!self || stop.stop_requested())
        co_return;

    ImageFetchGate* gate = m_gate;
    co_await gate->acquire();
    ImageFetchGate::Slot slot(*gate);
    if (!self || stop.stop_requested())
        co_return;

    HttpRequest request(url);
    request.maxBytes = maxDownloadBytes;
    request.timeout = 20s;
    request.idleTimeout = 10s;
    const Result<HttpResponse> reply = co_await ImageNetwork::get(m_network, request, stop);
    slot.reset();
    if (!self || stop.stop_requested())
        co_return;

    // Any status: a 404 page that is an image is still the site's icon.
    QImage image;
    if (reply) {
        image = co_await QtConcurrent::run(&decodeAndWrite, reply->body, diskPath(key));
        if (!self)
            co_return;
    }
    if (!image.isNull() && !stop.stop_requested())
        store(key, image);
    else if (image.isNull())
        dropFromHttpCache(m_network, url);
    m_activeRequests.remove(key);
}
