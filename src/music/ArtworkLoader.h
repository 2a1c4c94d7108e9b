#pragma once

#include <QCache>
#include <QHash>
#include <QImage>
#include <QObject>
#include <QUrl>
#include <memory>

class QNetworkAccessManager;

// Downloads cover art (http and https only, at most 8 MiB, 10 s) and keeps
// the last 16 decoded images in memory. One request per address at a time.
// Main thread only.
class ArtworkLoader : public QObject {
    Q_OBJECT
public:
    static constexpr qint64 MaxBytes = 8 * 1024 * 1024;
    static constexpr int CacheSize = 16;

    // `network` must outlive the loader; nullptr: the loader's own.
    explicit ArtworkLoader(QNetworkAccessManager* network = nullptr, QObject* parent = nullptr);
    ~ArtworkLoader() override;

    static ArtworkLoader& shared();

    // The image when it is cached; otherwise a null image, and the download
    // starts (loaded() or failed() follows).
    QImage image(const QUrl& url);
    bool isLoading(const QUrl& url) const { return m_loading.contains(url); }

Q_SIGNALS:
    void loaded(const QUrl& url);
    void failed(const QUrl& url);

private:
    void fetch(const QUrl& url);

    std::unique_ptr<QNetworkAccessManager> m_ownNetwork;
    QNetworkAccessManager* m_network;
    QCache<QUrl, QImage> m_cache{CacheSize};
    QHash<QUrl, bool> m_loading;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};
