// The sample catalogue server as the app meets it: its replies' meaning,
// its transport, its forms, its media and its stand-ins for the market
// services. The shapes of the replies are read by the app's own strict
// decoders against this server (FeedApiAgainstServerTest, the markets and
// store tests).
#include "ServerFixture.h"

#include "ImagePainter.h"
#include "SampleCatalogue.h"
#include "platform/storage/Json.h"

#include <QImage>
#include <QProcess>
#include <QSet>
#include <QTcpServer>
#include <QTcpSocket>
#include <csignal>

namespace {

class CatalogueServerTest : public ServerFixture {
protected:
    QJsonArray items(const QString& query) { return getJson("v1_items_batch?" + query).value("items").toArray(); }
    QStringList feedIds(bool flowingOnly)
    {
        QStringList ids;
        for (const SampleFeed& feed : server.catalogue().feeds())
            if (!flowingOnly || feed.state == FeedState::Flowing)
                ids.append(feed.id);
        return ids;
    }
    void expectRefused(const HttpResponse& response, int status)
    {
        EXPECT_EQ(response.status, status);
        EXPECT_FALSE(errorMessage(response).isEmpty());
    }
};

TEST_F(CatalogueServerTest, ManifestAndOrbsAgreeWithEachOtherAndWithTheItems)
{
    const QJsonObject manifest = getJson("v1_manifest");
    const QJsonArray index = manifest.value("feed_index").toArray();
    QSet<QString> pillarSlugs, topicIds, feedIds, types, categories, itemIds;
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
        SCOPED_TRACE(id.toStdString());
        EXPECT_TRUE(pillarSlugs.contains(feed["pillar"].toString()));
        EXPECT_FALSE(id.contains(QLatin1Char(','))) << "ids travel comma-joined";
        feedIds.insert(id);
        types.insert(feed["source_type"].toString());
        categories.insert(feed["category"]["slug"].toString());
        inactive += feed["is_active"] == QJsonValue(false);
        broken += feed["status"].toString().toLower() == QLatin1String("broken");
        const auto last = parseIso8601(feed["last_item_at"].toString());
        quiet += feed["status"] != QJsonValue("broken") && last && last->secsTo(now()) > 7 * 86400;
        // Hourly counts and newest dates agree with the items served.
        EXPECT_EQ(feed["items_1h"].toInteger(), items("feed_ids=" + id + "&limit_per_feed=50&since_minutes=60").size());
        const QJsonArray newest = items("feed_ids=" + id + "&limit_per_feed=1");
        if (!newest.isEmpty()) {
            EXPECT_EQ(last, parseIso8601(newest[0]["published_at"].toString()));
        }
    }
    EXPECT_EQ(feedIds.size(), index.size()) << "feed ids are unique";
    EXPECT_EQ(types, (QSet<QString>{"rss", "hackernews", "github", "substack", "youtube", "medium", "reddit", "podcast", "newsapi"}));
    EXPECT_GE(categories.size(), 6);
    EXPECT_TRUE(inactive >= 1 && broken >= 1 && quiet >= 1) << inactive << broken << quiet;

    for (const QJsonValue& i : items("feed_ids=" + QStringList(feedIds.values()).join(',') + "&limit_per_feed=50"))
        itemIds.insert(i["item_id"].toString());
    const QJsonArray orbs = getJson("v1_orbs").value("orbs").toArray();
    ASSERT_FALSE(orbs.isEmpty());
    for (const QJsonValue& orb : orbs) {
        SCOPED_TRACE(orb["topic_id"].toString().toStdString());
        EXPECT_TRUE(topicIds.contains(orb["topic_id"].toString()));
        for (const QJsonValue& u : orb["keyword_urls"].toArray())
            EXPECT_TRUE(u.isNull() || u.toString().startsWith("https://"));
        for (const QJsonValue& top : orb["top_items"].toArray())
            EXPECT_TRUE(itemIds.contains(top["item_id"].toString()));
        for (const QJsonValue& source : orb["top_sources"].toArray())
            EXPECT_TRUE(feedIds.contains(source["feed_id"].toString()));
        ASSERT_FALSE(orb["category_slugs"].toArray().isEmpty()) << "a topic focus needs categories";
        for (const QJsonValue& slug : orb["category_slugs"].toArray())
            EXPECT_TRUE(categories.contains(slug.toString()));
    }
}

