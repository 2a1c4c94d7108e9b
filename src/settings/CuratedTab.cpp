#include "settings/CuratedTab.h"

#include "api/Color.h"
#include "settings/ConfigRow.h"
#include "settings/ConfigSection.h"
#include "settings/SettingsKit.h"
#include "store/FeedStore.h"

#include <QCheckBox>
#include <QLabel>
#include <QSet>
#include <QVBoxLayout>
#include <algorithm>

using namespace SettingsKit;

namespace {

bool isActive(const FeedIndexItem& feed)
{
    return feed.isActive.value_or(true);
}

QString feedCountText(qsizetype count)
{
    return count == 1 ? QStringLiteral("1 feed") : QStringLiteral("%1 feeds").arg(count);
}

} // namespace

CuratedTab::CuratedTab(FeedStore& store, QWidget* parent) : QWidget(parent), m_store(store)
{
    QVBoxLayout* page = makePage(this, Page::Editor);

    auto* current = new ConfigSection(QStringLiteral("IN USE"), this);
    m_current = textLabel(QString(), this, Qt::white, true);
    m_current->setMinimumWidth(300);
    current->addRow(new ConfigRow(QStringLiteral("Current selection"), m_current));
    page->addWidget(current);

    auto* sets = new ConfigSection(QStringLiteral("CURATED SETS"), this);
    m_sets = new QWidget(this);
    auto* setsLayout = new QVBoxLayout(m_sets);
    setsLayout->setContentsMargins(0, 0, 0, 0);
    setsLayout->setSpacing(0);
    sets->addRow(m_sets);
    page->addWidget(sets);
    page->addWidget(textLabel(QStringLiteral("Picking sets replaces the feeds chosen one by one in Sources. "
                                            "Letting go of the last set picks the best-ranked feeds of the catalogue."),
                             this, Color::mutedText(), true));
    page->addStretch(1);

    connect(&m_store, &FeedStore::feedsChanged, this, &CuratedTab::buildSets);
    connect(&m_store, &FeedStore::pillarsChanged, this, &CuratedTab::buildSets);
    connect(&m_store, &FeedStore::activeCuratedIDsChanged, this, &CuratedTab::showSelection);
    connect(&m_store, &FeedStore::disabledIDsChanged, this, &CuratedTab::showSelection);
    buildSets();
}

QStringList CuratedTab::feedsOfSet(const QList<FeedIndexItem>& feeds, const QString& setID)
{
    QStringList ids;
    for (const FeedIndexItem& feed : feeds) {
        if (!isActive(feed))
            continue;
        const bool member = setID == pulseID ? feed.items1h.value_or(0) > 0 : feed.pillar == setID;
        if (member)
            ids.append(feed.id);
    }
    return ids;
}

void CuratedTab::pickSet(const QString& setID, bool on)
{
    QSet<QString> sets = m_store.activeCuratedIDs();
    if (on)
        sets.insert(setID);
    else
        sets.remove(setID);

    // Feeds of every set left on, once each, in catalogue order.
    QSet<QString> wanted;
    for (const QString& id : sets)
        for (const QString& feed : feedsOfSet(m_store.feeds(), id))
            wanted.insert(feed);
    QStringList feedIDs;
    for (const FeedIndexItem& feed : m_store.feeds())
        if (wanted.contains(feed.id))
            feedIDs.append(feed.id);

    m_store.applyCuratedSelection(feedIDs, sets);
    showSelection();  // also when the store had nothing to apply
}

void CuratedTab::buildSets()
{
    clearLayout(m_sets->layout());
    m_switches.clear();
    m_order.clear();

    const QList<FeedIndexItem>& feeds = m_store.feeds();
    if (feeds.isEmpty()) {
        m_sets->layout()->addWidget(new ConfigRow(
            QString(), textLabel(QStringLiteral("The catalogue has not loaded yet."), m_sets, Color::mutedText())));
        showSelection();
        return;
    }

    struct Entry {
        QString id, name, blurb;
    };
    QList<Entry> entries{{pulseID, QStringLiteral("Pulse"), QStringLiteral("Feeds that published in the last hour")}};
    QList<Pillar> pillars = m_store.pillars();
    std::stable_sort(pillars.begin(), pillars.end(),
                     [](const Pillar& a, const Pillar& b) { return a.sortOrder < b.sortOrder; });
    for (const Pillar& pillar : pillars)
        if (pillar.slug != pulseID)
            entries.append({pillar.slug, pillar.name, pillar.blurb});

    for (const Entry& entry : entries) {
        const qsizetype count = feedsOfSet(feeds, entry.id).size();
        QCheckBox* box = plainSwitch(m_sets);
        box->setAccessibleName(entry.name);
        auto* note = textLabel(entry.blurb.isEmpty() ? feedCountText(count)
                                                    : entry.blurb + QStringLiteral(" · ") + feedCountText(count),
                              m_sets, Color::mutedText());
        connect(box, &QCheckBox::toggled, this, [this, id = entry.id](bool on) { pickSet(id, on); });
        m_sets->layout()->addWidget(new ConfigRow(entry.name, line(m_sets, {box, note})));
        m_switches.insert(entry.id, box);
        m_order.append(entry.id);
        box->setProperty("feedCount", qlonglong(count));
    }
    QList<QWidget*> boxes;
    for (const QString& id : m_order)
        boxes.append(m_switches.value(id));
    chainFocusAfter(m_sets, boxes);
    showSelection();
}

void CuratedTab::showSelection()
{
    const QSet<QString>& active = m_store.activeCuratedIDs();
    for (auto it = m_switches.cbegin(); it != m_switches.cend(); ++it) {
        QCheckBox* box = it.value();
        const QSignalBlocker block(box);
        box->setChecked(active.contains(it.key()));
        // A set without feeds cannot be picked; one in use can always be let go.
        box->setEnabled(box->isChecked() || box->property("feedCount").toLongLong() > 0);
    }

    QStringList names;
    for (const QString& id : m_order)
        if (active.contains(id))
            names.append(setName(id));
    QStringList unknown;
    for (const QString& id : active)
        if (!m_order.contains(id))
            unknown.append(id);
    std::sort(unknown.begin(), unknown.end());
    names += unknown;

    const QString count = QStringLiteral("%1 active").arg(feedCountText(m_store.activeFeedCount()));
    m_current->setText(names.isEmpty() ? QStringLiteral("Feeds chosen one by one · ") + count
                                       : names.join(QStringLiteral(", ")) + QStringLiteral(" · ") + count);
}

QString CuratedTab::setName(const QString& setID) const
{
    if (setID == pulseID)
        return QStringLiteral("Pulse");
    for (const Pillar& pillar : m_store.pillars())
        if (pillar.slug == setID)
            return pillar.name;
    return setID;
}
