#include "api/ApiJson.h"
#include "api/ManifestModels.h"

#include "ApiTestUtil.h"

#include <gtest/gtest.h>

namespace {

const JsonOptions kServer = ApiJson::serverOptions();

QDateTime utc(int y, int mo, int d, int h, int mi, int s, int ms = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms), Qt::UTC);
}

TEST(ManifestModels, DecodesFixture)
{
    auto m = decodeJson<ManifestResponse>(fixture(QStringLiteral("manifest.json")), kServer);
    ASSERT_TRUE(m.has_value()) << m.error().description.toStdString();
    ASSERT_EQ(m->topics.size(), 3);
    EXPECT_EQ(m->topics[0].id, QStringLiteral("t-ai"));
    EXPECT_EQ(m->topics[0].title, QStringLiteral("Artificial Intelligence"));
    EXPECT_EQ(m->topics[0].slug, QStringLiteral("tech-ai"));
    EXPECT_EQ(m->topics[0].orbColor, QStringLiteral("#6699FF"));
    EXPECT_FALSE(m->topics[1].orbColor.has_value());

    ASSERT_TRUE(m->pillars.has_value());
    ASSERT_EQ(m->pillars->size(), 1);
    const Pillar expected{QStringLiteral("tech-ai"), QStringLiteral("Tech & AI"), QStringLiteral("cpu"),
                          QStringLiteral("#6699FF"), QStringLiteral("Chips and models"), 1, 42};
    EXPECT_EQ(m->pillars->at(0), expected);
    EXPECT_EQ(m->pillars->at(0).id(), QStringLiteral("tech-ai"));

    ASSERT_EQ(m->feedIndex.size(), 3);
    const FeedIndexItem& f = m->feedIndex[0];
    EXPECT_EQ(f.id, QStringLiteral("f1"));
    EXPECT_EQ(f.url, QStringLiteral("https://example.com/feed"));
    EXPECT_EQ(f.iconUrl, QStringLiteral("https://example.com/i.png"));
    EXPECT_EQ(f.isActive, true);
    EXPECT_EQ(f.sourceType, SourceType::HackerNews);
    EXPECT_EQ(f.items30d, 900);
    EXPECT_EQ(f.items1h, 4);
    EXPECT_EQ(f.lastItemAt, utc(2026, 1, 15, 11, 59, 0, 500));
    EXPECT_EQ(f.status, QStringLiteral("ok"));
    EXPECT_EQ(f.category->name, QStringLiteral("Tech"));
    EXPECT_EQ(f.pillar, QStringLiteral("tech-ai"));
    EXPECT_EQ(f.rankScore, 0.75);

    const FeedIndexItem& bare = m->feedIndex[1];
    EXPECT_FALSE(bare.url || bare.iconUrl || bare.isActive || bare.sourceType || bare.items30d || bare.items1h
                 || bare.lastItemAt || bare.status || bare.category || bare.pillar || bare.rankScore);
    EXPECT_EQ(bare.health(utc(2026, 1, 15, 12, 0, 0)), FeedIndexItem::Health::Quiet);

    const FeedIndexItem& odd = m->feedIndex[2];
    EXPECT_EQ(odd.sourceType, SourceType::Rss);
    EXPECT_FALSE(odd.isActive.has_value());
    EXPECT_EQ(odd.rankScore, 3.0);
    EXPECT_EQ(odd.lastItemAt, utc(2026, 1, 1, 0, 0, 0));

    ASSERT_TRUE(m->clientRelease.has_value());
    const ClientRelease release{QStringLiteral("1.4.0"), 140, QStringLiteral("https://example.com/t.AppImage"),
                                QStringLiteral("Fixes"), QStringLiteral("1.0")};
    EXPECT_EQ(*m->clientRelease, release);
}

