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
        it.value()->second = std::move(entry);
        m_order.splice(m_order.begin(), m_order, it.value());
        return;
    }
    m_order.emplace_front(path, std::move(entry));
    m_index.insert(path, m_order.begin());
    while (int(m_order.size()) > m_capacity) {
        m_index.remove(m_order.back().first);
        m_order.pop_back();
    }
}
