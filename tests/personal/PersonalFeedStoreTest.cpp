#include "personal/PersonalFeedStore.h"

#include "Await.h"
#include "FakeTime.h"
#include "LoopbackServer.h"
#include "TestFeeds.h"
#include "platform/Defaults.h"

#include <QNetworkAccessManager>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThreadPool>

#include <gtest/gtest.h>

namespace {

using Response = LoopbackServer::Response;
using AddResult = PersonalFeedStore::AddResult;
using Kind = AddResult::Kind;
using TestFeeds::waitUntil;

QStringList idsOf(const QList<FeedItem>& items)
{
    QStringList ids;
    for (const FeedItem& item : items)
        ids.append(item.stableId);
    return ids;
}

QStringList titlesOf(const QList<FeedItem>& items)
{
    QStringList titles;
    for (const FeedItem& item : items)
        titles.append(item.title);
    return titles;
}

class PersonalFeedStoreTest : public testing::Test {
protected:
    LoopbackServer server;
    FakeTime time;
    std::unique_ptr<Defaults> defaults = Defaults::inMemory();
    QNetworkAccessManager nam;
    std::unique_ptr<PersonalFeedStore> store;
    QList<QList<FeedItem>> handed;

    void SetUp() override { store = makeStore(); }
    void TearDown() override
    {
        store.reset();
        FakeTime::settle();
    }

    std::unique_ptr<PersonalFeedStore> makeStore()
    {
        auto s = std::make_unique<PersonalFeedStore>(*defaults, time, time, &nam);
        s->setOnItemsChanged([this](const QList<FeedItem>& items) { handed.append(items); });
        return s;
    }

    void serve(const QString& path, const QByteArray& body)
    {
        server.route(path, Response::text(body, "application/rss+xml"));
    }

    QString address(const QString& path) const { return server.url(path.mid(1)).toString(); }

    AddResult add(const QString& text)
    {
        std::optional<AddResult> result = awaitTask(store->add(text));
        EXPECT_TRUE(result.has_value()) << "add did not finish";
        return result.value_or(AddResult::failed(QStringLiteral("did not finish")));
    }

    // Adds a feed served at `path` and returns its id.
    QString addServed(const QString& path, const QByteArray& body)
    {
        serve(path, body);
        const AddResult result = add(address(path));
        EXPECT_EQ(result.kind, Kind::Added) << result.message.toStdString();
        return store->feeds().isEmpty() ? QString() : store->feeds().last().id;
    }

