#include "api/Color.h"
#include "api/Palette.h"
#include "api/SourceType.h"
#include "api/SourceSymbol.h"
#include "api/SourceTypeBadge.h"
#include "api/ItemModels.h"
#include "api/ApiJson.h"
#include "api/ManifestModels.h"
#include "api/NowPlayingModels.h"
#include "api/OrbModels.h"

#include "ApiTestUtil.h"

#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QSet>
#include <gtest/gtest.h>

namespace {

const JsonOptions kServer = ApiJson::serverOptions();

QDateTime utc(int y, int mo, int d, int h, int mi, int s, int ms = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms), Qt::UTC);
}

struct HexCase {
    const char* text;
    Rgba expected;
};

TEST(Color, HexTable)
{
    const HexCase cases[] = {
        {"#4ADE80", {74, 222, 128, 255}},
        {"fff", {255, 255, 255, 255}},
        {"#0f8", {0, 255, 136, 255}},
        {"80FF0000", {255, 0, 0, 128}},
        {"  #1A2B3C  ", {0x1A, 0x2B, 0x3C, 255}},
        {"\n#1a2b3c\t", {0x1A, 0x2B, 0x3C, 255}},
        {"12345", {1, 1, 0, 1}},
        {"", {1, 1, 0, 1}},
        {"#", {1, 1, 0, 1}},
        {"GGGGGG", {0, 0, 0, 255}},
        {"FF FF FF", {0, 0, 255, 0}},  // 8 characters; the scan stops at the space
        {"0x12AB", {0x00, 0x12, 0xAB, 255}},  // six characters, prefix skipped
        {"7E8BA8", {0x7E, 0x8B, 0xA8, 255}},
        {"00000000", {0, 0, 0, 0}},
        {"#abc;", {0xAA, 0xBB, 0xCC, 255}},
        {"1234567890", {1, 1, 0, 1}},
    };
    for (const HexCase& c : cases)
        EXPECT_EQ(rgba(Color::hex(QString::fromUtf8(c.text))), c.expected) << '"' << c.text << '"';
}

TEST(Color, ValidHexOnlyForCompleteDigitRuns)
{
    const std::pair<const char*, bool> cases[] = {
        {"#4ADE80", true}, {"fff", true}, {"80FF0000", true}, {" #abc ", true},
        {"12345", false}, {"", false}, {"GGGGGG", false}, {"FF FF FF", false},
        {"0x12AB", false}, {"#12345G", false}, {"1234567", false},
    };
    for (const auto& [text, valid] : cases)
        EXPECT_EQ(Color::isValidHex(QString::fromUtf8(text)), valid) << text;
}

TEST(Palette, ThemeBackgroundsMatchNamesExactly)
{
    const std::pair<const char*, Rgba> cases[] = {
        {"Black", {0, 0, 0, 255}},
        {"Teal", rgbaF(0.055, 0.22, 0.208)},
        {"teal", {0, 0, 0, 255}},
        {"", {0, 0, 0, 255}},
        {"Teal ", {0, 0, 0, 255}},
    };
    for (const auto& [name, colour] : cases)
        EXPECT_EQ(rgba(themeBackgroundColor(QString::fromUtf8(name))), colour) << name;
}

TEST(Palette, CategoryTint)
{
    const Rgba accent = rgba(Palette::accent());
    const Rgba orange = rgba(Palette::orange());
    const Rgba slate = rgba(Palette::slate());
    const Rgba sport = rgbaF(0.7, 0.56, 0.95);
    const Rgba money = rgbaF(0.31, 0.82, 0.77);
    const Rgba fun = rgbaF(0.96, 0.45, 0.72);
    const std::pair<const char*, Rgba> cases[] = {
        {"AI", accent},
        {"Applied AI & Research", accent},
        {"ai-policy", accent},
        {"Research", accent},
        {"Retail", slate},  // "ai" inside a word is not AI
        {"Daily Briefing", slate},
        {"Entertainment", fun},
        {"Local Weather", orange},
        {"World News", slate},
        {"Politics", slate},
        {"Sports", sport},
        {"Markets", money},
        {"Personal Finance", money},
        {"Music", fun},
        {"Celebrity", fun},
        {"Gardening", slate},
        {"", slate},
        {"Rainforest sport", sport},
    };
    for (const auto& [name, colour] : cases)
        EXPECT_EQ(rgba(categoryTint(QString::fromUtf8(name))), colour) << name;
}

