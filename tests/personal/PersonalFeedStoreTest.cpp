// The personal-feed store: adding, fetching, polling, keeping; and its road
// into the ticker list next to the sample catalogue server's items.
#include "personal/PersonalFeedStore.h"

#include "CatalogueServer.h"
#include "SampleFeedDocuments.h"
#include "app/PersonalFeedItemsSource.h"
#include "platform/storage/Defaults.h"
#include "platform/net/PathMonitor.h"
#include "store/FeedStore.h"

#include "Await.h"
#include "FakeTime.h"
#include "LogCapture.h"
#include "LoopbackServer.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLocale>
#include <QNetworkAccessManager>
#include <QRegularExpression>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThreadPool>
#include <QTimer>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <algorithm>
#include <atomic>
#include <functional>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using Response = LoopbackServer::Response;
using AddResult = PersonalFeedStore::AddResult;
using Kind = AddResult::Kind;

constexpr qint64 kCap = 3 * 1024 * 1024;

// "Mon, 01 Jan 2024 HH:00:00 +0000" style dates, one hour apart.
QString hourDate(int hour)
{
    const QDateTime t = QDateTime(QDate(2024, 1, 1), QTime(0, 0), Qt::UTC).addSecs(qint64(hour) * 3600);
    return QLocale::c().toString(t, QStringLiteral("ddd, dd MMM yyyy HH:mm:ss")) + QStringLiteral(" +0000");
}

// An RSS document titled `title` with `count` dated entries "<prefix> <i>"
// (link ".../<prefix>-<i>", at hour i), or with the item XML `items`.
QByteArray rss(const QString& title, const QString& prefix, int count, QString items = {})
{
    for (int i = 0; i < count; ++i)
        items += QStringLiteral("<item><title>%1 %2</title><link>https://example.com/%1-%2</link><pubDate>%3</pubDate></item>\n")
                     .arg(prefix).arg(i).arg(hourDate(i));
    return (QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<rss version=\"2.0\"><channel><title>") + title.toHtmlEscaped()
            + QStringLiteral("</title>\n") + items + QStringLiteral("</channel></rss>\n")).toUtf8();
}

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

// Serves one connection, on its own thread, with a chunked feed that never
// ends; blocking writes give the client's real back-pressure. Counts what
// the client accepted and notices when it hangs up.
class EndlessFeedServer {
public:
    EndlessFeedServer()
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(m_listener, 1);
        socklen_t length = sizeof address;
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { serve(); });
    }
    ~EndlessFeedServer()
    {
        m_stop = true;
        ::shutdown(m_listener, SHUT_RDWR);
        ::close(m_listener);
        m_thread.join();
    }
    QUrl url() const { return QUrl(QStringLiteral("http://127.0.0.1:%1/endless").arg(m_port)); }
    std::atomic<qint64> sent{0};
    std::atomic<bool> hungUp{false};

private:
    void serve()
    {
        const int client = ::accept(m_listener, nullptr, nullptr);
        if (client < 0)
            return;
        char request[4096];
        ::recv(client, request, sizeof request, 0);
        bool ok = write(client, "HTTP/1.1 200 OK\r\nContent-Type: application/rss+xml\r\nTransfer-Encoding: chunked\r\n\r\n", false)
            && write(client, "<rss><channel><title>Endless</title>");
        const QByteArray item = QByteArray(16 * 1024, ' ') + "<item><title>more</title></item>";
        while (ok && !m_stop && sent < 64 * kCap)
            ok = write(client, item);
        hungUp = !ok;
        ::close(client);
    }
    // Writes `data`, as one chunk unless it is the head.
    bool write(int client, const QByteArray& data, bool chunk = true)
    {
        const QByteArray bytes = chunk ? QByteArray::number(data.size(), 16) + "\r\n" + data + "\r\n" : data;
        for (qsizetype done = 0; done < bytes.size();) {
            const ssize_t n = ::send(client, bytes.constData() + done, size_t(bytes.size() - done), MSG_NOSIGNAL);
            if (n <= 0)
                return false;
            done += n;
        }
        sent += chunk ? data.size() : 0;
        return true;
    }

    int m_listener = -1;
    int m_port = 0;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
};

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

    void serve(const QString& path, const QByteArray& body) { server.route(path, Response::text(body, "application/rss+xml")); }
    void serveSlowly(const QString& path, const QByteArray& body, std::chrono::milliseconds delay)
    {
        Response r = Response::text(body, "application/rss+xml");
        r.delay = delay;
        server.route(path, r);
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
    // Adds the feed "<Name>" at "/<name>" with `count` dated entries "<name> <i>".
    QString addFeed(const char* name, int count)
    {
        const QString n = QString::fromUtf8(name);
        return addServed(QLatin1Char('/') + n, rss(n.toUpper(), n, count));
    }

    // Copies the first stored feed up to `count` feeds and opens a new store on them.
    void fillStoredListTo(int count)
    {
        QJsonArray feeds = defaults->arrayValue(PersonalFeedStore::kFeedsKey);
        for (int i = 1; i < count; ++i) {
            QJsonObject f = feeds.at(0).toObject();
            f.insert(QStringLiteral("id"), QStringLiteral("pf-%1").arg(i));
            f.insert(QStringLiteral("url"), QStringLiteral("https://feed%1.example.com/rss").arg(i));
            feeds.append(f);
        }
        defaults->set(PersonalFeedStore::kFeedsKey, feeds);
        store = makeStore();
    }

    FetchOutcome fetch(const QUrl& url, FeedFetchLimits limits = {})
    {
        FeedFetcher fetcher(&nam, limits);
        std::optional<FetchOutcome> outcome = awaitTask(fetcher.fetch(url), 15000);
        EXPECT_TRUE(outcome.has_value()) << "fetch did not finish";
        return outcome.value_or(FetchOutcome::failed(QStringLiteral("did not finish")));
    }

    const PersonalFeed& feed(const QString& id) const
    {
        for (const PersonalFeed& f : store->feeds())
            if (f.id == id)
                return f;
        static const PersonalFeed none;
        ADD_FAILURE() << "no feed " << id.toStdString();
        return none;
    }

    QStringList storedItemIds() const
    {
        QStringList ids;
        for (const QJsonValue& v : defaults->caches().value(PersonalFeedStore::kItemsKey).toArray())
            ids.append(v.toObject().value(QStringLiteral("item_id")).toString());
        return ids;
    }
    int storedFeedCount() const { return int(defaults->arrayValue(PersonalFeedStore::kFeedsKey).size()); }
};

