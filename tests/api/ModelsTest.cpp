#include "api/ApiJson.h"
#include "api/Color.h"
#include "api/ItemModels.h"
#include "api/ManifestModels.h"
#include "api/NowPlayingModels.h"
#include "api/OrbModels.h"
#include "api/Palette.h"
#include "api/SourceSymbol.h"
#include "api/SourceType.h"
#include "api/SourceTypeBadge.h"

#include "ApiTestUtil.h"

#include <QFontMetricsF>
#include <QImage>
#include <QJsonArray>
#include <QPainter>
#include <QSet>
#include <QTimeZone>
#include <gtest/gtest.h>

namespace {

const JsonOptions kServer = ApiJson::serverOptions();

QDateTime utc(int y, int mo, int d, int h, int mi, int s, int ms = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms), Qt::UTC);
}

// Colours compare as 8-bit ARGB; 0..1 components round the way QColor stores them.
QRgb argb(int r, int g, int b, int a = 255) { return qRgba(r, g, b, a); }
QRgb argbF(double r, double g, double b) { return QColor::fromRgbF(float(r), float(g), float(b)).rgba(); }

// Expects `url` to be `expected` encoded, or absent when `expected` is null.
void expectUrl(const std::optional<QUrl>& url, const char* expected, const std::string& where)
{
    ASSERT_EQ(url.has_value(), expected != nullptr) << where;
    if (expected) {
        EXPECT_EQ(url->toEncoded(), QByteArray(expected)) << where;
    }
}

// Decodes a reply file and expects its re-encoding (server coding) to be
// `expected` exactly, and to read back to the same encoding.
template <class T>
std::optional<T> expectCanonical(const char* file, const char* expected)
{
    auto r = decodeJson<T>(fixture(QString::fromLatin1(file)), kServer);
    if (!r.has_value()) {
        ADD_FAILURE() << file << ": " << r.error().description.toStdString();
        return std::nullopt;
    }
    const QByteArray encoded = QJsonDocument(r->toJson(kServer)).toJson(QJsonDocument::Compact);
    EXPECT_EQ(encoded, QByteArray(expected)) << file;
    auto again = decodeJson<T>(encoded, kServer);
    EXPECT_TRUE(again && QJsonDocument(again->toJson(kServer)).toJson(QJsonDocument::Compact) == encoded) << file;
    return *r;
}

TEST(Color, HexAndItsValidity)
{
    const std::tuple<const char*, QRgb, bool> cases[] = {
        {"#4ADE80", argb(74, 222, 128), true},
        {"fff", argb(255, 255, 255), true},
        {"#0f8", argb(0, 255, 136), true},
        {"80FF0000", argb(255, 0, 0, 128), true},
        {"  #1A2B3C  ", argb(0x1A, 0x2B, 0x3C), true},
        {"\n#1a2b3c\t", argb(0x1A, 0x2B, 0x3C), true},
        {"12345", argb(1, 1, 0, 1), false},
        {"", argb(1, 1, 0, 1), false},
        {"#", argb(1, 1, 0, 1), false},
        {"GGGGGG", argb(0, 0, 0), false},
        {"FF FF FF", argb(0, 0, 255, 0), false},  // 8 characters; the scan stops at the space
        {"0x12AB", argb(0x00, 0x12, 0xAB), false},  // six characters, prefix skipped
        {"#12345G", argb(0x01, 0x23, 0x45), false},
        {"00000000", argb(0, 0, 0, 0), true},
        {"#abc;", argb(0xAA, 0xBB, 0xCC), true},
        {"1234567", argb(1, 1, 0, 1), false},
        {"1234567890", argb(1, 1, 0, 1), false},
    };
    for (const auto& [text, colour, valid] : cases) {
        EXPECT_EQ(Color::hex(QString::fromUtf8(text)).rgba(), colour) << '"' << text << '"';
        EXPECT_EQ(Color::isValidHex(QString::fromUtf8(text)), valid) << '"' << text << '"';
    }
}

TEST(Palette, ThemeBackgroundsAndCategoryTints)
{
    const std::pair<const char*, QRgb> themes[] = {
        {"Black", argb(0, 0, 0)}, {"Teal", argbF(0.055, 0.22, 0.208)}, {"teal", argb(0, 0, 0)}, {"", argb(0, 0, 0)}, {"Teal ", argb(0, 0, 0)}};
    for (const auto& [name, colour] : themes)
        EXPECT_EQ(themeBackgroundColor(QString::fromUtf8(name)).rgba(), colour) << name;

    const QRgb accent = Palette::accent().rgba(), orange = Palette::orange().rgba(), slate = Palette::slate().rgba();
    const QRgb sport = argbF(0.7, 0.56, 0.95), money = argbF(0.31, 0.82, 0.77), fun = argbF(0.96, 0.45, 0.72);
    const std::pair<const char*, QRgb> cases[] = {
        {"AI", accent}, {"Applied AI & Research", accent}, {"ai-policy", accent}, {"Research", accent},
        // "ai" anywhere in the name is tested first: these are accent too.
        {"Entertainment", accent}, {"Retail", accent}, {"Daily Briefing", accent}, {"Rainforest sport", accent},
        {"Local Weather", orange}, {"World News", slate}, {"Politics", slate}, {"Sports", sport},
        {"Markets", money}, {"Personal Finance", money}, {"Music", fun}, {"Celebrity", fun},
        {"Gardening", slate}, {"", slate}, {"Local Politics", orange}, {"Music News", slate},
    };
    for (const auto& [name, colour] : cases)
        EXPECT_EQ(categoryTint(QString::fromUtf8(name)).rgba(), colour) << name;
}