TEST(SourceType, Table)
{
    struct Row {
        SourceType type;
        const char* raw;
        const char* display;
        const char* badge;
    };
    const Row rows[] = {
        {SourceType::Rss, "rss", "RSS", nullptr},
        {SourceType::HackerNews, "hackernews", "Hacker News", "HN"},
        {SourceType::GitHub, "github", "GitHub", "REPO"},
        {SourceType::Substack, "substack", "Substack", "NEWSLETTER"},
        {SourceType::YouTube, "youtube", "YouTube", "VIDEO"},
        {SourceType::Medium, "medium", "Medium", "POST"},
        {SourceType::Reddit, "reddit", "Reddit", "THREAD"},
        {SourceType::Podcast, "podcast", "Podcasts", "AUDIO"},
        {SourceType::NewsApi, "newsapi", "News APIs", nullptr},
    };
    ASSERT_EQ(allSourceTypes().size(), 9);
    for (int i = 0; i < 9; ++i) {
        const Row& r = rows[i];
        EXPECT_EQ(allSourceTypes()[i], r.type) << r.raw;
        EXPECT_EQ(rawValue(r.type), QLatin1String(r.raw));
        EXPECT_EQ(sourceTypeFromRawValue(QString::fromLatin1(r.raw)), r.type);
        EXPECT_EQ(sourceTypeDecoding(QString::fromLatin1(r.raw)), r.type);
        EXPECT_EQ(displayName(r.type), QString::fromUtf8(r.display));
        EXPECT_EQ(badgeText(r.type), r.badge ? std::optional<QString>(QLatin1String(r.badge)) : std::nullopt) << r.raw;
    }
    EXPECT_EQ(sourceTypeFromRawValue(u"Reddit"), std::nullopt);
    EXPECT_EQ(sourceTypeDecoding(u"Reddit"), SourceType::Rss);
    EXPECT_EQ(sourceTypeDecoding(u""), SourceType::Rss);
    EXPECT_EQ(sourceTypeFromRawValue(u"rss "), std::nullopt);
}

QImage render(const SourceTypeBadge& badge, QSize size = QSize(120, 30))
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    badge.paint(p, QPointF(2, 2));
    return image;
}

bool isBlank(const QImage& image)
{
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(image.pixel(x, y)) != 0)
                return false;
        }
    }
    return true;
}

TEST(SourceTypeBadge, KindsWithoutAWordDrawNothing)
{
    for (SourceType type : {SourceType::Rss, SourceType::NewsApi}) {
        for (bool compact : {false, true}) {
            const SourceTypeBadge badge(type, compact);
            const SourceTypeBadgeLayout layout = badge.layout();
            EXPECT_TRUE(layout.isEmpty);
            EXPECT_TRUE(badge.sizeHint().isEmpty());
            EXPECT_TRUE(isBlank(render(badge)));
        }
    }
}

TEST(SourceTypeBadge, FullLayout)
{
    for (SourceType type : allSourceTypes()) {
        if (!badgeText(type))
            continue;
        const SourceTypeBadge badge(type, false);
        const SourceTypeBadgeLayout l = badge.layout();
        const qreal wordWidth = QFontMetricsF(SourceTypeBadge::wordFont()).horizontalAdvance(*badgeText(type));
        ASSERT_FALSE(l.isEmpty);
        EXPECT_EQ(l.word, *badgeText(type));
        EXPECT_GT(l.text.left(), l.symbol.right()) << "the word follows the symbol";
        EXPECT_GT(l.size.width(), l.text.left() + wordWidth) << "with padding after it";
        EXPECT_DOUBLE_EQ(l.symbol.center().y(), l.size.height() / 2) << "centred vertically";
        EXPECT_EQ(rgba(l.color), rgba(accentColor(type)));
        EXPECT_EQ(badge.accessibleName(), displayName(type));
        EXPECT_TRUE(SourceSymbol::exists(l.symbolName)) << l.symbolName.toStdString();
        const SourceTypeBadgeLayout compact = SourceTypeBadge(type, true).layout();
        EXPECT_TRUE(compact.word.isEmpty() && compact.text.isEmpty());
        EXPECT_LT(compact.size.width(), l.size.width());
    }
}

