#include "personal/PersonalFeedStore.h"

#include "Await.h"
#include "FakeTime.h"
#include "LoopbackServer.h"
#include "TestFeeds.h"
#include "platform/Defaults.h"

#include <QNetworkAccessManager>
#include <QTimer>

#include <QSignalSpy>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <atomic>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using Response = LoopbackServer::Response;
using TestFeeds::waitUntil;

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

class FeedFetchingTest : public testing::Test {
protected:
    LoopbackServer server;
    FakeTime time;
    std::unique_ptr<Defaults> defaults = Defaults::inMemory();
    QNetworkAccessManager nam;
    std::unique_ptr<PersonalFeedStore> store;
    QList<QList<FeedItem>> handed;

    void SetUp() override
    {
        store = std::make_unique<PersonalFeedStore>(*defaults, time, time, &nam);
        store->setOnItemsChanged([this](const QList<FeedItem>& items) { handed.append(items); });
    }
    void TearDown() override
    {
        store.reset();
        FakeTime::settle();
    }

    FetchOutcome fetch(const QUrl& url, FeedFetchLimits limits = {})
    {
        FeedFetcher fetcher(&nam, limits);
        std::optional<FetchOutcome> outcome = awaitTask(fetcher.fetch(url), 15000);
        EXPECT_TRUE(outcome.has_value()) << "fetch did not finish";
        return outcome.value_or(FetchOutcome::failed(QStringLiteral("did not finish")));
    }

    void serve(const QString& path, const QByteArray& body)
    {
        server.route(path, Response::text(body, "application/rss+xml"));
    }

    QString addServed(const QString& path, const QByteArray& body)
    {
        serve(path, body);
        const auto result = awaitTask(store->add(server.url(path.mid(1)).toString()));
        EXPECT_TRUE(result && result->kind == PersonalFeedStore::AddResult::Kind::Added);
        return store->feeds().last().id;
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

    QStringList titles(const QList<FeedItem>& items) const
    {
        QStringList out;
        for (const FeedItem& item : items)
            out.append(item.title);
        return out;
    }
};

TEST_F(FeedFetchingTest, SendsItsHeaders)
{
    serve(QStringLiteral("/h"), TestFeeds::rss(QStringLiteral("H"), TestFeeds::datedEntries(QStringLiteral("h"), 1)));
    const FetchOutcome outcome = fetch(server.url(QStringLiteral("h")));
    EXPECT_FALSE(outcome.isFailed()) << outcome.message.toStdString();
    ASSERT_EQ(server.requestCount(QStringLiteral("/h")), 1);
    const LoopbackServer::Request request = server.requestsFor(QStringLiteral("/h")).first();
    EXPECT_EQ(request.method, QByteArray("GET"));
    EXPECT_EQ(request.header("User-Agent"), QByteArray("Tidewire/0 (+https://tidewire.invalid)"));
    EXPECT_EQ(request.header("Accept"),
              QByteArray("application/rss+xml, application/atom+xml, application/xml, text/xml;q=0.9, */*;q=0.5"));
    EXPECT_TRUE(request.header("Cookie").isEmpty());
}

TEST_F(FeedFetchingTest, OutcomesAndFailureTexts)
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
}

TEST_F(FeedFetchingTest, FailureTextsWithoutAHost)
{
    EXPECT_EQ(FeedFetcher::messageFor(Error::make(ErrorKind::TimedOut), QUrl(QStringLiteral("file:///x"))),
              QStringLiteral("Timed out reaching the site"));
    EXPECT_EQ(FeedFetcher::messageFor(Error::make(ErrorKind::BadURL), QUrl()), QStringLiteral("Could not reach the site"));
    EXPECT_EQ(FeedFetcher::validate(0, 10, kCap), QStringLiteral("The site answered HTTP 0"));
    EXPECT_EQ(FeedFetcher::validate(299, kCap, kCap), std::nullopt);
    EXPECT_EQ(FeedFetcher::validate(200, kCap + 1, kCap), QStringLiteral("The feed is larger than 3 MB"));
    EXPECT_EQ(FeedFetcher::validate(300, kCap + 1, kCap), QStringLiteral("The site answered HTTP 300"));
}

