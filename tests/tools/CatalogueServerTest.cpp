// The sample catalogue server as the app meets it: its replies' meaning,
// its transport, its forms and its stand-ins for the market services. The
// shapes of the replies are read by the app's own strict decoders against
// this server (FeedApiAgainstServerTest, the markets and store tests).
#include "ServerFixture.h"

#include "SampleCatalogue.h"
#include "platform/Json.h"

#include <QProcess>
#include <QSet>
#include <QTcpServer>
#include <csignal>

namespace {

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

TEST_F(CatalogueEndpointsTest, ManifestAndOrbsAgreeWithEachOtherAndWithTheItems)
{
    const QJsonObject manifest = getJson("v1_manifest");
    const QJsonArray index = manifest.value("feed_index").toArray();
    QSet<QString> pillarSlugs, topicIds, feedIds, types, categories;
    qint64 pillarFeeds = 0;
    for (const QJsonValue& p : manifest["pillars"].toArray()) {
        pillarSlugs.insert(p["slug"].toString());
        pillarFeeds += p["feed_count"].toInteger();
    }
    EXPECT_EQ(pillarFeeds, index.size()) << "every feed belongs to exactly one pillar";
    for (const QJsonValue& t : manifest["topics"].toArray())
        topicIds.insert(t["topic_id"].toString());
    int inactive = 0, broken = 0, quiet = 0;
    for (const QJsonValue& feed : index) {
        const QString id = feed["feed_id"].toString();
        EXPECT_TRUE(pillarSlugs.contains(feed["pillar"].toString())) << id.toStdString();
        EXPECT_FALSE(id.contains(QLatin1Char(','))) << "ids travel comma-joined";
        feedIds.insert(id);
        types.insert(feed["source_type"].toString());
        categories.insert(feed["category"]["slug"].toString());
        inactive += feed["is_active"] == QJsonValue(false);
        broken += feed["status"].toString().toLower() == QLatin1String("broken");
        const auto last = parseIso8601(feed["last_item_at"].toString());
        quiet += feed["status"] != QJsonValue("broken") && last && last->secsTo(now()) > 7 * 86400;
    }
    EXPECT_EQ(feedIds.size(), index.size()) << "feed ids are unique";
    EXPECT_EQ(types, (QSet<QString>{"rss", "hackernews", "github", "substack", "youtube", "medium", "reddit",
                                    "podcast", "newsapi"}));
    EXPECT_GE(categories.size(), 6);
    EXPECT_TRUE(inactive >= 1 && broken >= 1 && quiet >= 1) << inactive << broken << quiet;

    QSet<QString> itemIds;
    for (const QJsonValue& i : items("feed_ids=" + QStringList(feedIds.values()).join(',') + "&limit_per_feed=50"))
        itemIds.insert(i["item_id"].toString());
    const QJsonArray orbs = getJson("v1_orbs").value("orbs").toArray();
    ASSERT_FALSE(orbs.isEmpty());
    for (const QJsonValue& orb : orbs) {
        const std::string where = orb["topic_id"].toString().toStdString();
        EXPECT_TRUE(topicIds.contains(orb["topic_id"].toString())) << where;
        for (const QJsonValue& u : orb["keyword_urls"].toArray())
            EXPECT_TRUE(u.isNull() || u.toString().startsWith("https://")) << where;
        for (const QJsonValue& top : orb["top_items"].toArray())
            EXPECT_TRUE(itemIds.contains(top["item_id"].toString())) << where;
        for (const QJsonValue& source : orb["top_sources"].toArray())
            EXPECT_TRUE(feedIds.contains(source["feed_id"].toString())) << where;
        ASSERT_FALSE(orb["category_slugs"].toArray().isEmpty()) << where << ": a topic focus needs categories";
        for (const QJsonValue& slug : orb["category_slugs"].toArray())
            EXPECT_TRUE(categories.contains(slug.toString())) << where;
    }

    // Hourly counts and newest dates agree with the items served.
    for (const QJsonValue& feed : index) {
        const QString id = feed["feed_id"].toString();
        SCOPED_TRACE(id.toStdString());
        EXPECT_EQ(feed["items_1h"].toInteger(), items("feed_ids=" + id + "&limit_per_feed=50&since_minutes=60").size());
        const QJsonArray newest = items("feed_ids=" + id + "&limit_per_feed=1");
        if (!newest.isEmpty()) {
            EXPECT_EQ(parseIso8601(feed["last_item_at"].toString()), parseIso8601(newest[0]["published_at"].toString()));
        }
    }
}

TEST_F(CatalogueEndpointsTest, ItemsBatchHonoursIdsLimitAndWindow)
{
    const QStringList flowing = flowingFeedIds();
    ASSERT_GE(flowing.size(), 4);
    const QString a = flowing.at(0), b = flowing.at(1), c = flowing.at(2);
    struct Case {
        QString query;
        QSet<QString> feeds;  // the feeds allowed in the answer
        int limit;
        int sinceMinutes;     // 0: no window
        int exactCount;       // -1: not fixed
    };
    const QList<Case> cases = {
        {"feed_ids=" + a + "&limit_per_feed=3", {a}, 3, 0, 3},
        {"feed_ids=" + a + "," + b + "&limit_per_feed=1", {a, b}, 1, 0, 2},
        {"feed_ids=nope," + c + ",f-missing&limit_per_feed=2", {c}, 2, 0, 2},
        {"feed_ids=" + a + "," + a + "&limit_per_feed=2", {a}, 2, 0, 2},
        {"feed_ids=&limit_per_feed=3", {}, 3, 0, 0},
        {"feed_ids=" + flowing.join(',') + "&limit_per_feed=50&since_minutes=1440",
         QSet<QString>(flowing.begin(), flowing.end()), 50, 1440, -1},
        {"feed_ids=" + a + "&limit_per_feed=4&since_minutes=0", {a}, 4, 0, 4},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.query.left(60).toStdString());
        const QJsonArray list = items(test.query);
        if (test.exactCount >= 0) {
            EXPECT_EQ(list.size(), test.exactCount);
        }
        QHash<QString, int> perFeed;
        QDateTime previous;
        for (const QJsonValue& item : list) {
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
    for (const QString& query : {QStringLiteral("limit_per_feed=3"), QStringLiteral("feed_ids=a&limit_per_feed=x"),
                                 QStringLiteral("feed_ids=a&limit_per_feed=0"),
                                 QStringLiteral("feed_ids=a&limit_per_feed=3&since_minutes=soon")}) {
        SCOPED_TRACE(query.toStdString());
        const HttpResponse response = get("v1_items_batch?" + query);
        EXPECT_EQ(response.status, 400);
        EXPECT_FALSE(errorMessage(response).isEmpty());
    }
}

TEST_F(CatalogueEndpointsTest, OnlyFlowingFeedsHaveFreshItemsAndOldItemsKeepTheirIds)
{
    for (const SampleFeed& feed : server.catalogue().feeds()) {
        SCOPED_TRACE(feed.id.toStdString());
        const qsizetype all = items("feed_ids=" + feed.id + "&limit_per_feed=5").size();
        const qsizetype week = items("feed_ids=" + feed.id + "&limit_per_feed=5&since_minutes=10080").size();
        const bool served = feed.state == FeedState::Flowing || feed.state == FeedState::Quiet;
        EXPECT_EQ(all, served ? 5 : 0);
        EXPECT_EQ(week > 0, feed.state == FeedState::Flowing);
    }

    const QString feed = flowingFeedIds().first();
    const QJsonArray before = items("feed_ids=" + feed + "&limit_per_feed=3");
    advanceMinutes(server.catalogue().feeds().at(server.catalogue().feedIndex(feed)).cadenceMinutes * 2);
    const QJsonArray after = items("feed_ids=" + feed + "&limit_per_feed=10");
    ASSERT_EQ(before.size(), 3);
    qsizetype at = -1;
    for (qsizetype i = 0; i < after.size() && at < 0; ++i)
        if (after[i]["item_id"] == before[0]["item_id"])
            at = i;
    ASSERT_GE(at, 1) << "newer items came in above";
    EXPECT_EQ(after[at]["published_at"], before[0]["published_at"]);
    EXPECT_EQ(after[at]["title"], before[0]["title"]);
}

TEST_F(CatalogueEndpointsTest, WeatherNowPlayingAndMarkets)
{
    for (const QString& city : {QStringLiteral("Bogotá"), QStringLiteral("A&B")}) {
        const QJsonObject weather = getJson("v1_weather?city=" + QString::fromUtf8(QUrl::toPercentEncoding(city)));
        EXPECT_EQ(weather["city"].toString(), city);
        EXPECT_TRUE(weather["temp"].toString().endsWith(QStringLiteral("°C")));
    }
    const QList<std::tuple<QString, QString, bool>> artists = {
        {"artist=The%20Lanterns&track=Low%20Tide", "The Lanterns", true},
        {"artist=mara%20vell", "Mara Vell", true},
        {"artist=Someone%20New", "Someone New", false},
    };
    for (const auto& [query, name, full] : artists) {
        SCOPED_TRACE(query.toStdString());
        const QJsonObject bundle = getJson("v1_nowplaying?" + query);
        EXPECT_EQ(bundle["artist"]["name"].toString(), name);
        const QJsonObject streams = bundle["streams"].toObject();
        for (const char* key : {"corpus", "news", "videos"})
            EXPECT_FALSE(streams[QLatin1String(key)].toArray().isEmpty()) << key;
        for (const char* key : {"cards", "similar", "press", "social"})
            EXPECT_EQ(streams.contains(QLatin1String(key)), full) << key;
    }
    for (const char* bad : {"v1_weather?city=%20%20", "v1_weather", "v1_nowplaying?artist=%20",
                            "v1_nowplaying?track=Low%20Tide"})
        EXPECT_EQ(get(QString::fromLatin1(bad)).status, 400) << bad;

    QSet<QString> kinds;
    int withoutPrice = 0;
    for (const QJsonValue& quote : getJson("v1_markets")["quotes"].toArray()) {
        EXPECT_TRUE(QStringList({"live", "delayed", "daily"}).contains(quote["cadence"].toString()));
        EXPECT_EQ(quote["ok"].toBool(), quote.toObject().contains("price"));
        kinds.insert(quote["kind"].toString());
        withoutPrice += !quote.toObject().contains("price");
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
    CatalogueServer twin(optionsFor(8));
    CatalogueServer other(optionsFor(9));
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



using CatalogueTransportTest = ServerFixture;

TEST_F(CatalogueTransportTest, EveryReadCarriesAValidatorAndAMatchGets304)
{
    for (const QString& path : {QStringLiteral("v1_manifest"), QStringLiteral("v1_orbs"), QStringLiteral("v1_markets"),
                                QStringLiteral("v1_weather?city=Dublin"), QStringLiteral("v1_nowplaying?artist=Mara%20Vell"),
                                QStringLiteral("v1_items_batch?feed_ids=f-stackline&limit_per_feed=3"),
                                QStringLiteral("feeds/workshop.atom"), QStringLiteral("ip3/stackline.example.ico")}) {
        SCOPED_TRACE(path.toStdString());
        const HttpResponse first = get(path);
        ASSERT_EQ(first.status, 200);
        const QByteArray tag = first.header("etag");
        ASSERT_TRUE(tag.startsWith('"') && tag.endsWith('"') && tag.size() > 2) << tag.toStdString();

        const HttpResponse again = get(path, {{"If-None-Match", tag}});
        EXPECT_EQ(again.status, 304);
        EXPECT_TRUE(again.body.isEmpty());
        EXPECT_EQ(again.header("etag"), tag);

        const HttpResponse stale = get(path, {{"If-None-Match", "\"not-it\""}});
        EXPECT_EQ(stale.status, 200);
        EXPECT_EQ(stale.body, first.body);
    }
}

TEST_F(CatalogueTransportTest, ANewBodyGetsANewValidator)
{
    const QString path = QStringLiteral("v1_items_batch?feed_ids=f-hn-front-page&limit_per_feed=2");
    const HttpResponse first = get(path);
    advanceMinutes(24 * 60);
    const HttpResponse later = get(path, {{"If-None-Match", first.header("etag")}});
    EXPECT_EQ(later.status, 200);
    EXPECT_NE(later.header("etag"), first.header("etag"));
    EXPECT_NE(later.body, first.body);
}

TEST(EntityTagMatch, IfNoneMatchForms)
{
    const QByteArray tag = "\"abc\"";
    struct Case {
        QByteArray header;
        bool matches;
    };
    const QList<Case> cases = {
        {"\"abc\"", true},
        {"W/\"abc\"", true},                // weak comparison for GET
        {"\"x\", \"abc\"", true},          // a list
        {"\"x\",W/\"abc\"", true},
        {"*", true},
        {"\"abd\"", false},
        {"abc", false},                     // unquoted is another tag
        {"", false},
        {"\"x\", \"y\"", false},
    };
    for (const Case& test : cases)
        EXPECT_EQ(CatalogueServer::matchesAny(test.header, tag), test.matches) << test.header.toStdString();
    EXPECT_NE(CatalogueServer::entityTag("a"), CatalogueServer::entityTag("b"));
    EXPECT_EQ(CatalogueServer::entityTag("a"), CatalogueServer::entityTag("a"));
}

TEST_F(CatalogueTransportTest, UnknownPathsAndWrongMethods)
{
    struct Case {
        QByteArray method;
        QString path;
        int status;
        QByteArray allow;
    };
    const QList<Case> cases = {
        {"GET", "v1_nothing", 404, {}},
        {"GET", "v1_manifest/extra", 404, {}},
        {"GET", "feeds/missing.rss", 404, {}},
        {"GET", "ip3/.ico", 404, {}},
        {"GET", "ip3/a%20b.ico", 404, {}},
        {"GET", "img/../x.png", 404, {}},
        {"GET", "feedback", 405, "POST"},
        {"GET", "v1_suggest_feed", 405, "POST"},
        {"POST", "v1_manifest", 405, "GET, HEAD"},
        {"PUT", "v1_manifest", 405, "GET, HEAD"},
        {"POST", "v1_unknown", 404, {}},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE((test.method + " " + test.path.toUtf8()).toStdString());
        HttpRequest request(QUrl(server.baseUrl().toString() + test.path));
        request.method = test.method;
        request.body = "{}";
        const HttpResponse response = send(request);
        EXPECT_EQ(response.status, test.status);
        EXPECT_FALSE(errorMessage(response).isEmpty());
        EXPECT_EQ(response.header("allow"), test.allow);
        EXPECT_TRUE(response.header("etag").isEmpty());
    }
}

TEST_F(CatalogueTransportTest, StartsOnceAndReportsABusyPort)
{
    EXPECT_TRUE(server.isRunning());
    EXPECT_EQ(server.baseUrl(), QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(server.port())));
    EXPECT_FALSE(server.start().has_value());

    CatalogueServer::Options options;
    options.port = server.port();
    CatalogueServer second(options);
    const auto started = second.start();
    ASSERT_FALSE(started.has_value());
    EXPECT_TRUE(started.error().description.contains(QString::number(server.port())));

    server.stop();
    EXPECT_FALSE(server.isRunning());
    server.stop();  // twice is fine
}

TEST_F(CatalogueTransportTest, TheProgramPrintsItsAddressAndStopsOnSignal)
{
    QProcess program;
    program.start(QStringLiteral(TIDEWIRE_CATALOGUE_SERVER_BINARY), {"--seed", "7"});
    ASSERT_TRUE(program.waitForStarted(5000));
    ASSERT_TRUE(program.waitForReadyRead(10000));
    const QString line = QString::fromUtf8(program.readLine()).trimmed();
    const QUrl base(line);
    EXPECT_EQ(base.scheme(), "http");
    EXPECT_EQ(base.host(), "127.0.0.1");
    EXPECT_GT(base.port(), 0);
    EXPECT_TRUE(line.endsWith('/'));

    const HttpResponse manifest = send(HttpRequest(QUrl(line + "v1_manifest")));
    EXPECT_EQ(manifest.status, 200);
    const HttpResponse icon = send(HttpRequest(QUrl(line + "ip3/example.org.ico")));
    EXPECT_EQ(icon.status, 200);

    ::kill(pid_t(program.processId()), SIGTERM);
    ASSERT_TRUE(program.waitForFinished(10000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
}

TEST(CatalogueProgram, RejectsBadOptions)
{
    QTcpServer busy;
    ASSERT_TRUE(busy.listen(QHostAddress::LocalHost));
    struct Case {
        QStringList arguments;
        int exitCode;
    };
    const QList<Case> cases = {
        {{"--port", "70000"}, 2},
        {{"--port", "x"}, 2},
        {{"--seed", "-1"}, 2},
        {{"--host", "0.0.0.0"}, 2},
        {{"--port", QString::number(busy.serverPort())}, 1},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.arguments.join(' ').toStdString());
        QProcess program;
        program.start(QStringLiteral(TIDEWIRE_CATALOGUE_SERVER_BINARY), test.arguments);
        ASSERT_TRUE(program.waitForFinished(10000));
        EXPECT_EQ(program.exitCode(), test.exitCode);
        EXPECT_TRUE(program.readAllStandardOutput().isEmpty()) << "no address is printed on failure";
        EXPECT_FALSE(program.readAllStandardError().isEmpty());
    }
}


TEST_F(CatalogueTransportTest, SuggestionsAreCheckedKeptAndLimited)
{
    auto suggest = [&](const QJsonObject& body) {
        return post("v1_suggest_feed", QJsonDocument(body).toJson(QJsonDocument::Compact));
    };
    // Address forms the client test does not send: "www." and a trailing "/" name the same feed.
    EXPECT_EQ(objectOf(suggest({{"url", "https://www.stackline.example/some/feed"}}))["status"], "already_carried");
    EXPECT_EQ(objectOf(suggest({{"url", "https://gadgets.example/rss"}, {"note", "tech news"}})),
              (QJsonObject{{"status", "added"}, {"title", "Gadgets"}, {"category", "Technology"}}));
    EXPECT_EQ(objectOf(suggest({{"url", "https://gadgets.example/rss/"}}))["status"], "already_suggested");
    ASSERT_EQ(server.suggestionsReceived().size(), 1);
    EXPECT_EQ(server.suggestionsReceived().at(0)["note"].toString(), "tech news");

    for (const QByteArray& body : {QByteArray("not json"), QByteArray("[\"https://a.example/feed\"]"),
                                   QByteArray("{}"), QByteArray("{\"url\":\"   \"}"), QByteArray("{\"url\":42}"),
                                   QByteArray("{\"url\":\"ftp://a.example/feed\"}"),
                                   QByteArray("{\"url\":\"https://a.example/feed\",\"note\":7}")}) {
        SCOPED_TRACE(body.toStdString());
        const HttpResponse response = post("v1_suggest_feed", body);
        EXPECT_EQ(response.status, 400);
        EXPECT_FALSE(errorMessage(response).isEmpty());
    }
    const QByteArray huge = "{\"url\":\"https://a.example/feed\",\"note\":\"" + QByteArray(200 * 1024, 'x') + "\"}";
    EXPECT_EQ(post("v1_suggest_feed", huge).status, 413);
    EXPECT_EQ(server.suggestionsReceived().size(), 1);

}

TEST_F(CatalogueTransportTest, AFewSuggestionsThen429UntilTheWindowPasses)
{
    auto suggest = [&](const QString& url) {
        return post("v1_suggest_feed", QJsonDocument(QJsonObject{{"url", url}}).toJson(QJsonDocument::Compact));
    };
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(objectOf(suggest(QStringLiteral("https://site%1.example/feed").arg(i)))["status"], "added");
    // Past the limit every suggestion is refused, a valid new one included.
    const HttpResponse refused = suggest("https://fresh.example/feed");
    EXPECT_EQ(refused.status, 429);
    EXPECT_FALSE(errorMessage(refused).isEmpty());
    EXPECT_EQ(post("v1_suggest_feed", "{}").status, 429);
    advanceMinutes(9);
    EXPECT_EQ(suggest("https://fresh.example/feed").status, 429);
    advanceMinutes(2);
    EXPECT_EQ(objectOf(suggest("https://fresh.example/feed"))["status"], "added");
    EXPECT_EQ(server.suggestionsReceived().size(), 6);
}

TEST_F(CatalogueTransportTest, FeedbackIsCheckedAndKept)
{
    const QByteArray full = R"({"rating":4,"comment":"Lovely ticker","email":"me@example.org","app_version":"0.1.0","macos":""})";
    EXPECT_EQ(post("feedback", full).status, 200);
    EXPECT_EQ(post("feedback", R"({"rating":1,"comment":""})").status, 200);
    for (const QByteArray& body : {QByteArray("nope"), QByteArray(R"({"comment":"no rating"})"),
                                   QByteArray(R"({"rating":4.5,"comment":"x"})"), QByteArray(R"({"rating":"4","comment":"x"})"),
                                   QByteArray(R"({"rating":4})"), QByteArray(R"({"rating":4,"comment":"x","email":3})")}) {
        SCOPED_TRACE(body.toStdString());
        const HttpResponse response = post("feedback", body);
        EXPECT_EQ(response.status, 400);
        EXPECT_FALSE(errorMessage(response).isEmpty());
    }
    ASSERT_EQ(server.feedbackReceived().size(), 2);
    EXPECT_EQ(server.feedbackReceived().first(), QJsonDocument::fromJson(full).object());
}

// The stand-ins for the stock and coin services.
TEST_F(CatalogueTransportTest, StockServiceNeedsAKeyAndKnowsItsSymbols)
{
    auto stock = [&](const QString& pathAndQuery, const QByteArray& key = "demo-key") {
        QList<std::pair<QByteArray, QByteArray>> headers;
        if (!key.isNull())
            headers.append({"X-Finnhub-Token", key});
        return get("api/v1/" + pathAndQuery, headers);
    };
    for (const QString& path : {QStringLiteral("quote?symbol=SPY"), QStringLiteral("search?q=north"),
                                QStringLiteral("stock/profile2?symbol=NWND")}) {
        SCOPED_TRACE(path.toStdString());
        const HttpResponse without = stock(path, QByteArray());
        EXPECT_EQ(without.status, 401);
        EXPECT_TRUE(objectOf(without)["error"].isString());
        EXPECT_EQ(stock(path, "   ").status, 401);
        EXPECT_EQ(stock(path).status, 200);
        EXPECT_EQ(get("api/v1/" + path + "&token=demo-key").status, 200) << "the key in the query is accepted as well";
    }
    for (const auto& [symbol, status, priced] : {std::tuple{"SPY", 200, true}, {"nwnd", 200, true},
                                                 {"ZZZZ", 200, false}, {"MRDN.L", 403, false}}) {
        SCOPED_TRACE(symbol);
        const HttpResponse response = stock(QStringLiteral("quote?symbol=") + symbol);
        ASSERT_EQ(response.status, status);
        const QJsonObject body = objectOf(response);
        if (status == 403) {
            EXPECT_TRUE(body["error"].toString().toLower().contains("have access")) << "not on the plan";
            continue;
        }
        EXPECT_EQ(body["c"].toDouble() > 0, priced);
        if (priced) {
            EXPECT_NEAR(body["c"].toDouble() - body["pc"].toDouble(), body["d"].toDouble(), 0.011);
            EXPECT_EQ(body["t"].toInteger() % 60, 0);
            EXPECT_LE(body["t"].toInteger(), now().toSecsSinceEpoch());
        } else {
            EXPECT_EQ(body["t"].toInteger(), 0);
        }
    }
    EXPECT_EQ(stock("quote?symbol=").status, 400);
    EXPECT_GE(objectOf(stock("search?q=northwind"))["result"].toArray().size(), 2);
    EXPECT_TRUE(objectOf(stock("search?q=nothing-like-this"))["result"].toArray().isEmpty());
    EXPECT_EQ(objectOf(stock("stock/profile2?symbol=NWND"))["name"].toString(), "Northwind Systems Inc");
    EXPECT_TRUE(objectOf(stock("stock/profile2?symbol=SPY")).isEmpty()) << "funds have no company profile";
    EXPECT_TRUE(objectOf(stock("stock/profile2?symbol=ZZZZ")).isEmpty());
}

TEST_F(CatalogueTransportTest, CoinSearchAndPricesThatMoveWithTheClock)
{
    const QJsonArray coins = getJson("api/v3/search?query=sol")["coins"].toArray();
    ASSERT_EQ(coins.size(), 2);
    EXPECT_EQ(coins[0]["id"], "solana");
    EXPECT_EQ(coins[0]["market_cap_rank"].toInt(), 5);
    EXPECT_TRUE(coins[1]["market_cap_rank"].isNull());
    EXPECT_TRUE(getJson("api/v3/search?query=")["coins"].toArray().isEmpty());

    const QJsonObject prices = getJson("api/v3/simple/price?ids=bitcoin,tidecoin,unknown-coin&vs_currencies=usd"
                                       "&include_24hr_change=true&include_last_updated_at=true");
    EXPECT_EQ(prices.keys(), QStringList({"bitcoin", "tidecoin"}));
    for (const QJsonValue& entry : prices) {
        EXPECT_GT(entry["usd"].toDouble(), 0);
        EXPECT_TRUE(entry["usd_24h_change"].isDouble());
        EXPECT_LE(entry["last_updated_at"].toInteger(), now().toSecsSinceEpoch());
    }
    const QString path = "api/v3/simple/price?ids=bitcoin&vs_currencies=usd";
    EXPECT_EQ(getJson(path)["bitcoin"].toObject().keys(), QStringList({"usd"}));
    EXPECT_EQ(get("api/v3/simple/price?ids=bitcoin").status, 400);
    auto bitcoin = [&] { return getJson(path).value("bitcoin").toObject().value("usd").toDouble(); };
    const double first = bitcoin();
    EXPECT_EQ(bitcoin(), first) << "steady within a minute";
    advanceMinutes(1);
    EXPECT_NE(bitcoin(), first);
}

} // namespace
