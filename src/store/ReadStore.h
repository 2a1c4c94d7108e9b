#pragma once

#include "platform/storage/SettingsCatalogue.h"
#include "platform/storage/StoredList.h"
#include <QObject>
#include <QSet>
#include <QStringList>

class Defaults;

// Ids of the headlines the user has opened, oldest first, kept in the
// settings under "readItemIDs.v1", each change written to the settings file
// before the call returns. Views dim read items and redraw when
// revision() moves. Main thread only.
class ReadStore : public QObject {
    Q_OBJECT
public:
    static constexpr qsizetype Capacity = 5000;
    static inline const QString StorageKey = Settings::readItemIDs.key.toString();

    explicit ReadStore(Defaults& defaults, QObject* parent = nullptr);

    // The process-wide history over Defaults::standard(), created on first use.
    static ReadStore& shared();

    // Records `id` as read. Empty and already-read ids change nothing; past
    // Capacity the oldest ids are forgotten.
    void markRead(const QString& id);
    // Forgets the whole history.
    void clear();

    bool isRead(const QString& id) const { return m_ids.contains(id); }
    const QSet<QString>& ids() const { return m_ids; }
    const QStringList& order() const { return m_order; }
    int revision() const { return m_revision; }

Q_SIGNALS:
    void revisionChanged(int revision);

private:
    void persistAndPublish();

    Defaults& m_defaults;
    StoredList m_stored;
    QStringList m_order;
    QSet<QString> m_ids;
    int m_revision = 0;
};
