#include "ticker/ThumbnailStore.h"

#include "LoopbackServer.h"
#include "TickerTestUtil.h"
#include "platform/ImageNetwork.h"
#include "ticker/ImageFetchGate.h"

#include <QNetworkAccessManager>
#include <QTemporaryDir>
#include <QSignalSpy>
#include <gtest/gtest.h>
#include <memory>

namespace {

using Response = LoopbackServer::Response;

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
    bool load(const QUrl& url, QSize pixels) { return load(store, url, pixels); }
};

TEST_F(ThumbnailStoreTest, DecodesAtTheShownSizeAndChargesTheDecodedBytes)
{
    server.route("/big.png", Response::text(pngBytes(800, 400), "image/png"));
    const QUrl url = server.url("big.png");
    QSignalSpy changed(&store, &ThumbnailStore::changed);
    ASSERT_TRUE(load(url, QSize(56, 36)));
    const QImage image = store.image(url, QSize(56, 36));
    EXPECT_EQ(image.size(), QSize(72, 36)) << "fills the frame, aspect kept";
    EXPECT_EQ(store.cache().totalCost(), 72 * 36 * 4);
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed.first().first().toUrl(), url);
    EXPECT_EQ(gate.active(), 0);

    store.request(url, QSize(56, 36));  // cached: nothing starts
    EXPECT_FALSE(store.isLoading(url, QSize(56, 36)));
    EXPECT_EQ(server.requestCount("/big.png"), 1);
}

TEST_F(ThumbnailStoreTest, DownloadsOncePerAddressAndDecodesEachShownSize)
{
    const QByteArray png = pngBytes(800, 400);
    server.route("/pic.png", Response::text(png, "image/png"));
    const QUrl url = server.url("pic.png");
    // The strip and the board ask at once, at their own sizes.
    store.request(url, QSize(56, 36));
    store.request(url, QSize(112, 72));
    store.request(url, QSize(56, 36));
    ASSERT_TRUE(runUntil([&] { return !store.isLoading(url, QSize(56, 36)) && !store.isLoading(url, QSize(112, 72)); }));
    EXPECT_EQ(store.image(url, QSize(56, 36)).size(), QSize(72, 36));
    EXPECT_EQ(store.image(url, QSize(112, 72)).size(), QSize(144, 72));
    // Another pixel ratio later: decoded from the bytes kept by address.
    ASSERT_TRUE(load(url, QSize(168, 108)));
    EXPECT_EQ(store.image(url, QSize(168, 108)).size(), QSize(216, 108));
    EXPECT_EQ(server.requestCount("/pic.png"), 1);
    EXPECT_EQ(store.downloads().count(), 1);
    EXPECT_EQ(store.downloads().totalCost(), png.size()) << "bytes are charged by their length";
    EXPECT_EQ(gate.active(), 0);
}

TEST_F(ThumbnailStoreTest, PicturesAskedForAfterARestartComeFromTheDiskCache)
{
    server.route("/pic.png", Response::text(pngBytes(300, 200), "image/png"));
    const QUrl url = server.url("pic.png");
    ASSERT_TRUE(load(url, QSize(56, 36)));
    ASSERT_EQ(server.requestCount("/pic.png"), 1);

    // A new process: empty memory caches, the same cache folder.
    std::unique_ptr<QNetworkAccessManager> again{ImageNetwork::create(httpCache.path())};
    ThumbnailStore restarted(again.get(), gate);
    ASSERT_TRUE(load(restarted, url, QSize(56, 36)));
    EXPECT_FALSE(restarted.image(url, QSize(56, 36)).isNull());
    EXPECT_EQ(server.requestCount("/pic.png"), 1) << "no second download";
}

TEST_F(ThumbnailStoreTest, SmallPicturesAreNotEnlargedAndAnyStatusMayCarryOne)
{
    server.route("/small.png", Response::text(pngBytes(20, 10), "image/png", 404));
    const QUrl url = server.url("small.png");
    ASSERT_TRUE(load(url, QSize(80, 50)));
    EXPECT_EQ(store.image(url, QSize(80, 50)).size(), QSize(20, 10));
}

TEST_F(ThumbnailStoreTest, FailuresCacheNothingFreeTheSlotAndTryAgainLater)
{
    Response cut = Response::text(pngBytes(300, 300), "image/png");
    cut.cutAfter = 50;
    struct Case {
        const char* name;
        Response response;
    };
    const QList<Case> cases = {
        {"not an image", Response::text("<html/>", "text/html")},
        {"cut body", cut},
        {"over the size cap", Response::text(QByteArray(ThumbnailStore::maxDownloadBytes + 1, 'x'), "image/png")},
        {"server error", Response::text("oops", "text/plain", 500)},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = QStringLiteral("/fail%1.png").arg(++n);
        server.route(path, c.response);
        const QUrl url = server.url(path.mid(1));
        ASSERT_TRUE(load(url, QSize(56, 36)));
        EXPECT_FALSE(store.contains(url, QSize(56, 36)));
        EXPECT_EQ(gate.active(), 0);
        ASSERT_TRUE(load(url, QSize(56, 36)));
        EXPECT_EQ(server.requestCount(path), 2);
    }
}

TEST_F(ThumbnailStoreTest, OnlyWebAddressesAreFetched)
{
    for (const QString& address : {QStringLiteral("file:///etc/passwd"), QStringLiteral("ftp://x.com/a.png"),
                                   QStringLiteral("data:image/png;base64,AAAA"), QString()}) {
        store.request(QUrl(address), QSize(56, 36));
        EXPECT_FALSE(store.isLoading(QUrl(address), QSize(56, 36))) << address.toStdString();
    }
}

} // namespace