TEST(SourceType, RawValuesNamesAndBadgeWords)
{
    QStringList seen;
    for (SourceType type : allSourceTypes()) {
        const QString raw = rawValue(type);
        EXPECT_TRUE(sourceTypeFromRawValue(raw) == type && sourceTypeDecoding(raw) == type) << raw.toStdString();
        seen.append(raw + u'=' + displayName(type) + u'/' + badgeText(type).value_or(QStringLiteral("-")));
    }
    EXPECT_EQ(seen.join(u' '), QStringLiteral("rss=RSS/- hackernews=Hacker News/HN github=GitHub/REPO substack=Substack/NEWSLETTER "
                                              "youtube=YouTube/VIDEO medium=Medium/POST reddit=Reddit/THREAD "
                                              "podcast=Podcasts/AUDIO newsapi=News APIs/-"));
    EXPECT_TRUE(!sourceTypeFromRawValue(u"Reddit") && !sourceTypeFromRawValue(u"rss "));
    EXPECT_TRUE(sourceTypeDecoding(u"Reddit") == SourceType::Rss && sourceTypeDecoding(u"") == SourceType::Rss);
}

QImage render(const SourceTypeBadge& badge)
{
    QImage image(QSize(120, 30), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    badge.paint(p, QPointF(2, 2));
    return image;
}

bool isBlank(const QImage& image)
{
    QImage blank(image.size(), image.format());
    blank.fill(Qt::transparent);
    return image == blank;
}

TEST(SourceTypeBadge, LayoutSymbolAndPaint)
{
    for (SourceType type : allSourceTypes()) {
        SCOPED_TRACE(rawValue(type).toStdString());
        const QImage symbol = SourceSymbol::image(symbolName(type), 16, Qt::red, 2.0);
        EXPECT_EQ(symbol.size(), QSize(32, 32));
        EXPECT_FALSE(isBlank(symbol));
        const SourceTypeBadge badge(type, false);
        const SourceTypeBadgeLayout l = badge.layout();
        if (!badgeText(type)) {  // kinds without a word draw nothing, compact or not
            for (const SourceTypeBadge& b : {badge, SourceTypeBadge(type, true)})
                EXPECT_TRUE(b.layout().isEmpty && b.sizeHint().isEmpty() && isBlank(render(b)));
            continue;
        }
        ASSERT_FALSE(l.isEmpty);
        EXPECT_EQ(l.word, *badgeText(type));
        EXPECT_GT(l.text.left(), l.symbol.right()) << "the word follows the symbol";
        const qreal wordWidth = QFontMetricsF(SourceTypeBadge::wordFont()).horizontalAdvance(l.word);
        EXPECT_GT(l.size.width(), l.text.left() + wordWidth) << "with padding after it";
        EXPECT_DOUBLE_EQ(l.symbol.center().y(), l.size.height() / 2) << "centred vertically";
        EXPECT_EQ(l.color.rgba(), accentColor(type).rgba());
        EXPECT_EQ(badge.accessibleName(), displayName(type));
        EXPECT_TRUE(SourceSymbol::exists(l.symbolName));
        const SourceTypeBadgeLayout compact = SourceTypeBadge(type, true).layout();
        EXPECT_TRUE(compact.word.isEmpty() && compact.text.isEmpty());
        EXPECT_LT(compact.size.width(), l.size.width());
    }
    EXPECT_TRUE(SourceSymbol::image(QStringLiteral("no.such.symbol"), 16, Qt::red).isNull());

    const QImage image = render(SourceTypeBadge(SourceType::Podcast, true));
    const QColor accent = accentColor(SourceType::Podcast);
    EXPECT_NEAR(qAlpha(image.pixel(3, 6)), 38, 2) << "background: accent at 15 %";
    const QColor body = QColor::fromRgba(image.pixel(8, 5));  // the microphone: opaque accent
    EXPECT_GT(body.alpha(), 200);
    EXPECT_TRUE(std::abs(body.red() - accent.red()) <= 12 && std::abs(body.green() - accent.green()) <= 12
                && std::abs(body.blue() - accent.blue()) <= 12);
    EXPECT_EQ(qAlpha(image.pixel(16, 6)) + qAlpha(image.pixel(1, 1)), 0) << "nothing outside the badge";
}

FeedItem item(const char* title, std::optional<QString> url = std::nullopt,
              std::optional<QString> sourceTitle = std::nullopt, bool withSource = false)
{
    FeedItem i{QStringLiteral("id"), QString::fromUtf8(title), std::move(url), std::nullopt, std::nullopt, std::nullopt};
    if (sourceTitle || withSource)
        i.source = FeedSource{QStringLiteral("f"), std::move(sourceTitle), {}, {}, {}, {}, {}};
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
        // Tags go before entities are read, and "&amp;" is read first: a tag
        // escaped twice ends up as text, never removed.
        {"&amp;lt;b&amp;gt;", "<b>"},
        {"&amp;lt;!-- x --&amp;gt; y", "<!-- x --> y"},
        {"AT&amp;amp;T", "AT&T"},
        {"&amp;quot;Q&amp;quot; it&amp;#8217;s", "\"Q\" it\u2019s"},
        // Comments, CDATA and declarations are markup too.
        {"Markets rally<!-- wire -->", "Markets rally"},
        {"<![CDATA[Fed]]>Fed holds", "Fed holds"},
        {"<!DOCTYPE html>Title", "Title"},
        {"a <! b", "a <! b"},
        {"&lt;b&gt;hi&lt;/b&gt;", "<b>hi</b>"},
        {"&quot;Q&quot; &apos;A&apos; &#39;B&#39;", "\"Q\" 'A' 'B'"},
        {"a&nbsp;b", "a b"},
        {"it&#8217;s &#x2019;s &#X1F600;", "it\u2019s \u2019s \U0001F600"},
        {"&#0; &#xD800; &#xDFFF; &#1114112; &#; &amp;", "&#0; &#xD800; &#xDFFF; &#1114112; &#; &"},  // a bad entity ends nothing
        {"&copy; 2026 &AMP;", "&copy; 2026 &AMP;"},
        {"AT&T rises", "AT&T rises"},
        {"  <p>\n Padded \t</p>  ", "Padded"},
        {"&nbsp;edge&nbsp;", "edge"},
        {"", ""},
    };
    for (const auto& [title, expected] : cases)
        EXPECT_EQ(item(title).cleanedTitle(), QString::fromUtf8(expected)) << title;
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
        {"ftp://x.test/a b", nullptr}, {"ftp://x.test/a", nullptr}, {"javascript:alert(1)", nullptr},
        {"file:///etc/passwd", nullptr}, {"x.test/a", nullptr}, {"", nullptr}, {"   ", nullptr}, {std::nullopt, nullptr},
    };
    for (const auto& [url, expected] : cases)
        expectUrl(item("t", url ? std::optional(QString::fromUtf8(*url)) : std::nullopt).linkURL(), expected, url.value_or("none"));
}

