#include "ServerFixture.h"

#include "SampleCatalogue.h"
#include "platform/Json.h"

#include <QSet>
#include <functional>

namespace {

using Check = std::function<bool(const QJsonValue&)>;
const Check isString = [](const QJsonValue& v) { return v.isString(); };
const Check isBool = [](const QJsonValue& v) { return v.isBool(); };
const Check isNumber = [](const QJsonValue& v) { return v.isDouble(); };
const Check isInteger = [](const QJsonValue& v) { return v.isDouble() && v.toDouble() == double(v.toInteger()); };
const Check isObject = [](const QJsonValue& v) { return v.isObject(); };
const Check isArray = [](const QJsonValue& v) { return v.isArray(); };
const Check isDate = [](const QJsonValue& v) { return v.isString() && parseIso8601(v.toString()).has_value(); };

struct Key {
    const char* name;
    Check check;
    bool required;
};

// Every required key present with its type; every optional key that is present has its type.
void expectShape(const QJsonObject& object, const QList<Key>& keys, const std::string& where)
{
    for (const Key& key : keys) {
        const QJsonValue v = object.value(QLatin1String(key.name));
        if (v.isUndefined() || v.isNull()) {
            EXPECT_FALSE(key.required) << where << ": missing " << key.name;
            continue;
        }
        EXPECT_TRUE(key.check(v)) << where << ": wrong type for " << key.name;
    }
}

const QList<Key> kCategoryKeys = {{"category_id", isString, false}, {"name", isString, false},
                                  {"slug", isString, false}, {"sort_order", isInteger, false}};
const QList<Key> kSourceKeys = {{"feed_id", isString, true},     {"title", isString, false},
                                {"slug", isString, false},       {"icon_url", isString, false},
                                {"domain", isString, false},     {"source_type", isString, false},
                                {"category", isObject, false}};
const QList<Key> kItemKeys = {{"item_id", isString, true},      {"title", isString, true},
                              {"url", isString, false},         {"published_at", isDate, false},
                              {"source", isObject, false},      {"image_url", isString, false}};
const QStringList kSourceTypes = {"rss", "hackernews", "github", "substack", "youtube",
                                  "medium", "reddit", "podcast", "newsapi"};

class CatalogueEndpointsTest : public ServerFixture {
protected:
    QJsonArray items(const QString& query) { return getJson("v1_items_batch?" + query).value("items").toArray(); }