TEST(ManifestModels, OptionalSectionsMayBeMissingOrNull)
{
    for (const char* json : {R"({"topics":[],"feed_index":[]})",
                             R"({"topics":[],"feed_index":[],"pillars":null,"client_release":null})"}) {
        auto m = decodeJson<ManifestResponse>(QByteArray(json), kServer);
        ASSERT_TRUE(m.has_value()) << json;
        EXPECT_FALSE(m->pillars.has_value());
        EXPECT_FALSE(m->clientRelease.has_value());
    }
}

TEST(ManifestModels, OneBadElementFailsTheWholeManifest)
{
    const char* cases[] = {
        R"({"topics":[],"feed_index":[{"title":"no id"}]})",
        R"({"topics":[],"feed_index":[{"feed_id":"f"}]})",
        R"({"topics":[{"topic_id":"t","slug":"s"}],"feed_index":[]})",
        R"({"topics":[],"feed_index":[],"pillars":[{"slug":"s","name":"n","icon":"i","tint":"t","blurb":"b","sort_order":1}]})",
        R"({"topics":[],"feed_index":[{"feed_id":"f","title":"t","last_item_at":"soon"}]})",
        R"({"topics":[],"feed_index":[{"feed_id":"f","title":"t","is_active":"yes"}]})",
        R"({"topics":[],"feed_index":[{"feed_id":"f","title":"t","items_30d":2.5}]})",
        R"({"topics":[],"feed_index":[{"feed_id":"f","title":"t","rank_score":"high"}]})",
        R"({"topics":[],"feed_index":[],"client_release":{"version":"1"}})",
        R"({"topics":[],"feed_index":[],"client_release":{"version":1,"download_url":"x"}})",
        R"({"feed_index":[]})",
        R"({"topics":[]})",
        R"({"topics":[],"feed_index":[],"pillars":{}})",
    };
    for (const char* json : cases) {
        auto m = decodeJson<ManifestResponse>(QByteArray(json), kServer);
        EXPECT_FALSE(m.has_value()) << json;
    }
    auto date = decodeJson<ManifestResponse>(
        R"({"topics":[],"feed_index":[{"feed_id":"f","title":"t","last_item_at":"soon"}]})", kServer);
    EXPECT_TRUE(date.error().description.contains(QStringLiteral("Cannot parse date: soon")));
}

TEST(ManifestModels, RoundTripWithTheSnapshotCoding)
{
    auto m = decodeJson<ManifestResponse>(fixture(QStringLiteral("manifest.json")), kServer);
    ASSERT_TRUE(m.has_value());
    const JsonOptions snapshot{DateCoding::referenceSeconds()};
    auto back = ManifestResponse::fromJson(m->toJson(snapshot), snapshot);
    ASSERT_TRUE(back.has_value()) << back.error().description.toStdString();
    ASSERT_EQ(back->feedIndex.size(), 3);
    for (int i = 0; i < 3; ++i) {
        const FeedIndexItem& a = m->feedIndex[i];
        const FeedIndexItem& b = back->feedIndex[i];
        EXPECT_EQ(a.id, b.id);
        EXPECT_EQ(a.title, b.title);
        EXPECT_EQ(a.url, b.url);
        EXPECT_EQ(a.iconUrl, b.iconUrl);
        EXPECT_EQ(a.isActive, b.isActive);
        EXPECT_EQ(a.sourceType, b.sourceType);
        EXPECT_EQ(a.items30d, b.items30d);
        EXPECT_EQ(a.items1h, b.items1h);
        EXPECT_EQ(a.lastItemAt, b.lastItemAt);
        EXPECT_EQ(a.status, b.status);
        EXPECT_EQ(a.category, b.category);
        EXPECT_EQ(a.pillar, b.pillar);
        EXPECT_EQ(a.rankScore, b.rankScore);
    }
    EXPECT_EQ(back->pillars, m->pillars);
    EXPECT_EQ(back->clientRelease, m->clientRelease);
    ASSERT_EQ(back->topics.size(), 3);
    EXPECT_EQ(back->topics[2].orbColor, std::nullopt);
    const QJsonObject bare = m->feedIndex[1].toJson(snapshot);
    EXPECT_EQ(bare.keys(), (QStringList{QStringLiteral("feed_id"), QStringLiteral("title")}));
}