TEST(ItemDisplay, MetaLine)
{
    // 21:00 on March 4 in New York is already March 5 in UTC.
    const QDateTime now(QDate(2026, 3, 5), QTime(2, 0), Qt::UTC);
    const MetaLineContext newYork{now, QTimeZone("America/New_York"), QStringLiteral("en_US")};
    const MetaLineContext utcZone{now, QTimeZone(Qt::UTC), QStringLiteral("en_US")};
    const MetaLineContext british{now, QTimeZone("America/New_York"), QStringLiteral("en_GB")};
    const QDateTime morning = utc(2026, 3, 4, 14, 5, 0);  // 9:05 AM in New York
    const QDateTime earlier = utc(2026, 3, 3, 2, 5, 0);   // 9:05 PM on March 2 there
    const std::tuple<FeedItem, std::optional<QDateTime>, const MetaLineContext*, const char*> cases[] = {
        {item("t", "https://www.other.test/", "Example Wire"), morning, &newYork, "EXAMPLE WIRE \u2022 9:05 AM"},
        {item("t", std::nullopt, "Wire"), morning, &utcZone, "WIRE \u2022 Mar 4 2:05 PM"},
        {item("t", std::nullopt, "Wire"), earlier, &newYork, "WIRE \u2022 Mar 2 9:05 PM"},
        {item("t", std::nullopt, "Wire"), earlier, &british, "WIRE \u2022 2 Mar 9:05 pm"},
        {item("t", "https://www.news.bbc.co.uk/x", std::nullopt, true), std::nullopt, &newYork, "NEWS"},
        {item("t", "https://WWW.Example.COM/a"), std::nullopt, &newYork, "EXAMPLE"},
        {item("t", "https://www.awww.test/"), std::nullopt, &newYork, "AWWW"},  // only a leading www. goes
        {item("t", "https://awww.example.test/"), std::nullopt, &newYork, "AWWW"},
        {item("t", "http://localhost:8080/"), std::nullopt, &newYork, "LOCALHOST"},
        {item("t", "https://www.example.com/", ""), morning, &newYork, "SIGNAL \u2022 9:05 AM"},  // empty title wins
        {item("t"), std::nullopt, &newYork, "SIGNAL"},
        {item("t", "not a url"), std::nullopt, &newYork, "SIGNAL"},
    };
    for (auto [i, published, context, expected] : cases) {
        i.publishedAt = published;
        EXPECT_EQ(i.metaLine(*context), QString::fromUtf8(expected));
    }
}

