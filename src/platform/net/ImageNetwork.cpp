#include "platform/net/ImageNetwork.h"

#include "platform/storage/CacheFiles.h"

#include <QAbstractNetworkCache>
#include <QNetworkAccessManager>
#include <QNetworkDiskCache>

QString ImageNetwork::standardCacheDir()
{
    // Under the app's own caches folder, not Qt's per-application one, which
    // follows the application name. None without a home folder.
    const QString caches = CacheFiles::standardDirectory();
    return caches.isEmpty() ? QString() : caches + QStringLiteral("/http");
}

QNetworkAccessManager* ImageNetwork::create(const QString& cacheDir, QObject* parent)
{
    auto* manager = new QNetworkAccessManager(parent);
    if (!cacheDir.isEmpty()) {
        auto* cache = new QNetworkDiskCache(manager);
        cache->setCacheDirectory(cacheDir);
        cache->setMaximumCacheSize(diskCacheBytes);
        manager->setCache(cache);
    }
    return manager;
}

QNetworkAccessManager* ImageNetwork::shared()
{
    static QNetworkAccessManager* manager = create(standardCacheDir());
    return manager;
}

QCoro::Task<Result<HttpResponse>> ImageNetwork::get(QNetworkAccessManager* manager, HttpRequest request,
                                                    std::stop_token stop)
{
    // Qt's own freshness rules would send a picture served without expiry
    // or validators to the network every time.
    if (QAbstractNetworkCache* cache = manager->cache(); cache && cache->metaData(request.url).isValid()) {
        HttpRequest cached = request;
        cached.cacheLoad = QNetworkRequest::AlwaysCache;
        Result<HttpResponse> reply = co_await httpSend(manager, cached, stop);
        if (reply || stop.stop_requested())
            co_return reply;
        // The copy went away meanwhile, must be checked with the server
        // first (kept under "no-cache"), or did not decode and was dropped:
        // from the network after all.
    }
    request.cacheLoad = QNetworkRequest::PreferNetwork;
    co_return co_await httpSend(manager, std::move(request), stop);
}
