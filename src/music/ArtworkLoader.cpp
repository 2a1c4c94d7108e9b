#include "music/ArtworkLoader.h"

#include "platform/net/Http.h"
#include "platform/net/ImageNetwork.h"
#include "platform/base/Logging.h"

#include <QNetworkAccessManager>
#include <QPointer>

namespace {

// Runs one download and hands the outcome back; the loader may be gone by then.
QCoro::Task<void> download(QPointer<ArtworkLoader> loader, QNetworkAccessManager* network, QUrl url,
                           std::function<void(QUrl, QImage)> done, std::shared_ptr<bool> alive)
{
    HttpRequest request(url);
    request.timeout = std::chrono::seconds(10);
    request.maxBytes = ArtworkLoader::MaxBytes;
    const auto reply = co_await ImageNetwork::get(network, request);
    if (!*alive || !loader)
        co_return;
    QImage image;
    if (reply && reply->isSuccess())
        image.loadFromData(reply->body);
    done(url, image);
}

} // namespace

ArtworkLoader::ArtworkLoader(QNetworkAccessManager* network, QObject* parent)
    : QObject(parent)
{
    if (!network) {
        m_ownNetwork = std::make_unique<QNetworkAccessManager>();
        network = m_ownNetwork.get();
    }
    m_network = network;
}

ArtworkLoader::~ArtworkLoader()
{
    *m_alive = false;
}

ArtworkLoader& ArtworkLoader::shared()
{
    static ArtworkLoader* instance = new ArtworkLoader(ImageNetwork::shared());
    return *instance;
}

QImage ArtworkLoader::image(const QUrl& url)
{
    if (const QImage* cached = m_cache.object(url))
        return *cached;
    if (!isHttpUrl(url))
        return {};
    if (!m_loading.contains(url))
        fetch(url);
    return {};
}

void ArtworkLoader::fetch(const QUrl& url)
{
    m_loading.insert(url, true);
    auto done = [this](QUrl address, QImage image) {
        m_loading.remove(address);
        if (image.isNull()) {
            qCDebug(lcNowPlaying).noquote() << "artwork not loaded:" << address.toString();
            Q_EMIT failed(address);
            return;
        }
        m_cache.insert(address, new QImage(std::move(image)));
        Q_EMIT loaded(address);
    };
    download(this, m_network, url, std::move(done), m_alive);
}