TEST(ItemDisplay, StrictAndLoosePhraseMatch)
{
    const FeedItem fed = item("Fed <b>rate</b> cut looms; U.S. artists react", std::nullopt, "Example Wire");
    const std::pair<QStringList, bool> strict[] = {
        {{}, false}, {{"", ""}, false}, {{"rate cut"}, true}, {{"cut looms;"}, true}, {{"art"}, false},
        {{"artists"}, true}, {{"wire"}, true}, {{"example wire"}, true},
        {{"Fed"}, false},  // phrases arrive lower-cased
        {{"fed"}, true}, {{"b"}, false} /* tags are not text */, {{"u"}, true}, {{"u.s."}, false},
        {{"xyz", "", "looms"}, true}, {{"rate  cut"}, false},
    };
    for (const auto& [phrases, matches] : strict)
        EXPECT_EQ(fed.matchesAny(phrases), matches) << phrases.join(u'|').toStdString();
    EXPECT_TRUE(item("Modern art fair opens").matchesAny({QStringLiteral("art")}));
    EXPECT_FALSE(item("No source").matchesAny({QStringLiteral("source title")}));

    const FeedItem chips = item("Nvidia unveils new chips; artists react", std::nullopt, "Tech Wire");
    const std::pair<QStringList, bool> loose[] = {
        {{}, false}, {{""}, false}, {{"art"}, true}, {{"ai chips"}, true},
        {{"ai"}, false},  // too short to count as a run; no substring either
        {{"ia"}, true},   // substring of "nvidia"
        {{"gpu chips"}, false}, {{"go"}, false}, {{"ai-ml"}, false}, {{"nvidia, tsmc"}, false},
        {{"nvidia, wire"}, true}, {{"xx yy"}, false},
    };
    for (const auto& [phrases, matches] : loose)
        EXPECT_EQ(chips.looselyMatchesAny(phrases), matches) << phrases.join(u'|').toStdString();
}

TEST(ItemModels, DecodesBatchFixture)
{
    // Unknown keys and nulls go, dates read in UTC to the millisecond, unknown kinds read as rss.
    expectCanonical<ItemsBatchResponse>("items_batch.json",
        R"({"items":[{"image_url":"https://example.com/fed.jpg","item_id":"a1","published_at":"2026-01-15T09:30:00.250Z",)"
        R"("source":{"category":{"category_id":"c1","name":"Business","slug":"business","sort_order":3},)"
        R"("domain":"example.com","feed_id":"f1","icon_url":"https://example.com/icon.png","slug":"example-wire",)"
        R"("source_type":"substack","title":"Example Wire"},"title":"Fed holds rates","url":"https://www.example.com/fed"},)"
        R"({"item_id":"a2","title":"Minimal"},{"item_id":"a3","published_at":"2026-01-15T08:00:00.000Z",)"
        R"("title":"Null fields"},{"item_id":"a4","published_at":"2026-01-15T04:45:07.000Z","source":{"feed_id":"f2",)"
        R"("source_type":"rss"},"title":"Fixed form date"}]})");
}

TEST(ItemModels, OneMalformedPartFailsTheWholeBatch)
{
    const std::pair<const char*, const char*> cases[] = {  // reply, part of the error
        {R"({"item":[]})", "items"},
        {R"({"items":{}})", "items"},
        {R"({"items":[{"item_id":"a","title":"t"},{"title":"t"}]})", "item_id"},
        {R"({"items":[{"item_id":"a","title":null}]})", "title"},
        {R"({"items":[{"item_id":"a","title":"t","url":5}]})", "url"},
        {R"({"items":[{"item_id":"a","title":"t","source":{"title":"x"}}]})", "feed_id"},
        {R"({"items":[{"item_id":"a","title":"t","source":{"feed_id":"f","source_type":3}}]})", "source_type"},
        {R"({"items":[{"item_id":"a","title":"t","source":{"feed_id":"f","category":{"sort_order":1.5}}}]})", "sort_order"},
        {R"({"items":[{"item_id":"a","title":"t","published_at":"yesterday"}]})", "Cannot parse date: yesterday"},
        {R"({"items":[{"item_id":"a","title":"t","published_at":"2026-01-15T10:00:00"}]})", "Cannot parse date: 2026-01-15T10:00:00"},
        {R"({"items":[{"item_id":"a","title":"t","published_at":1700000000}]})", "published_at"},
        {R"({"items":[)", "invalid JSON"},
    };
    for (const auto& [json, mentions] : cases) {
        auto r = decodeJson<ItemsBatchResponse>(QByteArray(json), kServer);
        ASSERT_FALSE(r.has_value()) << json;
        EXPECT_EQ(r.error().kind, ErrorKind::Decoding);
        EXPECT_TRUE(r.error().description.contains(QString::fromUtf8(mentions))) << r.error().description.toStdString();
    }
}

