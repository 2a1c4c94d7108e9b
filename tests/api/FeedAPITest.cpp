#include "api/FeedAPI.h"
#include "platform/base/Clock.h"

#include "ApiTestUtil.h"
#include "Await.h"
#include "FakeTime.h"
#include "LogCapture.h"
#include "LoopbackServer.h"

#include <QTimer>
#include <chrono>
#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;
using Response = LoopbackServer::Response;

// Runs every callback on the next event-loop turn and records the delays it
// was asked for, so retry pauses cost no real time.
class RecordingScheduler final : public Scheduler {
public:
    TimerId schedule(Duration delay, std::function<void()> callback) override
    {
        const TimerId id = m_next++;
        delays.append(delay);
        QTimer::singleShot(0, &m_context, [this, id, callback = std::move(callback)] {
            if (!m_cancelled.contains(id))
                callback();
        });
        return id;
    }
    void cancel(TimerId id) override { m_cancelled.append(id); }
    QList<Duration> delays;

private:
    QObject m_context;
    QList<TimerId> m_cancelled;
    TimerId m_next = 1;
};

struct Probe {
    QString value;
    static Result<Probe> fromJson(const QJsonValue& json, const JsonOptions& options)
    {
        JsonIn in(json, options, QStringLiteral("Probe"));
        Probe p{in.required<QString>(QStringLiteral("value"))};
        if (!in.ok())
            return std::unexpected(in.error());
        return p;
    }
};
using ProbeResult = Result<Fetched<Probe>>;

QByteArray probeBody(const QByteArray& value) { return "{\"value\":\"" + value + "\"}"; }

Response slow(Response r, std::chrono::milliseconds delay)
{
    r.delay = delay;
    return r;
}

class FeedAPITest : public ::testing::Test {
protected:
    LoopbackServer server;
    RecordingScheduler scheduler;
    std::unique_ptr<FeedAPI> api = std::make_unique<FeedAPI>(scheduler, config());

    FeedAPIConfig config() const
    {
        FeedAPIConfig c;
        c.baseURL = server.baseUrl();
        return c;
    }

    ProbeResult probe(FeedAPI& client, const QString& path, std::stop_token stop = {})
    {
        auto r = awaitTask(client.get<Probe>(path, stop));
        EXPECT_TRUE(r.has_value()) << "the call did not finish";
        return r.value_or(fail(ErrorKind::Transport, QStringLiteral("did not finish")));
    }
    ProbeResult probe(const QString& path = QStringLiteral("v1_probe")) { return probe(*api, path); }

    // Starts a call that finishes later into `out`.
    static QCoro::Task<void> collect(QCoro::Task<ProbeResult> t, std::optional<ProbeResult>* out)
    {
        out->emplace(co_await std::move(t));
    }
    void waitForRequests(int n, const QString& path = QStringLiteral("/v1_probe"))
    {
        while (server.requestCount(path) < n)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }

    QByteArray ifNoneMatch(int index, const QString& path = QStringLiteral("/v1_probe"))
    {
        const auto requests = server.requestsFor(path);
        return index < requests.size() ? requests[index].header("If-None-Match") : QByteArray("<no request>");
    }
    QString lastTarget() const
    {
        const auto requests = server.requests();
        return requests.isEmpty() ? QStringLiteral("<none>") : requests.last().rawTarget;
    }
    QJsonObject sentJson(const QString& path) const
    {
        const auto requests = server.requestsFor(path);
        return requests.isEmpty() ? QJsonObject() : jsonObject(requests.last().body);
    }
};

