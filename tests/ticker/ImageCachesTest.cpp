// The favicon and thumbnail stores against a real loopback server and the
// shared download gate they queue on.
#include "Codings.h"
#include "FakeTime.h"
#include "LoopbackServer.h"
#include "TickerTestUtil.h"
#include "api/ItemModels.h"
#include "platform/net/ImageNetwork.h"
#include "ticker/FaviconStore.h"
#include "ticker/ImageFetchGate.h"
#include "ticker/ThumbnailStore.h"
#include "ticker/TickerIconView.h"
#include "ticker/TickerRowLayout.h"

#include <QDir>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPainter>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThreadPool>
#include <coroutine>
#include <gtest/gtest.h>
#include <qcoro/qcorotask.h>

using namespace std::chrono_literals;

namespace {

using Response = LoopbackServer::Response;

QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

Response cutAfter(Response response, int bytes)
{
    response.cutAfter = bytes;
    return response;
}

// Keeps every thread of the global pool busy until it goes away, and waits
// for its tasks to end so nothing outlives the state they share.
class PoolBlocker {
public:
    PoolBlocker() : m_count(QThreadPool::globalInstance()->maxThreadCount())
    {
        for (int i = 0; i < m_count; ++i)
            QThreadPool::globalInstance()->start([s = m_state] {
                s->started.release();
                s->release.acquire();
                s->finished.release();
            });
        m_state->started.acquire(m_count);
    }
    ~PoolBlocker()
    {
        m_state->release.release(m_count);
        m_state->finished.acquire(m_count);
    }

private:
    struct State { QSemaphore started, release, finished; };
    std::shared_ptr<State> m_state = std::make_shared<State>();
    int m_count;
};

QCoro::Task<void> waitForSlot(ImageFetchGate* gate, int id, QList<int>* admitted)
{
    co_await gate->acquire();
    admitted->append(id);
}

TEST(ImageFetchGateTest, AdmitsItsLimitThenServesWaitersInOrderAndSlotsAlwaysGiveBack)
{
    ImageFetchGate gate;
    QList<int> admitted;
    for (int id = 1; id <= 9; ++id)
        waitForSlot(&gate, id, &admitted);
    EXPECT_EQ(admitted, (QList<int>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(gate.waiting(), 3);
    gate.release();
    FakeTime::settle();
    EXPECT_EQ(admitted.last(), 7);
    EXPECT_EQ(gate.active(), 6) << "a handed-over slot does not change the count";
    gate.release();
    gate.release();
    FakeTime::settle();
    EXPECT_EQ(admitted.size(), 9);
    for (int i = 0; i < 7; ++i)
        gate.release();
    EXPECT_EQ(gate.active(), 0) << "an unmatched release never goes below zero";
    ImageFetchGate two(2);
    admitted.clear();
    waitForSlot(&two, 1, &admitted);
    {
        waitForSlot(&two, 2, &admitted);
        ImageFetchGate::Slot held(two);
        waitForSlot(&two, 3, &admitted);
        EXPECT_EQ(two.waiting(), 1);
    }
    FakeTime::settle();
    EXPECT_EQ(admitted, (QList<int>{1, 2, 3}));
    EXPECT_EQ(two.active(), 2);
}

// A coroutine whose frame the test destroys while it waits, as the frame of
// a loader that goes away is destroyed.
struct OwnedFrame {
    struct promise_type {
        OwnedFrame get_return_object() { return OwnedFrame(std::coroutine_handle<promise_type>::from_promise(*this)); }
        std::suspend_never initial_suspend() noexcept { return {}; }
        std::suspend_always final_suspend() noexcept { return {}; }
        void return_void() {}
        void unhandled_exception() { std::terminate(); }
    };
    explicit OwnedFrame(std::coroutine_handle<promise_type> frame) : handle(frame) {}
    OwnedFrame(OwnedFrame&& other) noexcept : handle(std::exchange(other.handle, {})) {}
    ~OwnedFrame()
    {
        if (handle)
            handle.destroy();
    }
    std::coroutine_handle<promise_type> handle;
};

OwnedFrame waitForSlotOwned(ImageFetchGate* gate, int id, QList<int>* admitted)
{
    co_await gate->acquire();
    admitted->append(id);
}

TEST(ImageFetchGateTest, AWaiterGoneBeforeItsSlotComesLeavesTheQueueOrPassesTheSlotOn)
{
    ImageFetchGate gate(1);
    QList<int> admitted;
    ASSERT_TRUE(gate.acquire().await_ready());
    // Gone while queued: it leaves the queue and takes no slot.
    auto queued = std::make_optional(waitForSlotOwned(&gate, 1, &admitted));
    waitForSlot(&gate, 2, &admitted);
    ASSERT_EQ(gate.waiting(), 2);
    queued.reset();
    EXPECT_EQ(gate.waiting(), 1);
    EXPECT_EQ(gate.active(), 1);
    gate.release();
    FakeTime::settle();
    EXPECT_EQ(admitted, QList<int>{2});
    EXPECT_EQ(gate.active(), 1);
    // Gone after a release handed it the slot, before it could run: the slot
    // goes on to the next waiter, and the posted resume finds nobody.
    auto granted = std::make_optional(waitForSlotOwned(&gate, 3, &admitted));
    waitForSlot(&gate, 4, &admitted);
    gate.release();
    EXPECT_EQ(gate.waiting(), 1);
    granted.reset();
    FakeTime::settle();
    EXPECT_EQ(admitted, (QList<int>{2, 4}));
    EXPECT_EQ(gate.active(), 1);
    // The last holder gone the same way: the count drops.
    auto last = std::make_optional(waitForSlotOwned(&gate, 5, &admitted));
    gate.release();
    last.reset();
    FakeTime::settle();
    EXPECT_EQ(admitted, (QList<int>{2, 4}));
    EXPECT_EQ(gate.active(), 0);
    EXPECT_EQ(gate.waiting(), 0);
}

TEST(FaviconNames, KeysFileNamesAndWhichHostsGoToTheService)
{
    const std::pair<QString, QString> files[] = {
        {"127.0.0.1:8080_128", "127.0.0.1-8080_128.img"}, {"a/b_64", "a-b_64.img"}, {"_128", "_128.img"},
        {QString::fromUtf8("bücher.de_8"), QString::fromUtf8("bücher.de_8.img")}, {"x y?z_32", "x-y-z_32.img"},
        {QString::fromUtf8("a😀b_16"), "a-b_16.img"},
    };
    for (const auto& [key, file] : files)
        EXPECT_EQ(FaviconStore::fileName(key), file) << key.toStdString();
    EXPECT_EQ(FaviconStore::cacheKey("127.0.0.1:8080", 128), "127.0.0.1:8080_128");
    const std::pair<QString, bool> hosts[] = {
        {"example.com", true}, {"news.bbc.co.uk", true}, {"localhost", true}, {"127.0.0.1", true},
        {"example.com.", true}, {QString::fromUtf8("bücher.de"), true}, {"", false}, {"exa mple.com", false},
        {"example.com/evil", false}, {"example.com:8080", false}, {"../etc/passwd", false}, {"-bad.com", false},
        {"a..b", false}, {"user@example.com", false}, {QString(300, 'a'), false},
    };
    for (const auto& [host, valid] : hosts)
        EXPECT_EQ(FaviconStore::isValidHostName(host), valid) << host.toStdString();
}

class FaviconStoreTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    LoopbackServer server;
    FakeTime time;
    ImageFetchGate gate;
    QNetworkAccessManager nam;

    std::unique_ptr<FaviconStore> makeStore(QString cacheDir = {})
    {
        return std::make_unique<FaviconStore>(cacheDir.isNull() ? dir.path() + "/favicons" : cacheDir, &nam,
                                              server.baseUrl(), gate, time);
    }
    QString cachedFile(const QString& key) const { return dir.path() + "/favicons/" + FaviconStore::fileName(key); }
    // The disk pass on the thread pool, the pause before the network pass, then the download.
    void finishLoad(FaviconStore& store, const QString& key)
    {
        ASSERT_TRUE(runUntil([&] { return time.pendingCount() > 0 || !store.isLoading(key); }));
        time.advance(100ms);
        ASSERT_TRUE(runUntil([&] { return !store.isLoading(key); })) << key.toStdString();
    }
};

TEST_F(FaviconStoreTest, DownloadsAfterAShortPauseAndKeepsTheBytesInMemoryAndOnDisk)
{
    // {host, icon path on the server (empty: the favicon service), path served, status}
    const std::tuple<QString, QString, QString, int> cases[] = {
        {"example.com", "", "/ip3/example.com.ico", 200},
        {QString::fromUtf8("B\u00fcCHER.example"), "", "/ip3/xn--bcher-kva.example.ico", 200},  // ASCII form
        {"missing.org", "", "/ip3/missing.org.ico", 404},  // any status with an image body
        {"", "icons/b.png", "/icons/b.png", 200},          // an icon address with an empty host
    };
    for (const auto& [host, iconPath, served, status] : cases) {
        SCOPED_TRACE(served.toStdString());
        const QString key = FaviconStore::cacheKey(host, 128);
        const QByteArray png = pngBytes(16, 16);
        server.route(served, Response::text(png, "image/png", status));
        auto store = makeStore();
        QSignalSpy changed(store.get(), &FaviconStore::changed);
        const auto icon = iconPath.isEmpty() ? std::nullopt : std::optional(server.url(iconPath).toString());
        store->request(host, icon, 128);
        EXPECT_TRUE(store->isLoading(key));
        store->request(host, icon, 128);  // already loading: dropped
        FakeTime::settle();
        EXPECT_EQ(server.requestCount(served), 0) << "the network waits for the short pause";
        finishLoad(*store, key);
        EXPECT_EQ(server.requestCount(served), 1);
        EXPECT_EQ(changed.count(), 1);
        EXPECT_EQ(changed.value(0).value(0).toString(), key);
        EXPECT_EQ(store->image(key).size(), QSize(16, 16));
        EXPECT_EQ(fileBytes(cachedFile(key)), png) << "the file holds the bytes as sent";
        store->request(host, icon, 128);  // in memory: nothing starts
        EXPECT_FALSE(store->isLoading(key));
    }
    time.advance(1s);
    FakeTime::settle();
    EXPECT_EQ(server.requestCount(), 4);
}

TEST_F(FaviconStoreTest, AfterARestartTheDiskAnswersOffTheCallingThreadWithoutNetwork)
{
    const QByteArray png = pngBytes(16, 16);
    server.route("/ip3/example.com.ico", Response::text(png, "image/png"));
    QDir().mkpath(dir.path() + "/favicons");
    {
        QFile junk(cachedFile("example.com_128"));
        ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
        junk.write("not an image");
    }
    {
        auto first = makeStore();
        first->request("example.com", std::nullopt, 128);
        finishLoad(*first, "example.com_128");
        ASSERT_TRUE(first->contains("example.com_128"));
        EXPECT_EQ(fileBytes(cachedFile("example.com_128")), png) << "an undecodable file is replaced";
    }
    server.clearRequests();
    auto second = makeStore();
    QSignalSpy changed(second.get(), &FaviconStore::changed);
    {
        PoolBlocker blocker;  // a read on the calling thread would show the icon at once
        second->request("example.com", std::nullopt, 128);
        EXPECT_TRUE(second->isLoading("example.com_128"));
        FakeTime::settle();
        EXPECT_EQ(changed.count(), 0);
    }
    ASSERT_TRUE(runUntil([&] { return changed.count() == 1; })) << "served from disk, without the pause";
    EXPECT_FALSE(second->image("example.com_128").isNull());
    time.advance(1s);
    FakeTime::settle();
    EXPECT_EQ(server.requestCount(), 0);
    auto memoryOnly = makeStore(QStringLiteral(""));
    memoryOnly->request("example.com", std::nullopt, 64);
    finishLoad(*memoryOnly, "example.com_64");
    EXPECT_TRUE(memoryOnly->contains("example.com_64")) << "without a cache folder memory still works";
    EXPECT_FALSE(QFile::exists(cachedFile("example.com_64")));
}

TEST_F(FaviconStoreTest, FailuresAndUnusableRequestsCacheNothing)
{
    const std::pair<const char*, Response> failures[] = {
        {"error page", Response::text("<html>not found</html>", "text/html", 404)},
        {"empty body", Response::text("", "image/png")},
        {"cut body", cutAfter(Response::text(pngBytes(64, 64), "image/png"), 20)},
        {"over the size cap", Response::text(QByteArray(FaviconStore::maxDownloadBytes + 10, 'x'), "image/png")},
    };
    for (const auto& [name, response] : failures) {
        SCOPED_TRACE(name);
        const QString host = QString::fromLatin1(name).replace(' ', '-') + ".test", key = host + "_128";
        server.route("/ip3/" + host + ".ico", response);
        auto store = makeStore();
        QSignalSpy changed(store.get(), &FaviconStore::changed);
        for (int attempt = 1; attempt <= 2; ++attempt) {  // a later request tries again
            store->request(host, std::nullopt, 128);
            finishLoad(*store, key);
            EXPECT_FALSE(store->contains(key));
            EXPECT_EQ(changed.count(), 0);
            EXPECT_FALSE(QFile::exists(cachedFile(key)));
            EXPECT_EQ(gate.active(), 0) << "the download slot is given back";
            EXPECT_EQ(server.requestCount("/ip3/" + host + ".ico"), attempt);
        }
    }
    server.clearRequests();
    auto store = makeStore();
    const std::pair<QString, std::optional<QString>> unusable[] = {
        {"", std::nullopt}, {"", QString()}, {"bad host/x", std::nullopt},
        {"ok.com", QStringLiteral("ftp://ok.com/favicon.ico")}, {"ok.com", QStringLiteral("http://exa mple.com/x.ico")},
        {"ok.com", QStringLiteral("file:///etc/passwd")},
    };
    for (const auto& [host, icon] : unusable) {
        store->request(host, icon, 128);
        EXPECT_FALSE(store->isLoading(FaviconStore::cacheKey(host, 128))) << host.toStdString();
    }
    time.advance(1s);
    FakeTime::settle();
    EXPECT_EQ(server.requestCount(), 0);
}

TEST_F(FaviconStoreTest, IconAddressWinsAndTheDownloadWaitsForAFreeSlot)
{
    server.route("/icons/a.png", Response::text(pngBytes(10, 10), "image/png"));
    server.route("/icons/b.png", Response::text(pngBytes(12, 12), "image/png"));
    std::vector<std::unique_ptr<ImageFetchGate::Slot>> held;
    for (int i = 0; i < ImageFetchGate::standardLimit; ++i) {
        EXPECT_TRUE(gate.acquire().await_ready());
        held.push_back(std::make_unique<ImageFetchGate::Slot>(gate));  // gives the taken slot back
    }
    auto store = makeStore();
    store->request("site.com", server.url("icons/a.png").toString(), 128);
    store->request("site.com", server.url("icons/b.png").toString(), 128);
    ASSERT_TRUE(runUntil([&] { return time.pendingCount() > 0; }));
    time.advance(100ms);
    FakeTime::settle();
    EXPECT_EQ(gate.waiting(), 1);
    EXPECT_EQ(server.requestCount(), 0);
    held.pop_back();
    ASSERT_TRUE(runUntil([&] { return !store->isLoading("site.com_128"); }));
    EXPECT_EQ(server.requestCount("/icons/a.png"), 1);
    EXPECT_EQ(server.requestCount("/icons/b.png"), 0);
    EXPECT_EQ(store->image("site.com_128").size(), QSize(10, 10));
    held.clear();
    EXPECT_EQ(gate.active(), 0);
}

// Icon addresses as sites write them: a raw space, "|", braces or a stray "%"
// are encoded on the way out, and the icon still arrives.
TEST_F(FaviconStoreTest, AnIconAddressWithRawSpacesOrBarsIsStillFetched)
{
    const QStringList paths = {"/icons/site icon.png", "/icons/a|b.png", "/icons/{c} 100%.png"};
    for (const QString& path : paths) {
        SCOPED_TRACE(path.toStdString());
        server.route(path, Response::text(pngBytes(12, 12), "image/png"));
        const QString host = QStringLiteral("site%1.com").arg(paths.indexOf(path));
        auto store = makeStore();
        store->request(host, server.baseUrl().toString() + path.mid(1), 128);  // the text, never a parsed QUrl
        EXPECT_TRUE(store->isLoading(FaviconStore::cacheKey(host, 128)));
        finishLoad(*store, FaviconStore::cacheKey(host, 128));
        EXPECT_EQ(server.requestCount(path), 1);
        EXPECT_EQ(store->image(FaviconStore::cacheKey(host, 128)).size(), QSize(12, 12));
    }
}

// Headlines without a link, from two sources with icons of their own: each
// shows its own source's picture, also after a restart that finds only the
// disk folder (with a file an older version shared among all of them).
TEST_F(FaviconStoreTest, HeadlinesWithoutALinkShowTheirOwnSourcesIcon)
{
    server.route("/icons/a.png", Response::text(pngBytes(16, 16, Qt::black), "image/png"));
    server.route("/icons/b.png", Response::text(pngBytes(16, 16, QColor(200, 200, 200)), "image/png"));
    auto linkless = [&](const QString& id, std::optional<QString> icon) {
        FeedSource source;
        source.id = "feed-" + id;
        source.title = "Source " + id;
        source.iconUrl = std::move(icon);
        FeedItem item;
        item.stableId = id;
        item.title = "Headline " + id;
        item.source = source;
        return item;
    };
    const FeedItem a = linkless("a", server.url("icons/a.png").toString());
    const FeedItem b = linkless("b", server.url("icons/b.png").toString());
    const FeedItem bare = linkless("c", std::nullopt);
    // The icon as the strip paints it (size code 2).
    auto painted = [](FaviconStore& store, const FeedItem& item) {
        QImage canvas(40, 40, QImage::Format_ARGB32_Premultiplied);
        canvas.fill(Qt::transparent);
        QPainter p(&canvas);
        TickerIconView::paint(p, QRectF(0, 0, 40, 40), item, 2, store);
        p.end();
        return canvas;
    };
    {
        auto store = makeStore();
        for (const FeedItem* item : {&a, &b}) {
            painted(*store, *item);  // the placeholder, which asks for the icon
            finishLoad(*store, TickerIconView::hostKey(*item));
        }
        EXPECT_EQ(server.requestCount("/icons/a.png"), 1);
        EXPECT_EQ(server.requestCount("/icons/b.png"), 1);
        EXPECT_LT(painted(*store, a).pixelColor(20, 20).red(), 30);
        EXPECT_GT(painted(*store, b).pixelColor(20, 20).red(), 170);
        auto empty = makeStore(QStringLiteral(""));
        EXPECT_TRUE(painted(*store, bare) == painted(*empty, bare)) << "neither link nor icon address: the placeholder";
    }
    {
        QFile shared(cachedFile("_128"));
        ASSERT_TRUE(shared.open(QIODevice::WriteOnly));
        shared.write(pngBytes(16, 16, Qt::white));
    }
    server.clearRequests();
    auto restarted = makeStore();
    for (const FeedItem* item : {&a, &b, &bare}) {
        painted(*restarted, *item);
        ASSERT_TRUE(runUntil([&] { return !restarted->isLoading(TickerIconView::hostKey(*item)); }));
    }
    EXPECT_LT(painted(*restarted, a).pixelColor(20, 20).red(), 30);
    EXPECT_GT(painted(*restarted, b).pixelColor(20, 20).red(), 170);
    auto empty = makeStore(QStringLiteral(""));
    EXPECT_TRUE(painted(*restarted, bare) == painted(*empty, bare)) << "the file once shared is not used";
    time.advance(1s);
    FakeTime::settle();
    EXPECT_EQ(server.requestCount(), 0) << "both came from the disk folder";
}

class ThumbnailStoreTest : public ::testing::Test {
protected:
    LoopbackServer server;
    ImageFetchGate gate;
    QTemporaryDir httpCache;
    // The image network as the app has it: with an HTTP disk cache.
    std::unique_ptr<QNetworkAccessManager> nam{ImageNetwork::create(httpCache.path())};
    ThumbnailStore store{nam.get(), gate};

    static bool load(ThumbnailStore& into, const QUrl& url, QSize pixels)
    {
        into.request(url, pixels);
        return runUntil([&] { return !into.isLoading(url, pixels); });
    }
};

TEST_F(ThumbnailStoreTest, DownloadsOncePerAddressDecodesEachShownSizeAndSurvivesARestart)
{
    const QByteArray png = pngBytes(800, 400);
    server.route("/pic.png", Response::text(png, "image/png"));
    server.route("/small.png", Response::text(pngBytes(20, 10), "image/png", 404));
    const QUrl url = server.url("pic.png");
    QSignalSpy changed(&store, &ThumbnailStore::changed);
    // The strip and the board ask at once, at their own sizes.
    store.request(url, QSize(56, 36));
    store.request(url, QSize(112, 72));
    store.request(url, QSize(56, 36));
    ASSERT_TRUE(runUntil([&] { return !store.isLoading(url, QSize(56, 36)) && !store.isLoading(url, QSize(112, 72)); }));
    EXPECT_EQ(store.image(url, QSize(56, 36)).size(), QSize(72, 36)) << "fills the frame, aspect kept";
    EXPECT_EQ(store.image(url, QSize(112, 72)).size(), QSize(144, 72));
    EXPECT_EQ(store.cache().totalCost(), 72 * 36 * 4 + 144 * 72 * 4) << "decoded bytes are charged";
    EXPECT_EQ(changed.value(0).value(0).toUrl(), url);
    ASSERT_TRUE(load(store, url, QSize(168, 108)));  // another pixel ratio later
    EXPECT_EQ(store.image(url, QSize(168, 108)).size(), QSize(216, 108));
    store.request(url, QSize(56, 36));  // cached: nothing starts
    EXPECT_FALSE(store.isLoading(url, QSize(56, 36)));
    EXPECT_EQ(server.requestCount("/pic.png"), 1);
    EXPECT_EQ(store.downloads().totalCost(), png.size()) << "bytes are charged by their length";
    EXPECT_EQ(gate.active(), 0);
    ASSERT_TRUE(load(store, server.url("small.png"), QSize(80, 50)));
    EXPECT_EQ(store.image(server.url("small.png"), QSize(80, 50)).size(), QSize(20, 10)) << "never enlarged";
    std::unique_ptr<QNetworkAccessManager> again{ImageNetwork::create(httpCache.path())};
    ThumbnailStore restarted(again.get(), gate);
    ASSERT_TRUE(load(restarted, url, QSize(56, 36)));
    EXPECT_FALSE(restarted.image(url, QSize(56, 36)).isNull());
    EXPECT_EQ(server.requestCount("/pic.png"), 1) << "the HTTP disk cache answers";
}

TEST_F(ThumbnailStoreTest, FailuresCacheNothingFreeTheSlotAndOnlyWebAddressesAreFetched)
{
    const std::pair<QString, Response> cases[] = {
        {"/not-an-image.png", Response::text("<html/>", "text/html")},
        {"/cut.png", cutAfter(Response::text(pngBytes(300, 300), "image/png"), 50)},
        {"/too-big.png", Response::text(QByteArray(ThumbnailStore::maxDownloadBytes + 1, 'x'), "image/png")},
        {"/server-error.png", Response::text("oops", "text/plain", 500)},
    };
    for (const auto& [path, response] : cases) {
        server.route(path, response);
        const QUrl url = server.url(path.mid(1));
        for (int attempt = 1; attempt <= 2; ++attempt) {
            ASSERT_TRUE(load(store, url, QSize(56, 36)));
            EXPECT_FALSE(store.contains(url, QSize(56, 36))) << path.toStdString();
            EXPECT_EQ(gate.active(), 0);
            EXPECT_EQ(server.requestCount(path), attempt) << path.toStdString();
        }
    }
    for (const QString& address : {QStringLiteral("file:///etc/passwd"), QStringLiteral("ftp://x.com/a.png"),
                                   QStringLiteral("data:image/png;base64,AAAA"), QString()}) {
        store.request(QUrl(address), QSize(56, 36));
        EXPECT_FALSE(store.isLoading(QUrl(address), QSize(56, 36))) << address.toStdString();
    }
}

// An item's picture address as a feed or the server writes it: the row gets
// its thumbnail slot and the picture arrives from the encoded address.
TEST_F(ThumbnailStoreTest, AnImageAddressWithRawSpacesOrBarsStillGetsItsPicture)
{
    // {address after the server's base, path the server sees}
    const std::pair<QString, QString> cases[] = {
        {"pics/a b.png", "/pics/a b.png"},
        {"pics/x|y.png", "/pics/x|y.png"},
        {"pics/{c} 100%.png", "/pics/{c} 100%.png"},
        {"pics/q.png?w=56|h=36", "/pics/q.png"},
    };
    for (const auto& [address, served] : cases) {
        SCOPED_TRACE(address.toStdString());
        server.route(served, Response::text(pngBytes(112, 72), "image/png"));
        FeedItem item{QStringLiteral("id"), QStringLiteral("t"), QStringLiteral("https://example.com/a"), std::nullopt,
                      std::nullopt, server.baseUrl().toString() + address};
        EXPECT_TRUE(TickerRowLayout::make(item, 2).thumbnail.has_value()) << "the row keeps a slot for it";
        const std::optional<QUrl> url = TickerRowLayout::thumbnailUrl(item);
        ASSERT_TRUE(url.has_value());
        ASSERT_TRUE(load(store, *url, QSize(56, 36)));
        EXPECT_EQ(store.image(*url, QSize(56, 36)).size(), QSize(56, 36));
        EXPECT_EQ(server.requestCount(served), 1);
    }
}


// Pictures the HTTP cache kept in a way it cannot give back whole (decoded
// by Qt as before an update, with their coding still named; sent under
// "no-cache") show after a restart, fetched once more from the network.
TEST_F(ThumbnailStoreTest, PicturesTheCacheCannotGiveBackWholeShowAfterARestart)
{
    const QByteArray png = pngBytes(112, 72);
    server.route("/kept-decoded.png", Response::text(Codings::encoded("gzip", png), "image/png")
                                          .header("Content-Encoding", "gzip").header("Cache-Control", "max-age=86400"));
    server.route("/no-cache.png", Response::text(png, "image/png").header("Cache-Control", "no-cache"));
    // Before the update Qt undid the coding itself and kept what it decoded.
    std::unique_ptr<QNetworkReply> before{nam->get(QNetworkRequest(server.url("kept-decoded.png")))};
    ASSERT_TRUE(runUntil([&] { return before->isFinished(); }));
    ASSERT_EQ(before->readAll(), png);
    ASSERT_TRUE(load(store, server.url("no-cache.png"), QSize(56, 36)));
    for (const char* path : {"/kept-decoded.png", "/no-cache.png"}) {
        SCOPED_TRACE(path);
        const QUrl url = server.url(QString::fromLatin1(path + 1));
        std::unique_ptr<QNetworkAccessManager> again{ImageNetwork::create(httpCache.path())};
        ThumbnailStore restarted(again.get(), gate);
        ASSERT_TRUE(load(restarted, url, QSize(56, 36)));
        EXPECT_EQ(restarted.image(url, QSize(56, 36)).size(), QSize(56, 36));
        EXPECT_EQ(server.requestCount(QString::fromLatin1(path)), 2);
    }
}

} // namespace
