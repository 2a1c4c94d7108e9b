// Replies answered from the image network's HTTP disk cache, across
// restarts (a new manager on the same folder), and what a reply's status
// means to every caller of httpSend.
#include "platform/net/Http.h"
#include "platform/net/ImageNetwork.h"

#include "Await.h"
#include "Codings.h"
#include "LoopbackServer.h"

#include <QAbstractNetworkCache>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

using Response = LoopbackServer::Response;

Result<HttpResponse> finished(std::optional<Result<HttpResponse>> reply)
{
    EXPECT_TRUE(reply.has_value()) << "the request never ended";
    return reply.value_or(fail(ErrorKind::Transport, QStringLiteral("the request never ended")));
}

Result<HttpResponse> imageGet(QNetworkAccessManager* manager, const QUrl& url)
{
    return finished(awaitTask(ImageNetwork::get(manager, HttpRequest(url))));
}

Result<HttpResponse> sendWith(QNetworkAccessManager* manager, const QUrl& url, QNetworkRequest::CacheLoadControl load)
{
    HttpRequest request(url);
    request.cacheLoad = load;
    return finished(awaitTask(httpSend(manager, request)));
}

std::string describe(const Result<HttpResponse>& reply)
{
    return reply ? "status " + std::to_string(reply->status) + ", " + std::to_string(reply->body.size()) + " bytes"
                 : reply.error().description.toStdString();
}

// Fetches `url` the way the app did while Qt decoded replies itself: the
// request leaves Accept-Encoding to Qt, which keeps the body it decoded in
// the cache with the reply's Content-Encoding still on it.
void fetchAsBeforeTheUpdate(const QString& cacheDir, const QUrl& url)
{
    std::unique_ptr<QNetworkAccessManager> manager{ImageNetwork::create(cacheDir)};
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::PreferNetwork);
    std::unique_ptr<QNetworkReply> reply{manager->get(request)};
    ASSERT_TRUE(waitUntil([&] { return reply->isFinished(); }));
    ASSERT_EQ(reply->error(), QNetworkReply::NoError);
    reply->readAll();
}

// A copy the cache holds that cannot be decoded (kept by Qt decoded, under
// the coding it was sent in) is dropped and fetched once from the network,
// whether the cache was asked first (pictures) or the network was
// preferred (look-ups); asked for the cache alone, it is dropped and fails.
TEST(CachedReplies, ACopyThatDoesNotDecodeIsDroppedAndFetchedOnceFromTheNetwork)
{
    enum class Way { Picture, PreferNetwork, CacheOnly };
    const struct { const char* name; QByteArray coding; Way way; } rows[] = {
        {"gzip, picture", "gzip", Way::Picture},
        {"deflate, picture", "deflate", Way::Picture},
        {"gzip, network preferred", "gzip", Way::PreferNetwork},
        {"gzip, cache only", "gzip", Way::CacheOnly},
    };
    LoopbackServer server;
    const QByteArray picture = Codings::sampleText(5000);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        QTemporaryDir cacheDir;
        const QString path = QStringLiteral("/pic-%1.png").arg(int(&row - rows));
        server.route(path, Response::text(Codings::encoded(row.coding, picture), "image/png")
                               .header("Content-Encoding", row.coding)
                               .header("Cache-Control", "max-age=86400"));
        const QUrl url = server.url(path.mid(1));
        fetchAsBeforeTheUpdate(cacheDir.path(), url);
        ASSERT_EQ(server.requestCount(path), 1);

        std::unique_ptr<QNetworkAccessManager> restarted{ImageNetwork::create(cacheDir.path())};
        ASSERT_TRUE(restarted->cache()->metaData(url).isValid());
        if (row.way == Way::CacheOnly) {
            const auto reply = sendWith(restarted.get(), url, QNetworkRequest::AlwaysCache);
            EXPECT_FALSE(reply.has_value()) << describe(reply);
            EXPECT_FALSE(restarted->cache()->metaData(url).isValid()) << "the copy is still cached";
            EXPECT_EQ(server.requestCount(path), 1) << "the network was asked";
            continue;
        }
        const auto reply = row.way == Way::Picture ? imageGet(restarted.get(), url)
                                                   : sendWith(restarted.get(), url, QNetworkRequest::PreferNetwork);
        ASSERT_TRUE(reply.has_value()) << describe(reply);
        EXPECT_TRUE(reply->body == picture) << reply->body.size() << " bytes";
        EXPECT_EQ(server.requestCount(path), 2);
        // The copy the network gave is the one kept from now on.
        std::unique_ptr<QNetworkAccessManager> again{ImageNetwork::create(cacheDir.path())};
        const auto cached = imageGet(again.get(), url);
        ASSERT_TRUE(cached.has_value()) << describe(cached);
        EXPECT_TRUE(cached->body == picture) << cached->body.size() << " bytes";
        EXPECT_EQ(server.requestCount(path), 2);
    }
}

