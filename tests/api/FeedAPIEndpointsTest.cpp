#include "api/FeedAPI.h"

#include "ApiTestSupport.h"
#include "ApiTestUtil.h"
#include "Await.h"
#include "LoopbackServer.h"

#include <QJsonDocument>
#include <gtest/gtest.h>

namespace {

using Response = LoopbackServer::Response;

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

TEST_F(FeedAPIEndpoints, ArtistWithAndWithoutTrackRevalidateSeparately)
{
    server.handle(QStringLiteral("/v1_nowplaying"), [](const LoopbackServer::Request& r) {
        return Response::json(kNowPlaying).header("ETag", "\"" + r.rawTarget.toUtf8() + "\"");
    });
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(awaitTask(api->nowPlaying(QStringLiteral("A"), std::nullopt)));
        ASSERT_TRUE(awaitTask(api->nowPlaying(QStringLiteral("A"), QStringLiteral("T"))));
    }
    const auto requests = server.requestsFor(QStringLiteral("/v1_nowplaying"));
    ASSERT_EQ(requests.size(), 4);
    EXPECT_EQ(requests[2].header("If-None-Match"), QByteArray("\"/v1_nowplaying?artist=A\""));
    EXPECT_EQ(requests[3].header("If-None-Match"), QByteArray("\"/v1_nowplaying?artist=A&track=T\""));
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