TEST(ItemModels, IdentityAndHashing)
{
    FeedItem a = item("One", QStringLiteral("https://a")), b = item("Two", std::nullopt, "S"), c = a;
    c.stableId = QStringLiteral("y");
    EXPECT_TRUE(a == b && a != c && a.id() == QStringLiteral("id")) << "items are equal by their stable id";

    auto empty = FeedCategory::fromJson(QJsonObject{}, kServer);
    ASSERT_TRUE(empty.has_value());
    FeedCategory withEmptyName;
    withEmptyName.name = QString();  // present but empty differs from absent
    EXPECT_EQ(qHash(*empty), qHash(FeedCategory{}));
    EXPECT_NE(qHash(*empty), qHash(withEmptyName));
    EXPECT_EQ((QSet<FeedCategory>{*empty, FeedCategory{}, withEmptyName}).size(), 2);
}

TEST(ItemModels, RoundTripKeepsEveryFieldWithEachCoding)
{
    const FeedItem original{
        QStringLiteral("id-1"), QStringLiteral("Title"), QStringLiteral("https://x.test/a"), utc(2026, 3, 4, 21, 5, 9, 123),
        FeedSource{"f", "Src", "slug", "icon", "x.test", SourceType::YouTube, FeedCategory{"c", "Name", "s", 7}},
        QStringLiteral("https://x.test/i.png")};
    const std::tuple<const char*, JsonOptions, int> codings[] = {
        {"server", kServer, 1}, {"iso8601", JsonOptions{DateCoding::iso8601()}, 1000},
        {"reference seconds", JsonOptions{DateCoding::referenceSeconds()}, 1}};
    for (const auto& [name, options, precisionMs] : codings) {
        auto back = decodeJson<FeedItem>(QJsonDocument(original.toJson(options)).toJson(), options);
        ASSERT_TRUE(back.has_value()) << name << ": " << back.error().description.toStdString();
        EXPECT_EQ(std::tie(back->stableId, back->title, back->url, back->source, back->imageUrl),
                  std::make_tuple(original.stableId, original.title, original.url, original.source, original.imageUrl)) << name;
        const qint64 ms = original.publishedAt->toMSecsSinceEpoch();
        EXPECT_EQ(back->publishedAt.value_or(QDateTime()).toMSecsSinceEpoch(), ms - ms % precisionMs) << name;
    }
    auto minimal = FeedItem::fromJson(jsonObject(R"({"item_id":"a","title":"t","junk":1})"), kServer);
    ASSERT_TRUE(minimal.has_value());
    EXPECT_EQ(minimal->toJson(kServer).keys(), (QStringList{"item_id", "title"}));
}

TEST(ManifestModels, DecodesFixtureAndRoundTripsWithTheSnapshotCoding)
{
    auto m = expectCanonical<ManifestResponse>("manifest.json",
        R"({"client_release":{"build":140,"download_url":"https://example.com/t.AppImage","min_supported":"1.0",)"
        R"("release_notes":"Fixes","version":"1.4.0"},"feed_index":[{"category":{"category_id":"c1","name":"Tech",)"
        R"("slug":"tech","sort_order":2},"feed_id":"f1","icon_url":"https://example.com/i.png","is_active":true,)"
        R"("items_1h":4,"items_30d":900,"last_item_at":"2026-01-15T11:59:00.500Z","pillar":"tech-ai","rank_score":0.75,)"
        R"("source_type":"hackernews","status":"ok","title":"Example Wire","url":"https://example.com/feed"},)"
        R"({"feed_id":"f2","title":"Bare"},{"feed_id":"f3","last_item_at":"2026-01-01T00:00:00.000Z","rank_score":3,)"
        R"("source_type":"rss","title":"Oddball"}],"pillars":[{"blurb":"Chips and models","feed_count":42,"icon":"cpu",)"
        R"("name":"Tech & AI","slug":"tech-ai","sort_order":1,"tint":"#6699FF"}],)"
        R"("topics":[{"label":"Artificial Intelligence","orb_color":"#6699FF","slug":"tech-ai","topic_id":"t-ai"},)"
        R"({"label":"Rates","slug":"business-money","topic_id":"t-rates"},{"label":"Misc","slug":"misc",)"
        R"("topic_id":"t-misc"}]})");
    ASSERT_TRUE(m.has_value());
    const JsonOptions snapshot{DateCoding::referenceSeconds()};
    auto back = ManifestResponse::fromJson(m->toJson(snapshot), snapshot);
    ASSERT_TRUE(back.has_value()) << back.error().description.toStdString();
    EXPECT_EQ(back->toJson(kServer), m->toJson(kServer)) << "every field survives the snapshot coding";
    EXPECT_EQ(m->feedIndex[1].toJson(snapshot).keys(), (QStringList{"feed_id", "title"}));
}