TEST_F(CatalogueServerTest, ItemsBatchHonoursIdsLimitAndWindow)
{
    const QStringList flowing = feedIds(true);
    ASSERT_GE(flowing.size(), 4);
    const QString a = flowing.at(0), b = flowing.at(1), c = flowing.at(2);
    const QList<std::tuple<QString, QSet<QString>, int, int, int>> cases = {  // query, feeds allowed, limit, window, count
        {"feed_ids=" + a + "&limit_per_feed=3", {a}, 3, 0, 3},
        {"feed_ids=" + a + "," + b + "&limit_per_feed=1", {a, b}, 1, 0, 2},
        {"feed_ids=nope," + c + ",f-missing&limit_per_feed=2", {c}, 2, 0, 2},
        {"feed_ids=" + a + "," + a + "&limit_per_feed=2", {a}, 2, 0, 2},
        {"feed_ids=&limit_per_feed=3", {}, 3, 0, 0},
        {"feed_ids=" + flowing.join(',') + "&limit_per_feed=50&since_minutes=1440", QSet<QString>(flowing.begin(), flowing.end()), 50, 1440, -1},
        {"feed_ids=" + a + "&limit_per_feed=4&since_minutes=0", {a}, 4, 0, 4},
    };
    for (const auto& [query, feeds, limit, sinceMinutes, count] : cases) {
        SCOPED_TRACE(query.left(60).toStdString());
        const QJsonArray list = items(query);
        EXPECT_TRUE(count < 0 || list.size() == count) << list.size();
        QHash<QString, int> perFeed;
        QDateTime previous = now();
        for (const QJsonValue& item : list) {
            const QString feed = item["source"]["feed_id"].toString();
            EXPECT_TRUE(feeds.contains(feed)) << feed.toStdString();
            EXPECT_LE(++perFeed[feed], limit);
            const QDateTime published = *parseIso8601(item["published_at"].toString());
            EXPECT_LE(published, previous) << "newest first, none in the future";
            EXPECT_TRUE(sinceMinutes == 0 || published >= now().addSecs(-60 * sinceMinutes));
            previous = published;
        }
    }
    for (const char* query : {"limit_per_feed=3", "feed_ids=a&limit_per_feed=x", "feed_ids=a&limit_per_feed=0",
                              "feed_ids=a&limit_per_feed=3&since_minutes=soon"})
        expectRefused(get(QStringLiteral("v1_items_batch?") + QLatin1String(query)), 400);
}

TEST_F(CatalogueServerTest, OnlyFlowingFeedsHaveFreshItemsAndOldItemsKeepTheirIds)
{
    for (const SampleFeed& feed : server.catalogue().feeds()) {
        SCOPED_TRACE(feed.id.toStdString());
        const bool served = feed.state == FeedState::Flowing || feed.state == FeedState::Quiet;
        EXPECT_EQ(items("feed_ids=" + feed.id + "&limit_per_feed=5").size(), served ? 5 : 0);
        EXPECT_EQ(items("feed_ids=" + feed.id + "&limit_per_feed=5&since_minutes=10080").isEmpty(), feed.state != FeedState::Flowing);
    }
    const QString feed = feedIds(true).first();
    const QJsonArray before = items("feed_ids=" + feed + "&limit_per_feed=3");
    advanceMinutes(server.catalogue().feeds().at(server.catalogue().feedIndex(feed)).cadenceMinutes * 2);
    const QJsonArray after = items("feed_ids=" + feed + "&limit_per_feed=10");
    ASSERT_EQ(before.size(), 3);
    qsizetype at = -1;
    for (qsizetype i = 0; i < after.size() && at < 0; ++i)
        at = after[i]["item_id"] == before[0]["item_id"] ? i : -1;
    ASSERT_GE(at, 1) << "newer items came in above";
    EXPECT_EQ(after[at], before[0]) << "with the same date and title";
}

