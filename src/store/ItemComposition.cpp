#include "store/ItemComposition.h"

#include <QSet>

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

} // namespace

QList<FeedItem> mergeByDate(const QList<FeedItem>& curated, const QList<FeedItem>& personal)
{
    if (personal.isEmpty())
        return curated;
    if (curated.isEmpty())
        return personal;
    QList<FeedItem> out;
    out.reserve(curated.size() + personal.size());
    qsizetype c = 0;
    qsizetype p = 0;
    while (c < curated.size() && p < personal.size()) {
        if (curatedFirst(curated.at(c), personal.at(p)))
            out.append(curated.at(c++));
        else
            out.append(personal.at(p++));
    }
    out.append(curated.mid(c));
    out.append(personal.mid(p));
    return out;
}

QList<FeedItem> blendMusic(const QList<FeedItem>& music, const QList<FeedItem>& feeds)
{
    if (feeds.isEmpty())
        return music;
    if (music.isEmpty())
        return feeds;
    QList<FeedItem> out;
    out.reserve(music.size() + feeds.size());
    qsizetype m = 0;
    qsizetype f = 0;
    while (m < music.size() || f < feeds.size()) {
        if (m < music.size())
            out.append(music.at(m++));
        for (int i = 0; i < 2 && f < feeds.size(); ++i)
            out.append(feeds.at(f++));
    }
    return out;
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