TEST(ManifestModels, OptionalSectionsMayBeMissingButOneBadElementFailsTheWhole)
{
    for (const char* json : {R"({"topics":[],"feed_index":[]})",
                             R"({"topics":[],"feed_index":[],"pillars":null,"client_release":null})"}) {
        auto m = decodeJson<ManifestResponse>(QByteArray(json), kServer);
        ASSERT_TRUE(m.has_value()) << json;
        EXPECT_FALSE(m->pillars || m->clientRelease);
    }
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
    for (const char* json : cases)
        EXPECT_FALSE(decodeJson<ManifestResponse>(QByteArray(json), kServer).has_value()) << json;
    EXPECT_TRUE(decodeJson<ManifestResponse>(QByteArray(cases[4]), kServer).error().description.contains(u"Cannot parse date: soon"));
}

TEST(ManifestModels, Health)
{
    const QDateTime now = utc(2026, 1, 15, 12, 0, 0);
    using H = FeedIndexItem::Health;
    const std::tuple<std::optional<QString>, std::optional<QDateTime>, H> cases[] = {
        {"BROKEN", now.addSecs(-60), H::Broken}, {"Broken", std::nullopt, H::Broken}, {"broken ", now, H::Flowing},
        {std::nullopt, now.addDays(-6), H::Flowing}, {std::nullopt, now.addDays(-8), H::Quiet},
        {std::nullopt, std::nullopt, H::Quiet}, {"stale", now.addSecs(-1), H::Flowing},
        {std::nullopt, now.addSecs(-604800), H::Quiet}, {std::nullopt, now.addSecs(-604799), H::Flowing},
        {std::nullopt, now.addDays(1), H::Flowing},
    };
    for (const auto& [status, last, health] : cases) {
        FeedIndexItem f;
        f.status = status;
        f.lastItemAt = last;
        EXPECT_EQ(f.health(now), health) << status.value_or("-").toStdString() << ' ' << (last ? last->toSecsSinceEpoch() : 0);
    }
}

TEST(ManifestModels, VersionComparisonAndDownloadURL)
{
    const std::tuple<const char*, const char*, bool> versions[] = {
        {"1.10", "1.9", true}, {"1.9", "1.10", false}, {"1.2.1", "1.2", true}, {"1.2", "1.2.0", false},
        {"1.2.0", "1.2", false}, {"1..3", "1.3", false}, {"1.3", "1..3", false}, {".1.3.", "1.2", true},
        {"2.0-beta3", "2.0", true}, {"v1.4", "1.3", true}, {"1.2", "1.2", false}, {"", "", false},
        {"", "0.0.1", false}, {"0.0.1", "", true},
        {"1.99999999999999999999", "1.1", false},  // overflow reads 0
        {"1.1", "1.99999999999999999999", true}, {"1.9223372036854775807", "1.9223372036854775806", true},
        {"1.\u0663", "1.0", false},  // Arabic-Indic three: numeric, not ASCII -> 0
        {"1.\u0663", "1.1", false},
        {"1.\u00bd", "1.0", false},  // vulgar half is numeric, not a digit -> 0
        {"1.a", "1.0", false}, {"3", "2.99.99", true},
    };
    for (const auto& [a, b, newer] : versions)
        EXPECT_EQ(ClientRelease::isNewer(QString::fromUtf8(a), QString::fromUtf8(b)), newer) << a << " vs " << b;

    const std::pair<const char*, const char*> urls[] = {
        {"https://example.com/t.AppImage", "https://example.com/t.AppImage"},
        {"HTTPS://example.com/x", "https://example.com/x"},
        {"http://example.com", "http://example.com"},
        {"https://example.com/Tidewire 2.0|x64{beta}.AppImage", "https://example.com/Tidewire%202.0%7Cx64%7Bbeta%7D.AppImage"},
        {"ftp://example.com/x", nullptr}, {"example.com/x", nullptr}, {"", nullptr}, {"javascript:alert(1)", nullptr},
        {" https://example.com/x", nullptr},  // not trimmed
        {"file:///etc/passwd", nullptr},
    };
    for (const auto& [text, expected] : urls)
        expectUrl(ClientRelease{"1", std::nullopt, QString::fromUtf8(text), std::nullopt, std::nullopt}.downloadURL(), expected, text);
}

