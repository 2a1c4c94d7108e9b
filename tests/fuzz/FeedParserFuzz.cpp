// Feeds arbitrary bytes to the feed parser. The parser must return (a feed or
// nothing) without crashing, hanging or reading out of bounds, and whatever it
// returns must hold only addresses it promises to keep.
#include "personal/FeedParser.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::optional<ParsedFeed> feed = FeedParser::parse(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    if (!feed)
        return 0;
    for (const ParsedFeedItem& item : feed->items) {
        if (item.title.isEmpty())
            std::abort();
        if ((item.link && !FeedParser::isAcceptableAddress(*item.link))
            || (item.imageUrl && !FeedParser::isAcceptableAddress(*item.imageUrl)))
            std::abort();
    }
    return 0;
}
