// Feeds arbitrary text (UTF-8) to the feed date parser. A date it returns is
// valid and in UTC.
#include "personal/FeedDateParser.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const std::optional<QDateTime> date = FeedDateParser::parse(text);
    if (date && (!date->isValid() || date->timeSpec() != Qt::UTC))
        std::abort();
    return 0;
}
