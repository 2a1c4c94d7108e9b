// The personal-feed store: adding, fetching, polling, keeping; and its road
// into the ticker list next to the sample catalogue server's items.
#include "personal/PersonalFeedStore.h"

#include "CatalogueServer.h"
#include "SampleFeedDocuments.h"
#include "app/PersonalFeedItemsSource.h"
#include "platform/PathMonitor.h"
#include "store/FeedStore.h"

#include "Await.h"
#include "FakeTime.h"
#include "LoopbackServer.h"
#include "platform/Defaults.h"

#include <QDeadlineTimer>
#include <QLocale>
#include <QNetworkAccessManager>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QTimer>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <atomic>
#include <functional>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

// Small feed documents for the store and fetching tests.
namespace TestFeeds {

struct Entry {
    QString title;
    QString link;      // empty: none
    QString guid;      // empty: none
    QString pubDate;   // RFC 822 text; empty: none
};

inline QByteArray rss(const QString& channelTitle, const QList<Entry>& entries)
{
    QString xml = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<rss version=\"2.0\"><channel><title>")
        + channelTitle.toHtmlEscaped() + QStringLiteral("</title>\n");
    for (const Entry& e : entries) {
        xml += QStringLiteral("<item><title>") + e.title.toHtmlEscaped() + QStringLiteral("</title>");
        if (!e.link.isEmpty())
            xml += QStringLiteral("<link>") + e.link.toHtmlEscaped() + QStringLiteral("</link>");
        if (!e.guid.isEmpty())
            xml += QStringLiteral("<guid>") + e.guid.toHtmlEscaped() + QStringLiteral("</guid>");
        if (!e.pubDate.isEmpty())
            xml += QStringLiteral("<pubDate>") + e.pubDate + QStringLiteral("</pubDate>");
        xml += QStringLiteral("</item>\n");
    }
    xml += QStringLiteral("</channel></rss>\n");
    return xml.toUtf8();
}

// "Mon, 01 Jan 2024 HH:00:00 +0000" style dates, one hour apart.
inline QString hourDate(int hour)
{
    const QDateTime t = QDateTime(QDate(2024, 1, 1), QTime(0, 0), Qt::UTC).addSecs(qint64(hour) * 3600);
    return QLocale::c().toString(t, QStringLiteral("ddd, dd MMM yyyy HH:mm:ss")) + QStringLiteral(" +0000");
}

// `count` dated entries with links ".../<prefix>-<i>", entry i at hour i.
inline QList<Entry> datedEntries(const QString& prefix, int count)
{
    QList<Entry> entries;
    for (int i = 0; i < count; ++i) {
        entries.append({prefix + QStringLiteral(" %1").arg(i), QStringLiteral("https://example.com/%1-%2").arg(prefix).arg(i),
                        {}, hourDate(i)});
    }
    return entries;
}

// Runs the event loop until `done` holds or `ms` of real time pass.
inline bool waitUntil(const std::function<bool()>& done, int ms = 5000)
{
    QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 10);
    }
    return true;
}

} // namespace TestFeeds

namespace {

using namespace std::chrono_literals;
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

constexpr qint64 kCap = 3 * 1024 * 1024;

// Pads a valid feed with a comment to exactly `size` bytes.
QByteArray feedOfSize(qint64 size)
{
    const QByteArray head = TestFeeds::rss(QStringLiteral("Big"), TestFeeds::datedEntries(QStringLiteral("big"), 2));
    const QByteArray open = "<!--";
    const QByteArray close = "-->";
    QByteArray body = head;
    body += open;
    body += QByteArray(size - head.size() - open.size() - close.size(), 'x');
    body += close;
    return body;
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
    qint64 sent() const { return m_sent; }
    bool hungUp() const { return m_hungUp; }

private:
    void serve()
    {
        const int client = ::accept(m_listener, nullptr, nullptr);
        if (client < 0)
            return;
        char request[4096];
        ::recv(client, request, sizeof request, 0);
        const QByteArray head = "HTTP/1.1 200 OK\r\nContent-Type: application/rss+xml\r\nTransfer-Encoding: chunked\r\n\r\n";
        bool ok = writeAll(client, head) && writeChunk(client, "<rss><channel><title>Endless</title>");
        const QByteArray item = QByteArray(16 * 1024, ' ') + "<item><title>more</title></item>";
        while (ok && !m_stop && m_sent < 64 * kCap)
            ok = writeChunk(client, item);
        m_hungUp = !ok;
        ::close(client);
    }
    bool writeChunk(int client, const QByteArray& data)
    {
        if (!writeAll(client, QByteArray::number(data.size(), 16) + "\r\n" + data + "\r\n"))
            return false;
        m_sent += data.size();
        return true;
    }
    static bool writeAll(int client, const QByteArray& bytes)
    {
        qsizetype done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::send(client, bytes.constData() + done, size_t(bytes.size() - done), MSG_NOSIGNAL);
            if (n <= 0)
                return false;
            done += n;
        }
        return true;
    }