    QStringList storedItemIds() const
    {
        QStringList ids;
        for (const QJsonValue& v : defaults->arrayValue(PersonalFeedStore::kItemsKey))
            ids.append(v.toObject().value(QStringLiteral("item_id")).toString());
        return ids;
    }
};

TEST_F(PersonalFeedStoreTest, NormalizedUrlRules)
{
    struct Case {
        const char* text;
        const char* expected;  // nullptr: refused
    };
    const Case cases[] = {
        {"  example.com/feed\n", "https://example.com/feed"},
        {"http://example.com/rss", "http://example.com/rss"},
        {"HTTP://Example.com/rss", "http://example.com/rss"},
        {"HTTPS://news.example.org", "https://news.example.org"},
        {"192.168.1.10/feed.xml", "https://192.168.1.10/feed.xml"},
        {"example.com/a b", "https://example.com/a%20b"},
        {"localhost/feed", nullptr},
        {"http://intranet/feed", nullptr},
        {"ftp://example.com/feed", nullptr},
        {"feed://example.com/rss", nullptr},
        {"   ", nullptr},
        {"", nullptr},
        {"https://", nullptr},
        {"https://[::1]/feed", nullptr},
    };
    for (const Case& c : cases) {
        const std::optional<QUrl> url = PersonalFeedStore::normalizedURL(QString::fromUtf8(c.text));
        if (!c.expected) {
            EXPECT_FALSE(url.has_value()) << c.text << " gave " << url->toString().toStdString();
            continue;
        }
        ASSERT_TRUE(url.has_value()) << c.text;
        EXPECT_EQ(url->toString(QUrl::FullyEncoded).toStdString(), c.expected) << c.text;
    }
}

TEST_F(PersonalFeedStoreTest, AddChecksInOrderInvalidDuplicateFullThenFetch)
{
    const QString first = addServed(QStringLiteral("/feed"), TestFeeds::rss(QStringLiteral("Feed"), TestFeeds::datedEntries(QStringLiteral("a"), 2)));
    ASSERT_FALSE(first.isEmpty());
    server.clearRequests();

    EXPECT_EQ(add(QStringLiteral("not a web address")).kind, Kind::InvalidURL);
    EXPECT_EQ(add(QStringLiteral("ftp://example.com/feed")).kind, Kind::InvalidURL);
    // Letter case is ignored; a trailing "/" or another scheme is a different feed.
    EXPECT_EQ(add(address(QStringLiteral("/FEED"))).kind, Kind::Duplicate);

    // Fill up to 20 feeds directly through the stored list of a new store.
    QJsonArray feeds = defaults->arrayValue(PersonalFeedStore::kFeedsKey);
    for (int i = 1; i < PersonalFeedStore::kMaxFeeds; ++i) {
        QJsonObject f = feeds.at(0).toObject();
        f.insert(QStringLiteral("id"), QStringLiteral("pf-%1").arg(i));
        f.insert(QStringLiteral("url"), QStringLiteral("https://feed%1.example.com/rss").arg(i));
        feeds.append(f);
    }
    defaults->set(PersonalFeedStore::kFeedsKey, feeds);
    store = makeStore();
    ASSERT_EQ(store->feeds().size(), 20);

    // The duplicate test comes before the limit; the limit before any fetch.
    EXPECT_EQ(add(address(QStringLiteral("/feed"))).kind, Kind::Duplicate);
    EXPECT_EQ(add(QStringLiteral("https://FEED3.example.com/rss")).kind, Kind::Duplicate);
    EXPECT_EQ(add(address(QStringLiteral("/feed/"))).kind, Kind::Full);
    EXPECT_EQ(add(QStringLiteral("http://feed3.example.com/rss")).kind, Kind::Full);
    EXPECT_EQ(add(QStringLiteral("bad")).kind, Kind::InvalidURL);
    EXPECT_EQ(server.requestCount(), 0);
    EXPECT_EQ(store->feeds().size(), 20);
}

TEST_F(PersonalFeedStoreTest, AddsRunningAtOnceCannotBothPassTheChecks)
{
    Response slow = Response::text(TestFeeds::rss(QStringLiteral("S"), TestFeeds::datedEntries(QStringLiteral("s"), 1)), "application/rss+xml");
    slow.delay = std::chrono::milliseconds(200);
    server.route(QStringLiteral("/same"), slow);
    server.route(QStringLiteral("/other"), slow);

    // The same address twice.
    QCoro::Task<AddResult> first = store->add(address(QStringLiteral("/same")));
    const std::optional<AddResult> second = awaitTask(store->add(address(QStringLiteral("/same"))));
    const std::optional<AddResult> firstResult = awaitTask(std::move(first));
    ASSERT_TRUE(firstResult && second);
    // Whichever fetch ends first is stored; the other is refused.
    EXPECT_EQ((QSet<Kind>{firstResult->kind, second->kind}), (QSet<Kind>{Kind::Added, Kind::Duplicate}));
    EXPECT_EQ(store->feeds().size(), 1);

    // Two different addresses with one place left.
    QJsonArray feeds = defaults->arrayValue(PersonalFeedStore::kFeedsKey);
    for (int i = 1; i < PersonalFeedStore::kMaxFeeds - 1; ++i) {
        QJsonObject f = feeds.at(0).toObject();
        f.insert(QStringLiteral("id"), QStringLiteral("pf-%1").arg(i));
        f.insert(QStringLiteral("url"), QStringLiteral("https://feed%1.example.com/rss").arg(i));
        feeds.append(f);
    }
    defaults->set(PersonalFeedStore::kFeedsKey, feeds);
    store = makeStore();
    ASSERT_EQ(store->feeds().size(), 19);
    QCoro::Task<AddResult> third = store->add(address(QStringLiteral("/other")));
    const std::optional<AddResult> fourth = awaitTask(store->add(address(QStringLiteral("/other?x=1"))));
    const std::optional<AddResult> thirdResult = awaitTask(std::move(third));
    ASSERT_TRUE(thirdResult && fourth);
    EXPECT_EQ((QSet<Kind>{thirdResult->kind, fourth->kind}), (QSet<Kind>{Kind::Added, Kind::Full}));
    EXPECT_EQ(store->feeds().size(), 20);
}

TEST_F(PersonalFeedStoreTest, AddOutcomesAfterTheFetch)
{
    serve(QStringLiteral("/html"), "<!DOCTYPE html><html><head><title>Blog</title></head><body></body></html>");
    serve(QStringLiteral("/empty"), TestFeeds::rss(QStringLiteral("Empty"), {}));
    server.route(QStringLiteral("/gone"), Response::text("nope", "text/plain", 404));
    serve(QStringLiteral("/ok"), TestFeeds::rss(QStringLiteral("  Good Feed "), TestFeeds::datedEntries(QStringLiteral("g"), 1)));
    serve(QStringLiteral("/untitled"), TestFeeds::rss(QString(), TestFeeds::datedEntries(QStringLiteral("u"), 3)));

    struct Case {
        const char* path;
        AddResult expected;
    };
    const Case cases[] = {
        {"/html", AddResult::of(Kind::NotAFeed)},
        {"/empty", AddResult::of(Kind::NoItems)},
        {"/gone", AddResult::failed(QStringLiteral("The site answered HTTP 404"))},
        {"/ok", AddResult::added(QStringLiteral("Good Feed"), 1)},
        {"/untitled", AddResult::added(QStringLiteral("127.0.0.1"), 3)},
    };
    for (const Case& c : cases) {
        const AddResult result = add(address(QString::fromUtf8(c.path)));
        EXPECT_EQ(result, c.expected) << c.path << ": kind " << int(result.kind) << " " << result.message.toStdString()
                                      << result.title.toStdString();
    }
    // Only the two added feeds are stored, with their items.
    ASSERT_EQ(store->feeds().size(), 2);
    EXPECT_EQ(store->items().size(), 4);
    EXPECT_EQ(defaults->arrayValue(PersonalFeedStore::kFeedsKey).size(), 2);
}

TEST_F(PersonalFeedStoreTest, AddedFeedRecordAndItems)
{
    time.setNow(QDateTime(QDate(2026, 3, 1), QTime(9, 30, 15, 250), Qt::UTC));
    const QString id = addServed(QStringLiteral("/thirty"), TestFeeds::rss(QStringLiteral("Thirty"), TestFeeds::datedEntries(QStringLiteral("t"), 30)));
    ASSERT_EQ(store->feeds().size(), 1);
    const PersonalFeed& feed = store->feeds().first();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^pf-[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}$"))
                    .match(feed.id)
                    .hasMatch())
        << feed.id.toStdString();
    EXPECT_EQ(feed.id.size(), 39);
    EXPECT_EQ(feed.url, address(QStringLiteral("/thirty")));
    EXPECT_EQ(feed.title, QStringLiteral("Thirty"));
    EXPECT_TRUE(feed.isEnabled);
    EXPECT_EQ(feed.addedAt, time.now());
    EXPECT_EQ(feed.lastFetchedAt, time.now());
    EXPECT_FALSE(feed.lastError.has_value());
    EXPECT_EQ(feed.itemCount, 20);