// A body that does not decode as it comes from the network is asked for
// once, and not kept to answer the next request.
TEST(CachedReplies, ABodyThatDoesNotDecodeFromTheNetworkIsAskedForOnceAndNotKept)
{
    LoopbackServer server;
    QTemporaryDir cacheDir;
    std::unique_ptr<QNetworkAccessManager> manager{ImageNetwork::create(cacheDir.path())};
    server.route(QStringLiteral("/damaged.png"), Response::text(Codings::sampleText(3000), "image/png")
                                                     .header("Content-Encoding", "gzip")
                                                     .header("Cache-Control", "max-age=86400"));
    const QUrl url = server.url(QStringLiteral("damaged.png"));
    for (int attempt = 1; attempt <= 2; ++attempt) {
        const auto picture = imageGet(manager.get(), url);
        EXPECT_FALSE(picture.has_value()) << describe(picture);
        EXPECT_FALSE(manager->cache()->metaData(url).isValid()) << "kept in the cache";
        const auto lookUp = sendWith(manager.get(), url, QNetworkRequest::PreferNetwork);
        EXPECT_FALSE(lookUp.has_value()) << describe(lookUp);
        EXPECT_EQ(server.requestCount(QStringLiteral("/damaged.png")), 2 * attempt);
    }
}

// A picture sent with "Cache-Control: no-cache" may be kept but not used
// unchecked: after a restart it comes from the network (whole, or as a 304
// that revalidates the kept copy), never as an empty body.
TEST(CachedReplies, APictureSentWithNoCacheIsFetchedAgainNotReadEmpty)
{
    LoopbackServer server;
    const QByteArray picture = Codings::sampleText(3000);
    for (const bool revalidates : {false, true}) {
        SCOPED_TRACE(revalidates ? "the server answers 304 to its ETag" : "the server sends it whole");
        QTemporaryDir cacheDir;
        server.clearRequests();
        server.handle(QStringLiteral("/pic.png"), [revalidates, picture](const LoopbackServer::Request& request) {
            if (revalidates && request.header("If-None-Match") == "\"p1\"")
                return Response::withStatus(304).header("ETag", "\"p1\"");
            return Response::text(picture, "image/png").header("Cache-Control", "no-cache").header("ETag", "\"p1\"");
        });
        const QUrl url = server.url(QStringLiteral("pic.png"));
        for (int run = 1; run <= 3; ++run) {
            std::unique_ptr<QNetworkAccessManager> manager{ImageNetwork::create(cacheDir.path())};
            const auto reply = imageGet(manager.get(), url);
            ASSERT_TRUE(reply.has_value()) << "run " << run << ": " << describe(reply);
            EXPECT_EQ(reply->status, 200) << "run " << run;
            EXPECT_TRUE(reply->body == picture) << "run " << run << ": " << reply->body.size() << " bytes";
            EXPECT_EQ(server.requestCount(QStringLiteral("/pic.png")), run);
        }
        std::unique_ptr<QNetworkAccessManager> manager{ImageNetwork::create(cacheDir.path())};
        const auto cacheOnly = sendWith(manager.get(), url, QNetworkRequest::AlwaysCache);
        EXPECT_FALSE(cacheOnly.has_value()) << "the cache alone answers with " << describe(cacheOnly);
    }
}

// Every caller (catalogue, markets, feeds, pictures) gets any HTTP status
// back as a response with its body, on a manager with or without a cache.
TEST(CachedReplies, EveryHttpStatusIsAResponseWithItsBody)
{
    LoopbackServer server;
    QTemporaryDir cacheDir;
    std::unique_ptr<QNetworkAccessManager> cached{ImageNetwork::create(cacheDir.path())};
    QNetworkAccessManager plain;
    for (const int status : {200, 201, 203, 400, 401, 403, 404, 405, 407, 409, 410, 418, 429, 451, 500, 501, 502,
                             503, 504, 599}) {
        const QString path = QStringLiteral("/s%1").arg(status);
        const QByteArray body = "answer " + QByteArray::number(status);
        server.route(path, Response::text(body, "text/plain", status));
        for (QNetworkAccessManager* manager : {&plain, cached.get()}) {
            const auto reply = sendWith(manager, server.url(path.mid(1)),
                                        manager == &plain ? QNetworkRequest::AlwaysNetwork
                                                          : QNetworkRequest::PreferNetwork);
            ASSERT_TRUE(reply.has_value()) << status << ": " << describe(reply);
            EXPECT_EQ(reply->status, status);
            EXPECT_EQ(reply->body, body) << status;
        }
    }
}

} // namespace