    int m_listener = -1;
    int m_port = 0;
    std::thread m_thread;
    std::atomic<qint64> m_sent{0};
    std::atomic<bool> m_hungUp{false};
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
        for (const PersonalFeed& f : store->feeds()) {
            if (f.id == id)
                return f;
        }
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

    fillStoredListTo(PersonalFeedStore::kMaxFeeds);
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
    fillStoredListTo(PersonalFeedStore::kMaxFeeds - 1);
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

    // A pass skips the switched-off feed, whose items keep their place.
    serve(QStringLiteral("/b"), TestFeeds::rss(QStringLiteral("B"), TestFeeds::datedEntries(QStringLiteral("b2"), 1)));
    awaitTask(store->refreshAll());
    EXPECT_EQ(server.requestCount(QStringLiteral("/a")), 0);
    EXPECT_EQ(server.requestCount(QStringLiteral("/b")), 1);
    EXPECT_EQ(titlesOf(store->items()), (QStringList{QStringLiteral("a 1"), QStringLiteral("a 0"), QStringLiteral("b2 0")}));
    ASSERT_EQ(handed.size(), 3);
    EXPECT_EQ(titlesOf(handed.last()), QStringList{QStringLiteral("b2 0")});

    const qsizetype changes = feedsChanged.count();
    store->setEnabled(a, true);
    EXPECT_EQ(titlesOf(handed.last()), (QStringList{QStringLiteral("a 1"), QStringLiteral("a 0"), QStringLiteral("b2 0")}));
    EXPECT_EQ(server.requestCount(), 1) << "switching on fetches nothing";

    store->setEnabled(QStringLiteral("pf-unknown"), false);
    EXPECT_EQ(handed.size(), 4) << "an unknown id changes nothing";
    EXPECT_EQ(feedsChanged.count(), changes + 1);

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
    defaults = Defaults::openFile(path, dir.filePath(QStringLiteral("cache")));
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
        defaults->caches().set(PersonalFeedStore::kItemsKey, c.items);
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
    EXPECT_TRUE(waitUntil([&] { return defaults->caches().contains(PersonalFeedStore::kItemsKey) && storedItemIds().isEmpty(); }));
    FakeTime::settle();
    EXPECT_TRUE(storedItemIds().isEmpty());
}