    ASSERT_EQ(store->items().size(), 20);
    EXPECT_EQ(store->items().first().title, QStringLiteral("t 29"));  // newest first
    EXPECT_EQ(store->items().last().title, QStringLiteral("t 10"));
    ASSERT_FALSE(handed.isEmpty());
    EXPECT_EQ(idsOf(handed.last()), idsOf(store->items()));
    EXPECT_TRUE(waitUntil([&] { return storedItemIds() == idsOf(store->items()); }));
}

TEST_F(PersonalFeedStoreTest, RemoveDropsTheFeedItsItemsAndStoredItems)
{
    const QString a = addServed(QStringLiteral("/a"), TestFeeds::rss(QStringLiteral("A"), TestFeeds::datedEntries(QStringLiteral("a"), 2)));
    const QString b = addServed(QStringLiteral("/b"), TestFeeds::rss(QStringLiteral("B"), TestFeeds::datedEntries(QStringLiteral("b"), 2)));
    ASSERT_EQ(store->items().size(), 4);
    QSignalSpy feedsChanged(store.get(), &PersonalFeedStore::feedsChanged);
    handed.clear();

    store->remove(a);
    ASSERT_EQ(store->feeds().size(), 1);
    EXPECT_EQ(store->feeds().first().id, b);
    EXPECT_EQ(feedsChanged.count(), 1);
    EXPECT_EQ(titlesOf(store->items()), (QStringList{QStringLiteral("b 1"), QStringLiteral("b 0")}));
    ASSERT_EQ(handed.size(), 1);
    EXPECT_EQ(titlesOf(handed.last()), titlesOf(store->items()));
    EXPECT_TRUE(waitUntil([&] { return storedItemIds() == idsOf(store->items()); }));
    EXPECT_EQ(defaults->arrayValue(PersonalFeedStore::kFeedsKey).size(), 1);

    // An unknown id still saves and hands over, and changes nothing.
    store->remove(QStringLiteral("pf-unknown"));
    EXPECT_EQ(handed.size(), 2);
    EXPECT_EQ(feedsChanged.count(), 1);
    EXPECT_EQ(store->items().size(), 2);
}

