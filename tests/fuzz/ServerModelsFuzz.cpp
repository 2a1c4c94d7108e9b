// Decodes arbitrary bytes as every reply of the catalogue server, with the
// date coding each reply is read with. Each decode succeeds or fails cleanly;
// a decoded reply encodes to text that decodes to the same value.
#include "api/ApiJson.h"
#include "api/ItemModels.h"
#include "api/ManifestModels.h"
#include "api/NowPlayingModels.h"
#include "api/OrbModels.h"
#include "markets/MarketModels.h"

#include <cstdint>
#include <cstdlib>

namespace {

template <class T>
void roundTrip(const QByteArray& bytes, const JsonOptions& options)
{
    const Result<T> decoded = decodeJson<T>(bytes, options);
    if (!decoded)
        return;
    // What the app writes back must read as the same value: compared through
    // the encoding, since some models compare by identity only.
    const QJsonObject encoded = decoded->toJson(options);
    const Result<T> again = decodeJson<T>(QJsonDocument(encoded).toJson(QJsonDocument::Compact), options);
    if (!again || again->toJson(options) != encoded)
        std::abort();
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
    return 0;
}
