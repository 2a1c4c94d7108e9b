#include "platform/Clock.h"
#include "api/FeedAPI.h"

#include "ApiTestUtil.h"
#include "Await.h"
#include "FakeTime.h"
#include "LogCapture.h"
#include "LoopbackServer.h"

#include <QJsonDocument>
#include <QTimer>
#include <chrono>
#include <gtest/gtest.h>

namespace {

// A scheduler that runs every callback on the next event-loop turn and
// records the delays it was asked for, so retry pauses cost no real time.
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

// The client's own log lines, as "level: text".
QStringList feedLog()
{
    QStringList out;
    for (const LogCapture::Line& l : LogCapture::lines())
        if (l.category == QLatin1String("tidewire.client.feedapi"))
            out.append(QString::number(l.type) + QStringLiteral(": ") + l.message);
    return out;
}

using Response = LoopbackServer::Response;

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

QByteArray probeBody(const char* value)
{
    return QByteArray("{\"value\":\"") + value + "\"}";
}

class FeedAPITest : public ::testing::Test {
protected:
    LoopbackServer server;
    RecordingScheduler scheduler;

    FeedAPIConfig config() const
    {
        FeedAPIConfig c;
        c.baseURL = server.baseUrl();
        return c;
    }

    template <class T>
    Result<Fetched<T>> run(QCoro::Task<Result<Fetched<T>>>&& task)
    {
        auto r = awaitTask(std::move(task));
        EXPECT_TRUE(r.has_value()) << "the call did not finish";
        return r.value_or(fail(ErrorKind::Transport, QStringLiteral("did not finish")));
    }

    Result<Fetched<Probe>> getProbe(FeedAPI& api, const QString& path, std::stop_token stop = {})
    {
        return run(api.get<Probe>(path, stop));
    }

