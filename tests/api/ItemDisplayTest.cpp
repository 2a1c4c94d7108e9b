#include "api/ItemModels.h"

#include "ApiTestUtil.h"

#include <gtest/gtest.h>

namespace {

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

} // namespace
