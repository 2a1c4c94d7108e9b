#include "store/ReadStore.h"

#include "platform/storage/Defaults.h"
#include "platform/base/Logging.h"

ReadStore::ReadStore(Defaults& defaults, QObject* parent)
    : QObject(parent), m_defaults(defaults), m_stored(defaults, StorageKey, lcFeedStore, Capacity, StoredList::Keep::Last)
{
    // A history written by other means may repeat an id; keep its first
    // place so that eviction and the read state agree.
    const QStringList stored = m_stored.readTexts();
    m_order.reserve(stored.size());
    for (const QString& id : stored) {
        if (!m_ids.contains(id)) {
            m_ids.insert(id);
            m_order.append(id);
        }
    }
}

ReadStore& ReadStore::shared()
{
    static ReadStore* store = new ReadStore(Defaults::standard());  // lives for the process
    return *store;
}

void ReadStore::markRead(const QString& id)
{
    if (id.isEmpty() || m_ids.contains(id))
        return;
    m_ids.insert(id);
    m_order.append(id);
    if (m_order.size() > Capacity) {
        const qsizetype excess = m_order.size() - Capacity;
        for (qsizetype i = 0; i < excess; ++i)
            m_ids.remove(m_order.at(i));
        m_order.remove(0, excess);
    }
    persistAndPublish();
}

void ReadStore::clear()
{
    if (m_ids.isEmpty())
        return;
    m_ids.clear();
    m_order.clear();
    persistAndPublish();
}

void ReadStore::persistAndPublish()
{
    m_stored.aboutToReplace();
    m_defaults.setAndSave(StorageKey, QJsonArray::fromStringList(m_order));
    ++m_revision;
    Q_EMIT revisionChanged(m_revision);
}