TEST_F(FeedAPITest, RevalidatesWithTheETagByteForByteAndHandsBackTheRememberedBody)
{
    const QByteArray etag = "W/\"a b\\\"c\"";
    // A small body, and one large enough to be decoded on a worker thread.
    for (const QByteArray& value : {QByteArray("first"), QByteArray(64 * 1024, 'x')}) {
        const QString path = QStringLiteral("/v1_probe%1").arg(value.size());
        server.script(path, {Response::json(probeBody(value)).header("ETag", etag), Response::withStatus(304)});
        FeedAPI client(scheduler, config());
        for (bool revalidated : {false, true}) {
            auto r = probe(client, path.mid(1));
            ASSERT_TRUE(r.has_value()) << r.error().description.toStdString();
            EXPECT_EQ(r->notModified, revalidated);
            EXPECT_EQ(r->value.value, QString::fromLatin1(value));
        }
        EXPECT_FALSE(server.requestsFor(path)[0].headers.contains("if-none-match"));
        EXPECT_EQ(ifNoneMatch(1, path), etag);
    }
    // A 304 with nothing remembered is not data.
    server.route(QStringLiteral("/v1_none"), Response::withStatus(304));
    EXPECT_EQ(probe(QStringLiteral("v1_none")).error().kind, ErrorKind::NotModified);
}

TEST_F(FeedAPITest, EachQueryHasItsOwnETag)
{
    server.handle(QStringLiteral("/v1_probe"), [](const LoopbackServer::Request& r) {
        return Response::json(probeBody("x")).header("Etag", "\"" + r.rawTarget.toUtf8() + "\"");
    });
    for (const char* query : {"q=1", "q=2", "q=1", "q=10"})
        ASSERT_TRUE(probe(QStringLiteral("v1_probe?") + QLatin1String(query)));
    EXPECT_EQ(ifNoneMatch(0) + ifNoneMatch(1) + ifNoneMatch(3), QByteArray());
    EXPECT_EQ(ifNoneMatch(2), QByteArray("\"/v1_probe?q=1\""));
}

TEST_F(FeedAPITest, A304AnswersTheETagThatWasSentNotANewerOne)
{
    // Call A revalidates with "v1" and gets a slow 304; meanwhile call B
    // receives a new body under "v2". A must hand back the "v1" body.
    server.script(QStringLiteral("/v1_probe"), {Response::json(probeBody("old")).header("ETag", "\"v1\""),
                                                slow(Response::withStatus(304), 400ms),
                                                Response::json(probeBody("new")).header("ETag", "\"v2\"")});
    ASSERT_TRUE(probe());
    std::optional<ProbeResult> late;
    auto pending = collect(api->get<Probe>(QStringLiteral("v1_probe")), &late);
    waitForRequests(2);
    auto fresh = probe();
    ASSERT_TRUE(fresh.has_value());
    EXPECT_EQ(fresh->value.value, QStringLiteral("new"));
    awaitTask(std::move(pending));
    ASSERT_TRUE(late && late->has_value());
    EXPECT_TRUE((*late)->notModified);
    EXPECT_EQ((*late)->value.value, QStringLiteral("old"));
    ASSERT_TRUE(probe());
    EXPECT_EQ(ifNoneMatch(3), QByteArray("\"v2\"")) << "the newest entry is what the next request sends";
}

