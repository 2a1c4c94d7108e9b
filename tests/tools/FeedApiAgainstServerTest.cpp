// The app's server client against the sample server: whatever one side
// writes, the other must read.
#include "ServerFixture.h"

#include "FakeTime.h"
#include "SampleCatalogue.h"
#include "api/FeedAPI.h"
#include "api/ManifestModels.h"
#include "api/OrbModels.h"

namespace {

class FeedApiAgainstServerTest : public ServerFixture {
protected:
    void SetUp() override
    {
        ServerFixture::SetUp();
        FeedAPIConfig config = FeedAPIConfig::standard();
        config.baseURL = server.baseUrl();
        api = std::make_unique<FeedAPI>(time, config);
    }

    // The call's value, or its error when `expectFailure`.
    template <class T>
    Result<T> finish(QCoro::Task<Result<T>>&& task, bool expectFailure = false)
    {
        auto result = awaitTask(std::move(task));
        if (result && result->has_value() != expectFailure)
            return *result;
        ADD_FAILURE() << (!result ? "no answer" : expectFailure ? "expected a failure" : result->error().description.toStdString());
        return result && !expectFailure ? *result : Result<T>(fail(ErrorKind::Transport, QStringLiteral("unexpected")));
    }
    template <class T>
    T ok(QCoro::Task<Result<T>>&& task) { return finish(std::move(task)).value_or(T{}); }

    FakeTime time;  // a retry would wait on it and never come: the server must not answer 5xx
    std::unique_ptr<FeedAPI> api;
};

TEST_F(FeedApiAgainstServerTest, CatalogueReadsDecodeAndRevalidate)
{
    const auto manifest = ok(api->get<ManifestResponse>("v1_manifest"));
    EXPECT_FALSE(manifest.notModified);
    EXPECT_EQ(manifest.value.topics.size(), 8);
    EXPECT_EQ(manifest.value.pillars.value_or(QList<Pillar>()).size(), 6);
    EXPECT_EQ(manifest.value.feedIndex.size(), server.catalogue().feeds().size());
    EXPECT_TRUE(manifest.value.clientRelease.has_value());
    QStringList active;
    int dated = 0;
    for (const FeedIndexItem& feed : manifest.value.feedIndex) {
        dated += feed.lastItemAt.has_value();
        if (feed.isActive.value_or(true))
            active.append(feed.id);
    }
    EXPECT_GT(dated, 50);

    const auto orbs = ok(api->get<OrbsResponse>("v1_orbs"));
    EXPECT_EQ(orbs.value.orbs.size(), manifest.value.topics.size());
    for (const Orb& orb : orbs.value.orbs) {
        ASSERT_TRUE(orb.keywords && orb.keywordUrls);
        EXPECT_EQ(orb.keywords->size(), orb.keywordUrls->size());
    }

    const auto first = ok(api->itemsBatch(active, 3, std::nullopt));
    EXPECT_FALSE(first.notModified);
    EXPECT_GT(first.value.items.size(), 100);
    QHash<QString, int> perFeed;
    for (const FeedItem& item : first.value.items) {
        ASSERT_TRUE(item.source && item.publishedAt);
        EXPECT_LE(++perFeed[item.source->id], 3);
        EXPECT_TRUE(active.contains(item.source->id));
    }
    // Nothing new at the same time: the server answers 304 and the client keeps its copy.
    const auto again = ok(api->itemsBatch(active, 3, std::nullopt));
    EXPECT_TRUE(again.notModified);
    EXPECT_EQ(again.value.items.size(), first.value.items.size());
    for (const FeedItem& item : ok(api->itemsBatch(active, 10, 30)).value.items)
        EXPECT_GE(*item.publishedAt, now().addSecs(-30 * 60));
}

TEST_F(FeedApiAgainstServerTest, QueryValuesSurviveTheRoundTrip)
{
    for (const auto& [city, expected] : {std::pair<QString, QString>{"   ", "Dublin"}, {"São Paulo", "São Paulo"}, {"A+B", "A+B"}})
        EXPECT_EQ(ok(api->weather(city)).value.city, expected);
    const auto bundle = ok(api->nowPlaying("Kito & the Night Bus", QStringLiteral("Night + Day"))).value;
    EXPECT_EQ(bundle.artist.name, "Kito & the Night Bus");
    EXPECT_TRUE(bundle.artist.country && bundle.streams.cards);
    const auto other = ok(api->nowPlaying("Someone Else", std::nullopt)).value;
    EXPECT_EQ(other.artist.name, "Someone Else");
    EXPECT_FALSE(other.streams.news.isEmpty());
}

TEST_F(FeedApiAgainstServerTest, FormsReachTheServer)
{
    ASSERT_TRUE(finish(api->sendFeedback(5, "Works offline", QString(), QStringLiteral("0.1.0"), std::nullopt)));
    ASSERT_EQ(server.feedbackReceived().size(), 1);
    const QJsonObject feedback = server.feedbackReceived().first();
    EXPECT_EQ(feedback["rating"].toInt(), 5);
    EXPECT_FALSE(feedback.contains("email"));
    EXPECT_EQ(feedback["app_version"].toString(), "0.1.0");

    // A refused suggestion shows the server's own message.
    const Error refused = finish(api->suggestFeed("ftp://files.example/feed", std::nullopt), true).error();
    EXPECT_EQ(refused.httpStatus, 400);
    EXPECT_EQ(refused.description, "That doesn't look like a web address.");

    using Kind = FeedAPI::SuggestionOutcome::Kind;
    const std::pair<const char*, FeedAPI::SuggestionOutcome> cases[] = {
        {"https://stackline.example/feed", {Kind::AlreadyCarried, {}, std::nullopt}},
        {"https://lakeside.example/feed.xml", {Kind::Added, "Lakeside", std::nullopt}},
        {"https://lakeside.example/feed.xml", {Kind::AlreadySuggested, {}, std::nullopt}},
        {"https://quietblog.example/", {Kind::Received, "Quietblog", std::nullopt}},
        {"https://techdesk.example/rss", {Kind::Added, "Techdesk", QStringLiteral("Technology")}},
    };
    for (const auto& [url, expected] : cases)
        EXPECT_EQ(ok(api->suggestFeed(QString::fromUtf8(url), std::nullopt)), expected) << url;
    // Five were read: the next one is over the limit.
    const Error limited = finish(api->suggestFeed("https://one-more.example/feed", std::nullopt), true).error();
    EXPECT_EQ(limited.httpStatus, 429);
    EXPECT_EQ(limited.description, FeedAPI::rateLimitedMessage);
}

} // namespace
