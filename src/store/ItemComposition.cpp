#include "store/ItemComposition.h"

#include <QSet>
#include <vector>

namespace ItemComposition {

namespace {

// A missing date counts as the distant past: before every real date.
bool curatedFirst(const FeedItem& curated, const FeedItem& personal)
{
    if (!personal.publishedAt)
        return true;
    if (!curated.publishedAt)
        return false;
    return *curated.publishedAt >= *personal.publishedAt;
}

// The orders are worked out on pointers and the items copied once at the
// end: copying an item is what the composition costs.
using Order = std::vector<const FeedItem*>;

Order orderOf(const QList<FeedItem>& list)
{
    Order out;
    out.reserve(list.size());
    for (const FeedItem& item : list)
        out.push_back(&item);
    return out;
}

Order mergeOrder(const QList<FeedItem>& curated, const QList<FeedItem>& personal)
{
    Order out;
    out.reserve(curated.size() + personal.size());
    qsizetype c = 0;
    qsizetype p = 0;
    while (c < curated.size() && p < personal.size()) {
        if (curatedFirst(curated.at(c), personal.at(p)))
            out.push_back(&curated.at(c++));
        else
            out.push_back(&personal.at(p++));
    }
    for (; c < curated.size(); ++c)
        out.push_back(&curated.at(c));
    for (; p < personal.size(); ++p)
        out.push_back(&personal.at(p));
    return out;
}

Order blendOrder(const QList<FeedItem>& music, const Order& feeds)
{
    Order out;
    out.reserve(music.size() + feeds.size());
    qsizetype m = 0;
    size_t f = 0;
    while (m < music.size() || f < feeds.size()) {
        if (m < music.size())
            out.push_back(&music.at(m++));
        for (int i = 0; i < 2 && f < feeds.size(); ++i)
            out.push_back(feeds[f++]);
    }
    return out;
}

QList<FeedItem> materialise(const Order& order)
{
    QList<FeedItem> out;
    out.reserve(qsizetype(order.size()));
    for (const FeedItem* item : order)
        out.append(*item);
    return out;
}

} // namespace

QList<FeedItem> mergeByDate(const QList<FeedItem>& curated, const QList<FeedItem>& personal)
{
    if (personal.isEmpty())
        return curated;
    if (curated.isEmpty())
        return personal;
    return materialise(mergeOrder(curated, personal));
}

QList<FeedItem> blendMusic(const QList<FeedItem>& music, const QList<FeedItem>& feeds)
{
    if (feeds.isEmpty())
        return music;
    if (music.isEmpty())
        return feeds;
    return materialise(blendOrder(music, orderOf(feeds)));
}

QList<FeedItem> mergeAndBlend(const QList<FeedItem>& curated, const QList<FeedItem>& personal,
                              const QList<FeedItem>& music)
{
    if (music.isEmpty())
        return mergeByDate(curated, personal);
    if (curated.isEmpty() && personal.isEmpty())
        return music;
    return materialise(blendOrder(music, mergeOrder(curated, personal)));
}

QList<FeedItem> interleaveBundles(const QList<QList<FeedItem>>& bundles)
{
    QList<FeedItem> out;
    QSet<QString> taken;
    QList<qsizetype> positions(bundles.size(), 0);
    bool anyLeft = true;
    while (anyLeft) {
        anyLeft = false;
        for (qsizetype b = 0; b < bundles.size(); ++b) {
            const QList<FeedItem>& list = bundles.at(b);
            qsizetype& pos = positions[b];
            const int quota = b == 0 ? 3 : b == 1 ? 2 : 1;
            if (pos < list.size())
                anyLeft = true;
            int given = 0;
            while (given < quota && pos < list.size()) {
                const FeedItem& item = list.at(pos++);
                if (taken.contains(item.stableId))
                    continue;
                taken.insert(item.stableId);
                out.append(item);
                ++given;
            }
        }
    }
    return out;
}

QList<FeedItem> interleaveRoundRobin(const QList<QList<FeedItem>>& lists)
{
    qsizetype passes = 0;
    for (const auto& list : lists)
        passes = std::max(passes, list.size());
    QList<FeedItem> out;
    QSet<QString> taken;
    for (qsizetype i = 0; i < passes; ++i) {
        for (const auto& list : lists) {
            if (i >= list.size())
                continue;
            const FeedItem& item = list.at(i);
            if (taken.contains(item.stableId))
                continue;
            taken.insert(item.stableId);
            out.append(item);
        }
    }
    return out;
}

bool sameContent(const FeedItem& a, const FeedItem& b)
{
    return a.stableId == b.stableId && a.title == b.title && a.url == b.url
        && a.publishedAt == b.publishedAt && a.source == b.source && a.imageUrl == b.imageUrl;
}

bool sameContent(const QList<FeedItem>& a, const QList<FeedItem>& b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (!sameContent(a.at(i), b.at(i)))
            return false;
    }
    return true;
}

} // namespace ItemComposition