    QByteArray ifNoneMatch(int index, const QString& path = QStringLiteral("/v1_probe"))
    {
        const auto requests = server.requestsFor(path);
        if (index >= requests.size())
            return "<no request>";
        return requests[index].header("If-None-Match");
    }
};

TEST_F(FeedAPITest, RevalidatesWithTheETagByteForByteAndHandsBackTheRememberedBody)
{
    const QByteArray etag = "W/\"a b\\\"c\"";
    // A small body, and one large enough to be decoded on a worker thread.
    for (const QByteArray& value : {QByteArray("first"), QByteArray(64 * 1024, 'x')}) {
        SCOPED_TRACE(value.size());
        const QString path = QStringLiteral("v1_probe%1").arg(value.size());
        server.script(u'/' + path, {Response::json(probeBody(value.constData())).header("ETag", etag),
                                    Response::withStatus(304)});
        FeedAPI api(scheduler, config());

        auto first = getProbe(api, path);
        ASSERT_TRUE(first.has_value()) << first.error().description.toStdString();
        EXPECT_FALSE(first->notModified);
        EXPECT_EQ(first->value.value, QString::fromLatin1(value));

        auto second = getProbe(api, path);
        ASSERT_TRUE(second.has_value()) << second.error().description.toStdString();
        EXPECT_TRUE(second->notModified);
        EXPECT_EQ(second->value.value, QString::fromLatin1(value));

        EXPECT_EQ(ifNoneMatch(0, u'/' + path), QByteArray());
        EXPECT_EQ(ifNoneMatch(1, u'/' + path), etag);
        EXPECT_FALSE(server.requestsFor(u'/' + path)[0].headers.contains("if-none-match"));
    }
}

TEST_F(FeedAPITest, EachQueryHasItsOwnETag)
{
    server.handle(QStringLiteral("/v1_probe"), [](const LoopbackServer::Request& r) {
        const QByteArray tag = "\"" + r.rawTarget.toUtf8() + "\"";
        return Response::json(probeBody("x")).header("Etag", tag);
    });
    FeedAPI api(scheduler, config());
    ASSERT_TRUE(getProbe(api, QStringLiteral("v1_probe?q=1")));
    ASSERT_TRUE(getProbe(api, QStringLiteral("v1_probe?q=2")));
    ASSERT_TRUE(getProbe(api, QStringLiteral("v1_probe?q=1")));
    ASSERT_TRUE(getProbe(api, QStringLiteral("v1_probe?q=10")));
    EXPECT_EQ(ifNoneMatch(0), QByteArray());
    EXPECT_EQ(ifNoneMatch(1), QByteArray());
    EXPECT_EQ(ifNoneMatch(2), QByteArray("\"/v1_probe?q=1\""));
    EXPECT_EQ(ifNoneMatch(3), QByteArray());
}

TEST_F(FeedAPITest, A304WithoutARememberedBodyIsNotModifiedNotData)
{
    server.route(QStringLiteral("/v1_probe"), Response::withStatus(304));
    FeedAPI api(scheduler, config());
    auto r = getProbe(api, QStringLiteral("v1_probe"));
    ASSERT_FALSE(r.has_value());
    EXPECT_EQ(r.error().kind, ErrorKind::NotModified);
}

TEST_F(FeedAPITest, A304AnswersTheETagThatWasSentNotANewerOne)
{
    // Call A revalidates with "v1" and gets a slow 304; meanwhile call B
    // receives a new body under "v2". A must hand back the "v1" body.
    std::atomic<int> served{0};
    server.handle(QStringLiteral("/v1_probe"), [&served](const LoopbackServer::Request& r) {
        const int n = served++;
        if (n == 0)
            return Response::json(probeBody("old")).header("ETag", "\"v1\"");
        if (n == 1) {
            Response slow = Response::withStatus(304);
            slow.delay = std::chrono::milliseconds(400);
            return slow;
        }
        Q_UNUSED(r);
        return Response::json(probeBody("new")).header("ETag", "\"v2\"");
    });
    FeedAPI api(scheduler, config());
    ASSERT_TRUE(getProbe(api, QStringLiteral("v1_probe")));

    std::optional<Result<Fetched<Probe>>> slow;
    auto collect = [](QCoro::Task<Result<Fetched<Probe>>> t, std::optional<Result<Fetched<Probe>>>* out) -> QCoro::Task<void> {
        out->emplace(co_await std::move(t));
    };
    auto pending = collect(api.get<Probe>(QStringLiteral("v1_probe")), &slow);
    while (server.requestCount(QStringLiteral("/v1_probe")) < 2)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    auto fresh = getProbe(api, QStringLiteral("v1_probe"));
    ASSERT_TRUE(fresh.has_value());
    EXPECT_EQ(fresh->value.value, QStringLiteral("new"));
    awaitTask(std::move(pending));
    ASSERT_TRUE(slow.has_value());
    ASSERT_TRUE(slow->has_value()) << slow->error().description.toStdString();
    EXPECT_TRUE((*slow)->notModified);
    EXPECT_EQ((*slow)->value.value, QStringLiteral("old"));
    // The newest entry is what the next request sends.
    ASSERT_TRUE(getProbe(api, QStringLiteral("v1_probe")));
    EXPECT_EQ(ifNoneMatch(3), QByteArray("\"v2\""));
}

TEST_F(FeedAPITest, RetriesServerErrorsWithGrowingPauses)
{
    server.script(QStringLiteral("/v1_probe"),
                  {Response::withStatus(503), Response::withStatus(500), Response::json(probeBody("ok"))});
    FeedAPI api(scheduler, config());
    LogCapture log;
    auto r = getProbe(api, QStringLiteral("v1_probe"));
    ASSERT_TRUE(r.has_value()) << r.error().description.toStdString();
    EXPECT_EQ(r->value.value, QStringLiteral("ok"));
    EXPECT_EQ(server.requestCount(QStringLiteral("/v1_probe")), 3);
    ASSERT_EQ(scheduler.delays.size(), 2);
    EXPECT_GE(scheduler.delays[0].count(), 300);
    EXPECT_LE(scheduler.delays[0].count(), 500);
    EXPECT_GE(scheduler.delays[1].count(), 600);
    EXPECT_LE(scheduler.delays[1].count(), 800);
    EXPECT_TRUE(feedLog().isEmpty());
}

struct FailingStatus {
    QList<int> statuses;
    int expectedRequests;
    int expectedPauses;
    int loggedStatus;
};

TEST_F(FeedAPITest, FailedStatusesLogOnceAndReportTheStatus)
{
    const FailingStatus cases[] = {
        {{503, 503, 503}, 3, 2, 503},
        {{500, 502, 504, 200}, 3, 2, 504},
        {{404}, 1, 0, 404},
        {{400}, 1, 0, 400},
        {{300}, 1, 0, 300},
        {{502, 429}, 2, 1, 429},
    };
    for (const FailingStatus& c : cases) {
        server.clearRequests();
        scheduler.delays.clear();
        QList<Response> script;
        for (int s : c.statuses) {
            Response resp = s == 200 ? Response::json(probeBody("late")) : Response::withStatus(s);
            script.append(resp);
        }
        server.script(QStringLiteral("/v1_status"), script);
        FeedAPI api(scheduler, config());
        LogCapture log;
        auto r = run(api.get<Probe>(QStringLiteral("v1_status")));
        const std::string label = std::to_string(c.statuses.first()) + " x" + std::to_string(c.statuses.size());
        ASSERT_FALSE(r.has_value()) << label;
        EXPECT_EQ(r.error().kind, ErrorKind::BadServerResponse) << label;
        EXPECT_EQ(r.error().httpStatus, c.loggedStatus) << label;
        EXPECT_EQ(server.requestCount(QStringLiteral("/v1_status")), c.expectedRequests) << label;
        EXPECT_EQ(scheduler.delays.size(), c.expectedPauses) << label;
        EXPECT_EQ(feedLog(), QStringList{QString::number(QtCriticalMsg)
                                         + QStringLiteral(": server error %1 for v1_status (after retries)")
                                               .arg(c.loggedStatus)}) << label;
    }
}

TEST_F(FeedAPITest, UndecodableBodyKeepsTheOlderETag)
{
    server.script(QStringLiteral("/v1_probe"),
                  {Response::json(probeBody("one")).header("ETag", "\"e1\""),
                   Response::json("{\"other\":1}").header("ETag", "\"e2\""),
                   Response::json(probeBody("two")),
                   Response::withStatus(304)});
    FeedAPI api(scheduler, config());
    ASSERT_TRUE(getProbe(api, QStringLiteral("v1_probe")));
    auto bad = getProbe(api, QStringLiteral("v1_probe"));
    ASSERT_FALSE(bad.has_value());
    EXPECT_EQ(bad.error().kind, ErrorKind::Decoding);
    auto noTag = getProbe(api, QStringLiteral("v1_probe"));
    ASSERT_TRUE(noTag.has_value());
    EXPECT_EQ(noTag->value.value, QStringLiteral("two"));
    auto same = getProbe(api, QStringLiteral("v1_probe"));
    ASSERT_TRUE(same.has_value());
    EXPECT_TRUE(same->notModified);
    EXPECT_EQ(same->value.value, QStringLiteral("one"));
    EXPECT_EQ(ifNoneMatch(1), QByteArray("\"e1\""));
    EXPECT_EQ(ifNoneMatch(2), QByteArray("\"e1\"")) << "an undecodable reply stores no ETag";
    EXPECT_EQ(ifNoneMatch(3), QByteArray("\"e1\"")) << "a reply without ETag keeps the earlier one";

    // No earlier entry: the next request after an undecodable reply is unconditional.
    server.script(QStringLiteral("/v1_fresh"), {Response::json("nope").header("ETag", "\"z\""),
                                                Response::json(probeBody("ok"))});
    EXPECT_EQ(getProbe(api, QStringLiteral("v1_fresh")).error().kind, ErrorKind::Decoding);
    ASSERT_TRUE(getProbe(api, QStringLiteral("v1_fresh")));
    EXPECT_EQ(ifNoneMatch(1, QStringLiteral("/v1_fresh")), QByteArray());
}

TEST_F(FeedAPITest, TransportFailuresAreDistinctKinds)
{
    Response slow = Response::json(probeBody("late"));
    slow.delay = std::chrono::milliseconds(1500);
    server.route(QStringLiteral("/v1_slow"), slow);
    Response stall = Response::json(QByteArray(200, ' '));
    stall.stall = true;
    server.route(QStringLiteral("/v1_stall"), stall);
    server.route(QStringLiteral("/v1_big"), Response::json("{\"value\":\"" + QByteArray(5000, 'x') + "\"}"));

    FeedAPIConfig shortTimeout = config();
    shortTimeout.timeout = std::chrono::milliseconds(150);
    FeedAPI impatient(scheduler, shortTimeout);
    EXPECT_EQ(getProbe(impatient, QStringLiteral("v1_slow")).error().kind, ErrorKind::TimedOut);

    FeedAPIConfig idle = config();
    idle.idleTimeout = std::chrono::milliseconds(150);
    FeedAPI idleApi(scheduler, idle);
    EXPECT_EQ(getProbe(idleApi, QStringLiteral("v1_stall")).error().kind, ErrorKind::TimedOut)
        << "Qt's transfer timeout is a time-out, not a cancellation";

    FeedAPIConfig capped = config();
    capped.maxBytes = 1000;
    FeedAPI cappedApi(scheduler, capped);
    EXPECT_EQ(getProbe(cappedApi, QStringLiteral("v1_big")).error().kind, ErrorKind::TooLarge);

    LoopbackServer closed;
    FeedAPIConfig refused;
    refused.baseURL = closed.baseUrl();
    closed.stop();
    FeedAPI refusedApi(scheduler, refused);
    EXPECT_EQ(getProbe(refusedApi, QStringLiteral("v1_probe")).error().kind, ErrorKind::Transport);
    EXPECT_TRUE(scheduler.delays.isEmpty()) << "transport failures are not retried";
}

TEST_F(FeedAPITest, BadPathsSendNothing)
{
    FeedAPI api(scheduler, config());
    for (const char* path : {"v1 probe", "http://elsewhere.test/v1_probe", "//elsewhere.test/x", "", "/v1_probe"}) {
        auto r = getProbe(api, QString::fromUtf8(path));
        ASSERT_FALSE(r.has_value()) << path;
        EXPECT_EQ(r.error().kind, ErrorKind::BadURL) << path;
    }
    EXPECT_EQ(server.requestCount(), 0);

    FeedAPIConfig ftp;
    ftp.baseURL = QUrl(QStringLiteral("ftp://127.0.0.1/"));
    FeedAPI ftpApi(scheduler, ftp);
    EXPECT_EQ(getProbe(ftpApi, QStringLiteral("v1_probe")).error().kind, ErrorKind::BadURL);
}

TEST_F(FeedAPITest, ResolvesAgainstABaseWithAPath)
{
    server.route(QStringLiteral("/api/v1_probe"), Response::json(probeBody("deep")));
    FeedAPIConfig nested = config();
    nested.baseURL = server.url(QStringLiteral("api/"));
    FeedAPI api(scheduler, nested);
    auto r = getProbe(api, QStringLiteral("v1_probe"));
    ASSERT_TRUE(r.has_value()) << r.error().description.toStdString();
    EXPECT_EQ(r->value.value, QStringLiteral("deep"));
}

TEST_F(FeedAPITest, CancellationIsNeverNotModified)
{
    server.route(QStringLiteral("/v1_probe"), Response::json(probeBody("a")).header("ETag", "\"t\""));
    FeedAPI api(scheduler, config());
    ASSERT_TRUE(getProbe(api, QStringLiteral("v1_probe")));

    Response slow = Response::withStatus(304);
    slow.delay = std::chrono::milliseconds(2000);
    server.route(QStringLiteral("/v1_probe"), slow);
    std::stop_source source;
    QTimer::singleShot(100, [&source] { source.request_stop(); });
    auto r = getProbe(api, QStringLiteral("v1_probe"), source.get_token());
    ASSERT_FALSE(r.has_value());
    EXPECT_EQ(r.error().kind, ErrorKind::Cancelled);

    std::stop_source already;
    already.request_stop();
    EXPECT_EQ(getProbe(api, QStringLiteral("v1_probe"), already.get_token()).error().kind, ErrorKind::Cancelled);
}

TEST_F(FeedAPITest, StopDuringARetryPauseEndsTheCall)
{
    FakeTime time;  // never advanced: the pause only ends by the stop
    server.route(QStringLiteral("/v1_probe"), Response::withStatus(503));
    FeedAPI api(time, config());
    std::stop_source source;
    std::optional<Result<Fetched<Probe>>> out;
    auto collect = [](QCoro::Task<Result<Fetched<Probe>>> t, std::optional<Result<Fetched<Probe>>>* o) -> QCoro::Task<void> {
        o->emplace(co_await std::move(t));
    };
    auto pending = collect(api.get<Probe>(QStringLiteral("v1_probe"), source.get_token()), &out);
    while (time.pendingCount() == 0)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_GE(time.nextDueInMs(), 300);
    EXPECT_LE(time.nextDueInMs(), 500);
    source.request_stop();
    awaitTask(std::move(pending));
    ASSERT_TRUE(out.has_value());
    ASSERT_FALSE(out->has_value());
    EXPECT_EQ(out->error().kind, ErrorKind::Cancelled);
    EXPECT_EQ(server.requestCount(QStringLiteral("/v1_probe")), 1);
}

TEST_F(FeedAPITest, DestroyingTheClientEndsCallsAsCancelled)
{
    Response slow = Response::json(probeBody("late"));
    slow.delay = std::chrono::milliseconds(3000);
    server.route(QStringLiteral("/v1_probe"), slow);
    auto api = std::make_unique<FeedAPI>(scheduler, config());
    std::optional<Result<Fetched<Probe>>> out;
    auto collect = [](QCoro::Task<Result<Fetched<Probe>>> t, std::optional<Result<Fetched<Probe>>>* o) -> QCoro::Task<void> {
        o->emplace(co_await std::move(t));
    };
    auto pending = collect(api->get<Probe>(QStringLiteral("v1_probe")), &out);
    while (server.requestCount(QStringLiteral("/v1_probe")) == 0)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    api.reset();
    EXPECT_FALSE(out.has_value()) << "callers resume from the event loop, not inside the destructor";
    awaitTask(std::move(pending), 2000);
    ASSERT_TRUE(out.has_value()) << "the call must finish when its client goes";
    ASSERT_FALSE(out->has_value());
    EXPECT_EQ(out->error().kind, ErrorKind::Cancelled);
}

TEST(ETagMemory, ForgetsTheLeastRecentlyUsedPath)
{
    ETagMemory memory(2);
    memory.store(QStringLiteral("a"), {"\"1\"", "A"});
    memory.store(QStringLiteral("b"), {"\"2\"", "B"});
    ASSERT_TRUE(memory.find(QStringLiteral("a")));  // a is now the most recent
    memory.store(QStringLiteral("c"), {"\"3\"", "C"});
    EXPECT_EQ(memory.size(), 2);
    EXPECT_FALSE(memory.find(QStringLiteral("b")));
    EXPECT_EQ(memory.find(QStringLiteral("a"))->body, QByteArray("A"));
    memory.store(QStringLiteral("a"), {"\"4\"", "A2"});
    EXPECT_EQ(memory.find(QStringLiteral("a"))->etag, QByteArray("\"4\""));
    EXPECT_EQ(memory.find(QStringLiteral("c"))->body, QByteArray("C"));
    EXPECT_EQ(memory.size(), 2);
}

TEST(ETagMemory, KeepsItsBodiesWithinTheByteBudget)
{
    ETagMemory memory(10, 10);
    memory.store(QStringLiteral("a"), {"\"1\"", "aaaa"});
    memory.store(QStringLiteral("b"), {"\"2\"", "bbbb"});
    memory.store(QStringLiteral("c"), {"\"3\"", "cccc"});  // 12 bytes: "a" goes
    EXPECT_FALSE(memory.find(QStringLiteral("a")));
    EXPECT_EQ(memory.bytes(), 8);
    memory.store(QStringLiteral("b"), {"\"4\"", "b"});  // replacing frees the old body
    EXPECT_EQ(memory.bytes(), 5);
    memory.store(QStringLiteral("huge"), {"\"5\"", QByteArray(11, 'x')});
    EXPECT_FALSE(memory.find(QStringLiteral("huge"))) << "a body over the whole budget is not kept";
    EXPECT_EQ(memory.size(), 2);
    memory.store(QStringLiteral("c"), {"\"6\"", QByteArray(11, 'x')});
    EXPECT_FALSE(memory.find(QStringLiteral("c"))) << "nor does its old entry survive to answer a 304";
    EXPECT_EQ(memory.bytes(), 1);
}

const QByteArray kWeather = R"({"city":"X","temp":"1","condition":"c","icon":"i"})";
const QByteArray kItems = R"({"items":[]})";
const QByteArray kNowPlaying =
    R"({"artist":{"name":"A"},"links":[],"streams":{"corpus":[],"news":[],"videos":[]}})";

class FeedAPIEndpoints : public ::testing::Test {
protected:
    LoopbackServer server;
    RecordingScheduler scheduler;
    std::unique_ptr<FeedAPI> api;

