// Feeds arbitrary text (UTF-8) to the feed date parser. A date it returns is
// valid, in UTC, and reads back the same from the ISO 8601 text the personal
// store keeps it as.
#include "personal/FeedDateParser.h"
#include "platform/storage/Json.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const std::optional<QDateTime> date = FeedDateParser::parse(text);
    if (date && (!date->isValid() || date->timeSpec() != Qt::UTC))
        std::abort();
    if (date) {
        const DateCoding stored = DateCoding::iso8601Fractional();
        const std::optional<QDateTime> again = stored.decode(stored.encode(*date));
        if (!again || *again != *date)
            std::abort();
    }
    return 0;
}
