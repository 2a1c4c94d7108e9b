// Decodes arbitrary bytes as every answer of the two outside market-data
// services and turns what decodes into the quotes the strip shows. Each
// decode succeeds or fails cleanly; a quote made from an answer is shown only
// with a positive price.
#include "api/ApiJson.h"
#include "markets/FinnhubClient.h"
#include "markets/MarketModels.h"
#include "markets/ProviderRecords.h"

#include <cstdint>
#include <cstdlib>

namespace {

void checkQuote(const MarketQuote& quote)
{
    if (quote.ok != quote.price.has_value())
        std::abort();
    if (quote.price && !(*quote.price > 0))
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString symbol = QStringLiteral("AAPL");

    if (const Result<FinnhubQuote> quote = decodeJson<FinnhubQuote>(bytes))
        checkQuote(MarketQuote::fromFinnhub(symbol, QStringLiteral("Apple"), QStringLiteral("stock"), *quote));
    if (const Result<FinnhubSearch> search = decodeJson<FinnhubSearch>(bytes)) {
        for (const FinnhubSearch::Result& row : search->result)
            (void)row.symbol.size();
    }
    (void)decodeJson<CoinGeckoSearch>(bytes);
    if (const auto prices = CoinGeckoPrice::mapFromJson(bytes)) {
        for (auto it = prices->cbegin(); it != prices->cend(); ++it)
            checkQuote(MarketQuote::fromCoinGecko(QStringLiteral("BTC"), it.key(), it.value()));
    }
    (void)isNotOnPlanError(bytes);
    if (const std::optional<QString> name = companyNameFromProfile(bytes); name && name->isEmpty())
        std::abort();
    return 0;
}
