#include "ServerFixture.h"

namespace {

class MarketStandInsTest : public ServerFixture {
protected:
    HttpResponse stock(const QString& pathAndQuery, const QByteArray& key = "demo-key")
    {
        QList<std::pair<QByteArray, QByteArray>> headers;
        if (!key.isNull())
            headers.append({"X-Finnhub-Token", key});
        return get("api/v1/" + pathAndQuery, headers);
    }
};

TEST_F(MarketStandInsTest, StockServiceNeedsAKey)
{
    for (const QString& path : {QStringLiteral("quote?symbol=SPY"), QStringLiteral("search?q=north"),
                                QStringLiteral("stock/profile2?symbol=NWND")}) {
        SCOPED_TRACE(path.toStdString());
        const HttpResponse without = stock(path, QByteArray());
        EXPECT_EQ(without.status, 401);
        EXPECT_TRUE(objectOf(without)["error"].isString());
        EXPECT_EQ(stock(path, "   ").status, 401);
        EXPECT_EQ(stock(path).status, 200);
        // The key in the query is accepted as well.
        EXPECT_EQ(get("api/v1/" + path + "&token=demo-key").status, 200);
    }
}

TEST_F(MarketStandInsTest, StockQuotesByKindOfSymbol)
{
    struct Case {
        QString symbol;
        int status;
        bool priced;
    };
    const QList<Case> cases = {
        {"SPY", 200, true}, {"GLD", 200, true}, {"nwnd", 200, true},
        {"ZZZZ", 200, false},   // unknown: c = 0
        {"MRDN.L", 403, false}, // not on the plan
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.symbol.toStdString());
        const HttpResponse response = stock("quote?symbol=" + test.symbol);
        ASSERT_EQ(response.status, test.status);
        const QJsonObject body = objectOf(response);
        if (test.status == 403) {
            EXPECT_TRUE(body["error"].toString().toLower().contains("have access"));
            continue;
        }
        for (const char* key : {"c", "pc", "t"})
            EXPECT_TRUE(body[QLatin1String(key)].isDouble()) << key;
        EXPECT_EQ(body["c"].toDouble() > 0, test.priced);
        if (test.priced) {
            EXPECT_NEAR(body["c"].toDouble() - body["pc"].toDouble(), body["d"].toDouble(), 0.011);
            EXPECT_EQ(body["t"].toInteger() % 60, 0);
            EXPECT_LE(body["t"].toInteger(), now().toSecsSinceEpoch());
        } else {
            EXPECT_EQ(body["t"].toInteger(), 0);
        }
    }
    EXPECT_EQ(stock("quote?symbol=").status, 400);
}

TEST_F(MarketStandInsTest, StockSearchAndProfile)
{
    const QJsonArray results = objectOf(stock("search?q=northwind"))["result"].toArray();
    ASSERT_GE(results.size(), 2);
    for (const QJsonValue& r : results)
        for (const char* key : {"description", "symbol", "type"})
            EXPECT_TRUE(r[QLatin1String(key)].isString()) << key;
    EXPECT_TRUE(objectOf(stock("search?q=nothing-like-this"))["result"].toArray().isEmpty());

    EXPECT_EQ(objectOf(stock("stock/profile2?symbol=NWND"))["name"].toString(), "Northwind Systems Inc");
    EXPECT_TRUE(objectOf(stock("stock/profile2?symbol=SPY")).isEmpty()) << "funds have no company profile";
    EXPECT_TRUE(objectOf(stock("stock/profile2?symbol=ZZZZ")).isEmpty());
}

TEST_F(MarketStandInsTest, CoinSearchAndPrices)
{
    const QJsonArray coins = getJson("api/v3/search?query=sol")["coins"].toArray();
    ASSERT_EQ(coins.size(), 2);
    EXPECT_EQ(coins[0]["id"], "solana");
    EXPECT_EQ(coins[0]["market_cap_rank"].toInt(), 5);
    EXPECT_TRUE(coins[1]["market_cap_rank"].isNull());
    for (const QJsonValue& coin : coins)
        for (const char* key : {"id", "name", "symbol"})
            EXPECT_TRUE(coin[QLatin1String(key)].isString()) << key;
    EXPECT_TRUE(getJson("api/v3/search?query=")["coins"].toArray().isEmpty());

    const QJsonObject prices = getJson("api/v3/simple/price?ids=bitcoin,tidecoin,unknown-coin&vs_currencies=usd"
                                       "&include_24hr_change=true&include_last_updated_at=true");
    EXPECT_EQ(prices.keys(), QStringList({"bitcoin", "tidecoin"}));
    for (const QString& id : prices.keys()) {
        const QJsonObject entry = prices[id].toObject();
        EXPECT_GT(entry["usd"].toDouble(), 0) << id.toStdString();
        EXPECT_TRUE(entry["usd_24h_change"].isDouble());
        EXPECT_LE(entry["last_updated_at"].toInteger(), now().toSecsSinceEpoch());
    }
    const QJsonObject bare = getJson("api/v3/simple/price?ids=bitcoin&vs_currencies=usd");
    EXPECT_EQ(bare["bitcoin"].toObject().keys(), QStringList({"usd"}));
    EXPECT_EQ(get("api/v3/simple/price?ids=bitcoin").status, 400);
}

TEST_F(MarketStandInsTest, PricesMoveWithTheClock)
{
    const QString path = "api/v3/simple/price?ids=bitcoin&vs_currencies=usd";
    auto bitcoin = [&] { return getJson(path).value("bitcoin").toObject().value("usd").toDouble(); };
    const double first = bitcoin();
    EXPECT_EQ(bitcoin(), first) << "steady within a minute";
    advanceMinutes(1);
    EXPECT_NE(bitcoin(), first);
}

} // namespace