TEST_F(CatalogueServerTest, NowPlayingAndMarkets)
{
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
    for (const char* bad : {"v1_weather?city=%20%20", "v1_weather", "v1_nowplaying?artist=%20", "v1_nowplaying?track=Low%20Tide"})
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

TEST_F(CatalogueServerTest, TheSeedDecidesTheData)
{
    CatalogueServer twin(optionsFor(7)), other(optionsFor(9));
    ASSERT_TRUE(twin.start().has_value() && other.start().has_value());
    auto bodyOf = [this](const CatalogueServer& s, const QString& path) {  // links name the port; compare without it
        return send(s.baseUrl().toString() + path).body.replace(s.baseUrl().toString().toUtf8(), "BASE/");
    };
    const QString all = "v1_items_batch?feed_ids=" + feedIds(false).join(',') + "&limit_per_feed=3";
    for (const QString& path : {QStringLiteral("v1_manifest"), QStringLiteral("v1_orbs"), all}) {
        SCOPED_TRACE(path.left(40).toStdString());
        EXPECT_EQ(bodyOf(server, path), bodyOf(twin, path));
        EXPECT_NE(bodyOf(server, path), bodyOf(other, path));
    }
}

TEST_F(CatalogueServerTest, EveryReadCarriesAValidatorAndAMatchGets304)
{
    for (const char* path : {"v1_manifest", "v1_orbs", "v1_markets", "v1_weather?city=Dublin", "v1_nowplaying?artist=Mara%20Vell",
                             "v1_items_batch?feed_ids=f-stackline&limit_per_feed=3", "feeds/workshop.atom",
                             "ip3/stackline.example.ico"}) {
        SCOPED_TRACE(path);
        const HttpResponse first = get(QLatin1String(path));
        ASSERT_EQ(first.status, 200);
        const QByteArray tag = first.header("etag");
        ASSERT_TRUE(tag.startsWith('"') && tag.endsWith('"') && tag.size() > 2) << tag.toStdString();
        const HttpResponse again = get(QLatin1String(path), {{"If-None-Match", tag}});
        EXPECT_EQ(again.status, 304);
        EXPECT_TRUE(again.body.isEmpty());
        EXPECT_EQ(again.header("etag"), tag);
        const HttpResponse stale = get(QLatin1String(path), {{"If-None-Match", "\"not-it\""}});
        EXPECT_EQ(stale.status, 200);
        EXPECT_EQ(stale.body, first.body);
    }
    // A new body gets a new validator.
    const QString path = QStringLiteral("v1_items_batch?feed_ids=f-hn-front-page&limit_per_feed=2");
    const HttpResponse first = get(path);
    advanceMinutes(24 * 60);
    const HttpResponse later = get(path, {{"If-None-Match", first.header("etag")}});
    EXPECT_EQ(later.status, 200);
    EXPECT_TRUE(later.header("etag") != first.header("etag") && later.body != first.body);

    const std::pair<QByteArray, bool> matches[] = {
        {"\"abc\"", true}, {"W/\"abc\"", true} /* weak comparison for GET */, {"\"x\", \"abc\"", true},
        {"\"x\",W/\"abc\"", true}, {"*", true}, {"\"abd\"", false}, {"abc", false} /* unquoted is another tag */,
        {"", false}, {"\"x\", \"y\"", false},
    };
    for (const auto& [header, matchesTag] : matches)
        EXPECT_EQ(CatalogueServer::matchesAny(header, "\"abc\""), matchesTag) << header.toStdString();
    EXPECT_NE(CatalogueServer::entityTag("a"), CatalogueServer::entityTag("b"));
    EXPECT_EQ(CatalogueServer::entityTag("a"), CatalogueServer::entityTag("a"));
}

TEST_F(CatalogueServerTest, UnknownPathsAndWrongMethods)
{
    const std::tuple<QByteArray, const char*, int, QByteArray> cases[] = {
        {"GET", "v1_nothing", 404, {}}, {"GET", "v1_manifest/extra", 404, {}}, {"GET", "feeds/missing.rss", 404, {}},
        {"GET", "ip3/.ico", 404, {}}, {"GET", "ip3/a%20b.ico", 404, {}}, {"GET", "img/../x.png", 404, {}},
        {"GET", "feedback", 405, "POST"}, {"GET", "v1_suggest_feed", 405, "POST"},
        {"POST", "v1_manifest", 405, "GET, HEAD"}, {"PUT", "v1_manifest", 405, "GET, HEAD"}, {"POST", "v1_unknown", 404, {}},
    };
    for (const auto& [method, path, status, allow] : cases) {
        SCOPED_TRACE(method.toStdString() + ' ' + path);
        const HttpResponse response = send(QLatin1String(path), {}, method, "{}");
        expectRefused(response, status);
        EXPECT_EQ(response.header("allow"), allow);
        EXPECT_TRUE(response.header("etag").isEmpty());
    }
}

TEST_F(CatalogueServerTest, StartsOnceAndReportsABusyPort)
{
    EXPECT_TRUE(server.isRunning());
    EXPECT_EQ(server.baseUrl(), QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(server.port())));
    EXPECT_FALSE(server.start().has_value());
    CatalogueServer::Options options;
    options.port = server.port();
    const auto started = CatalogueServer(options).start();
    ASSERT_FALSE(started.has_value());
    EXPECT_TRUE(started.error().description.contains(QString::number(server.port())));
    server.stop();
    EXPECT_FALSE(server.isRunning());
    server.stop();  // twice is fine
}

