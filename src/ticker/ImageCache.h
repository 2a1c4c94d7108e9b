#pragma once

#include <QByteArray>
#include <QHash>
#include <QImage>
#include <QString>
#include <algorithm>
#include <list>

// A memory cache bounded by entry count and by total cost; the least
// recently used entries leave first. Main thread only.
template <typename Value>
class CostCache {
public:
    CostCache(int maxCount, qint64 maxCost) : m_maxCount(maxCount), m_maxCost(maxCost) {}

    // Stores `value` (replacing an entry under the same key). An entry that
    // alone costs more than the limit is not kept.
    void insert(const QString& key, const Value& value, qint64 cost)
    {
        remove(key);
        cost = std::max<qint64>(1, cost);
        if (cost > m_maxCost || m_maxCount <= 0)
            return;
        m_entries.push_front(Entry{key, value, cost});
        m_index.insert(key, m_entries.begin());
        m_cost += cost;
        trim();
    }
    // The value, marked as recently used; a default value when absent.
    Value object(const QString& key)
    {
        const auto found = m_index.constFind(key);
        if (found == m_index.cend())
            return {};
        m_entries.splice(m_entries.begin(), m_entries, found.value());
        return m_entries.front().value;
    }
    bool contains(const QString& key) const { return m_index.contains(key); }
    void remove(const QString& key)
    {
        const auto found = m_index.find(key);
        if (found == m_index.end())
            return;
        m_cost -= found.value()->cost;
        m_entries.erase(found.value());
        m_index.erase(found);
    }
    void clear()
    {
        m_entries.clear();
        m_index.clear();
        m_cost = 0;
    }

    int count() const { return int(m_index.size()); }
    qint64 totalCost() const { return m_cost; }
    int maxCount() const { return m_maxCount; }
    qint64 maxCost() const { return m_maxCost; }

private:
    struct Entry {
        QString key;
        Value value;
        qint64 cost;
    };
    void trim()
    {
        while (!m_entries.empty() && (m_cost > m_maxCost || int(m_entries.size()) > m_maxCount)) {
            m_cost -= m_entries.back().cost;
            m_index.remove(m_entries.back().key);
            m_entries.pop_back();
        }
    }

    int m_maxCount;
    qint64 m_maxCost;
    qint64 m_cost = 0;
    std::list<Entry> m_entries;  // most recently used first
    QHash<QString, typename std::list<Entry>::iterator> m_index;
};

// Decoded images, costed by default at their decoded size.
class ImageCache : public CostCache<QImage> {
public:
    using CostCache::CostCache;
    using CostCache::insert;

    // The decoded size at 4 bytes per pixel, at least 1.
    static qint64 decodedCost(const QImage& image);

    void insert(const QString& key, const QImage& image) { insert(key, image, decodedCost(image)); }
};

// Downloaded bytes, costed by their length.
class ByteCache : public CostCache<QByteArray> {
public:
    using CostCache::CostCache;
    using CostCache::insert;

    void insert(const QString& key, const QByteArray& bytes) { insert(key, bytes, bytes.size()); }
};
