// Endpoints, JSON coding, clocks, memory trimming, network reachability, HTTP, secrets in memory and the settings file.
#include "platform/Clock.h"
#include "platform/Defaults.h"
#include "platform/Endpoints.h"
#include "platform/Http.h"
#include "platform/Json.h"
#include "platform/MemoryRelief.h"
#include "platform/PathMonitor.h"
#include "platform/SecretStore.h"
#include "Await.h"
#include "FakeTime.h"
#include "LoopbackServer.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QNetworkAccessManager>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>
#include <memory>
#include <thread>

using namespace std::chrono_literals;

namespace {

TEST(Endpoints, EnvironmentOverridesOnlyValidAddresses)
{
    qputenv("TIDEWIRE_API_BASE", "http://127.0.0.1:8123/");
    qputenv("TIDEWIRE_FINNHUB_BASE", "   ");
    qputenv("TIDEWIRE_COINGECKO_BASE", "not a url");
    const Endpoints e = Endpoints::fromEnvironment();
    qunsetenv("TIDEWIRE_API_BASE");
    qunsetenv("TIDEWIRE_FINNHUB_BASE");
    qunsetenv("TIDEWIRE_COINGECKO_BASE");
    EXPECT_EQ(e.apiBase, QUrl(QStringLiteral("http://127.0.0.1:8123/")));
    EXPECT_EQ(e.finnhubBase, Endpoints::builtIn().finnhubBase);
    EXPECT_EQ(e.coingeckoBase, Endpoints::builtIn().coingeckoBase);
    EXPECT_EQ(Endpoints::builtIn().apiBase, QUrl(QStringLiteral("https://api.tidewire.invalid/")));
}

TEST(Endpoints, JoinKeepsTheBasePath)
{
    struct Case {
        const char* base;
        const char* path;
        const char* expected;
    };
    const Case cases[] = {
        {"http://h/", "v1_manifest", "http://h/v1_manifest"},
        {"http://h/api", "v1_manifest", "http://h/api/v1_manifest"},
        {"http://h/api/", "/v1_orbs", "http://h/api/v1_orbs"},
        {"http://h:81/", "v1_weather?city=Oslo", "http://h:81/v1_weather?city=Oslo"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Endpoints::join(QUrl(QString::fromLatin1(c.base)), QString::fromLatin1(c.path)).toString(),
                  QString::fromLatin1(c.expected));
}

struct Inner {
    QString name;
    static Result<Inner> fromJson(const QJsonValue& v, const JsonOptions& o)
    {
        JsonIn in(v, o, QStringLiteral("Inner"));
        Inner r;
        r.name = in.required<QString>(QStringLiteral("name"));
        if (!in.ok())
            return std::unexpected(in.error());
        return r;
    }
    QJsonObject toJson(const JsonOptions& o) const
    {
        JsonOut out(o);
        out.put(QStringLiteral("name"), name);
        return out.object();
    }
};

struct Outer {
    QString id;
    std::optional<int> count;
    std::optional<Inner> inner;
    QList<Inner> list;
    std::optional<QDateTime> at;
    static Result<Outer> fromJson(const QJsonValue& v, const JsonOptions& o)
    {
        JsonIn in(v, o, QStringLiteral("Outer"));
        Outer r;
        r.id = in.required<QString>(QStringLiteral("id"));
        r.count = in.optional<int>(QStringLiteral("count"));
        r.inner = in.optional<Inner>(QStringLiteral("inner"));
        r.list = in.optional<QList<Inner>>(QStringLiteral("list")).value_or(QList<Inner>{});
        r.at = in.optionalDate(QStringLiteral("at"));
        if (!in.ok())
            return std::unexpected(in.error());
        return r;
    }
    QJsonObject toJson(const JsonOptions& o) const
    {
        JsonOut out(o);
        out.put(QStringLiteral("id"), id);
        out.put(QStringLiteral("count"), count);
        out.put(QStringLiteral("inner"), inner);
        out.put(QStringLiteral("list"), list);
        out.putDate(QStringLiteral("at"), at);
        return out.object();
    }
};

TEST(JsonIn, StrictRules)
{
    struct Case {
        const char* doc;
        bool ok;
    };
    const Case cases[] = {
        {R"({"id":"a"})", true},
        {R"({"id":"a","count":null,"inner":null})", true},
        {R"({"id":"a","unknown":[1,2,3]})", true},
        {R"({})", false},
        {R"({"id":null})", false},
        {R"({"id":5})", false},
        {R"({"id":"a","count":1.5})", false},
        {R"({"id":"a","count":"1"})", false},
        {R"({"id":"a","count":3000000000})", false},
        {R"({"id":"a","inner":{}})", false},
        {R"({"id":"a","list":[{"name":"x"},{"nom":"y"}]})", false},
        {R"({"id":"a","list":{"name":"x"}})", false},
        {R"({"id":"a","at":"2024-02-30T00:00:00Z"})", false},
        {R"({"id":"a","at":"2024-02-29T10:00:00Z"})", true},
        {R"([{"id":"a"}])", false},
        {R"({"id":"a")", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(decodeJson<Outer>(QByteArray(c.doc)).has_value(), c.ok) << c.doc;

    // The error names the key at fault.
    auto r = decodeJson<Outer>(QByteArray(R"({"id":"a","inner":{"name":3}})"));
    ASSERT_FALSE(r.has_value());
    EXPECT_EQ(r.error().kind, ErrorKind::Decoding);
    EXPECT_TRUE(r.error().description.contains(QStringLiteral("name"))) << r.error().description.toStdString();
}

TEST(JsonIn, RoundTripLeavesOutAbsentOptionals)
{
    Outer o;
    o.id = QStringLiteral("x");
    o.inner = Inner{QStringLiteral("n")};
    o.list = {Inner{QStringLiteral("p")}};
    o.at = QDateTime(QDate(2024, 5, 1), QTime(12, 30, 15), Qt::UTC);
    const JsonOptions opts;
    const QJsonObject json = o.toJson(opts);
    EXPECT_FALSE(json.contains(QStringLiteral("count")));
    EXPECT_EQ(json.value(QStringLiteral("at")).toString(), QStringLiteral("2024-05-01T12:30:15Z"));
    auto back = Outer::fromJson(json, opts);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->at, o.at);
    EXPECT_EQ(back->inner->name, QStringLiteral("n"));
    EXPECT_EQ(back->list.first().name, QStringLiteral("p"));
}

TEST(Iso8601, Forms)
{
    const QDateTime base(QDate(2024, 5, 1), QTime(12, 30, 0), Qt::UTC);
    struct Case {
        const char* text;
        std::optional<QDateTime> expected;
    };
    const Case cases[] = {
        {"2024-05-01T12:30:00Z", base},
        {"2024-05-01T12:30:00.250Z", base.addMSecs(250)},
        {"2024-05-01T12:30:00.123456Z", base.addMSecs(123)},
        {"2024-05-01T14:30:00+02:00", base},
        {"2024-05-01T07:00:00-0530", base},
        {"2024-05-01 12:30:00Z", std::nullopt},
        {"2024-05-01T12:30:00", std::nullopt},
        {"2024-05-01", std::nullopt},
        {"2024-13-01T12:30:00Z", std::nullopt},
        {" 2024-05-01T12:30:00Z", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(parseIso8601(QString::fromLatin1(c.text)), c.expected) << c.text;
}

TEST(DateCoding, ReferenceSecondsRoundTrip)
{
    const auto coding = DateCoding::referenceSeconds();
    EXPECT_EQ(coding.decode(QJsonValue(0.0)), QDateTime(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC));
    const QDateTime d(QDate(2026, 12, 6), QTime(21, 0, 0, 500), Qt::UTC);
    EXPECT_EQ(coding.decode(coding.encode(d)), d);
    EXPECT_FALSE(coding.decode(QJsonValue(QStringLiteral("0"))).has_value());
}

QCoro::Task<void> sleeper(Scheduler& s, std::chrono::milliseconds d, std::stop_token t, std::optional<bool>* out)
{
    *out = co_await s.sleep(d, t);
}

TEST(FakeTime, SleepEndsWhenDueOrWithFalseWhenStopped)
{
    FakeTime time;
    std::optional<bool> due, stopped, stoppedBefore;
    std::stop_source stop, early;
    early.request_stop();
    auto a = sleeper(time, std::chrono::seconds(300), {}, &due);
    auto b = sleeper(time, std::chrono::seconds(300), stop.get_token(), &stopped);
    auto c = sleeper(time, std::chrono::seconds(1), early.get_token(), &stoppedBefore);
    EXPECT_EQ(stoppedBefore, false) << "an already stopped token returns at once";
    stop.request_stop();
    EXPECT_FALSE(stopped.has_value()) << "a stop must not resume inside request_stop()";
    FakeTime::settle();
    EXPECT_EQ(stopped, false);
    EXPECT_EQ(time.pendingCount(), 1) << "the stopped sleep's timer is cancelled";
    time.advance(std::chrono::seconds(299));
    EXPECT_FALSE(due.has_value());
    time.advance(std::chrono::seconds(1));
    EXPECT_EQ(due, true);
}

TEST(FakeTime, CallbacksRunInDueOrderIncludingOnesScheduledOnTheWay)
{
    FakeTime time;
    QStringList order;
    time.schedule(std::chrono::seconds(3), [&] { order << QStringLiteral("c"); });
    time.schedule(std::chrono::seconds(1), [&] {
        order << QStringLiteral("a");
        time.schedule(std::chrono::seconds(1), [&] { order << QStringLiteral("b"); });
    });
    auto dropped = time.schedule(std::chrono::seconds(2), [&] { order << QStringLiteral("x"); });
    time.cancel(dropped);
    const QDateTime start = time.now();
    time.advance(std::chrono::seconds(5));
    EXPECT_EQ(order, (QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")}));
    EXPECT_EQ(start.secsTo(time.now()), 5);
}

TEST(SingleShot, StartReplacesAndCancelDrops)
{
    FakeTime time;
    int fired = 0;
    {
        SingleShot shot(time);
        shot.start(std::chrono::milliseconds(300), [&] { fired += 1; });
        time.advance(std::chrono::milliseconds(200));
        shot.start(std::chrono::milliseconds(300), [&] { fired += 10; });  // debounce
        time.advance(std::chrono::milliseconds(200));
        EXPECT_EQ(fired, 0);
        time.advance(std::chrono::milliseconds(100));
        EXPECT_EQ(fired, 10);
        EXPECT_FALSE(shot.isActive());
        shot.start(std::chrono::milliseconds(100), [&] { fired += 100; });
        shot.cancel();
        time.advance(std::chrono::seconds(1));
        EXPECT_EQ(fired, 10);
        shot.start(std::chrono::milliseconds(100), [&] { fired += 1000; });
    }  // destroyed while pending
    time.advance(std::chrono::seconds(1));
    EXPECT_EQ(fired, 10);
}

TEST(TimerScheduler, RealSleepElapses)
{
    auto result = awaitTask(Scheduler::system().sleep(std::chrono::milliseconds(5), {}));
    ASSERT_TRUE(result.has_value());
    EXPECT_TRUE(*result);
}

TEST(MemoryReliefTest, TrimsOnceAfterWindowsDeletedOnCloseHaveGone)
{
    FakeTime time;
    int trims = 0;
    MemoryRelief relief(time, [&trims] { ++trims; });

    struct Case {
        const char* name;
        bool deleteOnClose;
        bool child;
        int trims;
    };
    const Case cases[] = {
        {"a window deleted on close", true, false, 1},
        {"a window that stays (the strip)", false, false, 0},
        {"a widget inside a window", true, true, 0},
    };
    for (const Case& c : cases) {
        trims = 0;
        QWidget parent;
        auto* widget = new QWidget(c.child ? &parent : nullptr);
        widget->setAttribute(Qt::WA_DeleteOnClose, c.deleteOnClose);
        if (!c.deleteOnClose && !c.child)
            widget->setParent(&parent, Qt::Window);  // owned, so it goes with the case
        parent.show();
        widget->show();
        widget->close();
        time.advance(MemoryRelief::delay - 1ms);
        EXPECT_EQ(trims, 0) << c.name << ": not at once, after the window has been deleted";
        time.advance(1ms);
        EXPECT_EQ(trims, c.trims) << c.name;
    }

    // Two windows closing in a row: one trim, after the second.
    trims = 0;
    auto* search = new QWidget;
    auto* settings = new QWidget;
    for (QWidget* w : {search, settings}) {
        w->setAttribute(Qt::WA_DeleteOnClose);
        w->show();
    }
    search->close();
    time.advance(500ms);
    settings->close();
    time.advance(MemoryRelief::delay);
    EXPECT_EQ(trims, 1);
}

using Reach = QNetworkInformation::Reachability;

TEST(PathMonitor, ReportsOnlyRealChanges)
{
    NetworkPathMonitor monitor;
    QSignalSpy spy(&monitor, &PathMonitor::onlineChanged);
    EXPECT_TRUE(monitor.isOnline()) << "online until told otherwise";

    // Only Disconnected is offline: a backend that cannot tell must not block
    // refreshes, and a LAN-only path still reaches servers on the LAN.
    const struct {
        Reach report;
        std::optional<bool> emitted;
        bool online;
    } steps[] = {
        {Reach::Online, std::nullopt, true},       {Reach::Unknown, std::nullopt, true},
        {Reach::Disconnected, false, false},       {Reach::Disconnected, std::nullopt, false},
        {Reach::Local, true, true},                {Reach::Site, std::nullopt, true},
        {Reach::Online, std::nullopt, true},       {Reach::Local, std::nullopt, true},
        {Reach::Disconnected, false, false},       {Reach::Unknown, true, true},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(int(step.report));
        spy.clear();
        monitor.reachabilityReported(step.report);
        ASSERT_EQ(spy.size(), step.emitted ? 1 : 0);
        if (step.emitted) {
            EXPECT_EQ(spy.at(0).at(0).toBool(), *step.emitted);
        }
        EXPECT_EQ(monitor.isOnline(), step.online);
        EXPECT_EQ(reachabilityIsOnline(step.report), step.online);
    }
}

TEST(PathMonitor, AReportFromAnotherThreadArrivesOnTheMainThread)
{
    NetworkPathMonitor monitor;
    QList<QThread*> deliveredOn;
    QObject::connect(&monitor, &PathMonitor::onlineChanged, &monitor,
                     [&](bool) { deliveredOn << QThread::currentThread(); }, Qt::DirectConnection);

    std::thread([&] { monitor.reachabilityReported(Reach::Disconnected); }).join();
    EXPECT_TRUE(deliveredOn.isEmpty()) << "nothing may happen on the reporting thread";
    EXPECT_TRUE(monitor.isOnline()) << "state changes on the main thread only";

    QCoreApplication::processEvents();
    ASSERT_EQ(deliveredOn.size(), 1);
    EXPECT_EQ(deliveredOn.first(), QCoreApplication::instance()->thread());
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
    Q_EMIT info->reachabilityChanged(info->reachability());
    EXPECT_EQ(monitor->isOnline(), reachabilityIsOnline(info->reachability()));
}

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

TEST_F(HttpTest, ReturnsStatusHeadersAndBodyAndSendsHeadersAndBody)
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
    EXPECT_EQ(server.requests().first().method, QByteArray("GET"));

    req.method = "POST";
    req.body = "{\"message\":\"hi\"}";
    ASSERT_TRUE(send(req).has_value());
    ASSERT_EQ(server.requestCount(QStringLiteral("/a")), 2);
    EXPECT_EQ(server.requests().last().method, QByteArray("POST"));
    EXPECT_EQ(server.requests().last().body, req.body);

    // A compressed body arrives decompressed, and shorter than its announced length.
    static const char gzipped[] = "\x1f\x8b\x08\x00\x00\x00\x00\x00\x02\xff\xab\xae\x05\x00\x43\xbf\xa6\xa3\x02\x00\x00\x00";
    server.route(QStringLiteral("/gzip"),
                 Response::text(QByteArray(gzipped, sizeof gzipped - 1), "application/octet-stream")
                     .header("Content-Encoding", "gzip"));
    EXPECT_EQ(send(HttpRequest(server.url(QStringLiteral("gzip")))).value_or(HttpResponse{}).body, QByteArray("{}"));

    // Error statuses are responses, not failures.
    server.route(QStringLiteral("/missing"), Response::text("gone", "text/plain", 404));
    server.route(QStringLiteral("/same"), Response::withStatus(304));
    EXPECT_EQ(send(HttpRequest(server.url(QStringLiteral("missing")))).value_or(HttpResponse{}).status, 404);
    EXPECT_EQ(send(HttpRequest(server.url(QStringLiteral("same")))).value_or(HttpResponse{}).status, 304);
}

TEST_F(HttpTest, FailureKinds)
{
    server.route(QStringLiteral("/slow"), [] { Response r = Response::json("{}"); r.delay = std::chrono::milliseconds(2000); return r; }());
    server.route(QStringLiteral("/stall"), [] { Response r = Response::json(QByteArray(100, 'x')); r.stall = true; return r; }());
    server.route(QStringLiteral("/big"), Response::json(QByteArray(5000, 'x')));
    // A cut body is a failure whether the close comes with the last bytes or
    // after the client has read them.
    for (const int pause : {0, 150}) {
        Response cut = Response::json(QByteArray(5000, 'x'));
        cut.cutAfter = pause == 0 ? 0 : 100;
        cut.cutPause = std::chrono::milliseconds(pause);
        server.route(QStringLiteral("/cut%1").arg(pause), cut);
    }

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

    for (const char* cut : {"cut0", "cut150"}) {
        const auto r = send(HttpRequest(server.url(QString::fromLatin1(cut))));
        ASSERT_FALSE(r.has_value()) << cut << " read as whole";
        EXPECT_EQ(r.error().kind, ErrorKind::Transport) << cut;
    }

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

TEST(MemorySecretStore, KeepsOneSecretPerServiceAndAccountAndFailuresChangeNothing)
{
    const QString service = QStringLiteral("tidewire.client"), account = QStringLiteral("finnhub_api_key");
    MemorySecretStore store;
    EXPECT_EQ(store.read(service, account), std::nullopt);
    for (const auto& [s, a, secret] : {std::tuple{service, account, "one"}, {service, account, "two"},
                                       {service, QStringLiteral("other"), "x"}, {QStringLiteral("a\nb"), QStringLiteral("c"), "1st"},
                                       {QStringLiteral("a"), QStringLiteral("b\nc"), "2nd"}})
        ASSERT_TRUE(store.write(s, a, QString::fromLatin1(secret)).has_value());
    EXPECT_EQ(store.read(service, account), QStringLiteral("two"));
    EXPECT_EQ(store.read(QStringLiteral("a\nb"), QStringLiteral("c")), QStringLiteral("1st"));
    EXPECT_EQ(store.read(QStringLiteral("a"), QStringLiteral("b\nc")), QStringLiteral("2nd"));
    ASSERT_TRUE(store.remove(service, QStringLiteral("other")).has_value());
    EXPECT_EQ(store.read(service, QStringLiteral("other")), std::nullopt);
    EXPECT_TRUE(store.remove(service, QStringLiteral("other")).has_value()) << "removing an absent secret succeeds";
    EXPECT_EQ(store.readCount, 5);

    // Failing writes, then no service at all.
    for (const auto& [failWrites, kind, readable] : {std::tuple{true, ErrorKind::Io, true},
                                                     std::tuple{false, ErrorKind::Unavailable, false}}) {
        store.failWrites = failWrites;
        store.unavailable = !failWrites;
        const auto written = store.write(service, account, QStringLiteral("new"));
        ASSERT_FALSE(written.has_value());
        EXPECT_EQ(written.error().kind, kind);
        EXPECT_FALSE(written.error().description.contains(QStringLiteral("new")));
        const auto removed = store.remove(service, account);
        ASSERT_FALSE(removed.has_value());
        EXPECT_EQ(removed.error().kind, kind);
        EXPECT_EQ(store.read(service, account).has_value(), readable);
        store.failWrites = store.unavailable = false;
        EXPECT_EQ(store.read(service, account), QStringLiteral("two"));
    }
}

class DefaultsFileTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path() const { return dir.path() + QStringLiteral("/tidewire/defaults.json"); }
};

TEST_F(DefaultsFileTest, EveryValueTypeAndTheNewestWriteSurviveARestart)
{
    {
        auto d = Defaults::openFile(path());
        d->set(QStringLiteral("flag"), true);
        d->set(QStringLiteral("speed"), 1.5);
        d->set(QStringLiteral("position"), QStringLiteral("bottom"));
        d->set(QStringLiteral("ids"), QStringList{QStringLiteral("a"), QStringLiteral("b")});
        d->set(QStringLiteral("config"), QJsonObject{{QStringLiteral("mix"), QStringLiteral("markets")}});
        d->set(QStringLiteral("empty"), QString());
        for (int i = 0; i < 500; ++i) {
            d->set(QStringLiteral("counter"), i);
            if (i % 97 == 0) {
                ASSERT_TRUE(d->flush());
            }
        }
        // No flush: destruction saves what is pending.
    }
    auto d = Defaults::openFile(path());
    EXPECT_TRUE(d->boolValue(QStringLiteral("flag"), false));
    EXPECT_DOUBLE_EQ(d->doubleValue(QStringLiteral("speed"), 0), 1.5);
    EXPECT_EQ(d->intValue(QStringLiteral("counter"), -1), 499);
    EXPECT_EQ(d->stringValue(QStringLiteral("position")), QStringLiteral("bottom"));
    EXPECT_EQ(d->stringList(QStringLiteral("ids")), (QStringList{QStringLiteral("a"), QStringLiteral("b")}));
    EXPECT_EQ(d->objectValue(QStringLiteral("config")).value(QStringLiteral("mix")).toString(), QStringLiteral("markets"));
    EXPECT_TRUE(d->contains(QStringLiteral("empty")));
    EXPECT_EQ(d->stringValue(QStringLiteral("empty"), QStringLiteral("x")), QString());
}

TEST_F(DefaultsFileTest, ACorruptFileIsKeptAsideAndNotOverwritten)
{
    for (const QByteArray& bad : {QByteArray("{\"tickerSize\": 4, broken"), QByteArray("[1,2]")}) {
        SCOPED_TRACE(bad.toStdString());
        QDir(dir.path() + QStringLiteral("/tidewire")).removeRecursively();
        QDir().mkpath(dir.path() + QStringLiteral("/tidewire"));
        QFile f(path());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bad);
        f.close();
        auto d = Defaults::openFile(path());
        EXPECT_TRUE(d->keys().isEmpty());
        EXPECT_FALSE(QFile::exists(path()));
        const QStringList aside = QDir(dir.path() + QStringLiteral("/tidewire"))
                                      .entryList({QStringLiteral("defaults.json.corrupt-*")}, QDir::Files);
        ASSERT_EQ(aside.size(), 1);
        QFile kept(dir.path() + QStringLiteral("/tidewire/") + aside.first());
        ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
        EXPECT_EQ(kept.readAll(), bad);

        d->set(QStringLiteral("fresh"), true);
        EXPECT_TRUE(d->flush());
        EXPECT_TRUE(Defaults::openFile(path())->boolValue(QStringLiteral("fresh"), false));
    }
}

TEST(Defaults, WrongTypesReadAsTheCallersDefaultAndChangedFiresOnRealChanges)
{
    auto d = Defaults::inMemory();
    QSignalSpy spy(d.get(), &Defaults::changed);
    d->set(QStringLiteral("s"), QStringLiteral("text"));
    d->set(QStringLiteral("n"), 2.5);
    d->set(QStringLiteral("mixed"), QJsonArray{QStringLiteral("a"), 1});
    EXPECT_EQ(d->boolValue(QStringLiteral("s"), true), true);
    EXPECT_EQ(d->doubleValue(QStringLiteral("s"), 3.0), 3.0);
    EXPECT_EQ(d->intValue(QStringLiteral("n"), 9), 9);
    EXPECT_EQ(d->stringValue(QStringLiteral("n"), QStringLiteral("d")), QStringLiteral("d"));
    EXPECT_EQ(d->stringList(QStringLiteral("mixed"), {QStringLiteral("f")}), QStringList{QStringLiteral("f")});
    EXPECT_EQ(d->intValue(QStringLiteral("absent"), 2), 2);
    EXPECT_TRUE(d->objectValue(QStringLiteral("mixed")).isEmpty());
    EXPECT_EQ(d->value(QStringLiteral("n")).toDouble(), 2.5) << "a wrong-type read never rewrites the value";

    spy.clear();
    d->set(QStringLiteral("k"), 1);
    d->set(QStringLiteral("k"), 1);
    d->set(QStringLiteral("k"), 2);
    d->remove(QStringLiteral("k"));
    d->remove(QStringLiteral("k"));
    d->set(QStringLiteral("k"), QJsonValue());  // null removes; already absent
    ASSERT_EQ(spy.count(), 3);
    EXPECT_EQ(spy.at(0).at(0).toString(), QStringLiteral("k"));

    Defaults::setStandard(d.get());
    Defaults::standard().set(QStringLiteral("x"), 5);
    EXPECT_EQ(d->intValue(QStringLiteral("x"), 0), 5);
    Defaults::setStandard(nullptr);
    EXPECT_TRUE(Defaults::standardFilePath().endsWith(QStringLiteral("/tidewire/defaults.json")));
}

TEST_F(DefaultsFileTest, CachedValuesLiveInTheirOwnFilesAndTheNewestWins)
{
    const QString cacheDir = dir.filePath(QStringLiteral("cache"));
    {
        auto defaults = Defaults::openFile(path(), cacheDir);
        // Many writes in flight at once: the last one asked for is the one kept.
        for (int i = 0; i < 50; ++i)
            defaults->caches().setLater(QStringLiteral("k"), [i] { return QJsonValue(QJsonArray{i}); });
        defaults->caches().set(QStringLiteral("gone"), QJsonObject{{QStringLiteral("a"), 1}});
        defaults->caches().set(QStringLiteral("gone"), QJsonValue());
        EXPECT_EQ(defaults->caches().value(QStringLiteral("k")), QJsonArray{49});
        EXPECT_TRUE(defaults->keys().isEmpty());
    }
    auto reopened = Defaults::openFile(path(), cacheDir);
    EXPECT_EQ(reopened->caches().value(QStringLiteral("k")), QJsonArray{49});
    EXPECT_FALSE(reopened->caches().contains(QStringLiteral("gone")));
    EXPECT_FALSE(QFile::exists(cacheDir + QStringLiteral("/gone")));

    // A file where the cache folder should be: the failed write is reported, once.
    QFile blocker(dir.filePath(QStringLiteral("blocker")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    auto blocked = Defaults::openFile(path(), blocker.fileName());
    blocked->caches().set(QStringLiteral("k"), QJsonArray{1});
    EXPECT_FALSE(blocked->caches().flush());
    EXPECT_TRUE(blocked->caches().flush()) << "reported once";
    EXPECT_FALSE(blocked->caches().contains(QStringLiteral("k")));
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

} // namespace