TEST_F(PersonalFeedStoreTest, NormalizedUrlRules)
{
    const std::pair<const char*, const char*> cases[] = {  // nullptr: refused
        {"  example.com/feed\n", "https://example.com/feed"}, {"http://example.com/rss", "http://example.com/rss"},
        {"HTTP://Example.com/rss", "http://example.com/rss"}, {"HTTPS://news.example.org", "https://news.example.org"},
        {"192.168.1.10/feed.xml", "https://192.168.1.10/feed.xml"}, {"example.com/a b", "https://example.com/a%20b"},
        {"localhost/feed", nullptr}, {"http://intranet/feed", nullptr}, {"ftp://example.com/feed", nullptr},
        {"feed://example.com/rss", nullptr}, {"   ", nullptr}, {"", nullptr}, {"https://", nullptr}, {"https://[::1]/feed", nullptr},
    };
    for (const auto& [text, expected] : cases) {
        const std::optional<QUrl> url = PersonalFeedStore::normalizedURL(QString::fromUtf8(text));
        EXPECT_EQ(url ? std::optional(url->toString(QUrl::FullyEncoded)) : std::nullopt,
                  expected ? std::optional(QString::fromUtf8(expected)) : std::nullopt) << text;
    }
}

TEST_F(PersonalFeedStoreTest, AddChecksInOrderInvalidDuplicateFullThenFetch)
{
    ASSERT_FALSE(addServed(QStringLiteral("/feed"), rss("Feed", "a", 2)).isEmpty());
    server.clearRequests();
    // Letter case is ignored; a trailing "/" or another scheme is a different feed.
    const std::pair<QString, Kind> beforeFull[] = {
        {"not a web address", Kind::InvalidURL}, {"ftp://example.com/feed", Kind::InvalidURL}, {address("/FEED"), Kind::Duplicate}};
    for (const auto& [text, kind] : beforeFull)
        EXPECT_EQ(add(text).kind, kind) << text.toStdString();
    fillStoredListTo(PersonalFeedStore::kMaxFeeds);
    ASSERT_EQ(store->feeds().size(), 20);
    // The duplicate test comes before the limit; the limit before any fetch.
    const std::pair<QString, Kind> full[] = {
        {address("/feed"), Kind::Duplicate}, {"https://FEED3.example.com/rss", Kind::Duplicate}, {address("/feed/"), Kind::Full},
        {"http://feed3.example.com/rss", Kind::Full}, {"bad", Kind::InvalidURL}};
    for (const auto& [text, kind] : full)
        EXPECT_EQ(add(text).kind, kind) << text.toStdString();
    EXPECT_EQ(server.requestCount(), 0);
    EXPECT_EQ(store->feeds().size(), 20);
}

TEST_F(PersonalFeedStoreTest, AddsRunningAtOnceCannotBothPassTheChecks)
{
    serveSlowly("/same", rss("S", "s", 1), 200ms);
    serveSlowly("/other", rss("S", "s", 1), 200ms);
    // The same address twice, then two addresses with one place left:
    // whichever fetch ends first is stored, the other is refused.
    const struct { QString first, second; int fillTo; Kind refused; int feeds; } cases[] = {
        {"/same", "/same", 0, Kind::Duplicate, 1}, {"/other", "/other?x=1", PersonalFeedStore::kMaxFeeds - 1, Kind::Full, 20}};
    for (const auto& c : cases) {
        if (c.fillTo)
            fillStoredListTo(c.fillTo);
        QCoro::Task<AddResult> first = store->add(address(c.first));
        const std::optional<AddResult> second = awaitTask(store->add(address(c.second)));
        const std::optional<AddResult> firstResult = awaitTask(std::move(first));
        ASSERT_TRUE(firstResult && second);
        EXPECT_EQ((QSet<Kind>{firstResult->kind, second->kind}), (QSet<Kind>{Kind::Added, c.refused}));
        EXPECT_EQ(store->feeds().size(), c.feeds);
    }
}

TEST_F(PersonalFeedStoreTest, AddOutcomesAfterTheFetchAndTheAddedRecord)
{
    time.setNow(QDateTime(QDate(2026, 3, 1), QTime(9, 30, 15, 250), Qt::UTC));
    serve("/html", "<!DOCTYPE html><html><head><title>Blog</title></head><body></body></html>");
    serve("/empty", rss("Empty", {}, 0));
    server.route(QStringLiteral("/gone"), Response::text("nope", "text/plain", 404));
    serve("/ok", rss("  Good Feed ", "g", 30));
    serve("/untitled", rss(QString(), "u", 3));
    const std::pair<const char*, AddResult> cases[] = {
        {"/html", AddResult::of(Kind::NotAFeed)}, {"/empty", AddResult::of(Kind::NoItems)},
        {"/gone", AddResult::failed(QStringLiteral("The site answered HTTP 404"))},
        {"/ok", AddResult::added(QStringLiteral("Good Feed"), 20)}, {"/untitled", AddResult::added(QStringLiteral("127.0.0.1"), 3)},
    };
    for (const auto& [path, expected] : cases) {
        const AddResult result = add(address(QString::fromUtf8(path)));
        EXPECT_EQ(result, expected) << path << ": kind " << int(result.kind) << " " << result.message.toStdString() << result.title.toStdString();
    }
    // Only the two added feeds are stored, with their items, newest first.
    ASSERT_EQ(store->feeds().size(), 2);
    EXPECT_EQ(storedFeedCount(), 2);
    const PersonalFeed& f = store->feeds().first();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^pf-[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}$")).match(f.id).hasMatch())
        << f.id.toStdString();
    EXPECT_EQ(f, (PersonalFeed{f.id, address("/ok"), "Good Feed", true, time.now(), time.now(), std::nullopt, 20}));
    ASSERT_EQ(store->items().size(), 23);
    EXPECT_EQ(store->items().first().title, QStringLiteral("g 29"));
    EXPECT_EQ(store->items().at(19).title, QStringLiteral("g 10"));
    ASSERT_FALSE(handed.isEmpty());
    EXPECT_EQ(idsOf(handed.last()), idsOf(store->items()));
    EXPECT_TRUE(waitUntil([&] { return storedItemIds() == idsOf(store->items()); }));
}

