#include "api/ETagMemory.h"

std::optional<ETagMemory::Entry> ETagMemory::find(const QString& path)
{
    const auto it = m_index.constFind(path);
    if (it == m_index.constEnd())
        return std::nullopt;
    m_order.splice(m_order.begin(), m_order, it.value());
    return m_order.front().second;
}

void ETagMemory::store(const QString& path, Entry entry)
{
    if (const auto it = m_index.constFind(path); it != m_index.constEnd()) {
        m_bytes -= it.value()->second.body.size();
        m_order.erase(it.value());
        m_index.remove(path);
    }
    if (entry.body.size() > m_maxBytes)
        return;
    m_bytes += entry.body.size();
    m_order.emplace_front(path, std::move(entry));
    m_index.insert(path, m_order.begin());
    while (int(m_order.size()) > m_capacity || m_bytes > m_maxBytes)
        removeOldest();
}

void ETagMemory::removeOldest()
{
    m_bytes -= m_order.back().second.body.size();
    m_index.remove(m_order.back().first);
    m_order.pop_back();
}