TEST_F(PersonalFeedStoreTest, SwitchingHidesAndShowsKeptItemsWithoutFetching)
{
    const QString a = addServed(QStringLiteral("/a"), TestFeeds::rss(QStringLiteral("A"), TestFeeds::datedEntries(QStringLiteral("a"), 2)));
    addServed(QStringLiteral("/b"), TestFeeds::rss(QStringLiteral("B"), TestFeeds::datedEntries(QStringLiteral("b"), 1)));
    server.clearRequests();
    handed.clear();
    QSignalSpy feedsChanged(store.get(), &PersonalFeedStore::feedsChanged);

    store->setEnabled(a, false);
    ASSERT_EQ(handed.size(), 1);
    EXPECT_EQ(titlesOf(handed.last()), QStringList{QStringLiteral("b 0")});
    EXPECT_EQ(store->items().size(), 3) << "switched-off items stay kept";
    EXPECT_FALSE(store->feeds().first().isEnabled);

    store->setEnabled(a, false);  // same value: still told and handed over
    EXPECT_EQ(feedsChanged.count(), 2);
    EXPECT_EQ(handed.size(), 2);

    store->setEnabled(a, true);
    EXPECT_EQ(titlesOf(handed.last()), (QStringList{QStringLiteral("a 1"), QStringLiteral("a 0"), QStringLiteral("b 0")}));
    EXPECT_EQ(server.requestCount(), 0);

    store->setEnabled(QStringLiteral("pf-unknown"), false);
    EXPECT_EQ(handed.size(), 3);
    EXPECT_EQ(feedsChanged.count(), 3);

    // The switch is stored.
    store = makeStore();
    EXPECT_TRUE(store->feeds().first().isEnabled);
}

TEST_F(PersonalFeedStoreTest, StartHandsOverOnlyEnabledFeedsItems)
{
    const QString a = addServed(QStringLiteral("/a"), TestFeeds::rss(QStringLiteral("A"), TestFeeds::datedEntries(QStringLiteral("a"), 2)));
    addServed(QStringLiteral("/b"), TestFeeds::rss(QStringLiteral("B"), TestFeeds::datedEntries(QStringLiteral("b"), 1)));
    store->setEnabled(a, false);
    EXPECT_TRUE(waitUntil([&] { return storedItemIds().size() == 3; }));

    store = makeStore();
    EXPECT_EQ(store->items().size(), 3);
    handed.clear();
    store->start();
    ASSERT_GE(handed.size(), 1);
    EXPECT_EQ(titlesOf(handed.first()), QStringList{QStringLiteral("b 0")});
    // The first pass runs at once and hands over the same visible items.
    EXPECT_TRUE(waitUntil([&] { return handed.size() == 2 && !store->isRefreshing(); }));
    EXPECT_EQ(titlesOf(handed.last()), QStringList{QStringLiteral("b 0")});
    EXPECT_EQ(server.requestCount(QStringLiteral("/a")), 1) << "only the add fetched the switched-off feed";
}