TEST_F(PersonalFeedStoreTest, RemoveDropsTheFeedItsItemsAndStoredItems)
{
    QSignalSpy itemsChanged(store.get(), &PersonalFeedStore::itemsChanged);
    store->remove(QStringLiteral("pf-none"));  // same empty list
    EXPECT_EQ(itemsChanged.count(), 0);
    const QString a = addFeed("a", 2);
    const QString b = addFeed("b", 2);
    ASSERT_EQ(store->items().size(), 4);
    QSignalSpy feedsChanged(store.get(), &PersonalFeedStore::feedsChanged);
    handed.clear();
    store->remove(a);
    ASSERT_EQ(store->feeds().size(), 1);
    EXPECT_EQ(store->feeds().first().id, b);
    EXPECT_EQ(feedsChanged.count(), 1);
    EXPECT_EQ(titlesOf(store->items()), (QStringList{"b 1", "b 0"}));
    ASSERT_EQ(handed.size(), 1);
    EXPECT_EQ(titlesOf(handed.last()), titlesOf(store->items()));
    EXPECT_TRUE(waitUntil([&] { return storedItemIds() == idsOf(store->items()); }));
    EXPECT_EQ(storedFeedCount(), 1);
    // An unknown id still saves and hands over, and changes nothing.
    store->remove(QStringLiteral("pf-unknown"));
    EXPECT_EQ(handed.size(), 2);
    EXPECT_EQ(feedsChanged.count(), 1);
    EXPECT_EQ(store->items().size(), 2);
}

TEST_F(PersonalFeedStoreTest, SwitchingHidesAndShowsKeptItemsWithoutFetching)
{
    const QString a = addFeed("a", 2);
    addFeed("b", 1);
    server.clearRequests();
    handed.clear();
    QSignalSpy feedsChanged(store.get(), &PersonalFeedStore::feedsChanged);
    store->setEnabled(a, false);
    ASSERT_EQ(handed.size(), 1);
    EXPECT_EQ(titlesOf(handed.last()), QStringList{"b 0"});
    EXPECT_EQ(store->items().size(), 3) << "switched-off items stay kept";
    EXPECT_FALSE(store->feeds().first().isEnabled);
    store->setEnabled(a, false);  // same value: still told and handed over
    EXPECT_EQ(feedsChanged.count(), 2);
    EXPECT_EQ(handed.size(), 2);

    // A pass skips the switched-off feed, whose items keep their place.
    serve("/b", rss("B", "b2", 1));
    awaitTask(store->refreshAll());
    EXPECT_EQ(server.requestCount(QStringLiteral("/a")), 0);
    EXPECT_EQ(server.requestCount(QStringLiteral("/b")), 1);
    EXPECT_EQ(titlesOf(store->items()), (QStringList{"a 1", "a 0", "b2 0"}));
    ASSERT_EQ(handed.size(), 3);
    EXPECT_EQ(titlesOf(handed.last()), QStringList{"b2 0"});

    // A restart hands over only the switched-on feed's kept items.
    EXPECT_TRUE(waitUntil([&] { return storedItemIds().size() == 3; }));
    store = makeStore();
    EXPECT_EQ(store->items().size(), 3);
    handed.clear();
    store->start();
    ASSERT_GE(handed.size(), 1);
    EXPECT_EQ(titlesOf(handed.first()), QStringList{"b2 0"});
    // The first pass runs at once and hands over the same visible items.
    EXPECT_TRUE(waitUntil([&] { return handed.size() == 2 && !store->isRefreshing(); }));
    EXPECT_EQ(titlesOf(handed.last()), QStringList{"b2 0"});
    EXPECT_EQ(server.requestCount(QStringLiteral("/a")), 0) << "the switched-off feed is never fetched";

    QSignalSpy changes(store.get(), &PersonalFeedStore::feedsChanged);
    handed.clear();
    store->setEnabled(a, true);
    EXPECT_EQ(server.requestCount(QStringLiteral("/a")), 0) << "switching on fetches nothing";
    store->setEnabled(QStringLiteral("pf-unknown"), false);
    ASSERT_EQ(handed.size(), 1) << "an unknown id changes nothing";
    EXPECT_EQ(titlesOf(handed[0]), (QStringList{"a 1", "a 0", "b2 0"}));
    EXPECT_EQ(changes.count(), 1);
    // The switch is stored.
    store = makeStore();
    EXPECT_TRUE(store->feeds().first().isEnabled);
}

