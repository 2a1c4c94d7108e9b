#include "ticker/FaviconStore.h"

#include "FakeTime.h"
#include "LoopbackServer.h"
#include "TickerTestUtil.h"
#include "ticker/ImageFetchGate.h"

#include <QDir>
#include <QFile>
#include <QNetworkAccessManager>
#include <QSemaphore>
#include <QSignalSpy>
#include <QThreadPool>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

using namespace std::chrono_literals;

namespace {

using Response = LoopbackServer::Response;

QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Keeps every thread of the global pool busy until it goes away; it waits
// for its tasks to end, so nothing outlives the state they share.
class PoolBlocker {
public:
    PoolBlocker() : m_count(QThreadPool::globalInstance()->maxThreadCount())
    {
        for (int i = 0; i < m_count; ++i)
            QThreadPool::globalInstance()->start([state = m_state] {
                state->started.release();
                state->release.acquire();
                state->finished.release();
            });
        m_state->started.acquire(m_count);
    }
    ~PoolBlocker()
    {
        m_state->release.release(m_count);
        m_state->finished.acquire(m_count);
    }

private:
    struct State {
        QSemaphore started;
        QSemaphore release;
        QSemaphore finished;
    };
    std::shared_ptr<State> m_state = std::make_shared<State>();
    int m_count;
};

class FaviconStoreTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    LoopbackServer server;
    FakeTime time;
    ImageFetchGate gate;
    QNetworkAccessManager nam;

    std::unique_ptr<FaviconStore> makeStore(QString cacheDir = {})
    {
        if (cacheDir.isNull())
            cacheDir = dir.path() + QStringLiteral("/favicons");
        return std::make_unique<FaviconStore>(cacheDir, &nam, server.baseUrl(), gate, time);
    }
    QString cachedFile(const QString& key) const
    {
        return dir.path() + QStringLiteral("/favicons/") + FaviconStore::fileName(key);
    }
    // Waits for the disk pass on the thread pool, lets the pause before the
    // network pass run out, then waits for the load to end.
    void finishLoad(FaviconStore& store, const QString& key)
    {
        ASSERT_TRUE(runUntil([&] { return time.pendingCount() > 0 || !store.isLoading(key); }));
        time.advance(100ms);
        ASSERT_TRUE(runUntil([&] { return !store.isLoading(key); })) << key.toStdString();
    }
};

TEST(FaviconNames, KeysAndFileNames)
{
    struct Case {
        QString host;
        int size;
        QString key;
        QString file;
    };
    const QList<Case> cases = {
        {"example.com", 128, "example.com_128", "example.com_128.img"},
        {"127.0.0.1:8080", 128, "127.0.0.1:8080_128", "127.0.0.1-8080_128.img"},
        {"a/b", 64, "a/b_64", "a-b_64.img"},
        {"", 128, "_128", "_128.img"},
        {QString::fromUtf8("bücher.de"), 128, QString::fromUtf8("bücher.de_128"), QString::fromUtf8("bücher.de_128.img")},
        {"x y?z", 32, "x y?z_32", "x-y-z_32.img"},
        {QString::fromUtf8("a😀b"), 16, QString::fromUtf8("a😀b_16"), "a-b_16.img"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FaviconStore::cacheKey(c.host, c.size), c.key);
        EXPECT_EQ(FaviconStore::fileName(c.key), c.file) << c.key.toStdString();
    }
}

TEST(FaviconNames, OnlyRealHostNamesGoToTheService)
{
    const QList<std::pair<QString, bool>> cases = {
        {"example.com", true},
        {"news.bbc.co.uk", true},
        {"localhost", true},
        {"127.0.0.1", true},
        {"example.com.", true},
        {QString::fromUtf8("bücher.de"), true},
        {"", false},
        {"exa mple.com", false},
        {"example.com/evil", false},
        {"example.com:8080", false},
        {"../etc/passwd", false},
        {"-bad.com", false},
        {"a..b", false},
        {"user@example.com", false},
        {QString(300, 'a'), false},
    };
    for (const auto& [host, valid] : cases)
        EXPECT_EQ(FaviconStore::isValidHostName(host), valid) << host.toStdString();
}

TEST_F(FaviconStoreTest, InternationalHostsAskTheServiceInTheirAsciiForm)
{
    server.route("/ip3/xn--bcher-kva.example.ico", Response::text(pngBytes(16, 16), "image/png"));
    auto store = makeStore();
    const QString host = QString::fromUtf8("B\u00fcCHER.example");
    const QString key = FaviconStore::cacheKey(host, 64);
    store->request(host, std::nullopt, 64);
    finishLoad(*store, key);
    EXPECT_EQ(server.requestCount("/ip3/xn--bcher-kva.example.ico"), 1);
    EXPECT_EQ(store->image(key).size(), QSize(16, 16));
}