TEST(SourceTypeBadge, PaintsTintedBackgroundAndSymbol)
{
    const SourceTypeBadge badge(SourceType::Podcast, true);
    const QImage image = render(badge);
    const QColor accent = accentColor(SourceType::Podcast);
    // Inside the background, away from the symbol: accent at 15 %.
    const QColor corner = QColor::fromRgba(image.pixel(2 + 1, 2 + 4));
    EXPECT_NEAR(corner.alpha(), 38, 2);
    // The microphone's body: opaque accent.
    const QColor body = QColor::fromRgba(image.pixel(2 + 3 + 3, 2 + 1 + 2));
    EXPECT_GT(body.alpha(), 200);
    EXPECT_NEAR(body.red(), accent.red(), 12);
    EXPECT_NEAR(body.green(), accent.green(), 12);
    EXPECT_NEAR(body.blue(), accent.blue(), 12);
    // Nothing outside the badge.
    EXPECT_EQ(qAlpha(image.pixel(2 + 14, 2 + 4)), 0);
    EXPECT_EQ(qAlpha(image.pixel(1, 1)), 0);
}

TEST(SourceSymbol, EveryKindHasASymbol)
{
    for (SourceType type : allSourceTypes()) {
        const QImage img = SourceSymbol::image(symbolName(type), 16, Qt::red, 2.0);
        ASSERT_FALSE(img.isNull()) << symbolName(type).toStdString();
        EXPECT_EQ(img.size(), QSize(32, 32));
        EXPECT_FALSE(isBlank(img)) << symbolName(type).toStdString();
    }
    EXPECT_TRUE(SourceSymbol::image(QStringLiteral("no.such.symbol"), 16, Qt::red).isNull());
}

FeedItem item(const QString& title, std::optional<QString> url = std::nullopt,
              std::optional<QString> sourceTitle = std::nullopt, bool withSource = false)
{
    FeedItem i;
    i.stableId = QStringLiteral("id");
    i.title = title;
    i.url = std::move(url);
    if (sourceTitle || withSource) {
        FeedSource s;
        s.id = QStringLiteral("f");
        s.title = std::move(sourceTitle);
        i.source = s;
    }
    return i;
}

TEST(ItemDisplay, CleanedTitle)
{
    const std::pair<const char*, const char*> cases[] = {
        {"<b>Bold</b> move", "Bold move"},
        {"S&P < 5,000 as yields > 4%", "S&P < 5,000 as yields > 4%"},
        {"a <3 b", "a <3 b"},
        {"x </ y >", "x </ y >"},
        {"1 < 2 > 0", "1 < 2 > 0"},
        {"<img src='x.png'>Pic", "Pic"},
        {"<<b>>", "<>"},
        {"Tom &amp; Jerry", "Tom & Jerry"},
        {"&amp;lt;b&amp;gt;", "&lt;b&gt;"},
        {"&lt;b&gt;hi&lt;/b&gt;", "<b>hi</b>"},
        {"&quot;Q&quot; &apos;A&apos; &#39;B&#39;", "\"Q\" 'A' 'B'"},
        {"a&nbsp;b", "a b"},
        {"it&#8217;s &#x2019;s &#X1F600;", "it\u2019s \u2019s \U0001F600"},
        {"&#0; &#xD800; &#1114112; &#;", "&#0; &#xD800; &#1114112; &#;"},
        {"&copy; 2026 &AMP;", "&copy; 2026 &AMP;"},
        {"AT&T rises", "AT&T rises"},
        {"  <p>\n Padded \t</p>  ", "Padded"},
        {"&nbsp;edge&nbsp;", "edge"},
        {"", ""},
    };
    for (const auto& [title, expected] : cases)
        EXPECT_EQ(item(QString::fromUtf8(title)).cleanedTitle(), QString::fromUtf8(expected)) << title;
}

TEST(ItemDisplay, LinkURL)
{
    const std::pair<std::optional<const char*>, const char*> cases[] = {
        {"https://x.test/a?b=1", "https://x.test/a?b=1"},
        {"  https://x.test/a \n", "https://x.test/a"},
        {"HTTP://X.test/", "http://x.test/"},
        // Raw characters that feeds leave unescaped are encoded, not fatal.
        {"https://x.test/a b?q=x|y{z}", "https://x.test/a%20b?q=x%7Cy%7Bz%7D"},
        {"http://x.test/{id}/100%", "http://x.test/%7Bid%7D/100%25"},
        {"https://x.test/a#frag ment", "https://x.test/a#frag%20ment"},
        {"https://x .test/a", nullptr},  // a space in the host is still no host
        {"ftp://x.test/a b", nullptr},
        {"ftp://x.test/a", nullptr},
        {"javascript:alert(1)", nullptr},
        {"file:///etc/passwd", nullptr},
        {"x.test/a", nullptr},
        {"", nullptr},
        {"   ", nullptr},
        {std::nullopt, nullptr},
    };
    for (const auto& [url, expected] : cases) {
        FeedItem i = item(QStringLiteral("t"));
        if (url)
            i.url = QString::fromUtf8(*url);
        const auto link = i.linkURL();
        if (expected) {
            ASSERT_TRUE(link.has_value()) << url.value_or("none");
            EXPECT_EQ(link->toEncoded(), QByteArray(expected));
        } else {
            EXPECT_FALSE(link.has_value()) << url.value_or("none");
        }
    }
}