TEST_F(PersonalFeedStoreTest, OutcomesAndFailureTexts)
{
    Response slow = Response::text("<rss/>", "application/rss+xml");
    slow.delay = 3000ms;
    Response stall = Response::text(QByteArray(4096, ' '), "application/rss+xml");
    stall.stall = true;
    Response cut = Response::text(TestFeeds::rss(QStringLiteral("C"), TestFeeds::datedEntries(QStringLiteral("c"), 50)), "application/rss+xml");
    cut.cutAfter = 200;
    server.route(QStringLiteral("/ok"), Response::text(TestFeeds::rss(QStringLiteral("OK"), TestFeeds::datedEntries(QStringLiteral("o"), 2)), "text/xml"));
    server.route(QStringLiteral("/html"), Response::text("<html><body>hi</body></html>", "text/html"));
    server.route(QStringLiteral("/exact"), Response::text(feedOfSize(kCap), "application/rss+xml"));
    server.route(QStringLiteral("/over"), Response::text(feedOfSize(kCap + 1), "application/rss+xml"));
    server.route(QStringLiteral("/missing-and-huge"), Response::text(QByteArray(kCap + 5000, 'x'), "text/html", 404));
    server.route(QStringLiteral("/error"), Response::text("oops", "text/plain", 503));
    server.route(QStringLiteral("/redirect-loop"), Response::withStatus(302).header("Location", "/redirect-loop"));
    server.route(QStringLiteral("/slow"), slow);
    server.route(QStringLiteral("/stall"), stall);
    server.route(QStringLiteral("/cut"), cut);
    LoopbackServer closed;
    const QUrl refused = closed.url(QStringLiteral("feed"));
    closed.stop();

    const FeedFetchLimits idleShort{150ms, 5000ms, kCap};
    const FeedFetchLimits totalShort{0ms, 300ms, kCap};

    struct Case {
        const char* name;
        QUrl url;
        FeedFetchLimits limits;
        const char* failure;  // nullptr: parsed
        int items;            // -1: parsed to nothing
    };
    const Case cases[] = {
        {"feed", server.url(QStringLiteral("ok")), {}, nullptr, 2},
        {"not a feed", server.url(QStringLiteral("html")), {}, nullptr, -1},
        {"exactly the cap", server.url(QStringLiteral("exact")), {}, nullptr, 2},
        {"one byte over", server.url(QStringLiteral("over")), {}, "The feed is larger than 3 MB", 0},
        {"status before size", server.url(QStringLiteral("missing-and-huge")), {}, "The site answered HTTP 404", 0},
        {"server error", server.url(QStringLiteral("error")), {}, "The site answered HTTP 503", 0},
        {"idle timeout", server.url(QStringLiteral("stall")), idleShort, "Timed out reaching 127.0.0.1", 0},
        {"total timeout", server.url(QStringLiteral("slow")), totalShort, "Timed out reaching 127.0.0.1", 0},
        {"cut body", server.url(QStringLiteral("cut")), {}, "Could not reach 127.0.0.1", 0},
        {"refused", refused, {}, "Could not reach 127.0.0.1", 0},
        {"no such host", QUrl(QStringLiteral("http://tidewire-test.invalid/feed")), {}, "Could not reach tidewire-test.invalid", 0},
        {"redirect loop", server.url(QStringLiteral("redirect-loop")), {}, "Could not reach 127.0.0.1", 0},
    };
    for (const Case& c : cases) {
        const FetchOutcome outcome = fetch(c.url, c.limits);
        if (c.failure) {
            EXPECT_TRUE(outcome.isFailed()) << c.name;
            EXPECT_EQ(outcome.message.toStdString(), c.failure) << c.name;
            continue;
        }
        ASSERT_FALSE(outcome.isFailed()) << c.name << ": " << outcome.message.toStdString();
        if (c.items < 0) {
            EXPECT_FALSE(outcome.feed.has_value()) << c.name;
        } else {
            ASSERT_TRUE(outcome.feed.has_value()) << c.name;
            EXPECT_EQ(outcome.feed->items.size(), c.items) << c.name;
        }
    }
    ASSERT_EQ(server.requestCount(QStringLiteral("/ok")), 1);
    const LoopbackServer::Request request = server.requestsFor(QStringLiteral("/ok")).first();
    EXPECT_EQ(request.method, QByteArray("GET"));
    EXPECT_EQ(request.header("User-Agent"), QByteArray("Tidewire/0 (+https://tidewire.invalid)"));
    EXPECT_EQ(request.header("Accept"),
              QByteArray("application/rss+xml, application/atom+xml, application/xml, text/xml;q=0.9, */*;q=0.5"));
    EXPECT_TRUE(request.header("Cookie").isEmpty());
}

TEST_F(PersonalFeedStoreTest, FailureTextsWithoutAHost)
{
    EXPECT_EQ(FeedFetcher::messageFor(Error::make(ErrorKind::TimedOut), QUrl(QStringLiteral("file:///x"))),
              QStringLiteral("Timed out reaching the site"));
    EXPECT_EQ(FeedFetcher::messageFor(Error::make(ErrorKind::BadURL), QUrl()), QStringLiteral("Could not reach the site"));
    EXPECT_EQ(FeedFetcher::validate(0, 10, kCap), QStringLiteral("The site answered HTTP 0"));
    EXPECT_EQ(FeedFetcher::validate(299, kCap, kCap), std::nullopt);
    EXPECT_EQ(FeedFetcher::validate(200, kCap + 1, kCap), QStringLiteral("The feed is larger than 3 MB"));
    EXPECT_EQ(FeedFetcher::validate(300, kCap + 1, kCap), QStringLiteral("The site answered HTTP 300"));
}