TEST_F(FaviconStoreTest, DownloadsFromTheServiceStoresInMemoryAndOnDisk)
{
    const QByteArray png = pngBytes(32, 32);
    server.route("/ip3/example.com.ico", Response::text(png, "image/png"));
    auto store = makeStore();
    QSignalSpy changed(store.get(), &FaviconStore::changed);

    store->request("example.com", std::nullopt, 128);
    EXPECT_TRUE(store->isLoading("example.com_128"));
    store->request("example.com", std::nullopt, 128);  // already loading: dropped
    FakeTime::settle();
    EXPECT_EQ(server.requestCount(), 0) << "the network waits for the short pause";
    finishLoad(*store, "example.com_128");

    EXPECT_EQ(server.requestCount("/ip3/example.com.ico"), 1);
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed.first().first().toString(), QStringLiteral("example.com_128"));
    EXPECT_EQ(store->image("example.com_128").size(), QSize(32, 32));
    EXPECT_EQ(fileBytes(cachedFile("example.com_128")), png) << "the file holds the bytes as sent";

    store->request("example.com", std::nullopt, 128);  // in memory: nothing starts
    EXPECT_FALSE(store->isLoading("example.com_128"));
    time.advance(1s);
    FakeTime::settle();
    EXPECT_EQ(server.requestCount(), 1);
}

TEST_F(FaviconStoreTest, DiskHitAfterRestartNeedsNoNetworkAndNoPause)
{
    const QByteArray png = pngBytes(16, 16);
    server.route("/ip3/example.com.ico", Response::text(png, "image/png"));
    {
        auto first = makeStore();
        first->request("example.com", std::nullopt, 128);
        finishLoad(*first, "example.com_128");
        ASSERT_TRUE(first->contains("example.com_128"));
    }
    server.clearRequests();

    auto second = makeStore();  // a new process: empty memory cache
    QSignalSpy changed(second.get(), &FaviconStore::changed);
    {
        // With every worker of the thread pool busy, a request that read the
        // file on the calling thread would still show the icon at once.
        PoolBlocker blocker;
        second->request("example.com", std::nullopt, 128);
        EXPECT_TRUE(second->isLoading("example.com_128"));
        FakeTime::settle();
        EXPECT_EQ(changed.count(), 0) << "the file is read and decoded off the calling thread";
    }
    ASSERT_TRUE(runUntil([&] { return changed.count() == 1; })) << "served from disk, without the pause";
    EXPECT_FALSE(second->isLoading("example.com_128"));
    EXPECT_FALSE(second->image("example.com_128").isNull());
    time.advance(1s);
    FakeTime::settle();
    EXPECT_EQ(server.requestCount(), 0);
}

TEST_F(FaviconStoreTest, AnyStatusWithAnImageBodyIsCached)
{
    const QByteArray png = pngBytes(8, 8);
    server.route("/ip3/missing.org.ico", Response::text(png, "image/png", 404));
    auto store = makeStore();
    store->request("missing.org", std::nullopt, 128);
    finishLoad(*store, "missing.org_128");
    EXPECT_TRUE(store->contains("missing.org_128"));
    EXPECT_EQ(fileBytes(cachedFile("missing.org_128")), png);
}

TEST_F(FaviconStoreTest, FailuresCacheNothingAndFreeTheKey)
{
    struct Case {
        const char* name;
        Response response;
    };
    Response cut = Response::text(pngBytes(64, 64), "image/png");
    cut.cutAfter = 20;
    const QList<Case> cases = {
        {"error page", Response::text("<html>not found</html>", "text/html", 404)},
        {"empty body", Response::text("", "image/png")},
        {"cut body", cut},
        {"over the size cap", Response::text(QByteArray(FaviconStore::maxDownloadBytes + 10, 'x'), "image/png")},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString host = QStringLiteral("fail%1.test").arg(++n);
        const QString key = host + QStringLiteral("_128");
        server.route("/ip3/" + host + ".ico", c.response);
        auto store = makeStore();
        QSignalSpy changed(store.get(), &FaviconStore::changed);
        store->request(host, std::nullopt, 128);
        finishLoad(*store, key);
        EXPECT_FALSE(store->contains(key));
        EXPECT_EQ(changed.count(), 0);
        EXPECT_FALSE(QFile::exists(cachedFile(key)));
        EXPECT_EQ(gate.active(), 0) << "the download slot is given back";

        store->request(host, std::nullopt, 128);  // a later request tries again
        EXPECT_TRUE(store->isLoading(key));
        finishLoad(*store, key);
        EXPECT_EQ(server.requestCount("/ip3/" + host + ".ico"), 2);
    }
}