TEST(ItemDisplay, MetaLine)
{
    // 21:00 on March 4 in New York is already March 5 in UTC.
    const QDateTime now(QDate(2026, 3, 5), QTime(2, 0), Qt::UTC);
    const MetaLineContext newYork{now, QTimeZone("America/New_York"), QStringLiteral("en_US")};
    const MetaLineContext utcZone{now, QTimeZone(Qt::UTC), QStringLiteral("en_US")};
    const MetaLineContext british{now, QTimeZone("America/New_York"), QStringLiteral("en_GB")};
    const QDateTime morning(QDate(2026, 3, 4), QTime(14, 5), Qt::UTC);  // 9:05 AM in New York
    const QDateTime earlier(QDate(2026, 3, 3), QTime(2, 5), Qt::UTC);   // 9:05 PM on March 2 there

    struct Case {
        const char* name;
        FeedItem item;
        std::optional<QDateTime> published;
        const MetaLineContext* context;
        const char* expected;
    };
    const Case cases[] = {
        {"source title, today", item("t", "https://www.other.test/", "Example Wire"), morning, &newYork,
         "EXAMPLE WIRE \u2022 9:05 AM"},
        {"same instant, another day in UTC", item("t", std::nullopt, "Wire"), morning, &utcZone,
         "WIRE \u2022 Mar 4 2:05 PM"},
        {"another day", item("t", std::nullopt, "Wire"), earlier, &newYork, "WIRE \u2022 Mar 2 9:05 PM"},
        {"localized day template", item("t", std::nullopt, "Wire"), earlier, &british, "WIRE \u2022 2 Mar 9:05 pm"},
        {"host when no source title", item("t", "https://www.news.bbc.co.uk/x", std::nullopt, true), std::nullopt,
         &newYork, "NEWS"},
        {"host without source", item("t", "https://WWW.Example.COM/a"), std::nullopt, &newYork, "EXAMPLE"},
        {"only a leading www. removed", item("t", "https://www.awww.test/"), std::nullopt, &newYork, "AWWW"},
        {"www. inside a host kept", item("t", "https://awww.example.test/"), std::nullopt, &newYork, "AWWW"},
        {"bare host", item("t", "http://localhost:8080/"), std::nullopt, &newYork, "LOCALHOST"},
        {"empty source title wins over host", item("t", "https://www.example.com/", ""), morning, &newYork,
         "SIGNAL \u2022 9:05 AM"},
        {"no url", item("t"), std::nullopt, &newYork, "SIGNAL"},
        {"url without host", item("t", "not a url"), std::nullopt, &newYork, "SIGNAL"},
    };
    for (const Case& c : cases) {
        FeedItem i = c.item;
        i.publishedAt = c.published;
        EXPECT_EQ(i.metaLine(*c.context), QString::fromUtf8(c.expected)) << c.name;
    }
}