TEST_F(PersonalFeedStoreTest, AnEndlessFeedIsAbortedSoonAfterTheCap)
{
    EndlessFeedServer endless;
    const FetchOutcome outcome = fetch(endless.url());
    EXPECT_TRUE(outcome.isFailed());
    EXPECT_EQ(outcome.message, QStringLiteral("The feed is larger than 3 MB"));
    EXPECT_TRUE(waitUntil([&] { return endless.hungUp(); })) << "the client never hung up";
    EXPECT_GT(endless.sent(), kCap);
    // What sits in the two sockets' buffers may pass the cap; far more would
    // mean the body was read on and on.
    EXPECT_LT(endless.sent(), 8 * kCap) << "the download went on long after the cap";
}

TEST_F(PersonalFeedStoreTest, APassKeepsOldItemsOnFailureAndRecordsTheText)
{
    time.setNow(QDateTime(QDate(2026, 1, 15), QTime(12, 0), Qt::UTC));
    const QString id = addServed(QStringLiteral("/f"), TestFeeds::rss(QStringLiteral("F"), TestFeeds::datedEntries(QStringLiteral("f"), 3)));
    const QDateTime addedAt = time.now();
    const QList<FeedItem> before = store->items();

    server.route(QStringLiteral("/f"), Response::text("gone", "text/plain", 404));
    time.advanceSeconds(60);
    handed.clear();
    awaitTask(store->refreshAll());
    EXPECT_EQ(feed(id).lastError, QStringLiteral("The site answered HTTP 404"));
    EXPECT_EQ(feed(id).lastFetchedAt, addedAt) << "a failed fetch leaves the time of the last good one";
    EXPECT_EQ(feed(id).itemCount, 3);
    EXPECT_EQ(titlesOf(store->items()), titlesOf(before));
    ASSERT_EQ(handed.size(), 1);
    EXPECT_EQ(titlesOf(handed.first()), titlesOf(before));

    // A feed that now has no entries keeps its items and count.
    serve(QStringLiteral("/f"), TestFeeds::rss(QStringLiteral("F"), {}));
    time.advanceSeconds(60);
    awaitTask(store->refreshAll());
    EXPECT_EQ(feed(id).lastError, QStringLiteral("No items in the feed right now"));
    EXPECT_EQ(feed(id).lastFetchedAt, time.now());
    EXPECT_EQ(feed(id).itemCount, 3);
    EXPECT_EQ(titlesOf(store->items()), titlesOf(before));

    // A page that is no feed at all reads the same way on a refresh.
    serve(QStringLiteral("/f"), "<html><body>moved</body></html>");
    awaitTask(store->refreshAll());
    EXPECT_EQ(feed(id).lastError, QStringLiteral("No items in the feed right now"));

    // A good fetch clears the error and takes the new items.
    serve(QStringLiteral("/f"), TestFeeds::rss(QStringLiteral("Renamed"), TestFeeds::datedEntries(QStringLiteral("n"), 25)));
    time.advanceSeconds(60);
    awaitTask(store->refreshAll());
    EXPECT_FALSE(feed(id).lastError.has_value());
    EXPECT_EQ(feed(id).lastFetchedAt, time.now());
    EXPECT_EQ(feed(id).itemCount, 20);
    EXPECT_EQ(feed(id).title, QStringLiteral("F")) << "a refresh never renames a feed";
    EXPECT_EQ(store->items().size(), 20);
    EXPECT_EQ(store->items().first().title, QStringLiteral("n 24"));
    EXPECT_EQ(defaults->arrayValue(PersonalFeedStore::kFeedsKey).first().toObject().value(QStringLiteral("itemCount")).toInt(), 20);
}