TEST_F(FaviconStoreTest, RequestsThatStartNothing)
{
    auto store = makeStore();
    struct Case {
        const char* name;
        QString host;
        std::optional<QString> icon;
    };
    const QList<Case> cases = {
        {"empty host, no icon", "", std::nullopt},
        {"empty host, empty icon", "", QString()},
        {"not a host name", "bad host/x", std::nullopt},
        {"icon address not http", "ok.com", QStringLiteral("ftp://ok.com/favicon.ico")},
        {"icon address unparsable", "ok.com", QStringLiteral("http://exa mple.com/x.ico")},
        {"icon address a file", "ok.com", QStringLiteral("file:///etc/passwd")},
    };
    for (const Case& c : cases) {
        store->request(c.host, c.icon, 128);
        EXPECT_FALSE(store->isLoading(FaviconStore::cacheKey(c.host, 128))) << c.name;
    }
    time.advance(1s);
    FakeTime::settle();
    EXPECT_EQ(server.requestCount(), 0);
}

TEST_F(FaviconStoreTest, IconAddressWinsAndSharesTheKeyOfItsHost)
{
    server.route("/icons/a.png", Response::text(pngBytes(10, 10), "image/png"));
    server.route("/icons/b.png", Response::text(pngBytes(12, 12), "image/png"));
    auto store = makeStore();
    store->request("site.com", server.url("icons/a.png").toString(), 128);
    store->request("site.com", server.url("icons/b.png").toString(), 128);
    finishLoad(*store, "site.com_128");
    EXPECT_EQ(server.requestCount("/icons/a.png"), 1);
    EXPECT_EQ(server.requestCount("/icons/b.png"), 0);
    EXPECT_EQ(store->image("site.com_128").size(), QSize(10, 10));

    // An icon address with an empty host loads under "_<size>".
    store->request("", server.url("icons/b.png").toString(), 64);
    finishLoad(*store, "_64");
    EXPECT_TRUE(store->contains("_64"));
    EXPECT_TRUE(QFile::exists(cachedFile("_64")));
}

TEST_F(FaviconStoreTest, UndecodableFileOnDiskIsReplacedByAGoodDownload)
{
    QDir().mkpath(dir.path() + "/favicons");
    {
        QFile junk(cachedFile("example.com_128"));
        ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
        junk.write("not an image");
    }
    const QByteArray png = pngBytes(20, 20);
    server.route("/ip3/example.com.ico", Response::text(png, "image/png"));
    auto store = makeStore();
    store->request("example.com", std::nullopt, 128);
    EXPECT_TRUE(store->isLoading("example.com_128"));
    finishLoad(*store, "example.com_128");
    EXPECT_TRUE(store->contains("example.com_128"));
    EXPECT_EQ(fileBytes(cachedFile("example.com_128")), png);
}

TEST_F(FaviconStoreTest, WithoutCacheFolderMemoryAndNetworkStillWork)
{
    server.route("/ip3/example.com.ico", Response::text(pngBytes(8, 8), "image/png"));
    auto store = makeStore(QStringLiteral(""));
    store->request("example.com", std::nullopt, 128);
    finishLoad(*store, "example.com_128");
    EXPECT_TRUE(store->contains("example.com_128"));
    EXPECT_FALSE(QDir(dir.path() + "/favicons").exists());
}

TEST_F(FaviconStoreTest, DownloadWaitsForAFreeSlotOfTheSharedGate)
{
    server.route("/ip3/example.com.ico", Response::text(pngBytes(8, 8), "image/png"));
    std::vector<std::unique_ptr<ImageFetchGate::Slot>> held;
    for (int i = 0; i < ImageFetchGate::standardLimit; ++i) {
        EXPECT_TRUE(gate.acquire().await_ready());
        held.push_back(std::make_unique<ImageFetchGate::Slot>(gate));
    }
    auto store = makeStore();
    store->request("example.com", std::nullopt, 128);
    ASSERT_TRUE(runUntil([&] { return time.pendingCount() > 0; })) << "the pause after the disk pass";
    time.advance(100ms);
    FakeTime::settle();
    EXPECT_EQ(gate.waiting(), 1);
    EXPECT_EQ(server.requestCount(), 0);

    held.pop_back();
    ASSERT_TRUE(runUntil([&] { return !store->isLoading("example.com_128"); }));
    EXPECT_EQ(server.requestCount(), 1);
    EXPECT_TRUE(store->contains("example.com_128"));
    held.clear();
    EXPECT_EQ(gate.active(), 0);
}

} // namespace
