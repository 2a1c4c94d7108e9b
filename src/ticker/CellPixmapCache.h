#pragma once

#include <QHash>
#include <QPixmap>
#include <list>

// Rendered pictures of the scroller's cells, bounded by bytes; the least
// recently drawn leave first. Each picture remembers the appearance value
// and device pixel ratio it was drawn for. Main thread only.
class CellPixmapCache {
public:
    struct Key {
        int cell;
        bool hovered;
        friend bool operator==(const Key&, const Key&) = default;
    };

    explicit CellPixmapCache(qint64 maxBytes) : m_maxBytes(maxBytes) {}

    // The picture when it was drawn for this appearance and ratio; else null.
    const QPixmap* find(Key key, quint64 appearance, qreal dpr);
    void insert(Key key, QPixmap pixmap, quint64 appearance, qreal dpr);
    void clear();
    // A new bound; the least recently drawn pictures leave until it holds
    // (the newest one always stays).
    void setMaxBytes(qint64 maxBytes);

    int count() const { return int(m_index.size()); }
    qint64 bytes() const { return m_bytes; }
    qint64 maxBytes() const { return m_maxBytes; }

private:
    struct Entry {
        Key key;
        QPixmap pixmap;
        quint64 appearance;
        qreal dpr;
        qint64 bytes;
    };
    void remove(Key key);
    void trim();

    qint64 m_maxBytes;
    qint64 m_bytes = 0;
    std::list<Entry> m_entries;  // most recently used first
    QHash<quint64, std::list<Entry>::iterator> m_index;
};
