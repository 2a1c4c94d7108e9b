#include "ticker/ThumbnailStore.h"

#include "LoopbackServer.h"
#include "TickerTestUtil.h"
#include "ticker/ImageFetchGate.h"

#include <QNetworkAccessManager>
#include <QSignalSpy>
#include <gtest/gtest.h>

namespace {

using Response = LoopbackServer::Response;

class ThumbnailStoreTest : public ::testing::Test {
protected:
    LoopbackServer server;
    ImageFetchGate gate;
    QNetworkAccessManager nam;
    ThumbnailStore store{&nam, gate};

    bool load(const QUrl& url, QSize pixels)
    {
        store.request(url, pixels);
        return runUntil([&] { return !store.isLoading(url, pixels); });
    }
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
