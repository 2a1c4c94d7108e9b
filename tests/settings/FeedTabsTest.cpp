// The Sources and RSS tabs on a real feed store that reads the sample
// catalogue server: their switches write the selection, and a selection
// changed elsewhere shows in them at once.

#include "SettingsFixtures.h"

#include "CatalogueServer.h"
#include "platform/PathMonitor.h"
#include "settings/CatalogueFeedList.h"
#include "settings/CatalogueFeedRow.h"
#include "settings/FeedFilterField.h"
#include "settings/PersonalFeedsSection.h"
#include "settings/RSSTab.h"
#include "settings/SourcesTab.h"
#include "store/FeedStore.h"

#include <QCheckBox>
#include <QLabel>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>

#include <gtest/gtest.h>

namespace {

using namespace SettingsFixtures;

class FeedTabs : public testing::Test {
protected:
    FeedTabs() : catalogue(options()) {}

    static CatalogueServer::Options options()
    {
        CatalogueServer::Options o;
        o.seed = 3;
        o.now = [] { return QDateTime(QDate(2026, 1, 15), QTime(12, 0), Qt::UTC); };
        return o;
    }

    void SetUp() override
    {
        ASSERT_TRUE(catalogue.start().has_value());
        defaults = Defaults::openFile(dir.path() + QStringLiteral("/defaults.json"));
        FeedStore::Services services{
            .defaults = *defaults,
            .clock = time,
            .scheduler = time,
            .network = &network,
            .personal = nullptr,
            .makePathMonitor = [] { return std::unique_ptr<PathMonitor>(std::make_unique<FakePathMonitor>()); },
            .apiBase = catalogue.baseUrl(),
            .api = std::nullopt,
            .itunesBase = catalogue.baseUrl(),
            .runningVersion = QStringLiteral("0.1"),
        };
        store = std::make_unique<FeedStore>(std::move(services));
        store->start();
        ASSERT_TRUE(waitUntil([&] { return !store->feeds().isEmpty(); }));
    }

    void TearDown() override
    {
        if (store)
            store->stop();
        store.reset();
        FakeTime::settle();
        catalogue.stop();
    }

    QStringList idsWhere(const std::function<bool(const FeedIndexItem&)>& pick) const
    {
        QStringList ids;
        for (const FeedIndexItem& feed : store->feeds()) {
            if (pick(feed))
                ids.append(feed.id);
        }
        return ids;
    }
    static bool isActive(const FeedIndexItem& feed) { return feed.isActive.value_or(true); }

    // The selection as stored and as shown by every row of `list`.
    void expectSelection(const CatalogueFeedList& list, const QSet<QString>& off)
    {
        EXPECT_EQ(store->disabledIDs(), off);
        QStringList sorted(off.cbegin(), off.cend());
        sorted.sort();
        EXPECT_EQ(defaults->stringValue(QStringLiteral("disabledFeedIDs")), sorted.join(QLatin1Char(',')));
        for (const CatalogueFeedRow* row : list.rows()) {
            SCOPED_TRACE(row->feedId().toStdString());
            EXPECT_EQ(row->isOn(), row->isActive() && !off.contains(row->feedId()));
            EXPECT_EQ(row->enableSwitch()->isEnabled(), row->isActive());
        }
    }

    QTemporaryDir dir;
    FakeTime time;
    CatalogueServer catalogue;
    QNetworkAccessManager network;
    std::unique_ptr<Defaults> defaults;
    std::unique_ptr<FeedStore> store;
};

struct Step {
    const char* what;
    std::function<void()> act;
    QSet<QString> off;
};

TEST_F(FeedTabs, SourcesSwitchesWriteTheSelectionAndShowChangesMadeElsewhere)
{
    SourcesTab tab(*store);
    CatalogueFeedList& list = *tab.list();
    const QStringList all = idsWhere([](const FeedIndexItem&) { return true; });
    const QStringList active = idsWhere(isActive);
    ASSERT_EQ(list.rows().size(), all.size()) << "every catalogue feed is listed";
    ASSERT_LT(active.size(), all.size()) << "the sample catalogue has inactive feeds";
    // The store announces every write of its catalogue; the same catalogue
    // again keeps the rows (and the scroll position) as they are.
    const CatalogueFeedRow* firstRow = list.rows().first();
    Q_EMIT store->feedsChanged();
    EXPECT_EQ(list.rows().first(), firstRow);

    const QString first = active.first();
    const QString last = active.last();
    const CatalogueFeedList::Category category = *std::find_if(
        list.categories().cbegin(), list.categories().cend(),
        [&](const CatalogueFeedList::Category& c) { return c.feedIds.contains(first); });
    const QSet<QString> categoryIds(category.feedIds.cbegin(), category.feedIds.cend());
    ASSERT_GT(categoryIds.size(), 1);
    auto click = [](QWidget* w) { QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(w->width() / 2, w->height() / 2)); };

