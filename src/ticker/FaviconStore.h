#pragma once

#include "ticker/ImageCache.h"

#include <QImage>
#include <QObject>
#include <QSet>
#include <QString>
#include <QUrl>
#include <optional>
#include <stop_token>

#include <qcoro/qcorotask.h>

class ImageFetchGate;
class QNetworkAccessManager;
class Scheduler;

// The shared cache of site icons: memory first, then a folder on disk, then
// the network (the icon address when given, else the favicon service's
// "/ip3/<host>.ico"). Every download goes through the image-fetch gate.
// Disk reads, decoding and disk writes run on the thread pool; `request`
// and the look-ups only touch memory, so painting may call them. The memory
// cache holds a few MiB of icons, what the strips and windows show now and
// next; an evicted icon comes back from the disk folder. Main thread only.
class FaviconStore : public QObject {
    Q_OBJECT
public:
    static constexpr int memoryCountLimit = 1200;
    static constexpr qint64 memoryCostLimit = 4LL * 1024 * 1024;
    static constexpr qint64 maxDownloadBytes = 1024 * 1024;
    // Icons are asked for at 128 pixels: none is kept larger.
    static constexpr int maxDecodedSide = 128;

    // `cacheDir` empty: no disk cache. `network` null: the store makes its own
    // (the shared instance uses the shared image network).
    FaviconStore(QString cacheDir, QNetworkAccessManager* network, QUrl faviconBase,
                 ImageFetchGate& gate, Scheduler& scheduler, QObject* parent = nullptr);
    ~FaviconStore() override;

    // The process-wide store, created on first use (after QApplication) and
    // kept for the life of the process.
    static FaviconStore& shared();
    // "favicons" in the app's caches folder (CacheFiles::standardDirectory());
    // empty when there is none.
    static QString standardCacheDir();

    // "<host>_<size>".
    static QString cacheKey(const QString& host, int size);
    // The key with every character other than letters, marks, digits, "-",
    // "." and "_" replaced by "-", then ".img".
    static QString fileName(const QString& key);
    // A host name the favicon service may be asked about (IDN allowed).
    static bool isValidHostName(const QString& host);

    // Starts loading the icon for host and size unless it is cached or
    // already loading; returns at once. `changed` follows when it arrives.
    void request(const QString& host, const std::optional<QString>& iconURL, int size);

    // The cached icon under `key`, or a null image.
    QImage image(const QString& key) { return m_images.object(key); }
    bool contains(const QString& key) const { return m_images.contains(key); }
    bool isLoading(const QString& key) const { return m_activeRequests.contains(key); }
    QString cacheDir() const { return m_cacheDir; }

Q_SIGNALS:
    // An image was put into the memory cache under `key`.
    void changed(const QString& key);

private:
    QCoro::Task<void> load(QString key, QUrl url);
    // The key's file, or empty without a disk cache.
    QString diskPath(const QString& key) const;
    void store(const QString& key, const QImage& image);

    QString m_cacheDir;
    QNetworkAccessManager* m_network;
    QUrl m_faviconBase;
    ImageFetchGate* m_gate;
    Scheduler* m_scheduler;
    ImageCache m_images{memoryCountLimit, memoryCostLimit};
    QSet<QString> m_activeRequests;
    std::stop_source m_stop;
};

// Decodes image bytes, scaled down (aspect kept) so that neither side passes
// `maxSide` when it is above 0, or to exactly `target` when that is valid.
QImage decodeImageBytes(const QByteArray& bytes, int maxSide, QSize target = {});