TEST_F(PersonalFeedStoreTest, AFeedRemovedDuringAPassGetsNothingAndItsItemsDropOut)
{
    const QString a = addServed(QStringLiteral("/a"), TestFeeds::rss(QStringLiteral("A"), TestFeeds::datedEntries(QStringLiteral("a"), 1)));
    addServed(QStringLiteral("/b"), TestFeeds::rss(QStringLiteral("B"), TestFeeds::datedEntries(QStringLiteral("b"), 1)));
    Response slowA = Response::text(TestFeeds::rss(QStringLiteral("A"), TestFeeds::datedEntries(QStringLiteral("a-new"), 1)), "application/rss+xml");
    slowA.delay = 1000ms;
    server.route(QStringLiteral("/a"), slowA);

    QTimer::singleShot(50ms, store.get(), [&] { store->remove(a); });
    QSignalSpy refreshing(store.get(), &PersonalFeedStore::isRefreshingChanged);
    awaitTask(store->refreshAll());
    EXPECT_EQ(refreshing.count(), 2);
    ASSERT_EQ(store->feeds().size(), 1);
    EXPECT_EQ(titlesOf(store->items()), QStringList{QStringLiteral("b 0")});
    EXPECT_EQ(titlesOf(handed.last()), QStringList{QStringLiteral("b 0")});
    EXPECT_EQ(defaults->arrayValue(PersonalFeedStore::kFeedsKey).size(), 1);
}

TEST_F(PersonalFeedStoreTest, NoFeedsMeansNoPassAndOnePassAtATime)
{
    QSignalSpy refreshing(store.get(), &PersonalFeedStore::isRefreshingChanged);
    awaitTask(store->refreshAll());
    EXPECT_EQ(refreshing.count(), 0);
    EXPECT_TRUE(handed.isEmpty());
    EXPECT_FALSE(defaults->contains(PersonalFeedStore::kFeedsKey));

    addServed(QStringLiteral("/a"), TestFeeds::rss(QStringLiteral("A"), TestFeeds::datedEntries(QStringLiteral("a"), 1)));
    Response slow = Response::text(TestFeeds::rss(QStringLiteral("A"), TestFeeds::datedEntries(QStringLiteral("a"), 1)), "application/rss+xml");
    slow.delay = 300ms;
    server.route(QStringLiteral("/a"), slow);
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
    addServed(QStringLiteral("/a"), TestFeeds::rss(QStringLiteral("A"), TestFeeds::datedEntries(QStringLiteral("a"), 1)));
    server.clearRequests();
    handed.clear();
    QSignalSpy pollTaskChanged(store.get(), &PersonalFeedStore::pollTaskChanged);

    store->start();
    ASSERT_TRUE(store->pollTask());
    EXPECT_EQ(pollTaskChanged.count(), 1);
    EXPECT_EQ(handed.size(), 1) << "the kept items are handed over at once";
    ASSERT_TRUE(waitUntil([&] { return server.requestCount() == 1 && !store->isRefreshing(); }));
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
    ASSERT_TRUE(waitUntil([&] { return server.requestCount() == 2 && !store->isRefreshing(); }));

    // The next pass is 900 seconds after this one ended.
    time.advance(900s);
    ASSERT_TRUE(waitUntil([&] { return server.requestCount() == 3 && !store->isRefreshing(); }));

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
    ASSERT_TRUE(waitUntil([&] { return server.requestCount() == 4 && !store->isRefreshing(); }));
}