    const QList<Step> steps = {
        {"a feed's switch off", [&] { click(list.row(first)->enableSwitch()); }, {first}},
        {"the same switch on", [&] { click(list.row(first)->enableSwitch()); }, {}},
        {"its whole category off", [&] { click(category.toggle); }, categoryIds},
        {"its whole category on", [&] { click(category.toggle); }, {}},
        {"a feed switched off elsewhere", [&] { store->toggleFeed(last); }, {last}},
        {"a category switched off elsewhere", [&] { store->setFeeds(category.feedIds, false); },
         categoryIds + QSet<QString>{last}},
        {"the category on again here", [&] { click(category.toggle); }, {last}},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        step.act();
        expectSelection(list, step.off);
        const auto offActive = std::count_if(active.cbegin(), active.cend(), [&](const QString& id) { return step.off.contains(id); });
        EXPECT_EQ(tab.countLine()->text(),
                  QStringLiteral("%1 of %2 feeds on").arg(active.size() - offActive).arg(active.size()));
        const auto categoryActive = std::count_if(category.feedIds.cbegin(), category.feedIds.cend(),
                                                  [&](const QString& id) { return list.row(id)->isActive(); });
        const auto categoryOn = std::count_if(category.feedIds.cbegin(), category.feedIds.cend(), [&](const QString& id) {
            return list.row(id)->isActive() && !step.off.contains(id);
        });
        EXPECT_EQ(category.count->text(), QStringLiteral("%1 of %2 on").arg(categoryOn).arg(categoryActive));
        EXPECT_EQ(category.toggle->isChecked(), categoryOn == categoryActive);
    }
}

struct FilterCase {
    QString text;
    std::function<bool(const FeedIndexItem&)> shows;
};

TEST_F(FeedTabs, SourcesFilterShowsTheFeedsItNames)
{
    SourcesTab tab(*store);
    CatalogueFeedList& list = *tab.list();
    const QList<FilterCase> cases = {
        {QStringLiteral("orbital report"), [](const FeedIndexItem& f) { return f.title == QStringLiteral("Orbital Report"); }},
        {QStringLiteral(" YouTube "), [](const FeedIndexItem& f) { return f.sourceType == SourceType::YouTube; }},
        {QStringLiteral("no feed is called this"), [](const FeedIndexItem&) { return false; }},
        {QString(), [](const FeedIndexItem&) { return true; }},
    };
    for (const FilterCase& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        tab.filterField()->setText(c.text);
        QStringList shown;
        for (const CatalogueFeedRow* row : list.visibleRows())
            shown.append(row->feedId());
        const QStringList expected = idsWhere(c.shows);
        EXPECT_EQ(QSet<QString>(shown.cbegin(), shown.cend()), QSet<QString>(expected.cbegin(), expected.cend()));
        EXPECT_EQ(list.noMatchText()->isVisibleTo(&list), expected.isEmpty());
        for (const CatalogueFeedList::Category& category : list.categories()) {
            const bool anyShown = std::any_of(category.feedIds.cbegin(), category.feedIds.cend(),
                                              [&](const QString& id) { return shown.contains(id); });
            EXPECT_EQ(category.block->isVisibleTo(&list), anyShown) << category.name.toStdString();
        }
    }
}

TEST_F(FeedTabs, RssTabListsRssFeedsAndShowsOwnFeedsOnlyWithoutAFilter)
{
    PersonalStore personal({feed(QStringLiteral("Mine"), QStringLiteral("https://mine.example/rss"))});
    RSSTab tab(*store, nullptr, personal.store.get());
    CatalogueFeedList& list = *tab.list();
    QStringList listed;
    for (const CatalogueFeedRow* row : list.rows())
        listed.append(row->feedId());
    const QStringList rssFeeds = idsWhere([](const FeedIndexItem& f) { return f.sourceType.value_or(SourceType::Rss) == SourceType::Rss; });
    EXPECT_EQ(listed, rssFeeds);
    EXPECT_LT(rssFeeds.size(), store->feeds().size()) << "other kinds are left out";
    ASSERT_NE(tab.personalSection(), nullptr);
    EXPECT_TRUE(tab.showsPersonalFeeds());
    EXPECT_EQ(tab.personalSection()->countLine()->text(), QStringLiteral("1 of 1 on \u00B7 private to this computer"));

    const QString first = idsWhere([&](const FeedIndexItem& f) { return isActive(f) && rssFeeds.contains(f.id); }).first();
    const QStringList others = rssFeeds.mid(rssFeeds.indexOf(first) + 1, 2);
    const QList<Step> steps = {
        {"a feed's switch off", [&] { QTest::mouseClick(list.row(first)->enableSwitch(), Qt::LeftButton); }, {first}},
        {"two more switched off elsewhere", [&] { store->setFeeds(others, false); },
         QSet<QString>{first} + QSet<QString>(others.cbegin(), others.cend())},
        {"the first on again here", [&] { QTest::mouseClick(list.row(first)->enableSwitch(), Qt::LeftButton); },
         QSet<QString>(others.cbegin(), others.cend())},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        step.act();
        expectSelection(list, step.off);
    }

    tab.filterField()->setText(QStringLiteral("capitol"));
    EXPECT_FALSE(tab.showsPersonalFeeds());
    ASSERT_EQ(list.visibleRows().size(), 1);
    EXPECT_EQ(list.visibleRows().first()->titleLabel()->text(), QStringLiteral("Capitol Column"));
    tab.filterField()->clear();
    EXPECT_TRUE(tab.showsPersonalFeeds());
    EXPECT_EQ(list.visibleRows().size(), rssFeeds.size());
}

} // namespace
