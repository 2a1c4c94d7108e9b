#include "api/ApiJson.h"
#include "api/ItemModels.h"

#include "ApiTestUtil.h"

#include <QSet>
#include <gtest/gtest.h>

namespace {

const JsonOptions kServer = ApiJson::serverOptions();

QDateTime utc(int y, int mo, int d, int h, int mi, int s, int ms = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms), Qt::UTC);
}

TEST(ItemModels, DecodesBatchFixture)
{
    auto batch = decodeJson<ItemsBatchResponse>(fixture(QStringLiteral("items_batch.json")), kServer);
    ASSERT_TRUE(batch.has_value()) << batch.error().description.toStdString();
    ASSERT_EQ(batch->items.size(), 4);

    const FeedItem& full = batch->items[0];
    EXPECT_EQ(full.stableId, QStringLiteral("a1"));
    EXPECT_EQ(full.title, QStringLiteral("Fed holds rates"));
    EXPECT_EQ(full.url, QStringLiteral("https://www.example.com/fed"));
    EXPECT_EQ(full.publishedAt, utc(2026, 1, 15, 9, 30, 0, 250));
    EXPECT_EQ(full.imageUrl, QStringLiteral("https://example.com/fed.jpg"));
    ASSERT_TRUE(full.source.has_value());
    EXPECT_EQ(full.source->id, QStringLiteral("f1"));
    EXPECT_EQ(full.source->title, QStringLiteral("Example Wire"));
    EXPECT_EQ(full.source->slug, QStringLiteral("example-wire"));
    EXPECT_EQ(full.source->iconUrl, QStringLiteral("https://example.com/icon.png"));
    EXPECT_EQ(full.source->domain, QStringLiteral("example.com"));
    EXPECT_EQ(full.source->sourceType, SourceType::Substack);
    ASSERT_TRUE(full.source->category.has_value());
    EXPECT_EQ(full.source->category->id, QStringLiteral("c1"));
    EXPECT_EQ(full.source->category->name, QStringLiteral("Business"));
    EXPECT_EQ(full.source->category->slug, QStringLiteral("business"));
    EXPECT_EQ(full.source->category->sortOrder, 3);

    for (int i : {1, 2}) {
        const FeedItem& item = batch->items[i];
        EXPECT_FALSE(item.url.has_value()) << i;
        EXPECT_FALSE(item.source.has_value()) << i;
        EXPECT_FALSE(item.imageUrl.has_value()) << i;
    }
    EXPECT_FALSE(batch->items[1].publishedAt.has_value());
    EXPECT_EQ(batch->items[2].publishedAt, utc(2026, 1, 15, 8, 0, 0));
    EXPECT_EQ(batch->items[3].publishedAt, utc(2026, 1, 15, 4, 45, 7));
    EXPECT_EQ(batch->items[3].source->sourceType, SourceType::Rss) << "unknown kinds read as rss";
}

struct BadCase {
    const char* name;
    const char* json;
    const char* mentions;  // part of the error description
};

void PrintTo(const BadCase& c, std::ostream* os)
{
    *os << c.name;
}

class ItemsBatchRejects : public ::testing::TestWithParam<BadCase> {};

TEST_P(ItemsBatchRejects, WholeReplyFails)
{
    const BadCase& c = GetParam();
    auto r = decodeJson<ItemsBatchResponse>(QByteArray(c.json), kServer);
    ASSERT_FALSE(r.has_value()) << c.name;
    EXPECT_EQ(r.error().kind, ErrorKind::Decoding);
    EXPECT_TRUE(r.error().description.contains(QString::fromUtf8(c.mentions)))
        << c.name << ": " << r.error().description.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Malformed, ItemsBatchRejects,
    ::testing::Values(
        BadCase{"no items key", R"({"item":[]})", "items"},
        BadCase{"items not an array", R"({"items":{}})", "items"},
        BadCase{"second item without id", R"({"items":[{"item_id":"a","title":"t"},{"title":"t"}]})", "item_id"},
        BadCase{"null title", R"({"items":[{"item_id":"a","title":null}]})", "title"},
        BadCase{"numeric url", R"({"items":[{"item_id":"a","title":"t","url":5}]})", "url"},
        BadCase{"source without feed_id", R"({"items":[{"item_id":"a","title":"t","source":{"title":"x"}}]})", "feed_id"},
        BadCase{"numeric source_type", R"({"items":[{"item_id":"a","title":"t","source":{"feed_id":"f","source_type":3}}]})", "source_type"},
        BadCase{"fractional sort order", R"({"items":[{"item_id":"a","title":"t","source":{"feed_id":"f","category":{"sort_order":1.5}}}]})", "sort_order"},
        BadCase{"unreadable date", R"({"items":[{"item_id":"a","title":"t","published_at":"yesterday"}]})", "Cannot parse date: yesterday"},
        BadCase{"date without zone", R"({"items":[{"item_id":"a","title":"t","published_at":"2026-01-15T10:00:00"}]})", "Cannot parse date: 2026-01-15T10:00:00"},
        BadCase{"date as number", R"({"items":[{"item_id":"a","title":"t","published_at":1700000000}]})", "published_at"},
        BadCase{"not JSON", R"({"items":[)", "invalid JSON"}),
    [](const auto& info) {
        std::string n = info.param.name;
        std::replace(n.begin(), n.end(), ' ', '_');
        return n;
    });

TEST(ItemModels, EqualityIsStableIdOnly)
{
    FeedItem a{QStringLiteral("x"), QStringLiteral("One"), QStringLiteral("https://a"), utc(2026, 1, 1, 0, 0, 0), std::nullopt, std::nullopt};
    FeedItem b{QStringLiteral("x"), QStringLiteral("Two"), std::nullopt, std::nullopt, FeedSource{QStringLiteral("f"), {}, {}, {}, {}, {}, {}}, QStringLiteral("i")};
    FeedItem c = a;
    c.stableId = QStringLiteral("y");
    EXPECT_EQ(a, b);
    EXPECT_NE(a, c);
    EXPECT_EQ(a.id(), QStringLiteral("x"));
}

