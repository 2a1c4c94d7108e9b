#include "api/ApiJson.h"
#include "api/OrbModels.h"
#include "api/Palette.h"

#include "ApiTestUtil.h"

#include <gtest/gtest.h>

namespace {

const JsonOptions kServer = ApiJson::serverOptions();

Orb bareOrb(const char* id = "t")
{
    Orb o;
    o.id = QString::fromUtf8(id);
    o.topicLabel = QStringLiteral("Label");
    return o;
}

TEST(OrbModels, DecodesFixture)
{
    auto r = decodeJson<OrbsResponse>(fixture(QStringLiteral("orbs.json")), kServer);
    ASSERT_TRUE(r.has_value()) << r.error().description.toStdString();
    ASSERT_EQ(r->orbs.size(), 3);
    const Orb& o = r->orbs[0];
    EXPECT_EQ(o.id, QStringLiteral("t-ai"));
    EXPECT_EQ(o.topicLabel, QStringLiteral("AI chips"));
    EXPECT_EQ(o.sentiment, (Orb::Sentiment{-0.25, QStringLiteral("tense")}));
    EXPECT_EQ(o.keywords, (QStringList{"Nvidia", "", "TSMC"}));
    ASSERT_TRUE(o.keywordUrls.has_value());
    ASSERT_EQ(o.keywordUrls->size(), 3);
    EXPECT_FALSE(o.keywordUrls->at(0).has_value());
    EXPECT_EQ(o.keywordUrls->at(1), QStringLiteral("https://example.com/tsmc"));
    EXPECT_EQ(o.velocity, (Orb::Velocity{12.5, QStringLiteral("surging")}));
    EXPECT_EQ(o.volume, 12);
    ASSERT_EQ(o.topItems->size(), 2);
    EXPECT_EQ(o.topItems->at(0), (Orb::TopItem{"a1", 0.9, QStringLiteral("https://example.com/a.jpg")}));
    EXPECT_EQ(o.topItems->at(1), (Orb::TopItem{"a2", std::nullopt, std::nullopt}));
    EXPECT_EQ(o.diversity, 5);
    EXPECT_EQ(o.topSources->at(1), (Orb::TopSource{"f2", std::nullopt}));

    const Orb& bare = r->orbs[1];
    Orb expectedBare = bareOrb("t-bare");
    expectedBare.topicLabel = QStringLiteral("Bare");
    EXPECT_EQ(bare, expectedBare);
    EXPECT_FALSE(bare.sentiment || bare.keywords || bare.keywordUrls || bare.displayColor || bare.restingColor
                 || bare.velocity || bare.volume || bare.topItems || bare.diversity || bare.topSources
                 || bare.categorySlugs);
    const QJsonObject encoded = bare.toJson(kServer);
    EXPECT_EQ(encoded.keys(), (QStringList{"topic_id", "topic_label"}));

    const Orb& empty = r->orbs[2];
    ASSERT_TRUE(empty.sentiment.has_value());
    EXPECT_FALSE(empty.sentiment->score || empty.sentiment->label);
    EXPECT_FALSE(empty.velocity.has_value());
}

TEST(OrbModels, KeywordUrlNullsKeepTheirPlaceThroughARoundTrip)
{
    auto orb = Orb::fromJson(jsonObject(R"({"topic_id":"t","topic_label":"l","keywords":["a","b"],
                                           "keyword_urls":[null,"https://b.test"]})"), kServer);
    ASSERT_TRUE(orb.has_value());
    const QJsonObject out = orb->toJson(kServer);
    const QJsonArray urls = out.value(QStringLiteral("keyword_urls")).toArray();
    ASSERT_EQ(urls.size(), 2);
    EXPECT_TRUE(urls[0].isNull());
    EXPECT_EQ(urls[1].toString(), QStringLiteral("https://b.test"));
    auto back = Orb::fromJson(out, kServer);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(*back, *orb);

    auto full = decodeJson<OrbsResponse>(fixture(QStringLiteral("orbs.json")), kServer);
    ASSERT_TRUE(full.has_value());
    for (const Orb& o : full->orbs) {
        auto again = Orb::fromJson(o.toJson(kServer), kServer);
        ASSERT_TRUE(again.has_value()) << o.id.toStdString();
        EXPECT_EQ(*again, o) << o.id.toStdString();
    }
}

TEST(OrbModels, WholeReplyFails)
{
    const char* cases[] = {
        R"({})",
        R"({"orbs":[{"topic_label":"x"}]})",
        R"({"orbs":[{"topic_id":"x"}]})",
        R"({"orbs":[{"topic_id":"x","topic_label":"l","top_items":[{"score":1}]}]})",
        R"({"orbs":[{"topic_id":"x","topic_label":"l","top_sources":[{"count":1}]}]})",
        R"({"orbs":[{"topic_id":"x","topic_label":"l","keywords":["a",3]}]})",
        R"({"orbs":[{"topic_id":"x","topic_label":"l","keyword_urls":["a",3]}]})",
        R"({"orbs":[{"topic_id":"x","topic_label":"l","volume":"12"}]})",
        R"({"orbs":[{"topic_id":"x","topic_label":"l","sentiment":{"score":"high"}}]})",
    };
    for (const char* json : cases)
        EXPECT_FALSE(decodeJson<OrbsResponse>(QByteArray(json), kServer).has_value()) << json;
    auto empty = decodeJson<OrbsResponse>(R"({"orbs":[]})", kServer);
    ASSERT_TRUE(empty.has_value());
    EXPECT_TRUE(empty->orbs.isEmpty());
}

TEST(OrbModels, EqualityCoversEveryField)
{
    auto r = decodeJson<OrbsResponse>(fixture(QStringLiteral("orbs.json")), kServer);
    ASSERT_TRUE(r.has_value());
    const Orb base = r->orbs[0];
    const std::function<void(Orb&)> mutations[] = {
        [](Orb& o) { o.topicLabel += u'x'; },
        [](Orb& o) { o.sentiment->score = 0.0; },
        [](Orb& o) { o.keywords->append(QStringLiteral("k")); },
        [](Orb& o) { (*o.keywordUrls)[0] = QString(); },
        [](Orb& o) { o.displayColor.reset(); },
        [](Orb& o) { o.restingColor = QStringLiteral("#000"); },
        [](Orb& o) { o.velocity->ui.reset(); },
        [](Orb& o) { o.volume = 13; },
        [](Orb& o) { (*o.topItems)[1].score = 0.1; },
        [](Orb& o) { o.diversity.reset(); },
        [](Orb& o) { (*o.topSources)[0].count = 4; },
        [](Orb& o) { o.categorySlugs.reset(); },
        [](Orb& o) { o.id = QStringLiteral("other"); },
    };
    int i = 0;
    for (const auto& mutate : mutations) {
        Orb other = base;
        mutate(other);
        EXPECT_NE(other, base) << "mutation " << i++;
    }
    EXPECT_EQ(Orb(base), base);
}

TEST(OrbDisplay, VelocityIntensity)
{
    struct Case {
        std::optional<Orb::Velocity> velocity;
        double intensity;
    };
    const Case cases[] = {
        {Orb::Velocity{6.0, std::nullopt}, 0.5},
        {Orb::Velocity{18.0, QStringLiteral("calm")}, 0.75},
        {Orb::Velocity{0.0, QStringLiteral("Hot")}, 0.9},
        {Orb::Velocity{-3.0, QStringLiteral("SPIKING")}, 0.9},
        {Orb::Velocity{std::nullopt, QStringLiteral("climbing")}, 0.55},
        {Orb::Velocity{std::nullopt, QStringLiteral("Medium")}, 0.55},
        {Orb::Velocity{std::nullopt, QStringLiteral("steady")}, 0.2},
        {Orb::Velocity{std::nullopt, QStringLiteral("low")}, 0.2},
        {Orb::Velocity{std::nullopt, QStringLiteral("warp")}, 0.0},
        {Orb::Velocity{std::nullopt, std::nullopt}, 0.0},
        {std::nullopt, 0.0},
        {Orb::Velocity{1e300, std::nullopt}, 1.0},
    };
    for (const Case& c : cases) {
        Orb o = bareOrb();
        o.velocity = c.velocity;
        EXPECT_DOUBLE_EQ(o.velocityIntensity(), c.intensity);
    }
}

TEST(OrbDisplay, StatusLabel)
{
    struct Case {
        const char* name;
        std::optional<QString> display, resting, label, ui;
        std::optional<qint64> volume;
        const char* expected;
    };
    const Case cases[] = {
        {"distinct colours and label", "#f00", "#00f", "tense", "hot", 3, "TENSE"},
        {"equal colours skip label", "#f00", "#f00", "tense", "hot", 3, "HOT"},
        {"empty label", "#f00", "#00f", "", "rising", 3, "RISING"},
        {"one colour", "#f00", std::nullopt, "tense", std::nullopt, 12, "12 SIGNALS"},
        {"volume one", std::nullopt, std::nullopt, std::nullopt, std::nullopt, 1, "1 SIGNAL"},
        {"volume zero", std::nullopt, std::nullopt, std::nullopt, std::nullopt, 0, "SCANNING\u2026"},
        {"no volume", std::nullopt, std::nullopt, std::nullopt, "", std::nullopt, "SCANNING\u2026"},
        {"negative volume", std::nullopt, std::nullopt, std::nullopt, std::nullopt, -2, "SCANNING\u2026"},
    };
    for (const Case& c : cases) {
        Orb o = bareOrb();
        o.displayColor = c.display;
        o.restingColor = c.resting;
        if (c.label)
            o.sentiment = Orb::Sentiment{std::nullopt, c.label};
        if (c.ui)
            o.velocity = Orb::Velocity{std::nullopt, c.ui};
        o.volume = c.volume;
        EXPECT_EQ(o.statusLabel(), QString::fromUtf8(c.expected)) << c.name;
    }
}

TEST(OrbDisplay, KeywordSetsAndLinks)
{
    auto r = decodeJson<OrbsResponse>(fixture(QStringLiteral("orbs.json")), kServer);
    ASSERT_TRUE(r.has_value());
    const Orb& o = r->orbs[0];
    EXPECT_EQ(o.normalizedKeywords(), (QStringList{"nvidia", "tsmc"}));
    EXPECT_EQ(o.topItemIDs(), (QSet<QString>{"a1", "a2"}));
    EXPECT_EQ(o.normalizedCategorySlugs(), (QSet<QString>{"tech", "business"}));
    const Orb& bare = r->orbs[1];
    EXPECT_TRUE(bare.normalizedKeywords().isEmpty());
    EXPECT_TRUE(bare.topItemIDs().isEmpty());
    EXPECT_TRUE(bare.normalizedCategorySlugs().isEmpty());

    Orb links = bareOrb();
    links.keywordUrls = QList<std::optional<QString>>{std::nullopt, QStringLiteral("https://b.test/x"),
                                                      QStringLiteral("ftp://c.test"), QString(),
                                                      QStringLiteral("HTTP://d.test"), QStringLiteral("not a url"),
                                                      QStringLiteral("https://e.test/q?k=a b|c{d}")};
    const std::pair<qsizetype, const char*> cases[] = {
        {-1, nullptr}, {0, nullptr}, {1, "https://b.test/x"}, {2, nullptr}, {3, nullptr},
        {4, "http://d.test"}, {5, nullptr}, {6, "https://e.test/q?k=a%20b%7Cc%7Bd%7D"}, {7, nullptr}, {1000, nullptr},
        {std::numeric_limits<qsizetype>::min(), nullptr},
    };
    for (const auto& [index, expected] : cases) {
        const auto url = links.keywordURL(index);
        if (expected) {
            ASSERT_TRUE(url.has_value()) << index;
            EXPECT_EQ(url->toEncoded(), QByteArray(expected)) << index;
        } else {
            EXPECT_FALSE(url.has_value()) << index;
        }
    }
    EXPECT_FALSE(bareOrb().keywordURL(0).has_value());
}

TEST(OrbDisplay, Colour)
{
    const QList<Topic> topics{
        {QStringLiteral("t"), QStringLiteral("T"), QStringLiteral("sports"), std::nullopt},
        {QStringLiteral("t"), QStringLiteral("Second"), QStringLiteral("tech-ai"), std::nullopt},
        {QStringLiteral("u"), QStringLiteral("U"), QStringLiteral("unknown"), std::nullopt},
    };
    struct Case {
        const char* name;
        const char* id;
        std::optional<QString> display, resting;
        Rgba expected;
    };
    const Rgba sports = rgba(pillarSlugColors().value(QStringLiteral("sports")));
    const Rgba neutral = rgba(Palette::orbNeutral());
    const Rgba accent = rgba(Palette::accent());
    const Case cases[] = {
        {"distinct colours", "t", "#FF3B30", "#6699FF", {0xFF, 0x3B, 0x30, 255}},
        {"equal colours use the first topic's pillar", "t", "#FF3B30", "#FF3B30", sports},
        {"no colours, pillar", "t", std::nullopt, std::nullopt, sports},
        {"colours but no pillar", "u", "#111", "#111", neutral},
        {"one colour, no topic", "x", std::nullopt, "#222", neutral},
        {"nothing", "x", std::nullopt, std::nullopt, accent},
        {"empty texts", "x", "", "", accent},
        {"invalid hex falls through to the pillar", "t", "12345", "#6699FF", sports},
        {"invalid hex without pillar", "x", "GGGGGG", "#6699FF", neutral},
        {"eight digits keep alpha", "x", "80FF0000", "#6699FF", {255, 0, 0, 128}},
    };
    for (const Case& c : cases) {
        Orb o = bareOrb(c.id);
        o.displayColor = c.display;
        o.restingColor = c.resting;
        EXPECT_EQ(rgba(o.color(topics)), c.expected) << c.name;
    }
}

} // namespace
