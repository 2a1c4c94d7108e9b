#include "ticker/CellPixmapCache.h"

namespace {
quint64 packed(CellPixmapCache::Key key)
{
    return (quint64(quint32(key.cell)) << 1) | (key.hovered ? 1u : 0u);
}
} // namespace

const QPixmap* CellPixmapCache::find(Key key, quint64 appearance, qreal dpr)
{
    const auto found = m_index.constFind(packed(key));
    if (found == m_index.cend())
        return nullptr;
    auto entry = found.value();
    if (entry->appearance != appearance || entry->dpr != dpr) {
        remove(key);
        return nullptr;
    }
    m_entries.splice(m_entries.begin(), m_entries, entry);
    return &m_entries.front().pixmap;
}

void CellPixmapCache::insert(Key key, QPixmap pixmap, quint64 appearance, qreal dpr)
{
    remove(key);
    const qint64 size = qint64(pixmap.width()) * pixmap.height() * 4;
    m_entries.push_front(Entry{key, std::move(pixmap), appearance, dpr, size});
    m_index.insert(packed(key), m_entries.begin());
    m_bytes += size;
    trim();
}

void CellPixmapCache::setMaxBytes(qint64 maxBytes)
{
    m_maxBytes = maxBytes;
    trim();
}

void CellPixmapCache::trim()
{
    // Keep at least the newest picture: it is about to be drawn.
    while (m_entries.size() > 1 && m_bytes > m_maxBytes) {
        m_bytes -= m_entries.back().bytes;
        m_index.remove(packed(m_entries.back().key));
        m_entries.pop_back();
    }
}

void CellPixmapCache::remove(Key key)
{
    const auto found = m_index.find(packed(key));
    if (found == m_index.end())
        return;
    m_bytes -= found.value()->bytes;
    m_entries.erase(found.value());
    m_index.erase(found);
}

void CellPixmapCache::clear()
{
    m_entries.clear();
    m_index.clear();
    m_bytes = 0;
}