TEST_F(PersonalFeedStoreTest, BothListsSurviveARestartWithARealSettingsFile)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("defaults.json"));
    store.reset();
    defaults = Defaults::openFile(path);
    store = makeStore();

    time.setNow(QDateTime(QDate(2026, 2, 2), QTime(8, 0, 0, 999), Qt::UTC));
    const QString a = addServed(QStringLiteral("/a"), TestFeeds::rss(QStringLiteral("A & Co"), TestFeeds::datedEntries(QStringLiteral("a"), 3)));
    addServed(QStringLiteral("/b"), TestFeeds::rss(QStringLiteral("B"), {{QStringLiteral("undated"), {}, QStringLiteral("g-1"), {}}}));
    store->setEnabled(a, false);
    const QList<PersonalFeed> feedsBefore = store->feeds();
    const QList<FeedItem> itemsBefore = store->items();
    ASSERT_TRUE(waitUntil([&] { return storedItemIds() == idsOf(itemsBefore); }));

    store.reset();
    ASSERT_TRUE(defaults->flush());
    defaults = Defaults::openFile(path);
    store = makeStore();

    ASSERT_EQ(store->feeds().size(), 2);
    for (qsizetype i = 0; i < 2; ++i) {
        PersonalFeed expected = feedsBefore.at(i);
        // Whole seconds are stored.
        expected.addedAt = QDateTime(QDate(2026, 2, 2), QTime(8, 0, 0), Qt::UTC);
        expected.lastFetchedAt = expected.addedAt;
        EXPECT_EQ(store->feeds().at(i), expected) << i;
    }
    ASSERT_EQ(store->items().size(), itemsBefore.size());
    for (qsizetype i = 0; i < itemsBefore.size(); ++i) {
        const FeedItem& x = store->items().at(i);
        const FeedItem& y = itemsBefore.at(i);
        EXPECT_EQ(x.stableId, y.stableId);
        EXPECT_EQ(x.title, y.title);
        EXPECT_EQ(x.url, y.url);
        EXPECT_EQ(x.publishedAt, y.publishedAt);
        EXPECT_EQ(x.source, y.source);
        EXPECT_EQ(x.imageUrl, y.imageUrl);
    }
}

TEST_F(PersonalFeedStoreTest, UnreadableStoredListsStartEmptyAndAreReplacedOnTheNextSave)
{
    struct Case {
        const char* name;
        QJsonValue feeds;
        QJsonValue items;
    };
    const QJsonObject wrongFeed{{QStringLiteral("id"), QStringLiteral("pf-1")}, {QStringLiteral("url"), 5}};
    const Case cases[] = {
        {"text", QJsonValue(QStringLiteral("garbage")), QJsonValue(QStringLiteral("garbage"))},
        {"object", QJsonObject{{QStringLiteral("a"), 1}}, QJsonObject{}},
        {"wrong element", QJsonArray{wrongFeed}, QJsonArray{QJsonObject{{QStringLiteral("title"), 1}}}},
    };
    for (const Case& c : cases) {
        defaults->set(PersonalFeedStore::kFeedsKey, c.feeds);
        defaults->set(PersonalFeedStore::kItemsKey, c.items);
        store = makeStore();
        EXPECT_TRUE(store->feeds().isEmpty()) << c.name;
        EXPECT_TRUE(store->items().isEmpty()) << c.name;
        EXPECT_EQ(defaults->value(PersonalFeedStore::kFeedsKey), c.feeds) << "kept until the next save: " << c.name;
    }
    addServed(QStringLiteral("/a"), TestFeeds::rss(QStringLiteral("A"), TestFeeds::datedEntries(QStringLiteral("a"), 1)));
    EXPECT_EQ(defaults->arrayValue(PersonalFeedStore::kFeedsKey).size(), 1);
    EXPECT_TRUE(waitUntil([&] { return storedItemIds().size() == 1; }));
}