TEST(ItemDisplay, StrictPhraseMatch)
{
    const FeedItem fed = item(QStringLiteral("Fed <b>rate</b> cut looms; U.S. artists react"), std::nullopt,
                              QStringLiteral("Example Wire"));
    struct Case {
        QStringList phrases;
        bool matches;
    };
    const Case cases[] = {
        {{}, false},
        {{"", ""}, false},
        {{"rate cut"}, true},
        {{"cut looms;"}, true},
        {{"art"}, false},
        {{"artists"}, true},
        {{"wire"}, true},
        {{"example wire"}, true},
        {{"Fed"}, false},  // phrases arrive lower-cased
        {{"fed"}, true},
        {{"b"}, false},    // tags are not text
        {{"u"}, true},
        {{"u.s."}, false},
        {{"xyz", "", "looms"}, true},
        {{"rate  cut"}, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(fed.matchesAny(c.phrases), c.matches) << c.phrases.join(u'|').toStdString();

    const FeedItem art = item(QStringLiteral("Modern art fair opens"));
    EXPECT_TRUE(art.matchesAny({QStringLiteral("art")}));
    EXPECT_FALSE(item(QStringLiteral("No source")).matchesAny({QStringLiteral("source title")}));
}

TEST(ItemDisplay, LoosePhraseMatch)
{
    const FeedItem chips = item(QStringLiteral("Nvidia unveils new chips; artists react"), std::nullopt,
                                QStringLiteral("Tech Wire"));
    struct Case {
        QStringList phrases;
        bool matches;
    };
    const Case cases[] = {
        {{}, false},
        {{""}, false},
        {{"art"}, true},
        {{"ai chips"}, true},
        {{"ai"}, false},      // too short to count as a run; no substring either
        {{"ia"}, true},       // substring of "nvidia"
        {{"gpu chips"}, false},
        {{"go"}, false},
        {{"ai-ml"}, false},
        {{"nvidia, tsmc"}, false},
        {{"nvidia, wire"}, true},
        {{"xx yy"}, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(chips.looselyMatchesAny(c.phrases), c.matches) << c.phrases.join(u'|').toStdString();
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
    EXPECT_EQ(full.source, (FeedSource{"f1", "Example Wire", "example-wire", "https://example.com/icon.png",
                                       "example.com", SourceType::Substack,
                                       FeedCategory{"c1", "Business", "business", 3}}));

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

TEST(ItemModels, OneMalformedPartFailsTheWholeBatch)
{
    const std::tuple<const char*, const char*, const char*> cases[] = {  // name, reply, part of the error
        {"no items key", R"({"item":[]})", "items"},
        {"items not an array", R"({"items":{}})", "items"},
        {"second item without id", R"({"items":[{"item_id":"a","title":"t"},{"title":"t"}]})", "item_id"},
        {"null title", R"({"items":[{"item_id":"a","title":null}]})", "title"},
        {"numeric url", R"({"items":[{"item_id":"a","title":"t","url":5}]})", "url"},
        {"source without feed_id", R"({"items":[{"item_id":"a","title":"t","source":{"title":"x"}}]})", "feed_id"},
        {"numeric source_type", R"({"items":[{"item_id":"a","title":"t","source":{"feed_id":"f","source_type":3}}]})", "source_type"},
        {"fractional sort order", R"({"items":[{"item_id":"a","title":"t","source":{"feed_id":"f","category":{"sort_order":1.5}}}]})", "sort_order"},
        {"unreadable date", R"({"items":[{"item_id":"a","title":"t","published_at":"yesterday"}]})", "Cannot parse date: yesterday"},
        {"date without zone", R"({"items":[{"item_id":"a","title":"t","published_at":"2026-01-15T10:00:00"}]})", "Cannot parse date: 2026-01-15T10:00:00"},
        {"date as number", R"({"items":[{"item_id":"a","title":"t","published_at":1700000000}]})", "published_at"},
        {"not JSON", R"({"items":[)", "invalid JSON"},
    };
    for (const auto& [name, json, mentions] : cases) {
        auto r = decodeJson<ItemsBatchResponse>(QByteArray(json), kServer);
        ASSERT_FALSE(r.has_value()) << name;
        EXPECT_EQ(r.error().kind, ErrorKind::Decoding);
        EXPECT_TRUE(r.error().description.contains(QString::fromUtf8(mentions)))
            << name << ": " << r.error().description.toStdString();
    }
}

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
        EXPECT_TRUE(std::tie(a.id, a.title, a.url, a.iconUrl, a.isActive, a.sourceType, a.items30d, a.items1h,
                             a.lastItemAt, a.status, a.category, a.pillar, a.rankScore)
                    == std::tie(b.id, b.title, b.url, b.iconUrl, b.isActive, b.sourceType, b.items30d, b.items1h,
                                b.lastItemAt, b.status, b.category, b.pillar, b.rankScore)) << i;
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

TEST(NowPlayingModels, DecodesFixture)
{
    auto r = decodeJson<NowPlayingResponse>(fixture(QStringLiteral("nowplaying.json")), kServer);
    ASSERT_TRUE(r.has_value()) << r.error().description.toStdString();
    EXPECT_EQ(r->artist.name, QStringLiteral("Radiohead"));
    EXPECT_EQ(r->artist.mbid, QStringLiteral("a74b1b7f"));
    EXPECT_EQ(r->artist.country, QStringLiteral("GB"));
    EXPECT_FALSE(r->artwork.has_value());
    ASSERT_EQ(r->links.size(), 1);
    EXPECT_EQ(r->links[0].type, QStringLiteral("official"));
    ASSERT_EQ(r->streams.corpus.size(), 1);
    const auto& bio = r->streams.corpus[0];
    EXPECT_EQ(bio.source, QStringLiteral("Wiki"));
    EXPECT_EQ(bio.image, QStringLiteral("https://x.test/i.jpg"));
    EXPECT_EQ(bio.publishedAt, QDateTime(QDate(2026, 1, 10), QTime(8, 0), Qt::UTC));
    EXPECT_EQ(r->streams.news[0].publishedAt, QDateTime(QDate(2026, 1, 11), QTime(7, 0, 0, 123), Qt::UTC));
    EXPECT_TRUE(r->streams.videos.isEmpty());
    EXPECT_FALSE(r->streams.cards || r->streams.press || r->streams.social);
    ASSERT_TRUE(r->streams.similar.has_value());
    EXPECT_FALSE(r->streams.similar->at(0).publishedAt.has_value());

    auto back = NowPlayingResponse::fromJson(r->toJson(kServer), kServer);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->streams.news[0].publishedAt, r->streams.news[0].publishedAt);
    EXPECT_EQ(back->streams.similar->size(), 1);
    EXPECT_FALSE(back->streams.cards.has_value());
    EXPECT_FALSE(r->toJson(kServer).contains(QStringLiteral("artwork")));
}

TEST(NowPlayingModels, WholeReplyFails)
{
    const QJsonObject good = jsonObject(fixture(QStringLiteral("nowplaying.json")));
    ASSERT_FALSE(good.isEmpty());
    const std::function<void(QJsonObject&)> breakages[] = {
        [](QJsonObject& o) { o.remove(QStringLiteral("links")); },
        [](QJsonObject& o) { o.remove(QStringLiteral("artist")); },
        [](QJsonObject& o) { o.insert(QStringLiteral("artist"), QJsonObject{{"mbid", "x"}}); },
        [](QJsonObject& o) { o.insert(QStringLiteral("links"), QJsonArray{QJsonObject{{"type", "x"}}}); },
        [](QJsonObject& o) { o.insert(QStringLiteral("artwork"), 3); },
        [](QJsonObject& o) {
            QJsonObject s = o.value(QStringLiteral("streams")).toObject();
            s.remove(QStringLiteral("videos"));
            o.insert(QStringLiteral("streams"), s);
        },
        [](QJsonObject& o) {
            QJsonObject s = o.value(QStringLiteral("streams")).toObject();
            s.insert(QStringLiteral("press"), QJsonArray{QJsonObject{{"title", "t"}}});
            o.insert(QStringLiteral("streams"), s);
        },
        [](QJsonObject& o) {
            QJsonObject s = o.value(QStringLiteral("streams")).toObject();
            s.insert(QStringLiteral("news"), QJsonArray{QJsonObject{{"title", "t"}, {"url", "u"}, {"published_at", "2026"}}});
            o.insert(QStringLiteral("streams"), s);
        },
    };
    int i = 0;
    for (const auto& breakIt : breakages) {
        QJsonObject broken = good;
        breakIt(broken);
        EXPECT_FALSE(NowPlayingResponse::fromJson(broken, kServer).has_value()) << "breakage " << i;
        ++i;
    }
}

TEST(ServerDates, AcceptedForms)
{
    const DateCoding coding = ApiJson::serverDates();
    const QDateTime base(QDate(2026, 1, 15), QTime(9, 30, 5), Qt::UTC);
    const std::pair<const char*, std::optional<QDateTime>> cases[] = {
        {"2026-01-15T09:30:05Z", base},
        {"2026-01-15T09:30:05.250Z", base.addMSecs(250)},
        {"2026-01-15T09:30:05.1Z", base.addMSecs(100)},
        {"2026-01-15T11:30:05+02:00", base},
        {"2026-01-15T04:00:05-0530", base},
        {"2026-01-15T09:30:05+0000", base},
        {"2026-01-15T09:30:05", std::nullopt},
        {"2026-01-15", std::nullopt},
        {"2026-02-30T09:30:05Z", std::nullopt},
        {"2026-01-15T25:30:05Z", std::nullopt},
        {"2026-01-15 09:30:05Z", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(coding.decode(QJsonValue(QString::fromUtf8(text))), expected) << text;
    EXPECT_EQ(coding.decode(QJsonValue(1700000000)), std::nullopt);
    EXPECT_EQ(coding.decode(coding.encode(base.addMSecs(7))), base.addMSecs(7));
}

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
