// Feeds arbitrary bytes to the feed parser. The parser must return (a feed or
// nothing) without crashing, hanging or reading out of bounds; what it returns
// holds only trimmed texts, a title for every entry, addresses it promises to
// keep and dates in UTC, and the same bytes always read the same.
#include "personal/FeedParser.h"

#include <cstdint>
#include <cstdlib>

namespace {

void requireTrimmed(const std::optional<QString>& text)
{
    if (text && *text != text->trimmed())
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const std::optional<ParsedFeed> feed = FeedParser::parse(bytes);
    if (!feed)
        return 0;
    requireTrimmed(feed->title);
    for (const ParsedFeedItem& item : feed->items) {
        if (item.title.isEmpty())
            std::abort();
        requireTrimmed(item.title);
        requireTrimmed(item.link);
        requireTrimmed(item.guid);
        requireTrimmed(item.imageUrl);
        if ((item.link && !FeedParser::isAcceptableAddress(*item.link))
            || (item.imageUrl && !FeedParser::isAcceptableAddress(*item.imageUrl)))
            std::abort();
        if (item.publishedAt && (!item.publishedAt->isValid() || item.publishedAt->timeSpec() != Qt::UTC))
            std::abort();
    }
    if (FeedParser::parse(bytes) != feed)
        std::abort();
    return 0;
}
