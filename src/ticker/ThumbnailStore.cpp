#include "ticker/ThumbnailStore.h"

#include "platform/net/Http.h"
#include "platform/net/ImageNetwork.h"
#include "ticker/FaviconStore.h"
#include "ticker/ImageFetchGate.h"

#include <QAbstractNetworkCache>
#include <QNetworkAccessManager>
#include <QPointer>
#include <QtConcurrent/QtConcurrentRun>

#include <qcoro/qcorofuture.h>

using namespace std::chrono_literals;

namespace {

QString addressKey(const QUrl& url)
{
    return url.toString(QUrl::FullyEncoded);
}

} // namespace

ThumbnailStore::ThumbnailStore(QNetworkAccessManager* network, ImageFetchGate& gate, QObject* parent)
    : QObject(parent), m_network(network ? network : new QNetworkAccessManager(this)), m_gate(&gate)
{
}

ThumbnailStore::~ThumbnailStore()
{
    m_stop.request_stop();
}

ThumbnailStore& ThumbnailStore::shared()
{
    static ThumbnailStore* store = new ThumbnailStore(ImageNetwork::shared(), ImageFetchGate::shared());
    return *store;
}

QString ThumbnailStore::cacheKey(const QUrl& url, QSize pixels)
{
    return addressKey(url) + QLatin1Char('@') + QString::number(pixels.width()) + QLatin1Char('x')
        + QString::number(pixels.height());
}

bool ThumbnailStore::isLoading(const QUrl& url, QSize pixels) const
{
    if (m_decoding.contains(cacheKey(url, pixels)))
        return true;
    const auto waiting = m_waiting.constFind(addressKey(url));
    return waiting != m_waiting.cend() && waiting->contains(pixels);
}

void ThumbnailStore::request(const QUrl& url, QSize pixels)
{
    if (!isHttpUrl(url) || pixels.isEmpty())
        return;
    const QString key = cacheKey(url, pixels);
    if (m_images.contains(key) || m_decoding.contains(key))
        return;
    const QString address = addressKey(url);
    if (const QByteArray bytes = m_bytes.object(address); !bytes.isEmpty()) {
        m_decoding.insert(key);
        decode(url, bytes, pixels);  // runs on by itself
        return;
    }
    auto waiting = m_waiting.find(address);
    if (waiting != m_waiting.end()) {
        // One download per address: this size is decoded when it lands.
        if (!waiting->contains(pixels))
            waiting->append(pixels);
        return;
    }
    m_waiting.insert(address, {pixels});
    download(url);  // runs on by itself; it frees the address when it ends
}

QCoro::Task<void> ThumbnailStore::download(QUrl url)
{
    QPointer<ThumbnailStore> self(this);
    const std::stop_token stop = m_stop.get_token();
    ImageFetchGate* gate = m_gate;
    const QString address = addressKey(url);

    co_await gate->acquire();
    ImageFetchGate::Slot slot(*gate);
    if (!self || stop.stop_requested())
        co_return;

    HttpRequest request(url);
    request.maxBytes = maxDownloadBytes;
    request.timeout = 30s;
    request.idleTimeout = 15s;
    const Result<HttpResponse> reply = co_await ImageNetwork::get(m_network, request, stop);
    slot.reset();
    if (!self || stop.stop_requested())
        co_return;
    const QList<QSize> sizes = m_waiting.take(address);
    if (!reply || reply->body.isEmpty())
        co_return;
    // Kept for a while: without the slack the download grew into.
    QByteArray bytes = reply->body;
    bytes.squeeze();
    m_bytes.insert(address, bytes);
    for (const QSize& pixels : sizes) {
        const QString key = cacheKey(url, pixels);
        if (m_images.contains(key) || m_decoding.contains(key))
            continue;
        m_decoding.insert(key);
        decode(url, bytes, pixels);
    }
}

QCoro::Task<void> ThumbnailStore::decode(QUrl url, QByteArray bytes, QSize pixels)
{
    QPointer<ThumbnailStore> self(this);
    const std::stop_token stop = m_stop.get_token();
    const QString key = cacheKey(url, pixels);
    QImage image = co_await QtConcurrent::run(&decodeImageBytes, bytes, 0, pixels);
    if (!self)
        co_return;
    m_decoding.remove(key);
    if (image.isNull() || stop.stop_requested()) {
        // Bytes that are no picture are not kept, here or in the HTTP cache:
        // the next request tries the network again.
        if (image.isNull()) {
            m_bytes.remove(addressKey(url));
            if (QAbstractNetworkCache* cache = m_network->cache())
                cache->remove(url);
        }
        co_return;
    }
    m_images.insert(key, image);
    Q_EMIT changed(url);
}
