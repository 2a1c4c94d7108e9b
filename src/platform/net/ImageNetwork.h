#pragma once

#include "platform/net/Http.h"

#include <QString>

class QNetworkAccessManager;
class QObject;

// The network manager that image downloads share (article pictures,
// favicons, cover art and its look-ups): one QNetworkAccessManager with an
// HTTP disk cache, so that an image evicted from memory, or asked for again
// after a restart, comes from disk instead of the network. Server API
// traffic keeps its own managers and its own ETag memory, without a cache.
// Main thread only.
class ImageNetwork {
public:
    static constexpr qint64 diskCacheBytes = 256LL * 1024 * 1024;

    // "http" in the app's caches folder (CacheFiles::standardDirectory()); empty
    // when there is none.
    static QString standardCacheDir();
    // A manager owned by `parent`, caching on disk in `cacheDir` (nothing is
    // cached when it is empty).
    static QNetworkAccessManager* create(const QString& cacheDir, QObject* parent = nullptr);
    // The process-wide manager on the standard folder, created on first use
    // (after QApplication) and kept for the life of the process.
    static QNetworkAccessManager* shared();

    // `httpSend` for an image: a copy in the manager's disk cache answers,
    // whatever its age (a picture at an address does not change), else the
    // network, whose answer the cache keeps. A copy the cache cannot give
    // whole (one kept under "no-cache" that must be checked first, one that
    // does not decode) leaves the answer to the network. `request.cacheLoad`
    // is ignored.
    static QCoro::Task<Result<HttpResponse>> get(QNetworkAccessManager* manager, HttpRequest request,
                                                 std::stop_token stop = {});
};