TEST_F(PersonalFeedStoreTest, BothListsSurviveARestartWithARealSettingsFile)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("defaults.json"));
    store.reset();
    defaults = Defaults::openFile(path, dir.filePath(QStringLiteral("cache")));
    store = makeStore();
    time.setNow(QDateTime(QDate(2026, 2, 2), QTime(8, 0, 0, 999), Qt::UTC));
    const QString a = addServed("/a", rss("A & Co", "a", 3));
    addServed("/b", rss("B", {}, 0, QStringLiteral("<item><title>undated</title><guid>g-1</guid></item>")));
    store->setEnabled(a, false);
    const QList<PersonalFeed> feedsBefore = store->feeds();
    const QList<FeedItem> itemsBefore = store->items();
    ASSERT_TRUE(waitUntil([&] { return storedItemIds() == idsOf(itemsBefore); }));

    store.reset();
    ASSERT_TRUE(defaults->flush());
    defaults = Defaults::openFile(path, dir.filePath(QStringLiteral("cache")));
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
        const FeedItem &x = store->items().at(i), &y = itemsBefore.at(i);
        EXPECT_EQ(std::tie(x.stableId, x.title, x.url, x.publishedAt, x.source, x.imageUrl),
                  std::tie(y.stableId, y.title, y.url, y.publishedAt, y.source, y.imageUrl)) << i;
    }
}

// A feed's date that no stored form can carry must not cost the other kept
// items at the next start: such a date reads as none.
TEST_F(PersonalFeedStoreTest, ItemsWithDatesBeyondTheStoredRangeSurviveARestart)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("defaults.json"));
    const QString cache = dir.filePath(QStringLiteral("cache"));
    store.reset();
    defaults = Defaults::openFile(path, cache);
    store = makeStore();
    const struct { const char* title; const char* date; std::optional<QDateTime> expected; } entries[] = {
        {"five-digit year", "Tue, 07 May 20244 10:00:00 +0000", std::nullopt},
        {"past the last year in UTC", "9999-12-31T23:30:00-01:00", std::nullopt},
        {"before the first year in UTC", "0001-01-01T00:30:00+01:00", std::nullopt},
        {"last second", "Fri, 31 Dec 9999 23:59:59 +0000", QDateTime(QDate(9999, 12, 31), QTime(23, 59, 59), Qt::UTC)},
        {"ordinary", "Tue, 07 May 2024 10:00:00 +0000", QDateTime(QDate(2024, 5, 7), QTime(10, 0), Qt::UTC)},
    };
    QString xml;
    for (const auto& e : entries)
        xml += QStringLiteral("<item><title>%1</title><guid>%1</guid><pubDate>%2</pubDate></item>\n")
                   .arg(QString::fromUtf8(e.title), QString::fromUtf8(e.date));
    addServed("/dates", rss(QStringLiteral("Dates"), {}, 0, xml));
    ASSERT_EQ(store->items().size(), std::size(entries));
    const QStringList ids = idsOf(store->items());
    ASSERT_TRUE(waitUntil([&] { return storedItemIds() == ids; }));

    store.reset();
    ASSERT_TRUE(defaults->flush());
    defaults = Defaults::openFile(path, cache);
    store = makeStore();
    ASSERT_EQ(store->items().size(), std::size(entries)) << "the stored list did not read back";
    for (const auto& e : entries) {
        SCOPED_TRACE(e.title);
        const auto item = std::ranges::find(store->items(), QString::fromUtf8(e.title), &FeedItem::title);
        ASSERT_NE(item, store->items().end());
        EXPECT_EQ(item->publishedAt, e.expected);
    }
}

TEST_F(PersonalFeedStoreTest, UnreadableStoredListsStartEmptyAndAreReplacedOnTheNextSave)
{
    const QJsonObject wrongFeed{{"id", "pf-1"}, {"url", 5}};
    const struct { const char* name; QJsonValue feeds, items; } cases[] = {
        {"text", QJsonValue(QStringLiteral("garbage")), QJsonValue(QStringLiteral("garbage"))},
        {"object", QJsonObject{{"a", 1}}, QJsonObject{}},
        {"wrong element", QJsonArray{wrongFeed}, QJsonArray{QJsonObject{{"title", 1}}}},
    };
    for (const auto& c : cases) {
        defaults->set(PersonalFeedStore::kFeedsKey, c.feeds);
        defaults->caches().set(PersonalFeedStore::kItemsKey, c.items);
        store = makeStore();
        EXPECT_TRUE(store->feeds().isEmpty() && store->items().isEmpty()) << c.name;
        EXPECT_EQ(defaults->value(PersonalFeedStore::kFeedsKey), c.feeds) << "kept until the next save: " << c.name;
    }
    addFeed("a", 1);
    EXPECT_EQ(storedFeedCount(), 1);
    EXPECT_TRUE(waitUntil([&] { return storedItemIds().size() == 1; }));
}