TEST_F(PersonalFeedStoreTest, CancellingDuringAFetchRecordsNothingForIt)
{
    const QString a = addServed(QStringLiteral("/a"), TestFeeds::rss(QStringLiteral("A"), TestFeeds::datedEntries(QStringLiteral("a"), 1)));
    addServed(QStringLiteral("/b"), TestFeeds::rss(QStringLiteral("B"), TestFeeds::datedEntries(QStringLiteral("b"), 1)));
    Response slow = Response::text(TestFeeds::rss(QStringLiteral("A"), TestFeeds::datedEntries(QStringLiteral("a2"), 1)), "application/rss+xml");
    slow.delay = 2000ms;
    server.route(QStringLiteral("/a"), slow);
    server.clearRequests();

    store->start();
    ASSERT_TRUE(waitUntil([&] { return server.requestCount(QStringLiteral("/a")) == 1; }));
    store->pollTask()->cancel();
    ASSERT_TRUE(waitUntil([&] { return !store->isRefreshing(); }));
    EXPECT_FALSE(feed(a).lastError.has_value()) << feed(a).lastError->toStdString();
    EXPECT_EQ(server.requestCount(QStringLiteral("/b")), 0);
    EXPECT_EQ(titlesOf(store->items()), (QStringList{QStringLiteral("a 0"), QStringLiteral("b 0")}));
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

// `count` dated entries "d<i>" (link "d<i>") at hour i, and the ids of some of them.
QList<ParsedFeedItem> dated(int count)
{
    QList<ParsedFeedItem> list;
    for (int i = 0; i < count; ++i)
        list.append(entry(qPrintable(QStringLiteral("d%1").arg(i)), qPrintable(QStringLiteral("d%1").arg(i)), nullptr, i));
    return list;
}

QStringList dIds(int from, int downTo)
{
    QStringList ids;
    for (int n = from; n >= downTo; --n)
        ids.append(QStringLiteral("d%1").arg(n));
    return ids;
}

TEST(PersonalFeedItems, KeysOrderCapAndSource)
{
    const struct {
        const char* name;
        QList<ParsedFeedItem> entries;
        QStringList expectedIds;  // after "<feed id>-"
    } cases[] = {
        {"25 dated keep the 20 newest", dated(25), dIds(24, 5)},
        {"undated after dated in document order", {entry("u1", "u1"), dated(2)[0], entry("u2", "u2"), dated(2)[1]},
         {"d1", "d0", "u1", "u2"}},
        {"20 dated leave no room for undated", QList<ParsedFeedItem>{entry("u", "u")} + dated(20), dIds(19, 0)},
        {"equal dates keep document order",
         {entry("b", "b", nullptr, 5), entry("a", "a", nullptr, 5), entry("c", "c", nullptr, 6)}, {"c", "b", "a"}},
        {"same link: the first wins", {entry("first", "same", nullptr, 1), entry("second", "same", nullptr, 2)}, {"same"}},
        {"key falls back to guid, then title",
         {entry("t1", nullptr, "g1"), entry("t2", nullptr, "g1"), entry("t3"), entry("t3"), entry("t4", "l4", "g4")},
         {"g1", "t3", "l4"}},
        {"nothing in, nothing out", {}, {}},
    };
    PersonalFeed feed;
    feed.id = QStringLiteral("pf-x");
    feed.url = QStringLiteral("https://www.News.Example.co.uk/www.feed");
    feed.title = QStringLiteral("Mine");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QList<FeedItem> items = PersonalFeedStore::toFeedItems(ParsedFeed{std::nullopt, c.entries}, feed);
        QStringList ids;
        for (const FeedItem& item : items)
            ids.append(item.stableId.mid(QStringLiteral("pf-x-").size()));
        EXPECT_EQ(ids, c.expectedIds);
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

    // Every field, and an address without a host as the domain.
    feed.id = QStringLiteral("pf-y");
    feed.url = QStringLiteral("not a url at all");
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
    EXPECT_EQ(item.source->title, QStringLiteral("Mine"));
}

class PersonalFeedsInTicker : public testing::Test {
protected:
    PersonalFeedsInTicker() : catalogue(options()) {}

    CatalogueServer::Options options()
    {
        CatalogueServer::Options o;
        o.seed = 5;
        o.now = [this] { return time.now(); };
        return o;
    }

    void TearDown() override
    {
        if (feedStore)
            feedStore->stop();
        feedStore.reset();
        personal.reset();
        FakeTime::settle();
        catalogue.stop();
    }

    FakeTime time;
    CatalogueServer catalogue;
    std::unique_ptr<Defaults> defaults = Defaults::inMemory();
    QNetworkAccessManager network;
    std::unique_ptr<PersonalFeedStore> personal;
    std::unique_ptr<PersonalFeedItemsSource> source;
    std::unique_ptr<FeedStore> feedStore;
};

TEST_F(PersonalFeedsInTicker, PersonalItemsReachTheTickerListMergedByDate)
{
    ASSERT_TRUE(catalogue.start().has_value());
    personal = std::make_unique<PersonalFeedStore>(*defaults, time, time, &network);

    // The three sample documents (RSS 2.0, RSS 1.0 and Atom) are all feeds.
    QStringList feedIds;
    for (const QString& name : SampleFeedDocuments::names()) {
        const auto result = awaitTask(personal->add(catalogue.baseUrl().resolved(QUrl(QStringLiteral("feeds/") + name)).toString()));
        ASSERT_TRUE(result.has_value());
        ASSERT_EQ(result->kind, Kind::Added) << name.toStdString() << " " << result->message.toStdString();
        EXPECT_GT(result->itemCount, 0) << name.toStdString();
        feedIds.append(personal->feeds().last().id);
    }
    // One feed switched off: its items stay kept but never reach the ticker.
    personal->setEnabled(feedIds.at(1), false);
    QSet<QString> hiddenIds;
    for (const FeedItem& item : personal->items()) {
        if (item.source->id == feedIds.at(1))
            hiddenIds.insert(item.stableId);
    }
    ASSERT_FALSE(hiddenIds.isEmpty());

    source = std::make_unique<PersonalFeedItemsSource>(*personal);
    FeedStore::Services services{
        .defaults = *defaults,
        .clock = time,
        .scheduler = time,
        .network = &network,
        .personal = source.get(),
        .makePathMonitor = [] { return std::unique_ptr<PathMonitor>(std::make_unique<FakePathMonitor>()); },
        .apiBase = catalogue.baseUrl(),
        .api = std::nullopt,
        .itunesBase = catalogue.baseUrl(),
        .runningVersion = QStringLiteral("0.1"),
    };
    feedStore = std::make_unique<FeedStore>(std::move(services));
    QSignalSpy passes(personal.get(), &PersonalFeedStore::isRefreshingChanged);
    feedStore->start();

    // The store's first hand-over is immediate; the first poll pass and the
    // first catalogue refresh follow over the network.
    EXPECT_EQ(idsOf(feedStore->personalItems()), idsOf(personal->visibleItems()));
    ASSERT_TRUE(waitUntil([&] {
        return feedStore->phase().kind == FeedStore::AppPhase::Kind::Running && !feedStore->items().isEmpty()
            && passes.count() >= 2;
    }, 15000)) << "phase " << int(feedStore->phase().kind) << ", curated " << feedStore->items().size();

    const QList<FeedItem> visible = personal->visibleItems();
    ASSERT_FALSE(visible.isEmpty());
    EXPECT_EQ(idsOf(feedStore->personalItems()), idsOf(visible));

    const QList<FeedItem> ticker = feedStore->tickerItems();
    EXPECT_EQ(idsOf(ticker), idsOf(FeedStore::mergeByDate(feedStore->items(), visible)));
    const QStringList tickerIdList = idsOf(ticker);
    const QSet<QString> tickerIds(tickerIdList.cbegin(), tickerIdList.cend());
    for (const FeedItem& item : visible)
        EXPECT_TRUE(tickerIds.contains(item.stableId)) << item.stableId.toStdString();
    for (const QString& id : hiddenIds)
        EXPECT_FALSE(tickerIds.contains(id)) << id.toStdString();

    // Personal items interleave with the curated ones: the newest personal
    // item stands after every newer curated item and before every older one.
    const FeedItem& newest = visible.first();
    ASSERT_TRUE(newest.publishedAt.has_value());
    const qsizetype at = tickerIdList.indexOf(newest.stableId);
    ASSERT_GE(at, 0);
    auto isCurated = [](const FeedItem& item) { return !item.source || !item.source->id.startsWith(QStringLiteral("pf-")); };
    int curatedBefore = 0;
    for (qsizetype i = 0; i < at; ++i) {
        if (!isCurated(ticker.at(i)))
            continue;
        ++curatedBefore;
        ASSERT_TRUE(ticker.at(i).publishedAt.has_value());
        EXPECT_GE(*ticker.at(i).publishedAt, *newest.publishedAt) << ticker.at(i).stableId.toStdString();
    }
    if (at + 1 < ticker.size() && isCurated(ticker.at(at + 1)) && ticker.at(at + 1).publishedAt) {
        EXPECT_LT(*ticker.at(at + 1).publishedAt, *newest.publishedAt);
    }
    EXPECT_LT(curatedBefore, feedStore->items().size()) << "the personal items were not merged in, only appended";

    // Removing a feed takes its items out of the ticker at once.
    const QString removed = feedIds.first();
    personal->remove(removed);
    for (const FeedItem& item : feedStore->tickerItems())
        EXPECT_FALSE(item.source && item.source->id == removed) << item.stableId.toStdString();
}

} // namespace
