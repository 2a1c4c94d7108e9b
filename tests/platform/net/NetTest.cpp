// Endpoints, network reachability and HTTP.
#include "platform/net/Endpoints.h"
#include "platform/net/Http.h"
#include "platform/net/PathMonitor.h"
#include "Await.h"
#include "LoopbackServer.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QSignalSpy>
#include <QThread>
#include <QTimer>
#include <gtest/gtest.h>
#include <thread>
#include <tuple>

using namespace std::chrono_literals;

namespace {

TEST(Endpoints, EnvironmentOverridesOnlyValidAddressesAndJoinKeepsTheBasePath)
{
    qputenv("TIDEWIRE_API_BASE", "http://127.0.0.1:8123/");
    qputenv("TIDEWIRE_FINNHUB_BASE", "   ");
    qputenv("TIDEWIRE_COINGECKO_BASE", "not a url");
    const Endpoints e = Endpoints::fromEnvironment();
    for (const char* var : {"TIDEWIRE_API_BASE", "TIDEWIRE_FINNHUB_BASE", "TIDEWIRE_COINGECKO_BASE"})
        qunsetenv(var);
    EXPECT_EQ(e.apiBase, QUrl(QStringLiteral("http://127.0.0.1:8123/")));
    EXPECT_EQ(e.finnhubBase, Endpoints::builtIn().finnhubBase);
    EXPECT_EQ(e.coingeckoBase, Endpoints::builtIn().coingeckoBase);
    EXPECT_EQ(Endpoints::builtIn().apiBase, QUrl(QStringLiteral("https://api.tidewire.invalid/")));

    const std::tuple<const char*, const char*, const char*> joins[] = {
        {"http://h/", "v1_manifest", "http://h/v1_manifest"},
        {"http://h/api", "v1_manifest", "http://h/api/v1_manifest"},
        {"http://h/api/", "/v1_orbs", "http://h/api/v1_orbs"},
        {"http://h:81/", "v1_weather?city=Oslo", "http://h:81/v1_weather?city=Oslo"},
    };
    for (const auto& [base, path, expected] : joins)
        EXPECT_EQ(Endpoints::join(QUrl(QString::fromLatin1(base)), QString::fromLatin1(path)).toString(), QString::fromLatin1(expected));
}

using Reach = QNetworkInformation::Reachability;

TEST(PathMonitor, ReportsOnlyRealChangesAndOnTheMainThread)
{
    NetworkPathMonitor monitor;
    QSignalSpy spy(&monitor, &PathMonitor::onlineChanged);
    EXPECT_TRUE(monitor.isOnline()) << "online until told otherwise";
    // Only Disconnected is offline: a backend that cannot tell must not block
    // refreshes, and a LAN-only path still reaches servers on the LAN.
    const std::tuple<Reach, std::optional<bool>, bool> steps[] = {
        {Reach::Online, std::nullopt, true}, {Reach::Unknown, std::nullopt, true}, {Reach::Disconnected, false, false},
        {Reach::Disconnected, std::nullopt, false}, {Reach::Local, true, true}, {Reach::Site, std::nullopt, true},
        {Reach::Online, std::nullopt, true}, {Reach::Local, std::nullopt, true}, {Reach::Disconnected, false, false},
        {Reach::Unknown, true, true},
    };
    for (const auto& [report, emitted, online] : steps) {
        SCOPED_TRACE(int(report));
        spy.clear();
        monitor.reachabilityReported(report);
        ASSERT_EQ(spy.size(), emitted ? 1 : 0);
        if (emitted) {
            EXPECT_EQ(spy.at(0).at(0).toBool(), *emitted);
        }
        EXPECT_EQ(monitor.isOnline(), online);
        EXPECT_EQ(reachabilityIsOnline(report), online);
    }

    // A report from another thread changes nothing there, and arrives on the main thread.
    QList<QThread*> deliveredOn;
    QObject::connect(&monitor, &PathMonitor::onlineChanged, &monitor, [&](bool) { deliveredOn << QThread::currentThread(); }, Qt::DirectConnection);
    std::thread([&] { monitor.reachabilityReported(Reach::Disconnected); }).join();
    EXPECT_TRUE(deliveredOn.isEmpty());
    EXPECT_TRUE(monitor.isOnline());
    QCoreApplication::processEvents();
    EXPECT_EQ(deliveredOn, QList<QThread*>{QCoreApplication::instance()->thread()});
    EXPECT_FALSE(monitor.isOnline());
}

TEST(PathMonitor, StartFollowsTheSystemBackendOrStaysOnline)
{
    // Machines without NetworkManager (CI) have no default backend; the glib
    // one, when it loads, stands in so the wiring to the backend is exercised.
    if (!QNetworkInformation::instance() && !QNetworkInformation::loadDefaultBackend())
        QNetworkInformation::loadBackendByName(u"glib");
    auto monitor = PathMonitor::createSystem();
    QSignalSpy spy(monitor.get(), &PathMonitor::onlineChanged);
    monitor->start();
    monitor->start();  // idempotent: must not connect twice
    QNetworkInformation* info = QNetworkInformation::instance();
    if (!info) {
        EXPECT_TRUE(monitor->isOnline()) << "no backend reads online";
        EXPECT_EQ(spy.size(), 0);
        return;
    }
    EXPECT_EQ(monitor->isOnline(), reachabilityIsOnline(info->reachability()));
    const bool before = monitor->isOnline();
    spy.clear();
    Q_EMIT info->reachabilityChanged(before ? Reach::Disconnected : Reach::Online);
    Q_EMIT info->reachabilityChanged(before ? Reach::Disconnected : Reach::Local);
    ASSERT_EQ(spy.size(), 1) << "one change, delivered once";
    EXPECT_EQ(spy.at(0).at(0).toBool(), !before);
}

using Response = LoopbackServer::Response;

Response delayed(std::chrono::milliseconds delay)
{
    Response r = Response::json("{}");
    r.delay = delay;
    return r;
}

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
    Result<HttpResponse> get(const char* path) { return send(HttpRequest(server.url(QString::fromLatin1(path)))); }
};