TEST_F(FeedAPITest, ServerErrorsAreRetriedWithGrowingPausesThenLoggedOnce)
{
    struct Case {
        QList<int> statuses;
        int requests;
        int failedStatus;  // 0: the call succeeds
    };
    const Case cases[] = {
        {{503, 500, 200}, 3, 0}, {{503, 503, 503}, 3, 503}, {{500, 502, 504, 200}, 3, 504}, {{404}, 1, 404},
        {{400}, 1, 400}, {{300}, 1, 300}, {{502, 429}, 2, 429},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.statuses.first() * 10 + c.statuses.size());
        server.clearRequests();
        scheduler.delays.clear();
        QList<Response> script;
        for (int s : c.statuses)
            script.append(s == 200 ? Response::json(probeBody("ok")) : Response::withStatus(s));
        server.script(QStringLiteral("/v1_status"), script);
        FeedAPI client(scheduler, config());
        LogCapture log;
        auto r = probe(client, QStringLiteral("v1_status"));
        EXPECT_EQ(server.requestCount(QStringLiteral("/v1_status")), c.requests);
        ASSERT_EQ(scheduler.delays.size(), c.requests - 1);
        for (int i = 0; i < scheduler.delays.size(); ++i) {
            EXPECT_GE(scheduler.delays[i].count(), 300 * (i + 1));
            EXPECT_LE(scheduler.delays[i].count(), 300 * (i + 1) + 200);
        }
        QStringList logged;
        for (const LogCapture::Line& l : LogCapture::lines())
            if (l.category == QLatin1String("tidewire.client.feedapi"))
                logged.append(QString::number(l.type) + QStringLiteral(": ") + l.message);
        if (c.failedStatus == 0) {
            ASSERT_TRUE(r.has_value());
            EXPECT_EQ(r->value.value, QStringLiteral("ok"));
            EXPECT_TRUE(logged.isEmpty());
            continue;
        }
        ASSERT_FALSE(r.has_value());
        EXPECT_EQ(r.error().kind, ErrorKind::BadServerResponse);
        EXPECT_EQ(r.error().httpStatus, c.failedStatus);
        EXPECT_EQ(logged, QStringList{QString::number(QtCriticalMsg)
                                      + QStringLiteral(": server error %1 for v1_status (after retries)").arg(c.failedStatus)});
    }
}

TEST_F(FeedAPITest, UndecodableBodyKeepsTheOlderETag)
{
    server.script(QStringLiteral("/v1_probe"), {Response::json(probeBody("one")).header("ETag", "\"e1\""),
                                                Response::json("{\"other\":1}").header("ETag", "\"e2\""),
                                                Response::json(probeBody("two")), Response::withStatus(304)});
    ASSERT_TRUE(probe());
    EXPECT_EQ(probe().error().kind, ErrorKind::Decoding);
    auto noTag = probe();
    ASSERT_TRUE(noTag.has_value());
    EXPECT_EQ(noTag->value.value, QStringLiteral("two"));
    auto same = probe();
    ASSERT_TRUE(same.has_value());
    EXPECT_TRUE(same->notModified);
    EXPECT_EQ(same->value.value, QStringLiteral("one"));
    EXPECT_EQ(ifNoneMatch(1), QByteArray("\"e1\""));
    EXPECT_EQ(ifNoneMatch(2), QByteArray("\"e1\"")) << "an undecodable reply stores no ETag";
    EXPECT_EQ(ifNoneMatch(3), QByteArray("\"e1\"")) << "a reply without ETag keeps the earlier one";

    // No earlier entry: the next request after an undecodable reply is unconditional.
    server.script(QStringLiteral("/v1_fresh"), {Response::json("nope").header("ETag", "\"z\""), Response::json(probeBody("ok"))});
    EXPECT_EQ(probe(QStringLiteral("v1_fresh")).error().kind, ErrorKind::Decoding);
    ASSERT_TRUE(probe(QStringLiteral("v1_fresh")));
    EXPECT_EQ(ifNoneMatch(1, QStringLiteral("/v1_fresh")), QByteArray());
}

TEST_F(FeedAPITest, TransportFailuresAreDistinctKindsAndNotRetried)
{
    server.route(QStringLiteral("/v1_slow"), slow(Response::json(probeBody("late")), 1500ms));
    Response stall = Response::json(QByteArray(200, ' '));
    stall.stall = true;
    server.route(QStringLiteral("/v1_stall"), stall);
    server.route(QStringLiteral("/v1_big"), Response::json(probeBody(QByteArray(5000, 'x'))));
    LoopbackServer closed;
    FeedAPIConfig shortTimeout = config(), idle = config(), capped = config(), refused = config();
    shortTimeout.timeout = 150ms;
    idle.idleTimeout = 150ms;
    capped.maxBytes = 1000;
    refused.baseURL = closed.baseUrl();
    closed.stop();
    const std::tuple<FeedAPIConfig, const char*, ErrorKind> cases[] = {
        {shortTimeout, "v1_slow", ErrorKind::TimedOut},
        {idle, "v1_stall", ErrorKind::TimedOut},  // Qt's transfer timeout is a time-out, not a cancellation
        {capped, "v1_big", ErrorKind::TooLarge},
        {refused, "v1_probe", ErrorKind::Transport},
    };
    for (const auto& [c, path, kind] : cases) {
        FeedAPI client(scheduler, c);
        EXPECT_EQ(probe(client, QString::fromUtf8(path)).error().kind, kind) << path;
    }
    FeedAPI offline(scheduler, refused);
    auto feedback = awaitTask(offline.sendFeedback(5, QStringLiteral("x"), std::nullopt, std::nullopt, std::nullopt));
    ASSERT_TRUE(feedback && !feedback->has_value());
    EXPECT_EQ(feedback->error().kind, ErrorKind::Transport);
    auto suggestion = awaitTask(offline.suggestFeed(QStringLiteral("u"), std::nullopt));
    ASSERT_TRUE(suggestion && !suggestion->has_value());
    EXPECT_EQ(suggestion->error().kind, ErrorKind::Transport);
    EXPECT_TRUE(scheduler.delays.isEmpty());
}

