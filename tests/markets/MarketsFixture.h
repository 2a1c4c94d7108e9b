#pragma once

#include "markets/MarketsStore.h"

#include "platform/Defaults.h"
#include "platform/SecretStore.h"

#include "FakeTime.h"
#include "LoopbackServer.h"

#include <QMutex>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

// A market store on in-memory settings and secrets, fake time, and one
// loopback server standing in for the server API, Finnhub and CoinGecko.
class MarketsFixture : public ::testing::Test {
protected:
    using Response = LoopbackServer::Response;

    LoopbackServer server;
    FakeTime time;
    std::unique_ptr<Defaults> defaults = Defaults::inMemory();
    MemorySecretStore secrets;
    std::unique_ptr<MarketsStore> store;

    void TearDown() override
    {
        store.reset();
        FakeTime::settle();
    }

    Endpoints endpoints() const
    {
        Endpoints e = Endpoints::builtIn();
        e.apiBase = server.baseUrl();
        e.finnhubBase = server.baseUrl();
        e.coingeckoBase = server.baseUrl();
        return e;
    }

    MarketsStore& makeStore()
    {
        store.reset();
        store = std::make_unique<MarketsStore>(*defaults, secrets, time, time, endpoints());
        return *store;
    }

    void storeKey(const QString& key)
    {
        ASSERT_TRUE(secrets.write(Keychain::kService, Keychain::kFinnhubAccount, key).has_value());
    }

    static QByteArray finnhubQuote(double c, double dp = 0.5, double t = 1715976000)
    {
        return QStringLiteral(R"({"c":%1,"d":1.0,"dp":%2,"pc":1.0,"t":%3})").arg(c).arg(dp).arg(t, 0, 'f', 0).toUtf8();
    }

    // Finnhub quotes by symbol; any symbol not listed answers with price 100.
    void serveQuotes(QHash<QString, Response> bySymbol)
    {
        server.handle(QStringLiteral("/api/v1/quote"), [bySymbol](const LoopbackServer::Request& r) {
            const QString symbol = r.query.queryItemValue(QStringLiteral("symbol"), QUrl::FullyDecoded);
            return bySymbol.value(symbol, Response::json(finnhubQuote(100)));
        });
    }

    QStringList quotedSymbols() const
    {
        QStringList out;
        for (const auto& r : server.requestsFor(QStringLiteral("/api/v1/quote")))
            out.append(r.query.queryItemValue(QStringLiteral("symbol"), QUrl::FullyDecoded));
        return out;
    }

    static QStringList symbolsOf(const QList<MarketQuote>& quotes)
    {
        QStringList out;
        for (const MarketQuote& q : quotes)
            out.append(q.symbol);
        return out;
    }

    static QStringList symbolsOf(const QList<WatchSymbol>& entries)
    {
        QStringList out;
        for (const WatchSymbol& w : entries)
            out.append(w.symbol);
        return out;
    }

    static WatchSymbol stock(const char* symbol)
    {
        return {QString::fromUtf8(symbol), WatchSymbol::Kind::Stock, QString::fromUtf8(symbol) + QStringLiteral(" Inc"),
                std::nullopt, std::nullopt, std::nullopt};
    }
    static WatchSymbol coin(const char* symbol, const char* id)
    {
        return {QString::fromUtf8(symbol), WatchSymbol::Kind::Coin, QString::fromUtf8(symbol) + QStringLiteral(" coin"),
                QString::fromUtf8(id), std::nullopt, std::nullopt};
    }

    void storeWatchlist(const QList<WatchSymbol>& list) { defaults->set(MarketsStore::kWatchlistKey, *WatchSymbol::encodeList(list)); }
};

// Collects the log lines of the markets category while alive.
class MarketsLog {
public:
    MarketsLog();
    ~MarketsLog();
    QStringList lines() const;

private:
    QtMessageHandler m_previous;
};

inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}
