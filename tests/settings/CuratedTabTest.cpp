#include "TabHarness.h"

#include "SampleCatalogue.h"
#include "settings/CuratedTab.h"

#include <QCheckBox>
#include <QLabel>

namespace {

class CuratedTabTest : public TabTest {
protected:
    // The feeds a set stands for, read from the server's own catalogue: the
    // active ones that published in the last hour, or of the pillar.
    QStringList sampleSet(const QString& set) const
    {
        const SampleCatalogue& c = server.catalogue();
        const QDateTime now(QDate(2026, 1, 15), QTime(12, 0), Qt::UTC);
        QStringList ids;
        for (int i = 0; i < c.feeds().size(); ++i) {
            const SampleFeed& feed = c.feeds()[i];
            const bool member = set == CuratedTab::pulseID ? c.countWithin(i, now, 3600) > 0
                                                           : c.categoryOf(feed).pillar == set;
            if (member && feed.state != FeedState::Inactive)
                ids.append(feed.id);
        }
        return ids;
    }
};

QSet<QString> setOf(const QStringList& list)
{
    return QSet<QString>(list.cbegin(), list.cend());
}

QSet<QString> enabledFeeds(const FeedStore& store)
{
    QSet<QString> on;
    for (const FeedIndexItem& feed : store.feeds())
        if (!store.disabledIDs().contains(feed.id))
            on.insert(feed.id);
    return on;
}

TEST_F(CuratedTabTest, SwitchesPickTheUnionOfTheirSetsAndFollowTheStore)
{
    FeedStore& store = feedStore();
    CuratedTab tab(store);
    EXPECT_EQ(tab.setSwitch(CuratedTab::pulseID), nullptr) << "nothing to pick before the catalogue loads";
    store.start();
    ASSERT_TRUE(waitUntil([&] { return store.phase().isRunning() && store.pillars().size() >= 2; }));

    const QString first = store.pillars()[0].slug;
    const QString second = store.pillars()[1].slug;
    const QStringList pulse = sampleSet(CuratedTab::pulseID);
    const QStringList firstFeeds = sampleSet(first);
    const QStringList secondFeeds = sampleSet(second);
    ASSERT_FALSE(pulse.isEmpty());
    ASSERT_FALSE(firstFeeds.isEmpty());
    ASSERT_FALSE(secondFeeds.isEmpty());
    ASSERT_NE(setOf(firstFeeds), setOf(pulse));
    const QSet<QString> bestRanked = setOf(store.defaultFeedIDs(store.feeds(), FeedStore::MaxRequestedFeeds));
    EXPECT_EQ(tab.currentLabel()->text(),
              QStringLiteral("Feeds chosen one by one · %1 feeds active").arg(store.activeFeedCount()));

    struct Step {
        const char* what;
        QString set;
        bool on;
        QSet<QString> sets;
        QSet<QString> feeds;
        QString stored;  // "activeCuratedIDs"; empty: removed
    };
    const QString both = std::min(first, second) + QLatin1Char(',') + std::max(first, second);
    const QList<Step> steps = {
        {"pulse alone", CuratedTab::pulseID, true, {CuratedTab::pulseID}, setOf(pulse), QStringLiteral("pulse")},
        {"a pillar added", first, true, {CuratedTab::pulseID, first}, setOf(pulse) | setOf(firstFeeds),
         first < QStringLiteral("pulse") ? first + QStringLiteral(",pulse") : QStringLiteral("pulse,") + first},
        {"pulse let go", CuratedTab::pulseID, false, {first}, setOf(firstFeeds), first},
        {"two pillars", second, true, {first, second}, setOf(firstFeeds) | setOf(secondFeeds), both},
        {"the second pillar let go", second, false, {first}, setOf(firstFeeds), first},
        {"none left: the best-ranked feeds", first, false, {}, bestRanked, QString()},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        QCheckBox* box = tab.setSwitch(step.set);
        ASSERT_NE(box, nullptr);
        ASSERT_NE(box->isChecked(), step.on);
        QTest::mouseClick(box, Qt::LeftButton);
        EXPECT_EQ(store.activeCuratedIDs(), step.sets);
        EXPECT_EQ(enabledFeeds(store), step.feeds);
        EXPECT_EQ(defaults->value(QStringLiteral("activeCuratedIDs")),
                  step.stored.isEmpty() ? QJsonValue() : QJsonValue(step.stored));
        for (const QString& id : {CuratedTab::pulseID, first, second})
            EXPECT_EQ(tab.setSwitch(id)->isChecked(), step.sets.contains(id)) << id.toStdString();
    }

    // A set picked and shown by name; then a feed switched by hand in Sources
    // ends the curated selection, and the tab says so.
    QTest::mouseClick(tab.setSwitch(first), Qt::LeftButton);
    EXPECT_EQ(tab.currentLabel()->text(), QStringLiteral("%1 · %2 feeds active")
                                              .arg(store.pillars()[0].name)
                                              .arg(firstFeeds.size()));
    store.toggleFeed(firstFeeds.first());
    EXPECT_FALSE(tab.setSwitch(first)->isChecked());
    EXPECT_EQ(tab.currentLabel()->text(),
              QStringLiteral("Feeds chosen one by one · %1 feeds active").arg(firstFeeds.size() - 1));
}

} // namespace
