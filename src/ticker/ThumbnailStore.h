#pragma once

#include "ticker/ImageCache.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <QSize>
#include <QUrl>
#include <stop_token>

#include <qcoro/qcorotask.h>

class ImageFetchGate;
class QNetworkAccessManager;

// Article pictures for the strip and the board: downloaded once per address
// through the image-fetch gate (http and https only, size-capped, timed out),
// the downloaded bytes kept by address and charged by their length, and
// decoded off the main thread for each pixel size they are shown at. Both
// memory caches hold a few MiB, what is on screen now and next; bytes that
// left memory come back from the HTTP disk cache of the network manager. A
// failed download caches nothing, so the next request tries again. Main
// thread only.
class ThumbnailStore : public QObject {
    Q_OBJECT
public:
    // Downloaded bytes by address.
    static constexpr int memoryCountLimit = 600;
    static constexpr qint64 memoryCostLimit = 2LL * 1024 * 1024;
    // Decoded pictures by address and pixel size, at 4 bytes a pixel.
    static constexpr int decodedCountLimit = 600;
    static constexpr qint64 decodedCostLimit = 2LL * 1024 * 1024;
    static constexpr qint64 maxDownloadBytes = 8LL * 1024 * 1024;

    // `network` null: the store makes its own (the shared instance uses the
    // shared image network).
    ThumbnailStore(QNetworkAccessManager* network, ImageFetchGate& gate, QObject* parent = nullptr);
    ~ThumbnailStore() override;

    static ThumbnailStore& shared();

    // "<url>@<w>x<h>": one decoded picture per address and shown pixel size.
    static QString cacheKey(const QUrl& url, QSize pixels);

    // Starts loading `url` for a frame of `pixels` device pixels unless it is
    // cached or loading; returns at once. `changed` follows when it arrives.
    void request(const QUrl& url, QSize pixels);
    QImage image(const QUrl& url, QSize pixels) { return m_images.object(cacheKey(url, pixels)); }
    bool contains(const QUrl& url, QSize pixels) const { return m_images.contains(cacheKey(url, pixels)); }
    bool isLoading(const QUrl& url, QSize pixels) const;
    const ImageCache& cache() const { return m_images; }
    const ByteCache& downloads() const { return m_bytes; }

Q_SIGNALS:
    void changed(const QUrl& url);

private:
    QCoro::Task<void> download(QUrl url);
    QCoro::Task<void> decode(QUrl url, QByteArray bytes, QSize pixels);

    QNetworkAccessManager* m_network;
    ImageFetchGate* m_gate;
    ByteCache m_bytes{memoryCountLimit, memoryCostLimit};
    ImageCache m_images{decodedCountLimit, decodedCostLimit};
    // Sizes waiting for a download under way, by address.
    QHash<QString, QList<QSize>> m_waiting;
    QSet<QString> m_decoding;  // decoded keys
    std::stop_source m_stop;
};