// Timeouts, size limits and refused connections are checked through the feed
// API; here what only the transport itself decides.
TEST_F(HttpTest, SendsHeadersAndBodyDecompressesAndReportsWhatIsNotAWholeBody)
{
    server.route(QStringLiteral("/a"), Response::json("{\"x\":1}", 201).header("ETag", "\"v1\""));
    HttpRequest req(server.url(QStringLiteral("a")));
    req.method = "POST";
    req.body = "{\"message\":\"hi\"}";
    req.header("If-None-Match", "\"v0\"");
    auto r = send(req);
    ASSERT_TRUE(r.has_value()) << r.error().description.toStdString();
    EXPECT_EQ(r->status, 201);
    EXPECT_EQ(r->body, QByteArray("{\"x\":1}"));
    EXPECT_EQ(r->header("etag"), QByteArray("\"v1\""));
    ASSERT_EQ(server.requestCount(QStringLiteral("/a")), 1);
    EXPECT_EQ(server.requests().first().header("If-None-Match"), QByteArray("\"v0\""));
    EXPECT_EQ(server.requests().first().method, QByteArray("POST"));
    EXPECT_EQ(server.requests().first().body, req.body);
    // A compressed body arrives decompressed, and shorter than its announced length.
    static const char gzipped[] = "\x1f\x8b\x08\x00\x00\x00\x00\x00\x02\xff\xab\xae\x05\x00\x43\xbf\xa6\xa3\x02\x00\x00\x00";
    server.route(QStringLiteral("/gzip"), Response::text(QByteArray(gzipped, sizeof gzipped - 1), "application/octet-stream").header("Content-Encoding", "gzip"));
    EXPECT_EQ(get("gzip").value_or(HttpResponse{}).body, QByteArray("{}"));
    // Error statuses are responses, not failures.
    server.route(QStringLiteral("/missing"), Response::text("gone", "text/plain", 404));
    EXPECT_EQ(get("missing").value_or(HttpResponse{}).status, 404);

    // A cut body is a failure whether the close comes with the last bytes or
    // after the client has read them.
    for (const int pause : {0, 150}) {
        Response cut = Response::json(QByteArray(5000, 'x'));
        cut.cutAfter = pause == 0 ? 0 : 100;
        cut.cutPause = std::chrono::milliseconds(pause);
        server.route(QStringLiteral("/cut"), cut);
        const auto r = get("cut");
        ASSERT_FALSE(r.has_value()) << pause << " read as whole";
        EXPECT_EQ(r.error().kind, ErrorKind::Transport) << pause;
    }
    server.route(QStringLiteral("/big"), Response::json(QByteArray(5000, 'x')));
    HttpRequest big(server.url(QStringLiteral("big")));
    big.maxBytes = 1000;
    auto tooLarge = send(big);
    EXPECT_EQ(tooLarge.error().kind, ErrorKind::TooLarge);
    EXPECT_EQ(tooLarge.error().httpStatus, 200);
    EXPECT_EQ(send(HttpRequest(QUrl(QStringLiteral("file:///etc/passwd")))).error().kind, ErrorKind::BadURL);
    EXPECT_EQ(send(HttpRequest(QUrl(QStringLiteral("javascript:alert(1)")))).error().kind, ErrorKind::BadURL);

    // A manager that goes away ends the request as a failure. The answer
    // would come only after two minutes (the server's stop cuts the wait
    // short): a request ending within half a minute ended with the manager,
    // however busy the machine.
    server.route(QStringLiteral("/slow"), delayed(120000ms));
    auto* gone = new QNetworkAccessManager;
    QTimer::singleShot(50, [gone] { delete gone; });
    const auto late = awaitTask(httpSend(gone, HttpRequest{server.url(QStringLiteral("slow"))}), 30000);
    ASSERT_TRUE(late.has_value()) << "the request never ended";
    ASSERT_FALSE(late->has_value());
    EXPECT_EQ(late->error().kind, ErrorKind::Transport);
}

} // namespace