// A chunked reply whose connection closes part way may reach the client as a
// transport failure or as a shorter body; JSON never reads the shorter one.
TEST_F(FeedAPITest, AChunkedReplyCutPartWayIsNeverAValue)
{
    Response cut = Response::json(probeBody(QByteArray(5000, 'x')));
    cut.chunked = true;
    cut.cutAfter = 2000;
    server.route(QStringLiteral("/v1_cut"), cut);
    for (int i = 0; i < 10; ++i) {
        const ProbeResult r = probe(QStringLiteral("v1_cut"));
        ASSERT_FALSE(r.has_value());
        EXPECT_TRUE(r.error().is(ErrorKind::Transport) || r.error().is(ErrorKind::Decoding)) << errorKindName(r.error().kind).toStdString();
    }
}

TEST_F(FeedAPITest, PathsResolveUnderTheBaseAndBadOnesSendNothing)
{
    for (const char* path : {"v1 probe", "http://elsewhere.test/v1_probe", "//elsewhere.test/x", "", "/v1_probe"})
        EXPECT_EQ(probe(QString::fromUtf8(path)).error().kind, ErrorKind::BadURL) << path;
    FeedAPIConfig ftp, nested = config();
    ftp.baseURL = QUrl(QStringLiteral("ftp://127.0.0.1/"));
    EXPECT_EQ(probe(*std::make_unique<FeedAPI>(scheduler, ftp), QStringLiteral("v1_probe")).error().kind, ErrorKind::BadURL);
    EXPECT_EQ(server.requestCount(), 0);

    server.route(QStringLiteral("/api/v1_probe"), Response::json(probeBody("deep")));
    nested.baseURL = server.url(QStringLiteral("api/"));
    FeedAPI client(scheduler, nested);
    auto r = probe(client, QStringLiteral("v1_probe"));
    ASSERT_TRUE(r.has_value()) << r.error().description.toStdString();
    EXPECT_EQ(r->value.value, QStringLiteral("deep"));
}

// A server address is a folder whether or not it ends in "/": the paths go
// below its last segment, never beside it.
TEST_F(FeedAPITest, TheBaseIsAFolderWithOrWithoutItsFinalSlash)
{
    server.route(QStringLiteral("/api/v1_probe"), Response::json(probeBody("deep")));
    server.route(QStringLiteral("/api/v2/v1_probe"), Response::json(probeBody("deeper")));
    server.route(QStringLiteral("/v1_probe"), Response::json(probeBody("top")));
    const QString origin = server.baseUrl().toString(QUrl::RemovePath);
    const struct { const char* base; const char* path; const char* target; const char* value; } cases[] = {
        {"/api/", "v1_probe", "/api/v1_probe", "deep"},
        {"/api", "v1_probe", "/api/v1_probe", "deep"},
        {"/api", "v1_probe?q=1", "/api/v1_probe?q=1", "deep"},
        {"/api/v2", "v1_probe", "/api/v2/v1_probe", "deeper"},
        // A query on the base is no part of the folder; the path brings its own.
        {"/api?key=1", "v1_probe?q=2", "/api/v1_probe?q=2", "deep"},
        {"", "v1_probe", "/v1_probe", "top"},
        {"/", "v1_probe", "/v1_probe", "top"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.base);
        FeedAPIConfig based = config();
        based.baseURL = QUrl(origin + QString::fromUtf8(c.base), QUrl::StrictMode);
        ASSERT_TRUE(based.baseURL.isValid());
        FeedAPI client(scheduler, based);
        auto r = probe(client, QString::fromUtf8(c.path));
        ASSERT_TRUE(r.has_value()) << r.error().description.toStdString() << " at " << lastTarget().toStdString();
        EXPECT_EQ(lastTarget(), QString::fromUtf8(c.target));
        EXPECT_EQ(r->value.value, QString::fromUtf8(c.value));
    }
}