TEST_F(FeedFetchingTest, AnEndlessFeedIsAbortedSoonAfterTheCap)
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

TEST_F(FeedFetchingTest, APassKeepsOldItemsOnFailureAndRecordsTheText)
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
    EXPECT_EQ(titles(store->items()), titles(before));
    ASSERT_EQ(handed.size(), 1);
    EXPECT_EQ(titles(handed.first()), titles(before));

    // A feed that now has no entries keeps its items and count.
    serve(QStringLiteral("/f"), TestFeeds::rss(QStringLiteral("F"), {}));
    time.advanceSeconds(60);
    awaitTask(store->refreshAll());
    EXPECT_EQ(feed(id).lastError, QStringLiteral("No items in the feed right now"));
    EXPECT_EQ(feed(id).lastFetchedAt, time.now());
    EXPECT_EQ(feed(id).itemCount, 3);
    EXPECT_EQ(titles(store->items()), titles(before));

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

TEST_F(FeedFetchingTest, SwitchedOffFeedsAreNotFetchedAndKeepTheirPlace)
{
    const QString a = addServed(QStringLiteral("/a"), TestFeeds::rss(QStringLiteral("A"), TestFeeds::datedEntries(QStringLiteral("a"), 1)));
    const QString b = addServed(QStringLiteral("/b"), TestFeeds::rss(QStringLiteral("B"), TestFeeds::datedEntries(QStringLiteral("b"), 1)));
    const QString c = addServed(QStringLiteral("/c"), TestFeeds::rss(QStringLiteral("C"), TestFeeds::datedEntries(QStringLiteral("c"), 1)));
    store->setEnabled(a, false);
    serve(QStringLiteral("/b"), TestFeeds::rss(QStringLiteral("B"), TestFeeds::datedEntries(QStringLiteral("b2"), 1)));
    server.clearRequests();
    handed.clear();

    awaitTask(store->refreshAll());
    EXPECT_EQ(server.requestCount(QStringLiteral("/a")), 0);
    EXPECT_EQ(server.requestCount(QStringLiteral("/b")), 1);
    EXPECT_EQ(server.requestCount(QStringLiteral("/c")), 1);
    EXPECT_EQ(titles(store->items()), (QStringList{QStringLiteral("a 0"), QStringLiteral("b2 0"), QStringLiteral("c 0")}));
    ASSERT_EQ(handed.size(), 1);
    EXPECT_EQ(titles(handed.first()), (QStringList{QStringLiteral("b2 0"), QStringLiteral("c 0")}));
    Q_UNUSED(b);
    Q_UNUSED(c);
}

TEST_F(FeedFetchingTest, AFeedRemovedDuringAPassGetsNothingAndItsItemsDropOut)
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
    EXPECT_EQ(titles(store->items()), QStringList{QStringLiteral("b 0")});
    EXPECT_EQ(titles(handed.last()), QStringList{QStringLiteral("b 0")});
    EXPECT_EQ(defaults->arrayValue(PersonalFeedStore::kFeedsKey).size(), 1);
}

TEST_F(FeedFetchingTest, NoFeedsMeansNoPassAndOnePassAtATime)
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

TEST_F(FeedFetchingTest, PollsEveryNineHundredSecondsUntilCancelled)
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

TEST_F(FeedFetchingTest, CancellingDuringAFetchRecordsNothingForIt)
{
    const QString a = addServed(QStringLiteral("/a"), TestFeeds::rss(QStringLiteral("A"), TestFeeds::datedEntries(QStringLiteral("a"), 1)));
    const QString b = addServed(QStringLiteral("/b"), TestFeeds::rss(QStringLiteral("B"), TestFeeds::datedEntries(QStringLiteral("b"), 1)));
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
    EXPECT_EQ(titles(store->items()), (QStringList{QStringLiteral("a 0"), QStringLiteral("b 0")}));
    Q_UNUSED(b);
}

} // namespace
