// Decodes arbitrary bytes as every server and market-data reply the app reads,
// with the date coding each reply is read with. Each decode must succeed or
// fail cleanly; a decoded reply must encode and decode again.
#include "api/ApiJson.h"
#include "api/ItemModels.h"
#include "api/ManifestModels.h"
#include "api/NowPlayingModels.h"
#include "api/OrbModels.h"
#include "markets/MarketModels.h"
#include "markets/ProviderRecords.h"

#include <cstdint>
#include <cstdlib>

namespace {

template <class T>
void roundTrip(const QByteArray& bytes, const JsonOptions& options)
{
    const Result<T> decoded = decodeJson<T>(bytes, options);
    if (!decoded)
        return;
    const QByteArray encoded = QJsonDocument(decoded->toJson(options)).toJson(QJsonDocument::Compact);
    if (!decodeJson<T>(encoded, options))
        std::abort();
}

template <class T>
void decodeOnly(const QByteArray& bytes)
{
    (void)decodeJson<T>(bytes);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const JsonOptions server = ApiJson::serverOptions();
    roundTrip<ManifestResponse>(bytes, server);
    roundTrip<ItemsBatchResponse>(bytes, server);
    roundTrip<OrbsResponse>(bytes, server);
    roundTrip<WeatherResponse>(bytes, server);
    roundTrip<NowPlayingResponse>(bytes, server);
    roundTrip<MarketsResponse>(bytes, server);
    decodeOnly<FinnhubQuote>(bytes);
    decodeOnly<FinnhubSearch>(bytes);
    decodeOnly<CoinGeckoSearch>(bytes);
    (void)CoinGeckoPrice::mapFromJson(bytes);
    return 0;
}