TEST_F(PersonalFeedStoreTest, ObserversHearOnlyRealChanges)
{
    QSignalSpy itemsChanged(store.get(), &PersonalFeedStore::itemsChanged);
    QSignalSpy pollTaskChanged(store.get(), &PersonalFeedStore::pollTaskChanged);
    store->remove(QStringLiteral("pf-none"));  // same empty list
    EXPECT_EQ(itemsChanged.count(), 0);

    addServed(QStringLiteral("/a"), TestFeeds::rss(QStringLiteral("A"), TestFeeds::datedEntries(QStringLiteral("a"), 1)));
    EXPECT_EQ(itemsChanged.count(), 1);

    // Same ids, new title: FeedItem's own equality would miss this.
    serve(QStringLiteral("/a"), TestFeeds::rss(QStringLiteral("A"), {{QStringLiteral("renamed"), QStringLiteral("https://example.com/a-0"), {}, TestFeeds::hourDate(0)}}));
    awaitTask(store->refreshAll());
    EXPECT_EQ(itemsChanged.count(), 2);
    EXPECT_EQ(store->items().first().title, QStringLiteral("renamed"));
    awaitTask(store->refreshAll());
    EXPECT_EQ(itemsChanged.count(), 2);

    auto task = std::make_shared<PollTask>();
    store->setPollTask(task);
    store->setPollTask(task);
    store->setPollTask(nullptr);
    store->setPollTask(nullptr);
    EXPECT_EQ(pollTaskChanged.count(), 2);
}

TEST_F(PersonalFeedStoreTest, LatestItemListIsTheOneStored)
{
    QStringList ids;
    for (int i = 0; i < 12; ++i)
        ids.append(addServed(QStringLiteral("/f%1").arg(i), TestFeeds::rss(QStringLiteral("F"), TestFeeds::datedEntries(QStringLiteral("f%1").arg(i), 20))));
    // Several saves in flight at once: the last list must win.
    for (const QString& id : ids)
        store->remove(id);
    EXPECT_TRUE(waitUntil([] { return QThreadPool::globalInstance()->activeThreadCount() == 0; }));
    FakeTime::settle();
    EXPECT_TRUE(store->items().isEmpty());
    EXPECT_TRUE(waitUntil([&] { return defaults->contains(PersonalFeedStore::kItemsKey) && storedItemIds().isEmpty(); }));
    FakeTime::settle();
    EXPECT_TRUE(storedItemIds().isEmpty());
}

TEST_F(PersonalFeedStoreTest, PendingItemSaveIsWrittenAtOnceWhenFlushedAndStaysNewest)
{
    addServed("/kept", TestFeeds::rss("K", TestFeeds::datedEntries("k", 3)));
    const QString gone = addServed("/gone", TestFeeds::rss("G", TestFeeds::datedEntries("g", 3)));
    EXPECT_TRUE(waitUntil([&] { return storedItemIds().size() == 6; }));

    // At quit no event loop is left to finish the background save.
    store->remove(gone);
    store->flushPendingSave();
    const QStringList expected = idsOf(store->items());
    EXPECT_EQ(expected.size(), 3);
    EXPECT_EQ(storedItemIds(), expected);

    // The encoding still running afterwards changes nothing.
    EXPECT_TRUE(waitUntil([] { return QThreadPool::globalInstance()->activeThreadCount() == 0; }));
    FakeTime::settle();
    EXPECT_EQ(storedItemIds(), expected);
}

struct ItemsCase {
    const char* name;
    QList<ParsedFeedItem> entries;
    QStringList expectedIds;  // after "<feed id>-"
};

class PersonalFeedItems : public testing::TestWithParam<ItemsCase> {};

ParsedFeedItem entry(const char* title, const char* link = nullptr, const char* guid = nullptr, int hour = -1)
{
    ParsedFeedItem e;
    e.title = QString::fromUtf8(title);
    if (link)
        e.link = QString::fromUtf8(link);
    if (guid)
        e.guid = QString::fromUtf8(guid);
    if (hour >= 0)
        e.publishedAt = QDateTime(QDate(2024, 1, 1), QTime(0, 0), Qt::UTC).addSecs(qint64(hour) * 3600);
    return e;
}

QList<ParsedFeedItem> dated(int count, int firstHour = 0)
{
    QList<ParsedFeedItem> list;
    for (int i = 0; i < count; ++i)
        list.append(entry(qPrintable(QStringLiteral("d%1").arg(i)), qPrintable(QStringLiteral("d%1").arg(i)), nullptr, firstHour + i));
    return list;
}

QStringList dIds(std::initializer_list<int> numbers)
{
    QStringList ids;
    for (int n : numbers)
        ids.append(QStringLiteral("d%1").arg(n));
    return ids;
}