TEST_F(FeedAPITest, StoppedCallsEndAsCancelledNeverAsNotModified)
{
    server.script(QStringLiteral("/v1_probe"), {Response::json(probeBody("a")).header("ETag", "\"t\""),
                                                slow(Response::withStatus(304), 2000ms)});
    ASSERT_TRUE(probe());
    std::stop_source source, already;
    QTimer::singleShot(100, [&source] { source.request_stop(); });
    EXPECT_EQ(probe(*api, QStringLiteral("v1_probe"), source.get_token()).error().kind, ErrorKind::Cancelled);
    already.request_stop();
    EXPECT_EQ(probe(*api, QStringLiteral("v1_probe"), already.get_token()).error().kind, ErrorKind::Cancelled);

    // A stop during a retry pause ends the call; the pause never ends by itself.
    FakeTime time;
    server.route(QStringLiteral("/v1_down"), Response::withStatus(503));
    FeedAPI client(time, config());
    std::stop_source pausing;
    std::optional<ProbeResult> out;
    auto pending = collect(client.get<Probe>(QStringLiteral("v1_down"), pausing.get_token()), &out);
    while (time.pendingCount() == 0)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_TRUE(time.nextDueInMs() >= 300 && time.nextDueInMs() <= 500) << time.nextDueInMs();
    pausing.request_stop();
    awaitTask(std::move(pending));
    ASSERT_TRUE(out && !out->has_value());
    EXPECT_EQ(out->error().kind, ErrorKind::Cancelled);
    EXPECT_EQ(server.requestCount(QStringLiteral("/v1_down")), 1);
}

TEST_F(FeedAPITest, DestroyingTheClientEndsCallsAsCancelled)
{
    server.route(QStringLiteral("/v1_probe"), slow(Response::json(probeBody("late")), 3000ms));
    std::optional<ProbeResult> out;
    auto pending = collect(api->get<Probe>(QStringLiteral("v1_probe")), &out);
    waitForRequests(1);
    api.reset();
    EXPECT_FALSE(out.has_value()) << "callers resume from the event loop, not inside the destructor";
    awaitTask(std::move(pending), 2000);
    ASSERT_TRUE(out.has_value()) << "the call must finish when its client goes";
    ASSERT_FALSE(out->has_value());
    EXPECT_EQ(out->error().kind, ErrorKind::Cancelled);
}