TEST(ItemModels, SourceEqualityCoversEveryField)
{
    const FeedSource base{QStringLiteral("f"), QStringLiteral("T"), QStringLiteral("s"), QStringLiteral("i"),
                          QStringLiteral("d"), SourceType::Reddit, FeedCategory{QStringLiteral("c"), {}, {}, {}}};
    EXPECT_EQ(base, base);
    auto differs = [&](auto mutate) {
        FeedSource other = base;
        mutate(other);
        return !(other == base);
    };
    EXPECT_TRUE(differs([](FeedSource& s) { s.id = QStringLiteral("g"); }));
    EXPECT_TRUE(differs([](FeedSource& s) { s.title.reset(); }));
    EXPECT_TRUE(differs([](FeedSource& s) { s.slug = QString(); }));
    EXPECT_TRUE(differs([](FeedSource& s) { s.iconUrl.reset(); }));
    EXPECT_TRUE(differs([](FeedSource& s) { s.domain.reset(); }));
    EXPECT_TRUE(differs([](FeedSource& s) { s.sourceType = SourceType::Rss; }));
    EXPECT_TRUE(differs([](FeedSource& s) { s.category.reset(); }));
    EXPECT_TRUE(differs([](FeedSource& s) { s.category->name = QStringLiteral("n"); }));
}

TEST(ItemModels, CategoryFromEmptyObjectsEqualAndHashAlike)
{
    auto a = FeedCategory::fromJson(QJsonObject{}, kServer);
    auto b = FeedCategory::fromJson(QJsonObject{}, kServer);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(*a, *b);
    EXPECT_EQ(qHash(*a), qHash(*b));
    // An absent field hashes differently from a present empty one.
    FeedCategory withEmptyName;
    withEmptyName.name = QString();
    EXPECT_NE(qHash(*a), qHash(withEmptyName));
    EXPECT_NE(*a, withEmptyName);
    QSet<FeedCategory> set{*a, *b, withEmptyName};
    EXPECT_EQ(set.size(), 2);
}

TEST(ItemModels, MinimalItemEncodesExactlyItsTwoKeys)
{
    auto item = FeedItem::fromJson(jsonObject(R"({"item_id":"a","title":"t","junk":1})"), kServer);
    ASSERT_TRUE(item.has_value());
    const QJsonObject out = item->toJson(kServer);
    EXPECT_EQ(out.keys(), (QStringList{QStringLiteral("item_id"), QStringLiteral("title")}));
}

TEST(ItemModels, RoundTripKeepsEveryFieldWithEachCoding)
{
    const FeedItem original{
        QStringLiteral("id-1"), QStringLiteral("Title"), QStringLiteral("https://x.test/a"),
        utc(2026, 3, 4, 21, 5, 9, 123),
        FeedSource{QStringLiteral("f"), QStringLiteral("Src"), QStringLiteral("slug"), QStringLiteral("icon"),
                   QStringLiteral("x.test"), SourceType::YouTube,
                   FeedCategory{QStringLiteral("c"), QStringLiteral("Name"), QStringLiteral("s"), 7}},
        QStringLiteral("https://x.test/i.png")};

    struct Coding {
        const char* name;
        JsonOptions options;
        int precisionMs;
    };
    const Coding codings[] = {
        {"server", kServer, 1},
        {"iso8601", JsonOptions{DateCoding::iso8601()}, 1000},
        {"reference seconds", JsonOptions{DateCoding::referenceSeconds()}, 1},
    };
    for (const Coding& c : codings) {
        const QByteArray bytes = QJsonDocument(original.toJson(c.options)).toJson();
        auto back = decodeJson<FeedItem>(bytes, c.options);
        ASSERT_TRUE(back.has_value()) << c.name << ": " << back.error().description.toStdString();
        EXPECT_EQ(back->stableId, original.stableId) << c.name;
        EXPECT_EQ(back->title, original.title) << c.name;
        EXPECT_EQ(back->url, original.url) << c.name;
        EXPECT_EQ(back->source, original.source) << c.name;
        EXPECT_EQ(back->imageUrl, original.imageUrl) << c.name;
        ASSERT_TRUE(back->publishedAt.has_value()) << c.name;
        const qint64 ms = original.publishedAt->toMSecsSinceEpoch();
        EXPECT_EQ(back->publishedAt->toMSecsSinceEpoch(), ms - ms % c.precisionMs) << c.name;
    }
}

TEST(ItemModels, Weather)
{
    auto ok = decodeJson<WeatherResponse>(R"({"city":"Dublin","temp":"12°","condition":"Rain","icon":"cloud.rain","x":1})", kServer);
    ASSERT_TRUE(ok.has_value());
    EXPECT_EQ(ok->temp, QStringLiteral("12°"));
    EXPECT_EQ(ok->icon, QStringLiteral("cloud.rain"));
    auto back = WeatherResponse::fromJson(ok->toJson(kServer), kServer);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(*back, *ok);

    EXPECT_FALSE(decodeJson<WeatherResponse>(R"({"city":"Dublin","temp":"12","condition":"Rain"})", kServer));
    EXPECT_FALSE(decodeJson<WeatherResponse>(R"({"city":"Dublin","temp":12,"condition":"Rain","icon":"x"})", kServer))
        << "temp is text as the server formats it";
    EXPECT_FALSE(decodeJson<WeatherResponse>(R"([])", kServer));
}

} // namespace