TEST_P(PersonalFeedItems, KeysOrderAndCap)
{
    const ItemsCase c = GetParam();
    PersonalFeed feed;
    feed.id = QStringLiteral("pf-x");
    feed.url = QStringLiteral("https://www.News.Example.co.uk/www.feed");
    feed.title = QStringLiteral("Mine");
    const QList<FeedItem> items = PersonalFeedStore::toFeedItems(ParsedFeed{std::nullopt, c.entries}, feed);
    QStringList ids;
    for (const FeedItem& item : items)
        ids.append(item.stableId.mid(QStringLiteral("pf-x-").size()));
    EXPECT_EQ(ids, c.expectedIds) << c.name;
    for (const FeedItem& item : items) {
        ASSERT_TRUE(item.source.has_value());
        EXPECT_EQ(item.source->id, QStringLiteral("pf-x"));
        EXPECT_EQ(item.source->title, QStringLiteral("Mine"));
        EXPECT_EQ(item.source->domain, QStringLiteral("news.example.co.uk"));
        EXPECT_EQ(item.source->sourceType, SourceType::Rss);
        EXPECT_FALSE(item.source->slug.has_value());
        EXPECT_FALSE(item.source->iconUrl.has_value());
        EXPECT_EQ(item.source->category,
                  (FeedCategory{QStringLiteral("personal"), QStringLiteral("Your feeds"), QStringLiteral("personal"), 0}));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Store, PersonalFeedItems,
    testing::Values(
        ItemsCase{"25 dated keep the 20 newest", dated(25),
                  dIds({24, 23, 22, 21, 20, 19, 18, 17, 16, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5})},
        ItemsCase{"undated after dated in document order",
                  {entry("u1", "u1"), dated(2)[0], entry("u2", "u2"), dated(2)[1]},
                  {QStringLiteral("d1"), QStringLiteral("d0"), QStringLiteral("u1"), QStringLiteral("u2")}},
        ItemsCase{"20 dated leave no room for undated", [] {
                      QList<ParsedFeedItem> l{entry("u", "u")};
                      l.append(dated(20));
                      return l;
                  }(),
                  dIds({19, 18, 17, 16, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0})},
        ItemsCase{"equal dates keep document order",
                  {entry("b", "b", nullptr, 5), entry("a", "a", nullptr, 5), entry("c", "c", nullptr, 6)},
                  {QStringLiteral("c"), QStringLiteral("b"), QStringLiteral("a")}},
        ItemsCase{"same link: the first wins",
                  {entry("first", "same", nullptr, 1), entry("second", "same", nullptr, 2)}, {QStringLiteral("same")}},
        ItemsCase{"key falls back to guid, then title",
                  {entry("t1", nullptr, "g1"), entry("t2", nullptr, "g1"), entry("t3"), entry("t3"),
                   entry("t4", "l4", "g4")},
                  {QStringLiteral("g1"), QStringLiteral("t3"), QStringLiteral("l4")}},
        ItemsCase{"nothing in, nothing out", {}, {}}),
    [](const testing::TestParamInfo<ItemsCase>& info) { return "case" + std::to_string(info.index); });

TEST(PersonalFeedItemsMapping, FieldsAndDomainFallback)
{
    PersonalFeed feed;
    feed.id = QStringLiteral("pf-y");
    feed.url = QStringLiteral("not a url at all");
    feed.title = QStringLiteral("Odd");
    ParsedFeedItem e = entry("Title", "https://x.example.com/1", "g", 3);
    e.imageUrl = QStringLiteral("https://x.example.com/1.jpg");
    const QList<FeedItem> items = PersonalFeedStore::toFeedItems(ParsedFeed{QStringLiteral("Ignored"), {e}}, feed);
    ASSERT_EQ(items.size(), 1);
    const FeedItem& item = items.first();
    EXPECT_EQ(item.stableId, QStringLiteral("pf-y-https://x.example.com/1"));
    EXPECT_EQ(item.title, QStringLiteral("Title"));
    EXPECT_EQ(item.url, QStringLiteral("https://x.example.com/1"));
    EXPECT_EQ(item.publishedAt, e.publishedAt);
    EXPECT_EQ(item.imageUrl, QStringLiteral("https://x.example.com/1.jpg"));
    EXPECT_EQ(item.source->domain, QStringLiteral("not a url at all"));
    EXPECT_EQ(item.source->title, QStringLiteral("Odd"));
}

} // namespace