TEST(ETagMemory, ForgetsTheLeastRecentlyUsedAndKeepsWithinTheByteBudget)
{
    ETagMemory memory(2);
    memory.store(QStringLiteral("a"), {"\"1\"", "A"});
    memory.store(QStringLiteral("b"), {"\"2\"", "B"});
    ASSERT_TRUE(memory.find(QStringLiteral("a")));  // a is now the most recent
    memory.store(QStringLiteral("c"), {"\"3\"", "C"});
    EXPECT_FALSE(memory.find(QStringLiteral("b")));
    memory.store(QStringLiteral("a"), {"\"4\"", "A2"});
    EXPECT_EQ(memory.find(QStringLiteral("a"))->etag, QByteArray("\"4\""));
    EXPECT_EQ(memory.find(QStringLiteral("c"))->body, QByteArray("C"));
    EXPECT_EQ(memory.size(), 2);

    ETagMemory budget(10, 10);
    for (const char* p : {"a", "b", "c"})  // 12 bytes: "a" goes
        budget.store(QString::fromLatin1(p), {"\"1\"", QByteArray(4, p[0])});
    EXPECT_FALSE(budget.find(QStringLiteral("a")));
    EXPECT_EQ(budget.bytes(), 8);
    budget.store(QStringLiteral("b"), {"\"4\"", "b"});  // replacing frees the old body
    EXPECT_EQ(budget.bytes(), 5);
    budget.store(QStringLiteral("huge"), {"\"5\"", QByteArray(11, 'x')});
    EXPECT_FALSE(budget.find(QStringLiteral("huge"))) << "a body over the whole budget is not kept";
    EXPECT_EQ(budget.size(), 2);
    budget.store(QStringLiteral("c"), {"\"6\"", QByteArray(11, 'x')});
    EXPECT_FALSE(budget.find(QStringLiteral("c"))) << "nor does its old entry survive to answer a 304";
    EXPECT_EQ(budget.bytes(), 1);
}

TEST_F(FeedAPITest, QueriesEncodeEveryValue)
{
    server.route(QStringLiteral("/v1_weather"), Response::json(R"({"city":"X","temp":"1","condition":"c","icon":"i"})"));
    server.route(QStringLiteral("/v1_items_batch"), Response::json(R"({"items":[]})"));
    server.route(QStringLiteral("/v1_nowplaying"),
                 Response::json(R"({"artist":{"name":"A"},"links":[],"streams":{"corpus":[],"news":[],"videos":[]}})"));
    const std::pair<const char*, const char*> cities[] = {
        {"Dublin", "/v1_weather?city=Dublin"}, {"   ", "/v1_weather?city=Dublin"}, {"\n", "/v1_weather?city=Dublin"},
        {"  Cork \t", "/v1_weather?city=Cork"}, {"São Paulo", "/v1_weather?city=S%C3%A3o%20Paulo"},
        {"A&B", "/v1_weather?city=A%26B"}, {"x=1+2#frag", "/v1_weather?city=x%3D1%2B2%23frag"},
        {"Portland, OR", "/v1_weather?city=Portland,%20OR"}, {"100%", "/v1_weather?city=100%25"},
    };
    for (const auto& [city, target] : cities) {
        auto r = awaitTask(api->weather(QString::fromUtf8(city)));
        ASSERT_TRUE(r && r->has_value()) << city;
        EXPECT_EQ(lastTarget(), QString::fromUtf8(target)) << city;
    }
    ASSERT_TRUE(awaitTask(api->weather(QStringLiteral("A&B=C+D"))));
    EXPECT_EQ(server.requests().last().query.queryItemValue(QStringLiteral("city"), QUrl::FullyDecoded), QStringLiteral("A&B=C+D"));

    const std::tuple<QStringList, int, std::optional<int>, const char*> batches[] = {
        {{"a", "b", "c"}, 3, std::nullopt, "/v1_items_batch?feed_ids=a,b,c&limit_per_feed=3"},
        {{}, 3, std::nullopt, "/v1_items_batch?feed_ids=&limit_per_feed=3"},
        {{"a"}, 5, 0, "/v1_items_batch?feed_ids=a&limit_per_feed=5"},
        {{"a"}, 5, -4, "/v1_items_batch?feed_ids=a&limit_per_feed=5"},
        {{"a"}, 5, 1, "/v1_items_batch?feed_ids=a&limit_per_feed=5&since_minutes=1"},
        {{"a", "a", " b "}, 3, 60, "/v1_items_batch?feed_ids=a,a,%20b%20&limit_per_feed=3&since_minutes=60"},
        {{"x&limit_per_feed=999", "y+z", "p#q", "m,n"}, 3, std::nullopt,
         "/v1_items_batch?feed_ids=x%26limit_per_feed%3D999,y%2Bz,p%23q,m%2Cn&limit_per_feed=3"},
    };
    for (const auto& [ids, limit, since, target] : batches) {
        auto r = awaitTask(api->itemsBatch(ids, limit, since));
        ASSERT_TRUE(r && r->has_value()) << target;
        EXPECT_EQ(lastTarget(), QString::fromUtf8(target));
        EXPECT_EQ(u'/' + FeedAPI::itemsBatchPath(ids, limit, since), QString::fromUtf8(target));
    }
    EXPECT_EQ(server.requests().last().query.queryItemValue(QStringLiteral("limit_per_feed")), QStringLiteral("3"))
        << "an id cannot smuggle in another parameter";

    const std::tuple<const char*, std::optional<QString>, const char*> plays[] = {
        {"Radiohead", std::nullopt, "/v1_nowplaying?artist=Radiohead"},
        {" AC+DC ", "Back in Black", "/v1_nowplaying?artist=AC%2BDC&track=Back%20in%20Black"},
        {"Simon & Garfunkel", "   ", "/v1_nowplaying?artist=Simon%20%26%20Garfunkel"},
        {"A=B", "x&y=z+1", "/v1_nowplaying?artist=A%3DB&track=x%26y%3Dz%2B1"},
        {"Sigur Rós", "", "/v1_nowplaying?artist=Sigur%20R%C3%B3s"},
    };
    for (const auto& [artist, track, target] : plays) {
        auto r = awaitTask(api->nowPlaying(QString::fromUtf8(artist), track));
        ASSERT_TRUE(r && r->has_value()) << artist;
        EXPECT_EQ(lastTarget(), QString::fromUtf8(target));
    }
    const int before = server.requestCount();
    auto empty = awaitTask(api->nowPlaying(QStringLiteral(" \n "), QStringLiteral("t")));
    ASSERT_TRUE(empty && !empty->has_value());
    EXPECT_EQ(empty->error().kind, ErrorKind::BadURL);
    EXPECT_EQ(server.requestCount(), before) << "nothing is sent without an artist";
}

