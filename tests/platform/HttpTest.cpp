#include "platform/Http.h"

#include "Await.h"
#include "LoopbackServer.h"

#include <QNetworkAccessManager>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

using Response = LoopbackServer::Response;

class HttpTest : public ::testing::Test {
protected:
    LoopbackServer server;
    QNetworkAccessManager nam;

    Result<HttpResponse> send(HttpRequest request, std::stop_token stop = {})
    {
        auto r = awaitTask(httpSend(&nam, std::move(request), stop));
        EXPECT_TRUE(r.has_value()) << "request did not finish";
        return r.value_or(fail(ErrorKind::Transport, QStringLiteral("test timeout")));
    }
};

TEST_F(HttpTest, ReturnsStatusHeadersAndBodyAndSendsHeaders)
{
    server.route(QStringLiteral("/a"), Response::json("{\"x\":1}", 201).header("ETag", "\"v1\""));
    HttpRequest req(server.url(QStringLiteral("a")));
    req.header("If-None-Match", "\"v0\"");
    auto r = send(req);
    ASSERT_TRUE(r.has_value()) << r.error().description.toStdString();
    EXPECT_EQ(r->status, 201);
    EXPECT_EQ(r->body, QByteArray("{\"x\":1}"));
    EXPECT_EQ(r->header("etag"), QByteArray("\"v1\""));
    ASSERT_EQ(server.requestCount(QStringLiteral("/a")), 1);
    EXPECT_EQ(server.requests().first().header("If-None-Match"), QByteArray("\"v0\""));
}

TEST_F(HttpTest, ErrorStatusesAreResponsesNotFailures)
{
    server.route(QStringLiteral("/missing"), Response::text("gone", "text/plain", 404));
    server.route(QStringLiteral("/same"), Response::withStatus(304));
    auto r = send(HttpRequest(server.url(QStringLiteral("missing"))));
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(r->status, 404);
    auto s = send(HttpRequest(server.url(QStringLiteral("same"))));
    ASSERT_TRUE(s.has_value());
    EXPECT_EQ(s->status, 304);
}

TEST_F(HttpTest, FailureKinds)
{
    server.route(QStringLiteral("/slow"), [] { Response r = Response::json("{}"); r.delay = std::chrono::milliseconds(2000); return r; }());
    server.route(QStringLiteral("/stall"), [] { Response r = Response::json(QByteArray(100, 'x')); r.stall = true; return r; }());
    server.route(QStringLiteral("/big"), Response::json(QByteArray(5000, 'x')));
    server.route(QStringLiteral("/cut"), [] { Response r = Response::json(QByteArray(5000, 'x')); r.cutAfter = 100; return r; }());

    HttpRequest slow(server.url(QStringLiteral("slow")));
    slow.timeout = std::chrono::milliseconds(100);
    EXPECT_EQ(send(slow).error().kind, ErrorKind::TimedOut);

    HttpRequest stall(server.url(QStringLiteral("stall")));
    stall.idleTimeout = std::chrono::milliseconds(150);
    EXPECT_EQ(send(stall).error().kind, ErrorKind::TimedOut) << "Qt's transfer timeout is a timeout, not a cancellation";

    HttpRequest big(server.url(QStringLiteral("big")));
    big.maxBytes = 1000;
    auto tooLarge = send(big);
    EXPECT_EQ(tooLarge.error().kind, ErrorKind::TooLarge);
    EXPECT_EQ(tooLarge.error().httpStatus, 200);

    EXPECT_EQ(send(HttpRequest(server.url(QStringLiteral("cut")))).error().kind, ErrorKind::Transport);

    EXPECT_EQ(send(HttpRequest(QUrl(QStringLiteral("file:///etc/passwd")))).error().kind, ErrorKind::BadURL);
    EXPECT_EQ(send(HttpRequest(QUrl(QStringLiteral("javascript:alert(1)")))).error().kind, ErrorKind::BadURL);

    LoopbackServer closed;
    const QUrl refused = closed.url(QStringLiteral("x"));
    closed.stop();
    EXPECT_EQ(send(HttpRequest(refused)).error().kind, ErrorKind::Transport);
}

TEST_F(HttpTest, StopCancelsTheTransfer)
{
    server.route(QStringLiteral("/slow"), [] { Response r = Response::json("{}"); r.delay = std::chrono::milliseconds(3000); return r; }());
    std::stop_source stop;
    QTimer::singleShot(50, [&] { stop.request_stop(); });
    auto r = send(HttpRequest{server.url(QStringLiteral("slow"))}, stop.get_token());
    ASSERT_FALSE(r.has_value());
    EXPECT_EQ(r.error().kind, ErrorKind::Cancelled);
}

TEST(HttpManagerGone, ARequestWhoseManagerGoesAwayEndsAsAFailure)
{
    LoopbackServer server;
    server.route(QStringLiteral("/slow"), [] { Response r = Response::json("{}"); r.delay = std::chrono::milliseconds(3000); return r; }());
    auto* nam = new QNetworkAccessManager;
    QTimer::singleShot(50, [nam] { delete nam; });
    const auto r = awaitTask(httpSend(nam, HttpRequest{server.url(QStringLiteral("slow"))}), 2000);
    ASSERT_TRUE(r.has_value()) << "the request never ended";
    ASSERT_FALSE(r->has_value());
    EXPECT_EQ(r->error().kind, ErrorKind::Transport);
}

TEST_F(HttpTest, PostSendsTheBody)
{
    server.route(QStringLiteral("/feedback"), Response::json("{}"));
    HttpRequest req(server.url(QStringLiteral("feedback")));
    req.method = "POST";
    req.body = "{\"message\":\"hi\"}";
    req.header("Content-Type", "application/json");
    ASSERT_TRUE(send(req).has_value());
    const auto got = server.requestsFor(QStringLiteral("/feedback"));
    ASSERT_EQ(got.size(), 1);
    EXPECT_EQ(got.first().method, QByteArray("POST"));
    EXPECT_EQ(got.first().body, req.body);
}

} // namespace
