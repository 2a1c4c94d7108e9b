#include "api/ApiJson.h"
#include "api/NowPlayingModels.h"

#include "ApiTestUtil.h"

#include <gtest/gtest.h>

namespace {

const JsonOptions kServer = ApiJson::serverOptions();

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

} // namespace