    QStringList flowingFeedIds()
    {
        QStringList ids;
        for (const SampleFeed& feed : server.catalogue().feeds())
            if (feed.state == FeedState::Flowing)
                ids.append(feed.id);
        return ids;
    }
};

TEST_F(CatalogueEndpointsTest, ManifestHasTheDocumentedShapeAndASpreadOfFeeds)
{
    const QJsonObject manifest = getJson("v1_manifest");
    const QJsonArray topics = manifest.value("topics").toArray();
    const QJsonArray pillars = manifest.value("pillars").toArray();
    const QJsonArray index = manifest.value("feed_index").toArray();
    EXPECT_EQ(topics.size(), 8);
    EXPECT_EQ(pillars.size(), 6);
    EXPECT_GE(index.size(), 55);
    expectShape(manifest.value("client_release").toObject(),
                {{"version", isString, true}, {"build", isInteger, false}, {"download_url", isString, true},
                 {"release_notes", isString, false}, {"min_supported", isString, false}},
                "client_release");

    for (const QJsonValue& t : topics)
        expectShape(t.toObject(), {{"topic_id", isString, true}, {"label", isString, true}, {"slug", isString, true},
                                   {"orb_color", isString, false}}, "topic");
    QSet<QString> pillarSlugs;
    qint64 pillarFeeds = 0;
    for (const QJsonValue& p : pillars) {
        expectShape(p.toObject(), {{"slug", isString, true}, {"name", isString, true}, {"icon", isString, true},
                                   {"tint", isString, true}, {"blurb", isString, true},
                                   {"sort_order", isInteger, true}, {"feed_count", isInteger, true}}, "pillar");
        pillarSlugs.insert(p["slug"].toString());
        pillarFeeds += p["feed_count"].toInteger();
    }
    EXPECT_EQ(pillarFeeds, index.size()) << "every feed belongs to exactly one pillar";

    QSet<QString> types, categories, ids;
    int inactive = 0, broken = 0, quiet = 0;
    for (const QJsonValue& v : index) {
        const QJsonObject feed = v.toObject();
        expectShape(feed, {{"feed_id", isString, true}, {"title", isString, true}, {"url", isString, false},
                           {"icon_url", isString, false}, {"is_active", isBool, false},
                           {"source_type", isString, false}, {"items_30d", isInteger, false},
                           {"items_1h", isInteger, false}, {"last_item_at", isDate, false},
                           {"status", isString, false}, {"category", isObject, false}, {"pillar", isString, false},
                           {"rank_score", isNumber, false}}, feed["feed_id"].toString().toStdString());
        expectShape(feed["category"].toObject(), kCategoryKeys, "feed category");
        EXPECT_TRUE(pillarSlugs.contains(feed["pillar"].toString()));
        EXPECT_FALSE(feed["feed_id"].toString().contains(QLatin1Char(','))) << "ids travel comma-joined";
        ids.insert(feed["feed_id"].toString());
        types.insert(feed["source_type"].toString());
        categories.insert(feed["category"]["slug"].toString());
        inactive += feed["is_active"] == QJsonValue(false);
        broken += feed["status"].toString().toLower() == QLatin1String("broken");
        const auto last = parseIso8601(feed["last_item_at"].toString());
        quiet += feed["status"] != QJsonValue("broken") && last && last->secsTo(now()) > 7 * 86400;
    }
    EXPECT_EQ(ids.size(), index.size()) << "feed ids are unique";
    EXPECT_EQ(types, QSet<QString>(kSourceTypes.begin(), kSourceTypes.end()));
    EXPECT_GE(categories.size(), 6);
    EXPECT_GE(inactive, 1);
    EXPECT_GE(broken, 1);
    EXPECT_GE(quiet, 1);
}

TEST_F(CatalogueEndpointsTest, OrbsPointAtTopicsItemsFeedsAndCategoriesThatExist)
{
    const QJsonObject manifest = getJson("v1_manifest");
    QSet<QString> topicIds, feedIds, categorySlugs;
    for (const QJsonValue& t : manifest["topics"].toArray())
        topicIds.insert(t["topic_id"].toString());
    for (const QJsonValue& f : manifest["feed_index"].toArray()) {
        feedIds.insert(f["feed_id"].toString());
        categorySlugs.insert(f["category"]["slug"].toString());
    }
    QSet<QString> itemIds;
    for (const QJsonValue& i : items("feed_ids=" + QStringList(feedIds.values()).join(',') + "&limit_per_feed=50"))
        itemIds.insert(i["item_id"].toString());

    const QJsonArray orbs = getJson("v1_orbs").value("orbs").toArray();
    ASSERT_FALSE(orbs.isEmpty());
    for (const QJsonValue& v : orbs) {
        const QJsonObject orb = v.toObject();
        const std::string where = orb["topic_id"].toString().toStdString();
        expectShape(orb, {{"topic_id", isString, true}, {"topic_label", isString, true},
                          {"sentiment", isObject, false}, {"keywords", isArray, false},
                          {"keyword_urls", isArray, false}, {"display_color", isString, false},
                          {"resting_color", isString, false}, {"velocity", isObject, false},
                          {"volume", isInteger, false}, {"top_items", isArray, false},
                          {"diversity", isInteger, false}, {"top_sources", isArray, false},
                          {"category_slugs", isArray, false}}, where);
        EXPECT_TRUE(topicIds.contains(orb["topic_id"].toString())) << where;
        const QJsonArray keywords = orb["keywords"].toArray();
        const QJsonArray urls = orb["keyword_urls"].toArray();
        EXPECT_EQ(urls.size(), keywords.size()) << where << ": one link slot per keyword";
        for (const QJsonValue& k : keywords)
            EXPECT_TRUE(k.isString()) << where;
        for (const QJsonValue& u : urls)
            EXPECT_TRUE(u.isNull() || u.toString().startsWith("https://")) << where;
        for (const QJsonValue& top : orb["top_items"].toArray())
            EXPECT_TRUE(itemIds.contains(top["item_id"].toString())) << where << ": " << top["item_id"].toString().toStdString();
        for (const QJsonValue& source : orb["top_sources"].toArray())
            EXPECT_TRUE(feedIds.contains(source["feed_id"].toString())) << where;
        ASSERT_FALSE(orb["category_slugs"].toArray().isEmpty()) << where << ": a topic focus needs categories";
        for (const QJsonValue& slug : orb["category_slugs"].toArray())
            EXPECT_TRUE(categorySlugs.contains(slug.toString())) << where;
        expectShape(orb["sentiment"].toObject(), {{"score", isNumber, false}, {"label", isString, false}}, where);
        expectShape(orb["velocity"].toObject(), {{"per_hour", isNumber, false}, {"ui", isString, false}}, where);
    }
}

TEST_F(CatalogueEndpointsTest, ItemsBatchHonoursIdsLimitAndWindow)
{
    const QStringList flowing = flowingFeedIds();
    ASSERT_GE(flowing.size(), 4);
    const QString a = flowing.at(0), b = flowing.at(1), c = flowing.at(2);
    struct Case {
        const char* name;
        QString query;
        QSet<QString> feeds;  // the feeds allowed in the answer
        int limit;
        int sinceMinutes;     // 0: no window
        int exactCount;       // -1: not fixed
    };
    const QList<Case> cases = {
        {"one feed, three", "feed_ids=" + a + "&limit_per_feed=3", {a}, 3, 0, 3},
        {"two feeds, one each", "feed_ids=" + a + "," + b + "&limit_per_feed=1", {a, b}, 1, 0, 2},
        {"unknown ids are skipped", "feed_ids=nope," + c + ",f-missing&limit_per_feed=2", {c}, 2, 0, 2},
        {"repeated ids count once", "feed_ids=" + a + "," + a + "&limit_per_feed=2", {a}, 2, 0, 2},
        {"empty id list", "feed_ids=&limit_per_feed=3", {}, 3, 0, 0},
        {"a window of a day", "feed_ids=" + flowing.join(',') + "&limit_per_feed=50&since_minutes=1440",
         QSet<QString>(flowing.begin(), flowing.end()), 50, 1440, -1},
        {"a window of zero is no window", "feed_ids=" + a + "&limit_per_feed=4&since_minutes=0", {a}, 4, 0, 4},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        const QJsonArray list = items(test.query);
        if (test.exactCount >= 0) {
            EXPECT_EQ(list.size(), test.exactCount);
        }
        QHash<QString, int> perFeed;
        QDateTime previous;
        for (const QJsonValue& v : list) {
            const QJsonObject item = v.toObject();
            expectShape(item, kItemKeys, item["item_id"].toString().toStdString());
            expectShape(item["source"].toObject(), kSourceKeys, "source");
            const QString feed = item["source"]["feed_id"].toString();
            EXPECT_TRUE(test.feeds.contains(feed)) << feed.toStdString();
            EXPECT_LE(++perFeed[feed], test.limit);
            const QDateTime published = *parseIso8601(item["published_at"].toString());
            EXPECT_LE(published, now());
            if (test.sinceMinutes > 0) {
                EXPECT_GE(published, now().addSecs(-60 * test.sinceMinutes));
            }
            if (previous.isValid()) {
                EXPECT_LE(published, previous) << "newest first";
            }
            previous = published;
        }
    }
}

TEST_F(CatalogueEndpointsTest, ItemsBatchRejectsMalformedQueries)
{
    for (const QString& query : {QStringLiteral("limit_per_feed=3"), QStringLiteral("feed_ids=a&limit_per_feed=x"),
                                 QStringLiteral("feed_ids=a&limit_per_feed=0"),
                                 QStringLiteral("feed_ids=a&limit_per_feed=3&since_minutes=soon")}) {
        SCOPED_TRACE(query.toStdString());
        const HttpResponse response = get("v1_items_batch?" + query);
        EXPECT_EQ(response.status, 400);
        EXPECT_FALSE(errorMessage(response).isEmpty());
    }
}

TEST_F(CatalogueEndpointsTest, FeedsThatDoNotFlowHaveNoFreshItems)
{
    for (const SampleFeed& feed : server.catalogue().feeds()) {
        SCOPED_TRACE(feed.id.toStdString());
        const QJsonArray all = items("feed_ids=" + feed.id + "&limit_per_feed=5");
        const QJsonArray week = items("feed_ids=" + feed.id + "&limit_per_feed=5&since_minutes=10080");
        switch (feed.state) {
        case FeedState::Flowing:
            EXPECT_EQ(all.size(), 5);
            EXPECT_FALSE(week.isEmpty());
            break;
        case FeedState::Quiet:
            EXPECT_EQ(all.size(), 5);
            EXPECT_TRUE(week.isEmpty());
            break;
        case FeedState::Broken:
        case FeedState::Inactive:
            EXPECT_TRUE(all.isEmpty());
            break;
        }
    }
}

TEST_F(CatalogueEndpointsTest, ItemsKeepTheirIdsAndTimesWhileNewOnesArrive)
{
    const QString feed = flowingFeedIds().first();
    const QJsonArray before = items("feed_ids=" + feed + "&limit_per_feed=3");
    const int cadence = server.catalogue().feeds().at(server.catalogue().feedIndex(feed)).cadenceMinutes;
    advanceMinutes(cadence * 2);
    const QJsonArray after = items("feed_ids=" + feed + "&limit_per_feed=10");
    ASSERT_EQ(before.size(), 3);
    bool found = false;
    for (int i = 0; i < after.size() && !found; ++i) {
        if (after[i]["item_id"] != before[0]["item_id"])
            continue;
        found = true;
        EXPECT_GE(i, 1) << "newer items came in above";
        EXPECT_EQ(after[i]["published_at"], before[0]["published_at"]);
        EXPECT_EQ(after[i]["title"], before[0]["title"]);
    }
    EXPECT_TRUE(found);
}

TEST_F(CatalogueEndpointsTest, HourlyCountsAgreeWithTheItemsServed)
{
    const QJsonArray index = getJson("v1_manifest")["feed_index"].toArray();
    for (const QJsonValue& feed : index) {
        const QString id = feed["feed_id"].toString();
        SCOPED_TRACE(id.toStdString());
        EXPECT_EQ(feed["items_1h"].toInteger(), items("feed_ids=" + id + "&limit_per_feed=50&since_minutes=60").size());
        const QJsonArray newest = items("feed_ids=" + id + "&limit_per_feed=1");
        if (!newest.isEmpty()) {
            EXPECT_EQ(parseIso8601(feed["last_item_at"].toString()),
                      parseIso8601(newest[0]["published_at"].toString()));
        }
    }
}

TEST_F(CatalogueEndpointsTest, WeatherForAnyCity)
{
    for (const QString& city : {QStringLiteral("Dublin"), QStringLiteral("Bogotá"), QStringLiteral("New York"),
                                QStringLiteral("A&B")}) {
        SCOPED_TRACE(city.toStdString());
        const QString encoded = QString::fromUtf8(QUrl::toPercentEncoding(city));
        const QJsonObject weather = getJson("v1_weather?city=" + encoded);
        expectShape(weather, {{"city", isString, true}, {"temp", isString, true}, {"condition", isString, true},
                              {"icon", isString, true}}, "weather");
        EXPECT_EQ(weather["city"].toString(), city);
        EXPECT_TRUE(weather["temp"].toString().endsWith(QStringLiteral("°C")));
    }
    EXPECT_EQ(get("v1_weather?city=%20%20").status, 400);
    EXPECT_EQ(get("v1_weather").status, 400);
}

TEST_F(CatalogueEndpointsTest, NowPlayingBundlesForKnownAndOtherArtists)
{
    struct Case {
        QString query;
        QString name;
        bool full;
    };
    const QList<Case> cases = {
        {"artist=The%20Lanterns&track=Low%20Tide", "The Lanterns", true},
        {"artist=mara%20vell", "Mara Vell", true},
        {"artist=Kito%20%26%20the%20Night%20Bus&track=Night%20%2B%20Day", "Kito & the Night Bus", true},
        {"artist=Someone%20New", "Someone New", false},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.query.toStdString());
        const QJsonObject bundle = getJson("v1_nowplaying?" + test.query);
        expectShape(bundle, {{"artist", isObject, true}, {"artwork", isString, false}, {"links", isArray, true},
                             {"streams", isObject, true}}, "bundle");
        expectShape(bundle["artist"].toObject(), {{"name", isString, true}, {"mbid", isString, false},
                                                  {"country", isString, false}}, "artist");
        EXPECT_EQ(bundle["artist"]["name"].toString(), test.name);
        for (const QJsonValue& link : bundle["links"].toArray())
            expectShape(link.toObject(), {{"type", isString, true}, {"url", isString, true}}, "link");
        const QJsonObject streams = bundle["streams"].toObject();
        for (const char* key : {"corpus", "news", "videos"})
            EXPECT_FALSE(streams[QLatin1String(key)].toArray().isEmpty()) << key;
        for (const char* key : {"cards", "similar", "press", "social"})
            EXPECT_EQ(streams.contains(QLatin1String(key)), test.full) << key;
        for (const QString& key : streams.keys())
            for (const QJsonValue& entry : streams[key].toArray())
                expectShape(entry.toObject(), {{"title", isString, true}, {"url", isString, true},
                                               {"source", isString, false}, {"published_at", isDate, false},
                                               {"image", isString, false}}, key.toStdString());
    }
    EXPECT_EQ(get("v1_nowplaying?artist=%20").status, 400);
    EXPECT_EQ(get("v1_nowplaying?track=Low%20Tide").status, 400);
}