    void SetUp() override
    {
        server.route(QStringLiteral("/v1_weather"), Response::json(kWeather));
        server.route(QStringLiteral("/v1_items_batch"), Response::json(kItems));
        server.route(QStringLiteral("/v1_nowplaying"), Response::json(kNowPlaying));
        FeedAPIConfig config;
        config.baseURL = server.baseUrl();
        api = std::make_unique<FeedAPI>(scheduler, config);
    }

    QString lastTarget() const
    {
        const auto requests = server.requests();
        return requests.isEmpty() ? QStringLiteral("<none>") : requests.last().rawTarget;
    }
};

TEST_F(FeedAPIEndpoints, WeatherQuery)
{
    const std::pair<const char*, const char*> cases[] = {
        {"Dublin", "/v1_weather?city=Dublin"},
        {"   ", "/v1_weather?city=Dublin"},
        {"\n", "/v1_weather?city=Dublin"},
        {"  Cork \t", "/v1_weather?city=Cork"},
        {"São Paulo", "/v1_weather?city=S%C3%A3o%20Paulo"},
        {"A&B", "/v1_weather?city=A%26B"},
        {"x=1+2#frag", "/v1_weather?city=x%3D1%2B2%23frag"},
        {"Portland, OR", "/v1_weather?city=Portland,%20OR"},
        {"100%", "/v1_weather?city=100%25"},
    };
    for (const auto& [city, target] : cases) {
        auto r = awaitTask(api->weather(QString::fromUtf8(city)));
        ASSERT_TRUE(r && r->has_value()) << city;
        EXPECT_EQ(lastTarget(), QString::fromUtf8(target)) << city;
    }
    // The server reads the value back intact.
    ASSERT_TRUE(awaitTask(api->weather(QStringLiteral("A&B=C+D"))));
    EXPECT_EQ(server.requests().last().query.queryItemValue(QStringLiteral("city"), QUrl::FullyDecoded),
              QStringLiteral("A&B=C+D"));
}

TEST_F(FeedAPIEndpoints, ItemsBatchQuery)
{
    struct Case {
        QStringList ids;
        int limit;
        std::optional<int> since;
        const char* target;
    };
    const Case cases[] = {
        {{"a", "b", "c"}, 3, std::nullopt, "/v1_items_batch?feed_ids=a,b,c&limit_per_feed=3"},
        {{}, 3, std::nullopt, "/v1_items_batch?feed_ids=&limit_per_feed=3"},
        {{"a"}, 5, 0, "/v1_items_batch?feed_ids=a&limit_per_feed=5"},
        {{"a"}, 5, -4, "/v1_items_batch?feed_ids=a&limit_per_feed=5"},
        {{"a"}, 5, 1, "/v1_items_batch?feed_ids=a&limit_per_feed=5&since_minutes=1"},
        {{"a", "a", " b "}, 3, 60, "/v1_items_batch?feed_ids=a,a,%20b%20&limit_per_feed=3&since_minutes=60"},
        {{"x&limit_per_feed=999", "y+z", "p#q", "m,n"}, 3, std::nullopt,
         "/v1_items_batch?feed_ids=x%26limit_per_feed%3D999,y%2Bz,p%23q,m%2Cn&limit_per_feed=3"},
    };
    for (const Case& c : cases) {
        auto r = awaitTask(api->itemsBatch(c.ids, c.limit, c.since));
        ASSERT_TRUE(r && r->has_value()) << c.target;
        EXPECT_EQ(lastTarget(), QString::fromUtf8(c.target));
        EXPECT_EQ(QStringLiteral("/") + FeedAPI::itemsBatchPath(c.ids, c.limit, c.since), QString::fromUtf8(c.target));
    }
    const auto query = server.requests()[server.requests().size() - 1].query;
    EXPECT_EQ(query.queryItemValue(QStringLiteral("limit_per_feed")), QStringLiteral("3"))
        << "an id cannot smuggle in another parameter";
}

TEST_F(FeedAPIEndpoints, NowPlayingQuery)
{
    struct Case {
        const char* artist;
        std::optional<const char*> track;
        const char* target;
    };
    const Case cases[] = {
        {"Radiohead", std::nullopt, "/v1_nowplaying?artist=Radiohead"},
        {" AC+DC ", "Back in Black", "/v1_nowplaying?artist=AC%2BDC&track=Back%20in%20Black"},
        {"Simon & Garfunkel", "   ", "/v1_nowplaying?artist=Simon%20%26%20Garfunkel"},
        {"A=B", "x&y=z+1", "/v1_nowplaying?artist=A%3DB&track=x%26y%3Dz%2B1"},
        {"Sigur Rós", "", "/v1_nowplaying?artist=Sigur%20R%C3%B3s"},
    };
    for (const Case& c : cases) {
        std::optional<QString> track;
        if (c.track)
            track = QString::fromUtf8(*c.track);
        auto r = awaitTask(api->nowPlaying(QString::fromUtf8(c.artist), track));
        ASSERT_TRUE(r && r->has_value()) << c.artist;
        EXPECT_EQ(lastTarget(), QString::fromUtf8(c.target));
    }

    const int before = server.requestCount();
    auto empty = awaitTask(api->nowPlaying(QStringLiteral(" \n "), QStringLiteral("t")));
    ASSERT_TRUE(empty && !empty->has_value());
    EXPECT_EQ(empty->error().kind, ErrorKind::BadURL);
    EXPECT_EQ(server.requestCount(), before) << "nothing is sent without an artist";
}


QJsonObject sentJson(const LoopbackServer& server, const QString& path)
{
    const auto requests = server.requestsFor(path);
    return requests.isEmpty() ? QJsonObject() : QJsonDocument::fromJson(requests.last().body).object();
}

TEST_F(FeedAPIEndpoints, FeedbackForm)
{
    server.route(QStringLiteral("/feedback"), Response::withStatus(204));
    auto ok = awaitTask(api->sendFeedback(4, QStringLiteral("Nice & quick"), QString(), QString(),
                                          QStringLiteral("Debian 12")));
    ASSERT_TRUE(ok && ok->has_value());
    const auto request = server.requestsFor(QStringLiteral("/feedback")).last();
    EXPECT_EQ(request.method, QByteArray("POST"));
    EXPECT_EQ(request.header("Content-Type"), QByteArray("application/json"));
    EXPECT_FALSE(request.body.contains('\n')) << "compact JSON";
    const QJsonObject body = sentJson(server, QStringLiteral("/feedback"));
    EXPECT_EQ(body.value(QStringLiteral("rating")), QJsonValue(4));
    EXPECT_EQ(body.value(QStringLiteral("comment")), QJsonValue(QStringLiteral("Nice & quick")));
    EXPECT_FALSE(body.contains(QStringLiteral("email"))) << "an empty e-mail is left out";
    EXPECT_EQ(body.value(QStringLiteral("app_version")), QJsonValue(QString())) << "an empty version is sent";
    EXPECT_EQ(body.value(QStringLiteral("macos")), QJsonValue(QStringLiteral("Debian 12")));

    auto withEmail = awaitTask(api->sendFeedback(1, QString(), QStringLiteral("a@b.c"), std::nullopt, std::nullopt));
    ASSERT_TRUE(withEmail && withEmail->has_value());
    const QJsonObject second = sentJson(server, QStringLiteral("/feedback"));
    EXPECT_EQ(second.value(QStringLiteral("email")), QJsonValue(QStringLiteral("a@b.c")));
    EXPECT_FALSE(second.contains(QStringLiteral("app_version")));
    EXPECT_FALSE(second.contains(QStringLiteral("macos")));

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

TEST_F(FeedAPIEndpoints, SuggestionOutcomes)
{
    using Kind = FeedAPI::SuggestionOutcome::Kind;
    struct Case {
        int status;
        QByteArray body;
        std::optional<FeedAPI::SuggestionOutcome> outcome;  // else the error text below
        QString error;
    };
    const QString limited = QStringLiteral("You've suggested a few already \u2014 try again later.");
    const QString generic = QStringLiteral("Could not submit that feed.");
    const Case cases[] = {
        {200, R"({"status":"added","title":"Wire","category":"Tech"})", FeedAPI::SuggestionOutcome{Kind::Added, "Wire", "Tech"}, {}},
        {200, R"({"status":"added","title":"Wire"})", FeedAPI::SuggestionOutcome{Kind::Added, "Wire", std::nullopt}, {}},
        {201, R"({"status":"added","category":7})", FeedAPI::SuggestionOutcome{Kind::Added, "That feed", std::nullopt}, {}},
        {200, R"({"status":"received","title":""})", FeedAPI::SuggestionOutcome{Kind::Received, "", std::nullopt}, {}},
        {200, R"({"status":"queued","title":"Q"})", FeedAPI::SuggestionOutcome{Kind::Received, "Q", std::nullopt}, {}},
        {200, R"({"status":"Added","title":"Q"})", FeedAPI::SuggestionOutcome{Kind::Received, "Q", std::nullopt}, {}},
        {200, R"({"status":"already_carried"})", FeedAPI::SuggestionOutcome{Kind::AlreadyCarried, {}, std::nullopt}, {}},
        {200, R"({"status":"already_suggested","title":"x"})", FeedAPI::SuggestionOutcome{Kind::AlreadySuggested, {}, std::nullopt}, {}},
        {200, "not json", FeedAPI::SuggestionOutcome{Kind::Received, "That feed", std::nullopt}, {}},
        {200, R"(["added"])", FeedAPI::SuggestionOutcome{Kind::Received, "That feed", std::nullopt}, {}},
        {200, R"({"status":1,"title":2})", FeedAPI::SuggestionOutcome{Kind::Received, "That feed", std::nullopt}, {}},
        {429, R"({"error":{"message":"slow down"}})", std::nullopt, limited},
        {429, "", std::nullopt, limited},
        {500, R"({"error":{"message":"Feed unreachable"}})", std::nullopt, QStringLiteral("Feed unreachable")},
        {400, "", std::nullopt, generic},
        {422, R"({"error":"bad"})", std::nullopt, generic},
        {422, R"({"error":{"message":5}})", std::nullopt, generic},
        {503, R"({"message":"top level"})", std::nullopt, generic},
    };
    for (const Case& c : cases) {
        server.clearRequests();
        server.route(QStringLiteral("/v1_suggest_feed"), Response::json(c.body, c.status));
        auto r = awaitTask(api->suggestFeed(QStringLiteral(" https://x.test/feed "), QStringLiteral("pls")));
        ASSERT_TRUE(r.has_value()) << c.status << ' ' << c.body.toStdString();
        if (c.outcome) {
            ASSERT_TRUE(r->has_value()) << c.status << ' ' << c.body.toStdString() << ": "
                                        << r->error().description.toStdString();
            EXPECT_EQ(**r, *c.outcome) << c.status << ' ' << c.body.toStdString();
        } else {
            ASSERT_FALSE(r->has_value()) << c.status << ' ' << c.body.toStdString();
            EXPECT_EQ(r->error().kind, ErrorKind::BadServerResponse);
            EXPECT_EQ(r->error().description, c.error) << c.status << ' ' << c.body.toStdString();
            EXPECT_EQ(r->error().httpStatus, c.status);
        }
        EXPECT_EQ(server.requestCount(QStringLiteral("/v1_suggest_feed")), 1) << "sent once";
    }
    const QJsonObject sent = sentJson(server, QStringLiteral("/v1_suggest_feed"));
    EXPECT_EQ(sent.value(QStringLiteral("url")), QJsonValue(QStringLiteral(" https://x.test/feed "))) << "not trimmed";
    EXPECT_EQ(sent.value(QStringLiteral("note")), QJsonValue(QStringLiteral("pls")));

    server.route(QStringLiteral("/v1_suggest_feed"), Response::json("{}"));
    ASSERT_TRUE(awaitTask(api->suggestFeed(QStringLiteral("u"), QString())));
    EXPECT_FALSE(sentJson(server, QStringLiteral("/v1_suggest_feed")).contains(QStringLiteral("note")));
}

TEST_F(FeedAPIEndpoints, FormsReportTransportFailuresAsThemselves)
{
    LoopbackServer closed;
    FeedAPIConfig config;
    config.baseURL = closed.baseUrl();
    closed.stop();
    FeedAPI offline(scheduler, config);
    auto feedback = awaitTask(offline.sendFeedback(5, QStringLiteral("x"), std::nullopt, std::nullopt, std::nullopt));
    ASSERT_TRUE(feedback && !feedback->has_value());
    EXPECT_EQ(feedback->error().kind, ErrorKind::Transport);
    auto suggestion = awaitTask(offline.suggestFeed(QStringLiteral("u"), std::nullopt));
    ASSERT_TRUE(suggestion && !suggestion->has_value());
    EXPECT_EQ(suggestion->error().kind, ErrorKind::Transport);
}

} // namespace
