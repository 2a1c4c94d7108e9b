#pragma once

#include "api/ManifestModels.h"

#include <QHash>
#include <QWidget>

class FeedStore;
class QCheckBox;
class QLabel;

// The Curated tab: the curated sets of the catalogue, "pulse" (the feeds
// that published in the last hour) and one per pillar, each with a switch.
// Switching sets on or off picks the feeds of every set left on through
// FeedStore::applyCuratedSelection; with none left on, the store falls back
// to its default selection. The sets in use and the active feed count are
// shown, also after a change made elsewhere.
class CuratedTab : public QWidget {
    Q_OBJECT
public:
    static inline const QString pulseID = QStringLiteral("pulse");

    explicit CuratedTab(FeedStore& store, QWidget* parent = nullptr);

    // The ids of the active catalogue feeds a set stands for, in catalogue
    // order: for "pulse" those with items in the last hour, for a pillar's
    // slug those of that pillar.
    static QStringList feedsOfSet(const QList<FeedIndexItem>& feeds, const QString& setID);

    // Switches one set on or off, keeping the others as they are.
    void pickSet(const QString& setID, bool on);

    QCheckBox* setSwitch(const QString& setID) const { return m_switches.value(setID); }
    QLabel* currentLabel() const { return m_current; }

private:
    void buildSets();
    void showSelection();
    QString setName(const QString& setID) const;

    FeedStore& m_store;
    QWidget* m_sets = nullptr;
    QLabel* m_current = nullptr;
    QHash<QString, QCheckBox*> m_switches;
    QStringList m_order;  // set ids as listed
};