TEST_F(CatalogueEndpointsTest, MarketsReplyHasTheHouseSetShape)
{
    const QJsonObject markets = getJson("v1_markets");
    expectShape(markets, {{"api_version", isString, true}, {"as_of", isString, true}, {"delayed", isBool, true},
                          {"attribution", isArray, true}, {"quotes", isArray, true}}, "markets");
    for (const QJsonValue& a : markets["attribution"].toArray())
        expectShape(a.toObject(), {{"name", isString, true}, {"url", isString, true}, {"credit", isString, false}},
                    "attribution");
    QSet<QString> kinds;
    int withoutPrice = 0;
    for (const QJsonValue& q : markets["quotes"].toArray()) {
        const QJsonObject quote = q.toObject();
        expectShape(quote, {{"symbol", isString, true}, {"name", isString, true}, {"kind", isString, true},
                            {"currency", isString, true}, {"cadence", isString, true}, {"price", isNumber, false},
                            {"change", isNumber, false}, {"source", isString, true}, {"ok", isBool, true},
                            {"change_pct", isNumber, false}, {"as_of", isString, false}},
                    quote["symbol"].toString().toStdString());
        EXPECT_TRUE(QStringList({"live", "delayed", "daily"}).contains(quote["cadence"].toString()));
        EXPECT_EQ(quote["ok"].toBool(), quote.contains("price"));
        kinds.insert(quote["kind"].toString());
        withoutPrice += !quote.contains("price");
    }
    EXPECT_TRUE(kinds.contains("equity") && kinds.contains("fx") && kinds.contains("crypto"));
    EXPECT_GE(withoutPrice, 1);
}