TEST(NowPlayingModels, DecodesFixtureAndFailsAsAWhole)
{
    expectCanonical<NowPlayingResponse>("nowplaying.json",
        R"({"artist":{"country":"GB","mbid":"a74b1b7f","name":"Radiohead"},"links":[{"type":"official",)"
        R"("url":"https://radiohead.test"}],"streams":{"corpus":[{"image":"https://x.test/i.jpg",)"
        R"("published_at":"2026-01-10T08:00:00.000Z","source":"Wiki","title":"Bio","url":"https://x.test/bio"}],)"
        R"("news":[{"published_at":"2026-01-11T07:00:00.123Z","title":"Tour","url":"https://x.test/n"}],)"
        R"("similar":[{"title":"Portishead","url":"https://x.test/p"}],"videos":[]}})");
    const QByteArray text = fixture(QStringLiteral("nowplaying.json"));
    const QJsonObject good = jsonObject(text);
    const QJsonObject streams = good.value(QStringLiteral("streams")).toObject();
    auto withStreams = [&](const char* key, const QJsonValue& v) {
        QJsonObject s = streams;
        v.isUndefined() ? void(s.remove(QLatin1String(key))) : void(s.insert(QLatin1String(key), v));
        return std::pair<const char*, QJsonValue>{"streams", s};
    };
    const std::pair<const char*, QJsonValue> breakages[] = {
        {"links", QJsonValue::Undefined}, {"artist", QJsonValue::Undefined}, {"artist", QJsonObject{{"mbid", "x"}}},
        {"links", QJsonArray{QJsonObject{{"type", "x"}}}}, {"artwork", 3}, withStreams("videos", QJsonValue::Undefined),
        withStreams("press", QJsonArray{QJsonObject{{"title", "t"}}}),
        withStreams("news", QJsonArray{QJsonObject{{"title", "t"}, {"url", "u"}, {"published_at", "2026"}}}),
    };
    int i = 0;
    for (const auto& [key, value] : breakages) {
        QJsonObject broken = good;
        value.isUndefined() ? void(broken.remove(QLatin1String(key))) : void(broken.insert(QLatin1String(key), value));
        EXPECT_FALSE(NowPlayingResponse::fromJson(broken, kServer).has_value()) << "breakage " << i++;
    }
}

TEST(ServerDates, AcceptedForms)
{
    const DateCoding coding = ApiJson::serverDates();
    const QDateTime base = utc(2026, 1, 15, 9, 30, 5);
    const std::pair<const char*, std::optional<QDateTime>> cases[] = {
        {"2026-01-15T09:30:05Z", base}, {"2026-01-15T09:30:05.250Z", base.addMSecs(250)},
        {"2026-01-15T09:30:05.1Z", base.addMSecs(100)}, {"2026-01-15T11:30:05+02:00", base},
        {"2026-01-15T04:00:05-0530", base}, {"2026-01-15T09:30:05+0000", base},
        {"2026-01-15T09:30:05", std::nullopt}, {"2026-01-15", std::nullopt}, {"2026-02-30T09:30:05Z", std::nullopt},
        {"2026-01-15T25:30:05Z", std::nullopt}, {"2026-01-15 09:30:05Z", std::nullopt}, {"", std::nullopt},
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

TEST(OrbModels, DecodesFixtureRoundTripsAndFailsAsAWhole)
{
    // Nulls in keyword_urls keep their place; empty parts stay present.
    expectCanonical<OrbsResponse>("orbs.json",
        R"({"orbs":[{"category_slugs":["Tech","","tech","Business"],"display_color":"#FF3B30","diversity":5,)"
        R"("keyword_urls":[null,"https://example.com/tsmc","ftp://x"],"keywords":["Nvidia","","TSMC"],)"
        R"("resting_color":"#6699FF","sentiment":{"label":"tense","score":-0.25},)"
        R"("top_items":[{"image_url":"https://example.com/a.jpg","item_id":"a1","score":0.9},{"item_id":"a2"}],)"
        R"("top_sources":[{"count":3,"feed_id":"f1"},{"feed_id":"f2"}],"topic_id":"t-ai","topic_label":"AI chips",)"
        R"("velocity":{"per_hour":12.5,"ui":"surging"},"volume":12},{"topic_id":"t-bare","topic_label":"Bare"},)"
        R"({"sentiment":{},"topic_id":"t-empty","topic_label":"Empty parts"}]})");
    const char* broken[] = {
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
    for (const char* json : broken)
        EXPECT_FALSE(decodeJson<OrbsResponse>(QByteArray(json), kServer).has_value()) << json;
    auto none = decodeJson<OrbsResponse>(R"({"orbs":[]})", kServer);
    EXPECT_TRUE(none.has_value() && none->orbs.isEmpty());
}

TEST(OrbDisplay, VelocityIntensityAndStatusLabel)
{
    using V = Orb::Velocity;
    const std::pair<std::optional<V>, double> intensities[] = {
        {V{6.0, std::nullopt}, 0.5}, {V{18.0, "calm"}, 0.75}, {V{0.0, "Hot"}, 0.9}, {V{-3.0, "SPIKING"}, 0.9},
        {V{std::nullopt, "climbing"}, 0.55}, {V{std::nullopt, "Medium"}, 0.55}, {V{std::nullopt, "steady"}, 0.2},
        {V{std::nullopt, "low"}, 0.2}, {V{std::nullopt, "warp"}, 0.0}, {V{std::nullopt, std::nullopt}, 0.0},
        {std::nullopt, 0.0}, {V{1e300, std::nullopt}, 1.0},
    };
    for (const auto& [velocity, intensity] : intensities) {
        Orb o = bareOrb();
        o.velocity = velocity;
        EXPECT_DOUBLE_EQ(o.velocityIntensity(), intensity) << (velocity ? velocity->ui.value_or("-").toStdString() : "none");
    }

    using S = std::optional<QString>;
    const std::tuple<S, S, S, S, std::optional<qint64>, const char*> labels[] = {  // display, resting, label, ui, volume
        {"#f00", "#00f", "tense", "hot", 3, "TENSE"},
        {"#f00", "#f00", "tense", "hot", 3, "HOT"},  // equal colours skip the label
        {"#f00", "#00f", "", "rising", 3, "RISING"},
        {"#f00", std::nullopt, "tense", std::nullopt, 12, "12 SIGNALS"},
        {std::nullopt, std::nullopt, std::nullopt, std::nullopt, 1, "1 SIGNAL"},
        {std::nullopt, std::nullopt, std::nullopt, std::nullopt, 0, "SCANNING\u2026"},
        {std::nullopt, std::nullopt, std::nullopt, "", std::nullopt, "SCANNING\u2026"},
        {std::nullopt, std::nullopt, std::nullopt, std::nullopt, -2, "SCANNING\u2026"},
    };
    for (const auto& [display, resting, label, ui, volume, expected] : labels) {
        Orb o = bareOrb();
        o.displayColor = display;
        o.restingColor = resting;
        if (label)
            o.sentiment = Orb::Sentiment{std::nullopt, label};
        if (ui)
            o.velocity = Orb::Velocity{std::nullopt, ui};
        o.volume = volume;
        EXPECT_EQ(o.statusLabel(), QString::fromUtf8(expected));
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
    EXPECT_TRUE(bare.normalizedKeywords().isEmpty() && bare.topItemIDs().isEmpty() && bare.normalizedCategorySlugs().isEmpty());

    Orb links = bareOrb();
    links.keywordUrls = QList<std::optional<QString>>{"https://a.test/", "https://b.test/x", "ftp://c.test", QString(),
                                                      "HTTP://d.test", "not a url", "https://e.test/q?k=a b|c{d}", std::nullopt};
    const std::pair<qsizetype, const char*> cases[] = {
        {-1, nullptr}, {0, "https://a.test/"}, {1, "https://b.test/x"}, {2, nullptr}, {3, nullptr}, {4, "http://d.test"},
        {5, nullptr}, {6, "https://e.test/q?k=a%20b%7Cc%7Bd%7D"}, {7, nullptr}, {8, nullptr}, {1000, nullptr},
        {std::numeric_limits<qsizetype>::min(), nullptr},
    };
    for (const auto& [index, expected] : cases)
        expectUrl(links.keywordURL(index), expected, std::to_string(index));
    EXPECT_FALSE(bareOrb().keywordURL(0).has_value());
}

TEST(OrbDisplay, Colour)
{
    const QList<Topic> topics{{"t", "T", "sports", std::nullopt}, {"t", "Second", "tech-ai", std::nullopt},
                              {"u", "U", "unknown", std::nullopt}};
    const QRgb sports = pillarSlugColors().value(QStringLiteral("sports")).rgba();
    const QRgb neutral = Palette::orbNeutral().rgba(), accent = Palette::accent().rgba();
    using S = std::optional<QString>;
    const std::tuple<const char*, S, S, QRgb> cases[] = {  // id, display, resting
        {"t", "#FF3B30", "#6699FF", argb(0xFF, 0x3B, 0x30)},
        {"t", "#FF3B30", "#FF3B30", sports},  // equal colours use the first topic's pillar
        {"t", std::nullopt, std::nullopt, sports},
        {"u", "#111", "#111", neutral},  // colours but no pillar
        {"x", std::nullopt, "#222", neutral},
        {"x", std::nullopt, std::nullopt, accent},
        {"x", "", "", accent},
        {"t", "12345", "#6699FF", sports},  // invalid hex falls through to the pillar
        {"x", "GGGGGG", "#6699FF", neutral},
        {"x", "80FF0000", "#6699FF", argb(255, 0, 0, 128)},  // eight digits keep alpha
    };
    int row = 0;
    for (const auto& [id, display, resting, expected] : cases) {
        Orb o = bareOrb(id);
        o.displayColor = display;
        o.restingColor = resting;
        EXPECT_EQ(o.color(topics).rgba(), expected) << "row " << row++;
    }
}

} // namespace
