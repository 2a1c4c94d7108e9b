#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <list>
#include <memory>
#include <typeinfo>
#include <optional>

// The ETags a FeedAPI has been given, per request path (query included),
// each with the body that came with it, so a 304 can hand that body back.
// Bounded in paths and in body bytes: the least recently used path is
// forgotten first; a body larger than the whole budget is not remembered.
class ETagMemory {
public:
    struct Entry {
        QByteArray etag;  // exactly as received, quotes and W/ included
        QByteArray body;
        // The body as it was decoded, so a 304 need not decode it again
        // (usually shares its lists with what the caller kept of it).
        std::shared_ptr<const void> decoded = {};
        const std::type_info* decodedType = nullptr;
    };

    explicit ETagMemory(int capacity = 256, qint64 maxBytes = 32 * 1024 * 1024)
        : m_capacity(capacity > 0 ? capacity : 1), m_maxBytes(maxBytes)
    {
    }

    // The entry for `path`, marking it as recently used.
    std::optional<Entry> find(const QString& path);
    void store(const QString& path, Entry entry);
    int size() const { return int(m_index.size()); }
    int capacity() const { return m_capacity; }
    qint64 bytes() const { return m_bytes; }

private:
    using Node = std::pair<QString, Entry>;
    std::list<Node> m_order;  // most recently used first
    QHash<QString, std::list<Node>::iterator> m_index;
    int m_capacity;
    qint64 m_maxBytes;
    qint64 m_bytes = 0;

    void removeOldest();
};
