// The app's server client against the sample server: whatever one side
// writes, the other must read.
#include "ServerFixture.h"

#include "FakeTime.h"
#include "SampleCatalogue.h"
#include "api/FeedAPI.h"
#include "api/ManifestModels.h"
#include "api/OrbModels.h"

#include <QSet>

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

    template <class T>
    T ok(QCoro::Task<Result<T>>&& task)
    {
        auto result = awaitTask(std::move(task));
        if (!result) {
            ADD_FAILURE() << "no answer";
            return T{};
        }
        if (!result->has_value()) {
            ADD_FAILURE() << result->error().description.toStdString();
            return T{};
        }
        return **result;
    }

    Error failure(QCoro::Task<Result<FeedAPI::SuggestionOutcome>>&& task)
    {
        auto result = awaitTask(std::move(task));
        if (!result || result->has_value()) {
            ADD_FAILURE() << "expected a failure";
            return {};
        }
        return result->error();
    }

    FakeTime time;  // a retry would wait on it and never come: the server must not answer 5xx
    std::unique_ptr<FeedAPI> api;
};

TEST_F(FeedApiAgainstServerTest, CatalogueReadsDecode)
{
    const auto manifest = ok(api->get<ManifestResponse>("v1_manifest"));
    EXPECT_FALSE(manifest.notModified);
    EXPECT_EQ(manifest.value.topics.size(), 8);
    ASSERT_TRUE(manifest.value.pillars.has_value());
    EXPECT_EQ(manifest.value.pillars->size(), 6);
    EXPECT_EQ(manifest.value.feedIndex.size(), server.catalogue().feeds().size());
    ASSERT_TRUE(manifest.value.clientRelease.has_value());
    int dated = 0;
    for (const FeedIndexItem& feed : manifest.value.feedIndex)
        dated += feed.lastItemAt.has_value();
    EXPECT_GT(dated, 50);

    const auto orbs = ok(api->get<OrbsResponse>("v1_orbs"));
    EXPECT_EQ(orbs.value.orbs.size(), manifest.value.topics.size());
    for (const Orb& orb : orbs.value.orbs) {
        ASSERT_TRUE(orb.keywords && orb.keywordUrls);
        EXPECT_EQ(orb.keywords->size(), orb.keywordUrls->size());
    }
}

TEST_F(FeedApiAgainstServerTest, ItemsBatchDecodesAndRevalidates)
{
    const auto manifest = ok(api->get<ManifestResponse>("v1_manifest"));
    QStringList active;
    for (const FeedIndexItem& feed : manifest.value.feedIndex)
        if (feed.isActive.value_or(true))
            active.append(feed.id);
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

    const auto windowed = ok(api->itemsBatch(active, 10, 30));
    for (const FeedItem& item : windowed.value.items)
        EXPECT_GE(*item.publishedAt, now().addSecs(-30 * 60));
}

TEST_F(FeedApiAgainstServerTest, QueryValuesSurviveTheRoundTrip)
{
    struct Case {
        QString city;
        QString expected;
    };
    for (const Case& test : QList<Case>{{"   ", "Dublin"}, {"São Paulo", "São Paulo"}, {"A+B", "A+B"}}) {
        SCOPED_TRACE(test.city.toStdString());
        EXPECT_EQ(ok(api->weather(test.city)).value.city, test.expected);
    }
    const auto bundle = ok(api->nowPlaying("Kito & the Night Bus", QStringLiteral("Night + Day")));
    EXPECT_EQ(bundle.value.artist.name, "Kito & the Night Bus");
    EXPECT_TRUE(bundle.value.artist.country.has_value());
    EXPECT_TRUE(bundle.value.streams.cards.has_value());

    const auto other = ok(api->nowPlaying("Someone Else", std::nullopt));
    EXPECT_EQ(other.value.artist.name, "Someone Else");
    EXPECT_FALSE(other.value.streams.news.isEmpty());
}

TEST_F(FeedApiAgainstServerTest, FormsReachTheServer)
{
    auto sent = awaitTask(api->sendFeedback(5, "Works offline", QString(), QStringLiteral("0.1.0"), std::nullopt));
    ASSERT_TRUE(sent.has_value());
    ASSERT_TRUE(sent->has_value()) << sent->error().description.toStdString();
    ASSERT_EQ(server.feedbackReceived().size(), 1);
    const QJsonObject feedback = server.feedbackReceived().first();
    EXPECT_EQ(feedback["rating"].toInt(), 5);
    EXPECT_FALSE(feedback.contains("email"));
    EXPECT_EQ(feedback["app_version"].toString(), "0.1.0");

    // A refused suggestion shows the server's own message.
    const Error refused = failure(api->suggestFeed("ftp://files.example/feed", std::nullopt));
    EXPECT_EQ(refused.httpStatus, 400);
    EXPECT_EQ(refused.description, "That doesn't look like a web address.");

    using Kind = FeedAPI::SuggestionOutcome::Kind;
    struct Case {
        QString url;
        FeedAPI::SuggestionOutcome expected;
    };
    const QList<Case> cases = {
        {"https://stackline.example/feed", {Kind::AlreadyCarried, {}, std::nullopt}},
        {"https://lakeside.example/feed.xml", {Kind::Added, "Lakeside", std::nullopt}},
        {"https://lakeside.example/feed.xml", {Kind::AlreadySuggested, {}, std::nullopt}},
        {"https://quietblog.example/", {Kind::Received, "Quietblog", std::nullopt}},
        {"https://techdesk.example/rss", {Kind::Added, "Techdesk", QStringLiteral("Technology")}},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.url.toStdString());
        EXPECT_EQ(ok(api->suggestFeed(test.url, std::nullopt)), test.expected);
    }
    // Five were read: the next one is over the limit.
    const Error limited = failure(api->suggestFeed("https://one-more.example/feed", std::nullopt));
    EXPECT_EQ(limited.httpStatus, 429);
    EXPECT_EQ(limited.description, FeedAPI::rateLimitedMessage);
}

} // namespace
