#pragma once

#include "ticker/ImageCache.h"

#include <QObject>
#include <QSet>
#include <QSize>
#include <QUrl>
#include <stop_token>

#include <qcoro/qcorotask.h>

class ImageFetchGate;
class QNetworkAccessManager;

// Article pictures for the strip and the board: downloaded through the
// image-fetch gate (http and https only, size-capped, timed out), decoded
// off the main thread at the pixel size they are shown at, and kept in a
// memory cache that charges the decoded size. A failed download caches
// nothing, so the next request tries again. Main thread only.
class ThumbnailStore : public QObject {
    Q_OBJECT
public:
    static constexpr int memoryCountLimit = 600;
    static constexpr qint64 memoryCostLimit = 100LL * 1024 * 1024;
    static constexpr qint64 maxDownloadBytes = 8LL * 1024 * 1024;

    // `network` null: the store makes its own.
    ThumbnailStore(QNetworkAccessManager* network, ImageFetchGate& gate, QObject* parent = nullptr);
    ~ThumbnailStore() override;

    static ThumbnailStore& shared();

    // "<url>@<w>x<h>": one entry per address and shown pixel size.
    static QString cacheKey(const QUrl& url, QSize pixels);

    // Starts loading `url` for a frame of `pixels` device pixels unless it is
    // cached or loading; returns at once. `changed` follows when it arrives.
    void request(const QUrl& url, QSize pixels);
    QImage image(const QUrl& url, QSize pixels) { return m_images.object(cacheKey(url, pixels)); }
    bool contains(const QUrl& url, QSize pixels) const { return m_images.contains(cacheKey(url, pixels)); }
    bool isLoading(const QUrl& url, QSize pixels) const { return m_active.contains(cacheKey(url, pixels)); }
    const ImageCache& cache() const { return m_images; }

Q_SIGNALS:
    void changed(const QUrl& url);

private:
    QCoro::Task<void> load(QString key, QUrl url, QSize pixels);

    QNetworkAccessManager* m_network;
    ImageFetchGate* m_gate;
    ImageCache m_images{memoryCountLimit, memoryCostLimit};
    QSet<QString> m_active;
    std::stop_source m_stop;
};
