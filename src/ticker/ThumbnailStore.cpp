#include "ticker/ThumbnailStore.h"

#include "platform/Http.h"
#include "ticker/FaviconStore.h"
#include "ticker/ImageFetchGate.h"

#include <QNetworkAccessManager>
#include <QPointer>
#include <QtConcurrent/QtConcurrentRun>

#include <qcoro/qcorofuture.h>

using namespace std::chrono_literals;

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
    static ThumbnailStore* store = new ThumbnailStore(nullptr, ImageFetchGate::shared());
    return *store;
}

QString ThumbnailStore::cacheKey(const QUrl& url, QSize pixels)
{
    return url.toString(QUrl::FullyEncoded) + QLatin1Char('@') + QString::number(pixels.width())
        + QLatin1Char('x') + QString::number(pixels.height());
}

void ThumbnailStore::request(const QUrl& url, QSize pixels)
{
    if (!isHttpUrl(url) || pixels.isEmpty())
        return;
    const QString key = cacheKey(url, pixels);
    if (m_images.contains(key) || m_active.contains(key))
        return;
    m_active.insert(key);
    load(key, url, pixels);  // runs on by itself; it frees the key when it ends
}

QCoro::Task<void> ThumbnailStore::load(QString key, QUrl url, QSize pixels)
{
    QPointer<ThumbnailStore> self(this);
    const std::stop_token stop = m_stop.get_token();
    ImageFetchGate* gate = m_gate;

    co_await gate->acquire();
    ImageFetchGate::Slot slot(*gate);
    if (!self || stop.stop_requested())
        co_return;

    HttpRequest request(url);
    request.maxBytes = maxDownloadBytes;
    request.timeout = 30s;
    request.idleTimeout = 15s;
    request.cacheLoad = QNetworkRequest::PreferNetwork;
    const Result<HttpResponse> reply = co_await httpSend(m_network, request, stop);
    slot.reset();
    if (!self || stop.stop_requested())
        co_return;
    if (!reply) {
        m_active.remove(key);
        co_return;
    }

    const QByteArray bytes = reply->body;
    QImage image = co_await QtConcurrent::run(&decodeImageBytes, bytes, 0, pixels);
    if (!self)
        co_return;
    m_active.remove(key);
    if (image.isNull() || stop.stop_requested())
        co_return;
    m_images.insert(key, image);
    Q_EMIT changed(url);
}