TEST_F(FeedAPITest, FeedbackFormIsSentOnceAsCompactJson)
{
    server.route(QStringLiteral("/feedback"), Response::withStatus(204));
    auto ok = awaitTask(api->sendFeedback(4, QStringLiteral("Nice & quick"), QString(), QString(), QStringLiteral("Debian 12")));
    ASSERT_TRUE(ok && ok->has_value());
    const auto request = server.requestsFor(QStringLiteral("/feedback")).last();
    EXPECT_EQ(request.method + ' ' + request.header("Content-Type"), QByteArray("POST application/json"));
    EXPECT_FALSE(request.body.contains('\n')) << "compact JSON";
    EXPECT_EQ(sentJson(QStringLiteral("/feedback")), (QJsonObject{{"rating", 4}, {"comment", "Nice & quick"},
                                                                 {"app_version", ""}, {"macos", "Debian 12"}}))
        << "an empty e-mail is left out, an empty version is sent";

    auto withEmail = awaitTask(api->sendFeedback(1, QString(), QStringLiteral("a@b.c"), std::nullopt, std::nullopt));
    ASSERT_TRUE(withEmail && withEmail->has_value());
    EXPECT_EQ(sentJson(QStringLiteral("/feedback")), (QJsonObject{{"rating", 1}, {"comment", ""}, {"email", "a@b.c"}}));

    for (int status : {500, 503, 404, 400, 300}) {
        server.clearRequests();
        server.route(QStringLiteral("/feedback"), Response::withStatus(status));
        auto failed = awaitTask(api->sendFeedback(3, QStringLiteral("x"), std::nullopt, std::nullopt, std::nullopt));
        ASSERT_TRUE(failed && !failed->has_value()) << status;
        EXPECT_EQ(failed->error().kind, ErrorKind::BadServerResponse) << status;
        EXPECT_EQ(server.requestCount(QStringLiteral("/feedback")), 1) << "forms are sent once: " << status;
    }
    EXPECT_TRUE(scheduler.delays.isEmpty());
}