// One feed record of seventeen that cannot be read costs that record only:
// the other sixteen load, an add stores seventeen, and the stored list as it
// was is kept beside the settings file.
TEST_F(PersonalFeedStoreTest, AnUnreadableFeedRecordCostsOnlyItselfAndTheStoredListIsKeptAside)
{
    const struct { const char* name; std::function<QJsonValue(QJsonObject)> damage; } cases[] = {
        {"item count as text", [](QJsonObject f) { f.insert(QStringLiteral("itemCount"), QStringLiteral("5")); return QJsonValue(f); }},
        {"no address", [](QJsonObject f) { f.remove(QStringLiteral("url")); return QJsonValue(f); }},
        {"a date that is no date", [](QJsonObject f) { f.insert(QStringLiteral("addedAt"), QStringLiteral("yesterday")); return QJsonValue(f); }},
        {"no record at all", [](QJsonObject) { return QJsonValue(17); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        const auto open = [&] { return Defaults::openFile(dir.filePath(QStringLiteral("defaults.json")), dir.filePath(QStringLiteral("cache"))); };
        store.reset();
        defaults = open();
        store = makeStore();
        addFeed("a", 1);
        fillStoredListTo(17);
        QJsonArray stored = defaults->arrayValue(PersonalFeedStore::kFeedsKey);
        const QString damagedId = stored.at(6).toObject().value(QStringLiteral("id")).toString();
        stored[6] = c.damage(stored.at(6).toObject());
        defaults->set(PersonalFeedStore::kFeedsKey, stored);
        store.reset();
        ASSERT_TRUE(defaults->flush());
        defaults = open();

        LogCapture log;
        store = makeStore();
        EXPECT_TRUE(log.anyContains(PersonalFeedStore::kFeedsKey)) << "the record left out is logged";
        ASSERT_EQ(store->feeds().size(), 16);
        EXPECT_FALSE(std::ranges::any_of(store->feeds(), [&](const PersonalFeed& f) { return f.id == damagedId; }));
        addFeed("b", 1);
        EXPECT_EQ(storedFeedCount(), 17);

        store.reset();
        ASSERT_TRUE(defaults->flush());
        defaults = open();
        store = makeStore();
        EXPECT_EQ(store->feeds().size(), 17) << "after a restart";
        const QStringList aside = QDir(dir.path()).entryList({PersonalFeedStore::kFeedsKey + QStringLiteral(".unreadable-*")}, QDir::Files);
        ASSERT_EQ(aside.size(), 1);
        QFile kept(dir.filePath(aside.first()));
        ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
        EXPECT_EQ(QJsonDocument::fromJson(kept.readAll()).object(), (QJsonObject{{PersonalFeedStore::kFeedsKey, stored}}));
    }
}

TEST_F(PersonalFeedStoreTest, ObserversHearOnlyRealChangesAndTheLatestItemListIsStored)
{
    QSignalSpy itemsChanged(store.get(), &PersonalFeedStore::itemsChanged);
    QSignalSpy pollTaskChanged(store.get(), &PersonalFeedStore::pollTaskChanged);
    addFeed("a", 1);
    EXPECT_EQ(itemsChanged.count(), 1);
    // Same ids, new title: FeedItem's own equality would miss this.
    serve("/a", rss("A", {}, 0, QStringLiteral("<item><title>renamed</title><link>https://example.com/a-0</link><pubDate>%1</pubDate></item>").arg(hourDate(0))));
    awaitTask(store->refreshAll());
    EXPECT_EQ(itemsChanged.count(), 2);
    EXPECT_EQ(store->items().first().title, QStringLiteral("renamed"));
    awaitTask(store->refreshAll());
    EXPECT_EQ(itemsChanged.count(), 2);
    auto task = std::make_shared<PollTask>();
    for (const auto& t : {task, task, std::shared_ptr<PollTask>(), std::shared_ptr<PollTask>()})
        store->setPollTask(t);
    EXPECT_EQ(pollTaskChanged.count(), 2);

    QStringList ids{store->feeds().first().id};
    for (int i = 0; i < 11; ++i)
        ids.append(addServed(QStringLiteral("/f%1").arg(i), rss("F", QStringLiteral("f%1").arg(i), 20)));
    // Several saves in flight at once: the last list must win.
    for (const QString& id : ids)
        store->remove(id);
    EXPECT_TRUE(waitUntil([] { return QThreadPool::globalInstance()->activeThreadCount() == 0; }));
    FakeTime::settle();
    EXPECT_TRUE(store->items().isEmpty());
    EXPECT_TRUE(waitUntil([&] { return defaults->caches().contains(PersonalFeedStore::kItemsKey) && storedItemIds().isEmpty(); }));
    FakeTime::settle();
    EXPECT_TRUE(storedItemIds().isEmpty());
}

TEST_F(PersonalFeedStoreTest, FetchOutcomesAndFailureTexts)
{
    // Pads a valid feed with a comment to exactly `size` bytes.
    auto feedOfSize = [](qint64 size) {
        const QByteArray head = rss("Big", "big", 2);
        return head + "<!--" + QByteArray(size - head.size() - 7, 'x') + "-->";
    };
    Response slowly = Response::text("<rss/>", "application/rss+xml");
    slowly.delay = 3000ms;
    Response stall = Response::text(QByteArray(4096, ' '), "application/rss+xml");
    stall.stall = true;
    Response cut = Response::text(rss("C", "c", 50), "application/rss+xml");
    cut.cutAfter = 200;
    server.route(QStringLiteral("/ok"), Response::text(rss("OK", "o", 2), "text/xml"));
    server.route(QStringLiteral("/html"), Response::text("<html><body>hi</body></html>", "text/html"));
    serve("/exact", feedOfSize(kCap));
    serve("/over", feedOfSize(kCap + 1));
    server.route(QStringLiteral("/missing-and-huge"), Response::text(QByteArray(kCap + 5000, 'x'), "text/html", 404));
    server.route(QStringLiteral("/error"), Response::text("oops", "text/plain", 503));
    server.route(QStringLiteral("/redirect-loop"), Response::withStatus(302).header("Location", "/redirect-loop"));
    server.route(QStringLiteral("/slow"), slowly);
    server.route(QStringLiteral("/stall"), stall);
    server.route(QStringLiteral("/cut"), cut);
    LoopbackServer closed;
    const QUrl refused = closed.url(QStringLiteral("feed"));
    closed.stop();
    const FeedFetchLimits idleShort{150ms, 5000ms, kCap}, totalShort{0ms, 300ms, kCap};
    auto at = [&](const char* path) { return server.url(QString::fromUtf8(path)); };
    const struct { const char* name; QUrl url; FeedFetchLimits limits; const char* failure; int items; } cases[] = {
        // failure nullptr: parsed; items -1: parsed to nothing
        {"feed", at("ok"), {}, nullptr, 2},
        {"not a feed", at("html"), {}, nullptr, -1},
        {"exactly the cap", at("exact"), {}, nullptr, 2},
        {"one byte over", at("over"), {}, "The feed is larger than 3 MB", 0},
        {"status before size", at("missing-and-huge"), {}, "The site answered HTTP 404", 0},
        {"server error", at("error"), {}, "The site answered HTTP 503", 0},
        {"idle timeout", at("stall"), idleShort, "Timed out reaching 127.0.0.1", 0},
        {"total timeout", at("slow"), totalShort, "Timed out reaching 127.0.0.1", 0},
        {"cut body", at("cut"), {}, "Could not reach 127.0.0.1", 0},
        {"refused", refused, {}, "Could not reach 127.0.0.1", 0},
        {"no such host", QUrl(QStringLiteral("http://tidewire-test.invalid/feed")), {}, "Could not reach tidewire-test.invalid", 0},
        {"redirect loop", at("redirect-loop"), {}, "Could not reach 127.0.0.1", 0},
    };
    for (const auto& c : cases) {
        const FetchOutcome outcome = fetch(c.url, c.limits);
        EXPECT_EQ(outcome.isFailed(), c.failure != nullptr) << c.name << ": " << outcome.message.toStdString();
        if (c.failure) {
            EXPECT_EQ(outcome.message.toStdString(), c.failure) << c.name;
            continue;
        }
        EXPECT_EQ(outcome.feed ? outcome.feed->items.size() : -1, c.items) << c.name;
    }
    ASSERT_EQ(server.requestCount(QStringLiteral("/ok")), 1);
    const LoopbackServer::Request request = server.requestsFor(QStringLiteral("/ok")).first();
    EXPECT_EQ(request.method, QByteArray("GET"));
    EXPECT_EQ(request.header("User-Agent"), QByteArray("Tidewire/0 (+https://tidewire.invalid)"));
    EXPECT_EQ(request.header("Accept"), QByteArray("application/rss+xml, application/atom+xml, application/xml, text/xml;q=0.9, */*;q=0.5"));
    EXPECT_TRUE(request.header("Cookie").isEmpty());

    // Texts without a host, and the status check before the size check.
    EXPECT_EQ(FeedFetcher::messageFor(Error::make(ErrorKind::TimedOut), QUrl(QStringLiteral("file:///x"))), QStringLiteral("Timed out reaching the site"));
    EXPECT_EQ(FeedFetcher::messageFor(Error::make(ErrorKind::BadURL), QUrl()), QStringLiteral("Could not reach the site"));
    EXPECT_EQ(FeedFetcher::validate(0, 10, kCap), QStringLiteral("The site answered HTTP 0"));
    EXPECT_EQ(FeedFetcher::validate(299, kCap, kCap), std::nullopt);
    EXPECT_EQ(FeedFetcher::validate(300, kCap + 1, kCap), QStringLiteral("The site answered HTTP 300"));
}

TEST_F(PersonalFeedStoreTest, AnEndlessFeedIsAbortedSoonAfterTheCap)
{
    EndlessFeedServer endless;
    const FetchOutcome outcome = fetch(endless.url());
    EXPECT_TRUE(outcome.isFailed());
    EXPECT_EQ(outcome.message, QStringLiteral("The feed is larger than 3 MB"));
    EXPECT_TRUE(waitUntil([&] { return endless.hungUp.load(); })) << "the client never hung up";
    EXPECT_GT(endless.sent, kCap);
    // What sits in the two sockets' buffers may pass the cap; far more would
    // mean the body was read on and on.
    EXPECT_LT(endless.sent, 8 * kCap) << "the download went on long after the cap";
}

TEST_F(PersonalFeedStoreTest, APassKeepsOldItemsOnFailureAndRecordsTheText)
{
    time.setNow(QDateTime(QDate(2026, 1, 15), QTime(12, 0), Qt::UTC));
    const QString id = addFeed("f", 3);
    const QDateTime addedAt = time.now();
    const QStringList before = titlesOf(store->items());
    // A failure keeps the time of the last good fetch; a feed with no entries
    // now, or a page that is no feed at all, is fetched but keeps its items.
    const struct { Response answer; const char* error; bool fetched; } failures[] = {
        {Response::text("gone", "text/plain", 404), "The site answered HTTP 404", false},
        {Response::text(rss("F", {}, 0), "application/rss+xml"), "No items in the feed right now", true},
        {Response::text("<html><body>moved</body></html>", "application/rss+xml"), "No items in the feed right now", true},
    };
    for (const auto& c : failures) {
        server.route(QStringLiteral("/f"), c.answer);
        time.advanceSeconds(60);
        handed.clear();
        awaitTask(store->refreshAll());
        EXPECT_EQ(feed(id).lastError, QString::fromUtf8(c.error));
        EXPECT_EQ(feed(id).lastFetchedAt, c.fetched ? time.now() : addedAt) << c.error;
        EXPECT_EQ(feed(id).itemCount, 3);
        EXPECT_EQ(titlesOf(store->items()), before);
        ASSERT_EQ(handed.size(), 1);
        EXPECT_EQ(titlesOf(handed.first()), before);
    }
    // A good fetch clears the error and takes the new items.
    serve("/f", rss("Renamed", "n", 25));
    time.advanceSeconds(60);
    awaitTask(store->refreshAll());
    PersonalFeed expected = feed(id);
    expected.lastError.reset();
    expected.lastFetchedAt = time.now();
    expected.itemCount = 20;
    expected.title = QStringLiteral("F");  // a refresh never renames a feed
    EXPECT_EQ(feed(id), expected);
    EXPECT_EQ(store->items().size(), 20);
    EXPECT_EQ(store->items().first().title, QStringLiteral("n 24"));
    EXPECT_EQ(defaults->arrayValue(PersonalFeedStore::kFeedsKey).first().toObject().value(QStringLiteral("itemCount")).toInt(), 20);
}

TEST_F(PersonalFeedStoreTest, AFeedRemovedDuringAPassGetsNothingAndItsItemsDropOut)
{
    const QString a = addFeed("a", 1);
    addFeed("b", 1);
    serveSlowly("/a", rss("A", "a-new", 1), 1000ms);
    QTimer::singleShot(50ms, store.get(), [&] { store->remove(a); });
    QSignalSpy refreshing(store.get(), &PersonalFeedStore::isRefreshingChanged);
    awaitTask(store->refreshAll());
    EXPECT_EQ(refreshing.count(), 2);
    ASSERT_EQ(store->feeds().size(), 1);
    EXPECT_EQ(titlesOf(store->items()), QStringList{"b 0"});
    EXPECT_EQ(titlesOf(handed.last()), QStringList{"b 0"});
    EXPECT_EQ(storedFeedCount(), 1);
}

TEST_F(PersonalFeedStoreTest, NoFeedsMeansNoPassAndOnePassAtATime)
{
    QSignalSpy refreshing(store.get(), &PersonalFeedStore::isRefreshingChanged);
    awaitTask(store->refreshAll());
    EXPECT_EQ(refreshing.count(), 0);
    EXPECT_TRUE(handed.isEmpty());
    EXPECT_FALSE(defaults->contains(PersonalFeedStore::kFeedsKey));
    addFeed("a", 1);
    serveSlowly("/a", rss("A", "a", 1), 300ms);
    server.clearRequests();
    handed.clear();
    QCoro::Task<void> first = store->refreshAll();
    EXPECT_TRUE(store->isRefreshing());
    awaitTask(store->refreshAll());  // returns at once
    EXPECT_TRUE(store->isRefreshing());
    EXPECT_TRUE(handed.isEmpty());
    awaitTask(std::move(first));
    EXPECT_FALSE(store->isRefreshing());
    EXPECT_EQ(server.requestCount(QStringLiteral("/a")), 1);
    EXPECT_EQ(handed.size(), 1);
}

TEST_F(PersonalFeedStoreTest, PollsEveryNineHundredSecondsUntilCancelled)
{
    addFeed("a", 1);
    server.clearRequests();
    handed.clear();
    QSignalSpy pollTaskChanged(store.get(), &PersonalFeedStore::pollTaskChanged);
    auto passes = [&](int n) { return waitUntil([&] { return server.requestCount() == n && !store->isRefreshing(); }); };
    store->start();
    ASSERT_TRUE(store->pollTask());
    EXPECT_EQ(pollTaskChanged.count(), 1);
    EXPECT_EQ(handed.size(), 1) << "the kept items are handed over at once";
    ASSERT_TRUE(passes(1));
    EXPECT_EQ(handed.size(), 2);
    // A second start only repeats the hand-over.
    store->start();
    EXPECT_EQ(handed.size(), 3);
    EXPECT_EQ(pollTaskChanged.count(), 1);
    FakeTime::settle();
    EXPECT_EQ(server.requestCount(), 1);
    time.advance(899s);
    EXPECT_EQ(server.requestCount(), 1);
    time.advance(1s);
    ASSERT_TRUE(passes(2));
    // The next pass is 900 seconds after this one ended.
    time.advance(900s);
    ASSERT_TRUE(passes(3));
    store->pollTask()->cancel();
    FakeTime::settle();
    time.advance(3600s);
    FakeTime::settle();
    EXPECT_EQ(server.requestCount(), 3);
    EXPECT_EQ(time.pendingCount(), 0) << "the cancelled loop left a timer behind";
    // Clearing the handle lets a later start begin a new loop.
    store->setPollTask(nullptr);
    store->start();
    ASSERT_TRUE(store->pollTask());
    ASSERT_TRUE(passes(4));
}

TEST_F(PersonalFeedStoreTest, CancellingDuringAFetchRecordsNothingForIt)
{
    const QString a = addFeed("a", 1);
    addFeed("b", 1);
    serveSlowly("/a", rss("A", "a2", 1), 2000ms);
    server.clearRequests();
    store->start();
    ASSERT_TRUE(waitUntil([&] { return server.requestCount(QStringLiteral("/a")) == 1; }));
    store->pollTask()->cancel();
    ASSERT_TRUE(waitUntil([&] { return !store->isRefreshing(); }));
    EXPECT_FALSE(feed(a).lastError.has_value()) << feed(a).lastError->toStdString();
    EXPECT_EQ(server.requestCount(QStringLiteral("/b")), 0);
    EXPECT_EQ(titlesOf(store->items()), (QStringList{"a 0", "b 0"}));
}

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

// `count` dated entries "d<i>" (link "d<i>") at hour i.
QList<ParsedFeedItem> dated(int count)
{
    QList<ParsedFeedItem> list;
    for (int i = 0; i < count; ++i)
        list.append(entry(qPrintable(QStringLiteral("d%1").arg(i)), qPrintable(QStringLiteral("d%1").arg(i)), nullptr, i));
    return list;
}

// "d<from>" down to "d<downTo>".
QStringList dIds(int from, int downTo)
{
    QStringList ids;
    for (int n = from; n >= downTo; --n)
        ids.append(QStringLiteral("d%1").arg(n));
    return ids;
}

TEST(PersonalFeedItems, KeysOrderCapAndSource)
{
    const struct { const char* name; QList<ParsedFeedItem> entries; QStringList expectedIds; } cases[] = {  // ids after "<feed id>-"
        {"25 dated keep the 20 newest", dated(25), dIds(24, 5)},
        {"undated after dated in document order", {entry("u1", "u1"), dated(2)[0], entry("u2", "u2"), dated(2)[1]}, {"d1", "d0", "u1", "u2"}},
        {"20 dated leave no room for undated", QList<ParsedFeedItem>{entry("u", "u")} + dated(20), dIds(19, 0)},
        {"equal dates keep document order", {entry("b", "b", nullptr, 5), entry("a", "a", nullptr, 5), entry("c", "c", nullptr, 6)}, {"c", "b", "a"}},
        {"same link: the first wins", {entry("first", "same", nullptr, 1), entry("second", "same", nullptr, 2)}, {"same"}},
        {"key falls back to guid, then title", {entry("t1", nullptr, "g1"), entry("t2", nullptr, "g1"), entry("t3"), entry("t3"), entry("t4", "l4", "g4")},
         {"g1", "t3", "l4"}},
        {"nothing in, nothing out", {}, {}},
    };
    PersonalFeed feed;
    feed.id = QStringLiteral("pf-x");
    feed.url = QStringLiteral("https://www.News.Example.co.uk/www.feed");
    feed.title = QStringLiteral("Mine");
    const FeedSource source{"pf-x", QStringLiteral("Mine"), std::nullopt, std::nullopt, QStringLiteral("news.example.co.uk"), SourceType::Rss,
                            FeedCategory{"personal", "Your feeds", "personal", 0}};
    for (const auto& c : cases) {
        const QList<FeedItem> items = PersonalFeedStore::toFeedItems(ParsedFeed{std::nullopt, c.entries}, feed);
        QStringList ids;
        for (const FeedItem& item : items) {
            ids.append(item.stableId.mid(QStringLiteral("pf-x-").size()));
            EXPECT_EQ(item.source, source) << c.name;
        }
        EXPECT_EQ(ids, c.expectedIds) << c.name;
    }
    // Every field, and an address without a host as the domain.
    feed.id = QStringLiteral("pf-y");
    feed.url = QStringLiteral("not a url at all");
    ParsedFeedItem e = entry("Title", "https://x.example.com/1", "g", 3);
    e.imageUrl = QStringLiteral("https://x.example.com/1.jpg");
    const QList<FeedItem> items = PersonalFeedStore::toFeedItems(ParsedFeed{QStringLiteral("Ignored"), {e}}, feed);
    ASSERT_EQ(items.size(), 1);
    const FeedItem& item = items.first();
    EXPECT_EQ(std::tie(item.stableId, item.title, item.url, item.publishedAt, item.imageUrl),
              std::tie("pf-y-https://x.example.com/1", "Title", "https://x.example.com/1", e.publishedAt, e.imageUrl));
    EXPECT_EQ(item.source->domain, QStringLiteral("not a url at all"));
    EXPECT_EQ(item.source->title, QStringLiteral("Mine"));
}

// The three sample documents (RSS 2.0, RSS 1.0 and Atom) on the sample
// catalogue server, through the application's adapter into the feed store's
// ticker list.
TEST(PersonalFeedsInTicker, PersonalItemsReachTheTickerListMergedByDate)
{
    FakeTime time;
    CatalogueServer::Options options;
    options.seed = 5;
    options.now = [&time] { return time.now(); };
    CatalogueServer catalogue(options);
    ASSERT_TRUE(catalogue.start().has_value());
    auto defaults = Defaults::inMemory();
    QNetworkAccessManager network;
    PersonalFeedStore personal(*defaults, time, time, &network);
    QStringList feedIds;
    for (const QString& name : SampleFeedDocuments::names()) {
        const auto result = awaitTask(personal.add(catalogue.baseUrl().resolved(QUrl(QStringLiteral("feeds/") + name)).toString()));
        ASSERT_TRUE(result.has_value());
        ASSERT_EQ(result->kind, Kind::Added) << name.toStdString() << " " << result->message.toStdString();
        EXPECT_GT(result->itemCount, 0) << name.toStdString();
        feedIds.append(personal.feeds().last().id);
    }
    // One feed switched off: its items stay kept but never reach the ticker.
    personal.setEnabled(feedIds.at(1), false);
    QSet<QString> hiddenIds;
    for (const FeedItem& item : personal.items())
        if (item.source->id == feedIds.at(1))
            hiddenIds.insert(item.stableId);
    ASSERT_FALSE(hiddenIds.isEmpty());

    PersonalFeedItemsSource source(personal);
    FeedStore feedStore(FeedStore::Services{
        .defaults = *defaults, .clock = time, .scheduler = time, .network = &network, .personal = &source,
        .makePathMonitor = [] { return std::unique_ptr<PathMonitor>(std::make_unique<FakePathMonitor>()); },
        .apiBase = catalogue.baseUrl(), .api = std::nullopt, .itunesBase = catalogue.baseUrl(), .runningVersion = QStringLiteral("0.1"),
    });
    QSignalSpy passes(&personal, &PersonalFeedStore::isRefreshingChanged);
    feedStore.start();
    // The store's first hand-over is immediate; the first poll pass and the
    // first catalogue refresh follow over the network.
    EXPECT_EQ(idsOf(feedStore.personalItems()), idsOf(personal.visibleItems()));
    ASSERT_TRUE(waitUntil([&] {
        return feedStore.phase().kind == FeedStore::AppPhase::Kind::Running && !feedStore.items().isEmpty() && passes.count() >= 2;
    }, 15000)) << "phase " << int(feedStore.phase().kind) << ", curated " << feedStore.items().size();

    const QList<FeedItem> visible = personal.visibleItems();
    ASSERT_FALSE(visible.isEmpty());
    EXPECT_EQ(idsOf(feedStore.personalItems()), idsOf(visible));
    const QStringList tickerIdList = idsOf(feedStore.tickerItems());
    EXPECT_EQ(tickerIdList, idsOf(FeedStore::mergeByDate(feedStore.items(), visible)));
    for (const FeedItem& item : visible)
        EXPECT_TRUE(tickerIdList.contains(item.stableId)) << item.stableId.toStdString();
    for (const QString& id : hiddenIds)
        EXPECT_FALSE(tickerIdList.contains(id)) << id.toStdString();

    // Removing a feed takes its items out of the ticker at once.
    personal.remove(feedIds.first());
    for (const FeedItem& item : feedStore.tickerItems())
        EXPECT_FALSE(item.source && item.source->id == feedIds.first()) << item.stableId.toStdString();
    feedStore.stop();
    FakeTime::settle();
}

} // namespace