TEST(ManifestModels, Health)
{
    const QDateTime now = utc(2026, 1, 15, 12, 0, 0);
    struct Case {
        std::optional<QString> status;
        std::optional<QDateTime> last;
        FeedIndexItem::Health health;
    };
    using H = FeedIndexItem::Health;
    const Case cases[] = {
        {QStringLiteral("BROKEN"), now.addSecs(-60), H::Broken},
        {QStringLiteral("Broken"), std::nullopt, H::Broken},
        {QStringLiteral("broken "), now, H::Flowing},
        {std::nullopt, now.addDays(-6), H::Flowing},
        {std::nullopt, now.addDays(-8), H::Quiet},
        {std::nullopt, std::nullopt, H::Quiet},
        {QStringLiteral("stale"), now.addSecs(-1), H::Flowing},
        {std::nullopt, now.addSecs(-604800), H::Quiet},
        {std::nullopt, now.addSecs(-604799), H::Flowing},
        {std::nullopt, now.addDays(1), H::Flowing},
    };
    for (const Case& c : cases) {
        FeedIndexItem f;
        f.status = c.status;
        f.lastItemAt = c.last;
        EXPECT_EQ(f.health(now), c.health) << c.status.value_or("-").toStdString() << ' '
                                           << (c.last ? c.last->toString(Qt::ISODate).toStdString() : "none");
    }
}

TEST(ManifestModels, VersionComparison)
{
    struct Case {
        const char* a;
        const char* b;
        bool newer;
    };
    const Case cases[] = {
        {"1.10", "1.9", true},
        {"1.9", "1.10", false},
        {"1.2.1", "1.2", true},
        {"1.2", "1.2.0", false},
        {"1.2.0", "1.2", false},
        {"1..3", "1.3", false},
        {"1.3", "1..3", false},
        {".1.3.", "1.2", true},
        {"2.0-beta3", "2.0", true},
        {"v1.4", "1.3", true},
        {"1.2", "1.2", false},
        {"", "", false},
        {"", "0.0.1", false},
        {"0.0.1", "", true},
        {"1.99999999999999999999", "1.1", false},  // overflow reads 0
        {"1.1", "1.99999999999999999999", true},
        {"1.9223372036854775807", "1.9223372036854775806", true},
        {"1.\u0663", "1.0", false},  // Arabic-Indic three: numeric, not ASCII -> 0
        {"1.\u0663", "1.1", false},
        {"1.\u00bd", "1.0", false},  // vulgar half is numeric, not a digit -> 0
        {"1.a", "1.0", false},
        {"3", "2.99.99", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ClientRelease::isNewer(QString::fromUtf8(c.a), QString::fromUtf8(c.b)), c.newer)
            << c.a << " vs " << c.b;
}

TEST(ManifestModels, DownloadURL)
{
    const std::pair<const char*, const char*> cases[] = {
        {"https://example.com/t.AppImage", "https://example.com/t.AppImage"},
        {"HTTPS://example.com/x", "https://example.com/x"},
        {"http://example.com", "http://example.com"},
        {"https://example.com/Tidewire 2.0|x64{beta}.AppImage",
         "https://example.com/Tidewire%202.0%7Cx64%7Bbeta%7D.AppImage"},
        {"ftp://example.com/x", nullptr},
        {"example.com/x", nullptr},
        {"", nullptr},
        {"javascript:alert(1)", nullptr},
        {" https://example.com/x", nullptr},  // not trimmed
        {"file:///etc/passwd", nullptr},
    };
    for (const auto& [text, expected] : cases) {
        ClientRelease r{QStringLiteral("1"), std::nullopt, QString::fromUtf8(text), std::nullopt, std::nullopt};
        const auto url = r.downloadURL();
        if (expected) {
            ASSERT_TRUE(url.has_value()) << text;
            EXPECT_EQ(url->toEncoded(), QByteArray(expected)) << text;
        } else {
            EXPECT_FALSE(url.has_value()) << text;
        }
    }
}

} // namespace
