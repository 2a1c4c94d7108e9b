#pragma once

#include <QHash>
#include <QImage>
#include <QString>
#include <list>

// A memory cache of decoded images, bounded by entry count and by total
// cost; the least recently used entries leave first. Main thread only.
class ImageCache {
public:
    ImageCache(int maxCount, qint64 maxCost) : m_maxCount(maxCount), m_maxCost(maxCost) {}

    // The decoded size at 4 bytes per pixel, at least 1.
    static qint64 decodedCost(const QImage& image);

    // Stores `image` (replacing an entry under the same key). An entry that
    // alone costs more than the limit is not kept.
    void insert(const QString& key, const QImage& image, qint64 cost);
    void insert(const QString& key, const QImage& image) { insert(key, image, decodedCost(image)); }
    // The image, marked as recently used; a null image when absent.
    QImage object(const QString& key);
    bool contains(const QString& key) const { return m_index.contains(key); }
    void remove(const QString& key);
    void clear();

    int count() const { return int(m_index.size()); }
    qint64 totalCost() const { return m_cost; }
    int maxCount() const { return m_maxCount; }
    qint64 maxCost() const { return m_maxCost; }

private:
    struct Entry {
        QString key;
        QImage image;
        qint64 cost;
    };
    void trim();

    int m_maxCount;
    qint64 m_maxCost;
    qint64 m_cost = 0;
    std::list<Entry> m_entries;  // most recently used first
    QHash<QString, std::list<Entry>::iterator> m_index;
};