TEST_F(CatalogueServerTest, ConnectionsHeldOpenDoNotHoldUpANewOne)
{
    // Connections that are open but send nothing more: each holds a worker
    // until the server gives up on it (seconds). A client's managers open
    // many such connections together.
    std::vector<std::unique_ptr<QTcpSocket>> held;
    int dropped = 0;
    for (int i = 0; i < 32; ++i) {
        auto socket = std::make_unique<QTcpSocket>();
        QObject::connect(socket.get(), &QTcpSocket::disconnected, [&dropped] { ++dropped; });
        socket->connectToHost(QHostAddress::LocalHost, quint16(server.port()));
        socket->write("GET /v1_weather HTTP/1.1\r\nHost: 127.0.0.1\r\n");  // no end of headers
        held.push_back(std::move(socket));
    }
    ASSERT_TRUE(waitUntil([&] {
        return std::all_of(held.begin(), held.end(), [](const auto& s) { return s->bytesToWrite() == 0; });
    })) << "the held connections did not open";

    EXPECT_EQ(get("v1_weather?city=Dublin").status, 200);
    EXPECT_EQ(dropped, 0) << "the answer waited until the server dropped a held connection";
}

TEST_F(CatalogueServerTest, TheProgramPrintsItsAddressStopsOnSignalAndRejectsBadOptions)
{
    QProcess program;
    program.start(QStringLiteral(TIDEWIRE_CATALOGUE_SERVER_BINARY), {"--seed", "7"});
    ASSERT_TRUE(program.waitForStarted(5000) && program.waitForReadyRead(10000));
    const QString line = QString::fromUtf8(program.readLine()).trimmed();
    const QUrl base(line);
    EXPECT_TRUE(base.scheme() == "http" && base.host() == "127.0.0.1" && base.port() > 0 && line.endsWith('/')) << line.toStdString();
    EXPECT_EQ(send(line + "v1_manifest").status, 200);
    EXPECT_EQ(send(line + "ip3/example.org.ico").status, 200);
    ::kill(pid_t(program.processId()), SIGTERM);
    ASSERT_TRUE(program.waitForFinished(10000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);

    QTcpServer busy;
    ASSERT_TRUE(busy.listen(QHostAddress::LocalHost));
    const QList<std::pair<QStringList, int>> cases = {
        {{"--port", "70000"}, 2}, {{"--port", "x"}, 2}, {{"--seed", "-1"}, 2}, {{"--host", "0.0.0.0"}, 2},
        {{"--port", QString::number(busy.serverPort())}, 1},
    };
    for (const auto& [arguments, exitCode] : cases) {
        SCOPED_TRACE(arguments.join(' ').toStdString());
        QProcess bad;
        bad.start(QStringLiteral(TIDEWIRE_CATALOGUE_SERVER_BINARY), arguments);
        ASSERT_TRUE(bad.waitForFinished(10000));
        EXPECT_EQ(bad.exitCode(), exitCode);
        EXPECT_TRUE(bad.readAllStandardOutput().isEmpty()) << "no address is printed on failure";
        EXPECT_FALSE(bad.readAllStandardError().isEmpty());
    }
}

TEST_F(CatalogueServerTest, SuggestionsAreCheckedKeptAndLimited)
{
    auto suggest = [&](const QJsonObject& body) { return post("v1_suggest_feed", QJsonDocument(body).toJson(QJsonDocument::Compact)); };
    // Address forms the client test does not send: "www." and a trailing "/" name the same feed.
    EXPECT_EQ(objectOf(suggest({{"url", "https://www.stackline.example/some/feed"}}))["status"], "already_carried");
    EXPECT_EQ(objectOf(suggest({{"url", "https://gadgets.example/rss"}, {"note", "tech news"}})),
              (QJsonObject{{"status", "added"}, {"title", "Gadgets"}, {"category", "Technology"}}));
    EXPECT_EQ(objectOf(suggest({{"url", "https://gadgets.example/rss/"}}))["status"], "already_suggested");
    ASSERT_EQ(server.suggestionsReceived().size(), 1);
    EXPECT_EQ(server.suggestionsReceived().at(0)["note"].toString(), "tech news");
    for (const char* body : {"not json", "[\"https://a.example/feed\"]", "{}", "{\"url\":\"   \"}", "{\"url\":42}",
                             "{\"url\":\"ftp://a.example/feed\"}", "{\"url\":\"https://a.example/feed\",\"note\":7}"})
        expectRefused(post("v1_suggest_feed", body), 400);
    EXPECT_EQ(post("v1_suggest_feed", "{\"url\":\"https://a.example/feed\",\"note\":\"" + QByteArray(200 * 1024, 'x') + "\"}").status, 413);
    EXPECT_EQ(server.suggestionsReceived().size(), 1);

    for (int i = 0; i < 2; ++i)  // five in all
        EXPECT_EQ(objectOf(suggest({{"url", QStringLiteral("https://site%1.example/feed").arg(i)}}))["status"], "added");
    // Past the limit every suggestion is refused, a valid new one included, until the window passes.
    expectRefused(suggest({{"url", "https://fresh.example/feed"}}), 429);
    EXPECT_EQ(post("v1_suggest_feed", "{}").status, 429);
    advanceMinutes(9);
    EXPECT_EQ(suggest({{"url", "https://fresh.example/feed"}}).status, 429);
    advanceMinutes(2);
    EXPECT_EQ(objectOf(suggest({{"url", "https://fresh.example/feed"}}))["status"], "added");
    EXPECT_EQ(server.suggestionsReceived().size(), 4);
}

TEST_F(CatalogueServerTest, FeedbackIsCheckedAndKept)
{
    const QByteArray full = R"({"rating":4,"comment":"Lovely ticker","email":"me@example.org","app_version":"0.1.0","macos":""})";
    EXPECT_EQ(post("feedback", full).status, 200);
    EXPECT_EQ(post("feedback", R"({"rating":1,"comment":""})").status, 200);
    for (const char* body : {"nope", R"({"comment":"no rating"})", R"({"rating":4.5,"comment":"x"})", R"({"rating":"4","comment":"x"})",
                             R"({"rating":4})", R"({"rating":4,"comment":"x","email":3})"})
        expectRefused(post("feedback", body), 400);
    ASSERT_EQ(server.feedbackReceived().size(), 2);
    EXPECT_EQ(server.feedbackReceived().first(), QJsonDocument::fromJson(full).object());
}

// The stand-ins for the stock and coin services (the markets tests read their shapes).
TEST_F(CatalogueServerTest, StockServiceNeedsAKeyAndCoinPricesMoveWithTheClock)
{
    auto stock = [&](const QString& pathAndQuery, const QByteArray& key) {
        return get("api/v1/" + pathAndQuery, {{"X-Finnhub-Token", key}});
    };
    EXPECT_EQ(get("api/v1/quote?symbol=SPY").status, 401);
    EXPECT_EQ(stock("quote?symbol=SPY", "   ").status, 401);
    EXPECT_EQ(get("api/v1/quote?symbol=SPY&token=demo-key").status, 200) << "the key in the query is accepted as well";
    for (const auto& [symbol, status, priced] : {std::tuple{"SPY", 200, true}, {"nwnd", 200, true}, {"ZZZZ", 200, false}, {"MRDN.L", 403, false}}) {
        const HttpResponse response = stock(QStringLiteral("quote?symbol=") + symbol, "demo-key");
        ASSERT_EQ(response.status, status) << symbol;
        const QJsonObject body = objectOf(response);
        EXPECT_TRUE(status == 403 ? body["error"].toString().contains("have access")
                    : priced ? std::abs(body["c"].toDouble() - body["pc"].toDouble() - body["d"].toDouble()) < 0.011
                                   && body["t"].toInteger() % 60 == 0 && body["t"].toInteger() <= now().toSecsSinceEpoch()
                             : body["c"].toDouble() <= 0 && body["t"].toInteger() == 0) << symbol;
    }
    EXPECT_EQ(objectOf(stock("stock/profile2?symbol=NWND", "demo-key"))["name"].toString(), "Northwind Systems Inc");
    EXPECT_TRUE(objectOf(stock("stock/profile2?symbol=SPY", "demo-key")).isEmpty()) << "funds have no company profile";

    const QJsonArray coins = getJson("api/v3/search?query=sol")["coins"].toArray();
    ASSERT_EQ(coins.size(), 2);
    EXPECT_TRUE(coins[0]["id"] == "solana" && coins[0]["market_cap_rank"] == 5 && coins[1]["market_cap_rank"].isNull());
    EXPECT_EQ(getJson("api/v3/simple/price?ids=bitcoin,tidecoin,unknown-coin&vs_currencies=usd").keys(), QStringList({"bitcoin", "tidecoin"}));
    EXPECT_EQ(get("api/v3/simple/price?ids=bitcoin").status, 400);
    auto bitcoin = [&] { return getJson("api/v3/simple/price?ids=bitcoin&vs_currencies=usd").value("bitcoin")["usd"].toDouble(); };
    const double first = bitcoin();
    EXPECT_EQ(bitcoin(), first) << "steady within a minute";
    advanceMinutes(1);
    EXPECT_NE(bitcoin(), first);
}

// The app's feed reader parses these documents in the personal-feed tests.
TEST_F(CatalogueServerTest, SampleFeedsAreListedAndServedWithTheirTypes)
{
    const HttpResponse index = get("feeds/");
    for (const auto& [path, type] : {std::pair<const char*, QByteArray>{"feeds/harbour-ledger.rss", "application/rss+xml"},
                                     {"feeds/field-notes.rdf", "application/rdf+xml"}, {"feeds/workshop.atom", "application/atom+xml"}}) {
        EXPECT_TRUE(index.body.contains(server.baseUrl().toString().toUtf8() + path)) << path;
        const HttpResponse response = get(QLatin1String(path));
        EXPECT_TRUE(response.status == 200 && response.header("content-type").startsWith(type)) << path;
        EXPECT_TRUE(response.body.contains(QByteArray::number(now().date().year()))) << "dates follow the clock";
    }
}

TEST_F(CatalogueServerTest, IconsPicturesAndArtworkDecodeAndItemLinksPointHere)
{
    const std::pair<const char*, QSize> cases[] = {
        {"ip3/stackline.example.ico", {64, 64}}, {"ip3/www.meridianwire.example.ico", {64, 64}},
        {"ip3/127.0.0.1:8080.ico", {64, 64}}, {"img/f-stackline-12.png", {480, 270}},
        {"art/the-lanterns/100x100bb.png", {100, 100}}, {"art/the-lanterns/600x600bb.png", {600, 600}},
    };
    for (const auto& [path, size] : cases) {
        const HttpResponse response = get(QLatin1String(path));
        EXPECT_EQ(response.header("content-type"), "image/png") << path;
        EXPECT_EQ(QImage::fromData(response.body).size(), size) << path;
    }
    EXPECT_EQ(get("ip3/a.example.ico").body, get("ip3/a.example.ico").body);
    EXPECT_NE(get("ip3/a.example.ico").body, get("ip3/b.example.ico").body);
    const std::pair<const char*, QChar> letters[] = {
        {"stackline.example", 'S'}, {"www.meridianwire.example", 'M'}, {"9news.example", '9'}, {"-dash.example", 'D'},
        {"www.", '?'}, {"", '?'}, {"ümlaut.example", 'M'}, {"WWW.Upper.example", 'U'},
    };
    for (const auto& [host, letter] : letters)
        EXPECT_EQ(ImagePainter::iconLetter(QString::fromUtf8(host)), letter) << host;

    const QJsonArray results = getJson("search?term=The%20Lanterns%20Low%20Tide&entity=song&limit=1")["results"].toArray();
    ASSERT_EQ(results.size(), 1);
    const QString small = results[0]["artworkUrl100"].toString();
    ASSERT_TRUE(small.contains("100x100"));
    EXPECT_EQ(QImage::fromData(send(QString(small).replace("100x100", "600x600")).body).size(), QSize(600, 600));
    EXPECT_TRUE(getJson("search?term=")["results"].toArray().isEmpty());

    int images = 0, icons = 0;
    for (const QJsonValue& item : items("feed_ids=" + feedIds(false).join(',') + "&limit_per_feed=2")) {
        for (const QString& link : {item["image_url"].toString(), item["source"]["icon_url"].toString()}) {
            if (link.isEmpty())
                continue;
            EXPECT_TRUE(link.startsWith(server.baseUrl().toString())) << link.toStdString();
            (link.contains("/ip3/") ? icons : images) += 1;
            if (images + icons <= 2) {  // the first links are served
                EXPECT_EQ(send(link).status, 200) << link.toStdString();
            }
        }
    }
    EXPECT_TRUE(images > 5 && icons > 0) << images << ' ' << icons;
}

} // namespace
