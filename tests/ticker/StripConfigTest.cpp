#include "TickerTestUtil.h"
#include "platform/Defaults.h"
#include "store/FilterStore.h"
#include "ticker/CategoryMixOptions.h"
#include "ticker/PhraseToggle.h"
#include "ticker/StripConfig.h"
#include "ticker/StripMetrics.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <gtest/gtest.h>

namespace {

QString stored(const Defaults& d)
{
    return d.stringValue(StripConfig::stripsKey, QStringLiteral("<absent>"));
}

TEST(StripConfigTest, LoadTakesTheFirstStoredStripOrFallsBackToOlderSettings)
{
    const StripConfig legacyDefault{QStringLiteral("latest"), 1.0, 2, QStringLiteral("Black")};
    struct Case {
        const char* name;
        QJsonObject settings;
        StripConfig expected;
    };
    const QList<Case> cases = {
        {"nothing stored", {}, legacyDefault},
        {"two strips: the first only",
         {{"stackedStripsJSON",
           R"([{"mix":"music","speed":2,"size":4,"background":"Teal"},{"mix":"latest","speed":1,"size":1,"background":"Red"}])"}},
         {"music", 2.0, 4, "Teal"}},
        {"empty list falls back", {{"stackedStripsJSON", "[]"}}, legacyDefault},
        {"empty text falls back", {{"stackedStripsJSON", ""}}, legacyDefault},
        {"not JSON falls back", {{"stackedStripsJSON", "[{"}}, legacyDefault},
        {"missing key fails the list", {{"stackedStripsJSON", R"([{"mix":"music","speed":2,"size":4}])"}},
         legacyDefault},
        {"mistyped key fails the list",
         {{"stackedStripsJSON", R"([{"mix":"music","speed":"2","size":4,"background":"Teal"}])"}}, legacyDefault},
        {"a bad second element fails the list",
         {{"stackedStripsJSON", R"([{"mix":"music","speed":2,"size":4,"background":"Teal"},{"mix":1}])"}},
         legacyDefault},
        {"fractional size fails", {{"stackedStripsJSON", R"([{"mix":"m","speed":2,"size":2.5,"background":"T"}])"}},
         legacyDefault},
        {"stored as an array value, not text", {{"stackedStripsJSON", QJsonArray{}}}, legacyDefault},
        {"older settings",
         {{"scrollSpeed", 0.5}, {"tickerSize", 4}, {"themeBackground", "Purple"}, {"extraStripMixes", "shuffle,music"}},
         {"shuffle", 0.5, 4, "Purple"}},
        {"size 0 means standard", {{"tickerSize", 0}}, legacyDefault},
        {"size of the wrong type", {{"tickerSize", "4"}}, legacyDefault},
        {"empty pieces dropped", {{"extraStripMixes", ",music,latest"}}, {"music", 1.0, 2, "Black"}},
        {"pieces are not trimmed", {{"extraStripMixes", " music"}}, {" music", 1.0, 2, "Black"}},
        {"only commas", {{"extraStripMixes", ",,"}}, legacyDefault},
        {"speed of the wrong type", {{"scrollSpeed", "fast"}}, legacyDefault},
    };
    for (const Case& c : cases) {
        auto d = Defaults::inMemory();
        for (auto it = c.settings.begin(); it != c.settings.end(); ++it)
            d->set(it.key(), it.value());
        const QList<StripConfig> loaded = StripConfig::load(*d);
        ASSERT_EQ(loaded.size(), 1) << c.name;
        EXPECT_EQ(loaded.first(), c.expected) << c.name << " got mix " << loaded.first().mix.toStdString();
    }
}

TEST(StripConfigTest, SaveKeepsOnlyTheFirstStripAndRoundTrips)
{
    auto d = Defaults::inMemory();
    const StripConfig a{"cat:tech", 5.0, 1, "Green"};
    const StripConfig b{"music", 1.0, 4, "Red"};
    StripConfig::save({a, b}, *d);
    const QJsonDocument doc = QJsonDocument::fromJson(stored(*d).toUtf8());
    ASSERT_TRUE(doc.isArray());
    EXPECT_EQ(doc.array().size(), 1);
    EXPECT_EQ(StripConfig::load(*d), QList<StripConfig>{a});

    StripConfig::save({}, *d);
    EXPECT_EQ(stored(*d), "[]");
    EXPECT_EQ(StripConfig::load(*d).first().mix, "latest") << "\"[]\" reads as absent";

    // JSON cannot hold an infinite speed: nothing is written.
    StripConfig::save({a}, *d);
    StripConfig::save({StripConfig{"music", std::numeric_limits<double>::infinity(), 2, "Black"}}, *d);
    EXPECT_EQ(StripConfig::load(*d), QList<StripConfig>{a});
}

TEST(StripConfigTest, TotalHeightFollowsTheLoadedSize)
{
    struct Case {
        int size;
        int height;
    };
    for (const Case& c : {Case{1, 48}, Case{2, 72}, Case{3, 72}, Case{4, 108}, Case{0, 72}, Case{-1, 72}}) {
        auto d = Defaults::inMemory();
        StripConfig::save({StripConfig{"latest", 1.0, c.size, "Black"}}, *d);
        EXPECT_EQ(StripConfig::totalHeight(*d), c.height) << c.size;
    }
    auto d = Defaults::inMemory();
    d->set("tickerSize", 1);
    EXPECT_EQ(StripConfig::totalHeight(*d), 48) << "from the older settings";
    EXPECT_EQ(StripMetrics::scrollerLeadingInset(1), 190);
    EXPECT_EQ(StripMetrics::scrollerLeadingInset(3), 290);
    EXPECT_EQ(StripMetrics::scrollerLeadingInset(4), 360);
}

TEST(StripConfigTest, MigrationMovesOnlyAnUnsetSwitch)
{
    struct Case {
        const char* name;
        QJsonValue enabled;  // undefined: not stored
        QJsonValue legacy;
        QJsonValue expected;  // undefined: still not stored
    };
    const QList<Case> cases = {
        {"legacy on, new unset", QJsonValue::Undefined, true, true},
        {"legacy off", QJsonValue::Undefined, false, QJsonValue::Undefined},
        {"legacy absent", QJsonValue::Undefined, QJsonValue::Undefined, QJsonValue::Undefined},
        {"new stored false wins", false, true, false},
        {"new stored of another type is still a value", "no", true, "no"},
        {"legacy of the wrong type", QJsonValue::Undefined, "true", QJsonValue::Undefined},
    };
    for (const Case& c : cases) {
        auto d = Defaults::inMemory();
        if (!c.enabled.isUndefined())
            d->set(StripConfig::enabledKey, c.enabled);
        if (!c.legacy.isUndefined())
            d->set(StripConfig::legacyEnabledKey, c.legacy);
        StripConfig::migrateLegacySecondTicker(*d);
        EXPECT_EQ(d->contains(StripConfig::enabledKey), !c.expected.isUndefined()) << c.name;
        if (!c.expected.isUndefined()) {
            EXPECT_EQ(d->value(StripConfig::enabledKey), c.expected) << c.name;
        }
        EXPECT_EQ(d->contains(StripConfig::legacyEnabledKey), !c.legacy.isUndefined()) << c.name;
        if (!c.legacy.isUndefined()) {
            EXPECT_EQ(d->value(StripConfig::legacyEnabledKey), c.legacy) << c.name << ": the older key stays";
        }
    }
}

TEST(StripConfigTest, FieldBindingGoesThroughTheStoredText)
{
    auto d = Defaults::inMemory();
    d->set("extraStripMixes", "music");
    EXPECT_EQ(StripConfig::field(*d, 0, &StripConfig::mix, QStringLiteral("latest")), "music");
    EXPECT_EQ(StripConfig::field(*d, 1, &StripConfig::mix, QStringLiteral("fallback")), "fallback");
    EXPECT_EQ(StripConfig::field(*d, -1, &StripConfig::size, 9), 9);

    StripConfig::setField(*d, 1, &StripConfig::mix, QStringLiteral("markets"));
    EXPECT_FALSE(d->contains(StripConfig::stripsKey)) << "out of range: ignored";

    StripConfig::setField(*d, 0, &StripConfig::mix, QStringLiteral("markets"));
    EXPECT_EQ(StripConfig::load(*d), (QList<StripConfig>{{"markets", 1.0, 2, "Black"}}));
    StripConfig::setField(*d, 0, &StripConfig::size, 4);
    StripConfig::setField(*d, 0, &StripConfig::speed, 10.0);
    EXPECT_EQ(StripConfig::load(*d), (QList<StripConfig>{{"markets", 10.0, 4, "Black"}}));
}

TEST(CategoryMixOptionsTest, OnePerSlugSortedByName)
{
    auto withCategory = [](const QString& id, std::optional<QString> slug, std::optional<QString> name) {
        FeedItem item;
        item.stableId = id;
        item.title = id;
        FeedSource source;
        source.id = "s";
        FeedCategory category;
        category.slug = std::move(slug);
        category.name = std::move(name);
        source.category = category;
        item.source = source;
        return item;
    };
    FeedItem bare;
    bare.stableId = "bare";
    const QList<FeedItem> items = {
        withCategory("1", "Tech", "Technology"),
        withCategory("2", "science", std::nullopt),
        withCategory("3", "tech", "Tech & Gadgets"),  // later item names the slug
        withCategory("4", "", "Nothing"),
        withCategory("5", std::nullopt, "No slug"),
        withCategory("6", "ai-policy", std::nullopt),
        withCategory("7", "world news", std::nullopt),
        bare,
    };
    const QList<CategoryMixOption> expected = {
        {"ai-policy", "Ai-policy"},
        {"science", "Science"},
        {"tech", "Tech & Gadgets"},
        {"world news", "World News"},
    };
    EXPECT_EQ(categoryMixOptions(items), expected);
    EXPECT_TRUE(categoryMixOptions({}).isEmpty());
}

TEST(PhraseToggleTest, TogglesTheTrimmedPhraseInEitherList)
{
    struct Case {
        const char* name;
        QStringList muted;
        QStringList followed;
        bool mute;  // else follow
        QString phrase;
        QStringList mutedAfter;
        QStringList followedAfter;
    };
    const QList<Case> cases = {
        {"mute adds", {}, {}, true, "Rates", {"Rates"}, {}},
        {"mute takes it out of followed", {}, {"rates"}, true, "Rates", {"Rates"}, {}},
        {"unmute removes every case variant", {"Rates", "tech"}, {}, true, "RATES", {"tech"}, {}},
        {"padded keyword unmutes the stored phrase", {"rates"}, {}, true, "  rates ", {}, {}},
        {"padded keyword follows trimmed", {}, {}, false, " AI ", {}, {"AI"}},
        {"padded keyword unfollows", {}, {"ai", "x"}, false, "ai  ", {}, {"x"}},
        {"blank changes nothing", {"a"}, {"b"}, true, "   ", {"a"}, {"b"}},
    };
    for (const Case& c : cases) {
        auto d = Defaults::inMemory();
        FilterStore filters(*d);
        filters.setMuted(c.muted);
        filters.setFollowed(c.followed);
        if (c.mute)
            PhraseToggle::toggleMuted(filters, c.phrase);
        else
            PhraseToggle::toggleFollowed(filters, c.phrase);
        EXPECT_EQ(filters.muted(), c.mutedAfter) << c.name;
        EXPECT_EQ(filters.followed(), c.followedAfter) << c.name;
        if (c.mutedAfter != c.muted || c.followedAfter != c.followed) {
            EXPECT_EQ(d->stringList(FilterStore::MutedKey), c.mutedAfter) << c.name << ": saved";
            EXPECT_EQ(d->stringList(FilterStore::FollowedKey), c.followedAfter) << c.name << ": saved";
        }
    }
}

} // namespace