class SeededServerTest : public ServerFixture {
protected:
    SeededServerTest() : ServerFixture(8) {}
};

TEST_F(SeededServerTest, TheSeedDecidesTheData)
{
    CatalogueServer::Options same = optionsFor(8);
    CatalogueServer twin(same);
    CatalogueServer::Options otherSeed = optionsFor(9);
    CatalogueServer other(otherSeed);
    ASSERT_TRUE(twin.start().has_value());
    ASSERT_TRUE(other.start().has_value());
    auto bodyOf = [this](const CatalogueServer& s, const QString& path) {
        // Links name the server's own port; compare without it.
        QByteArray body = send(HttpRequest(QUrl(s.baseUrl().toString() + path))).body;
        return body.replace(s.baseUrl().toString().toUtf8(), "BASE/");
    };
    QStringList ids;
    for (const SampleFeed& feed : server.catalogue().feeds())
        ids.append(feed.id);
    const QString all = "v1_items_batch?feed_ids=" + ids.join(',') + "&limit_per_feed=3";
    for (const QString& path : {QStringLiteral("v1_manifest"), QStringLiteral("v1_orbs"), all}) {
        SCOPED_TRACE(path.left(40).toStdString());
        EXPECT_EQ(bodyOf(server, path), bodyOf(twin, path));
        EXPECT_NE(bodyOf(server, path), bodyOf(other, path));
    }
}

} // namespace