TEST_F(FeedAPITest, SuggestionOutcomes)
{
    using Kind = FeedAPI::SuggestionOutcome::Kind;
    using Outcome = FeedAPI::SuggestionOutcome;
    const QString limited = QStringLiteral("You've suggested a few already \u2014 try again later.");
    const QString generic = QStringLiteral("Could not submit that feed.");
    const std::tuple<int, QByteArray, std::optional<Outcome>, QString> cases[] = {  // else the error text
        {200, R"({"status":"added","title":"Wire","category":"Tech"})", Outcome{Kind::Added, "Wire", "Tech"}, {}},
        {200, R"({"status":"added","title":"Wire"})", Outcome{Kind::Added, "Wire", std::nullopt}, {}},
        {299, R"({"status":"added","category":7})", Outcome{Kind::Added, "That feed", std::nullopt}, {}},
        {200, R"({"status":"received","title":""})", Outcome{Kind::Received, "", std::nullopt}, {}},
        {200, R"({"status":"queued","title":"Q"})", Outcome{Kind::Received, "Q", std::nullopt}, {}},
        {200, R"({"status":"Added","title":"Q"})", Outcome{Kind::Received, "Q", std::nullopt}, {}},
        {200, R"({"status":"already_carried"})", Outcome{Kind::AlreadyCarried, {}, std::nullopt}, {}},
        {200, R"({"status":"already_suggested","title":"x"})", Outcome{Kind::AlreadySuggested, {}, std::nullopt}, {}},
        {200, "not json", Outcome{Kind::Received, "That feed", std::nullopt}, {}},
        {200, R"(["added"])", Outcome{Kind::Received, "That feed", std::nullopt}, {}},
        {200, R"({"status":1,"title":2})", Outcome{Kind::Received, "That feed", std::nullopt}, {}},
        {429, R"({"error":{"message":"slow down"}})", std::nullopt, limited},
        {429, "", std::nullopt, limited},
        {500, R"({"error":{"message":"Feed unreachable"}})", std::nullopt, QStringLiteral("Feed unreachable")},
        {400, "", std::nullopt, generic},
        {422, R"({"error":"bad"})", std::nullopt, generic},
        {422, R"({"error":{"message":5}})", std::nullopt, generic},
        {503, R"({"message":"top level"})", std::nullopt, generic},
    };
    for (const auto& [status, body, outcome, error] : cases) {
        SCOPED_TRACE(std::to_string(status) + ' ' + body.toStdString());
        server.clearRequests();
        server.route(QStringLiteral("/v1_suggest_feed"), Response::json(body, status));
        auto r = awaitTask(api->suggestFeed(QStringLiteral(" https://x.test/feed "), QStringLiteral("pls")));
        ASSERT_TRUE(r.has_value());
        EXPECT_EQ(server.requestCount(QStringLiteral("/v1_suggest_feed")), 1) << "sent once";
        if (outcome) {
            ASSERT_TRUE(r->has_value()) << r->error().description.toStdString();
            EXPECT_EQ(**r, *outcome);
            continue;
        }
        ASSERT_FALSE(r->has_value());
        EXPECT_EQ(std::make_tuple(r->error().kind, r->error().description, r->error().httpStatus),
                  std::make_tuple(ErrorKind::BadServerResponse, error, status));
    }
    EXPECT_EQ(sentJson(QStringLiteral("/v1_suggest_feed")), (QJsonObject{{"url", " https://x.test/feed "}, {"note", "pls"}}))
        << "the address is sent as typed";
    server.route(QStringLiteral("/v1_suggest_feed"), Response::json("{}"));
    ASSERT_TRUE(awaitTask(api->suggestFeed(QStringLiteral("u"), QString())));
    EXPECT_EQ(sentJson(QStringLiteral("/v1_suggest_feed")), (QJsonObject{{"url", "u"}}));
}

} // namespace
