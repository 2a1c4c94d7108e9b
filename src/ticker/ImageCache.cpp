#include "ticker/ImageCache.h"

#include <algorithm>

qint64 ImageCache::decodedCost(const QImage& image)
{
    return std::max<qint64>(1, qint64(image.width()) * image.height() * 4);
}

void ImageCache::insert(const QString& key, const QImage& image, qint64 cost)
{
    remove(key);
    cost = std::max<qint64>(1, cost);
    if (cost > m_maxCost || m_maxCount <= 0)
        return;
    m_entries.push_front(Entry{key, image, cost});
    m_index.insert(key, m_entries.begin());
    m_cost += cost;
    trim();
}

QImage ImageCache::object(const QString& key)
{
    const auto found = m_index.constFind(key);
    if (found == m_index.cend())
        return {};
    m_entries.splice(m_entries.begin(), m_entries, found.value());
    return m_entries.front().image;
}

void ImageCache::remove(const QString& key)
{
    const auto found = m_index.find(key);
    if (found == m_index.end())
        return;
    m_cost -= found.value()->cost;
    m_entries.erase(found.value());
    m_index.erase(found);
}

void ImageCache::clear()
{
    m_entries.clear();
    m_index.clear();
    m_cost = 0;
}

void ImageCache::trim()
{
    while (!m_entries.empty() && (m_cost > m_maxCost || int(m_entries.size()) > m_maxCount)) {
        m_cost -= m_entries.back().cost;
        m_index.remove(m_entries.back().key);
        m_entries.pop_back();
    }
}
