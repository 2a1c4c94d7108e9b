// Topic focus and the relative "last updated" text.
#include "store/FeedStore.h"

#include "platform/Clock.h"
#include "platform/Logging.h"

#include <QLocale>
#include <algorithm>
#include <cmath>
#include <memory>

#include <unicode/locid.h>
#include <unicode/reldatefmt.h>
#include <unicode/unistr.h>

namespace {
constexpr int kFocusFeedLimit = 20;
constexpr int kFocusItemsPerFeed = 10;
} // namespace

void FeedStore::focusTopic(const QString& topicID)
{
    if (m_focusedTopicID == topicID)
        setFocusedTopicID(std::nullopt);  // a second tap on the same orb leaves the focus
    else
        setFocusedTopicID(topicID);
    setFocusedItems({});
    if (m_focusedTopicID)
        fetchFocusedItems(*m_focusedTopicID, m_lifetime.get_token());
}

QCoro::Task<void> FeedStore::fetchFocusedItems(QString topicID, std::stop_token stop)
{
    QPointer<FeedStore> self(this);
    const QStringList ids = focusFeedIDs(topicID);
    if (ids.isEmpty())
        co_return;
    const Result<Fetched<ItemsBatchResponse>> reply =
        co_await m_api->itemsBatch(ids, kFocusItemsPerFeed, std::nullopt, stop);
    if (!self || stop.stop_requested())
        co_return;
    if (reply) {
        // A reply for a topic the user has left since is dropped.
        if (m_focusedTopicID == topicID)
            setFocusedItems(reply->value.items);
        co_return;
    }
    if (reply.error().is(ErrorKind::Cancelled) || reply.error().is(ErrorKind::NotModified))
        co_return;
    qCCritical(lcFeedStore, "focused items fetch failed: %s", qUtf8Printable(reply.error().description));
}

QStringList FeedStore::focusFeedIDs(const QString& topicID) const
{
    const auto orb = std::find_if(m_orbs.cbegin(), m_orbs.cend(), [&](const Orb& o) { return o.id == topicID; });
    if (orb == m_orbs.cend())
        return {};
    QSet<QString> slugs;
    for (const QString& slug : orb->categorySlugs.value_or(QStringList{})) {
        if (!slug.isEmpty())
            slugs.insert(slug.toLower());
    }
    if (slugs.isEmpty())
        return {};
    QList<const FeedIndexItem*> matching;
    for (const FeedIndexItem& feed : m_feeds) {
        if (!feed.isActive.value_or(true) || !feed.category || !feed.category->slug)
            continue;
        if (slugs.contains(feed.category->slug->toLower()))
            matching.append(&feed);
    }
    std::stable_sort(matching.begin(), matching.end(), [](const FeedIndexItem* a, const FeedIndexItem* b) {
        return a->items30d.value_or(0) > b->items30d.value_or(0);
    });
    QStringList ids;
    for (qsizetype i = 0; i < matching.size() && i < kFocusFeedLimit; ++i)
        ids.append(matching.at(i)->id);
    return ids;
}

std::optional<Orb> FeedStore::focusedOrb() const
{
    if (!m_focusedTopicID)
        return std::nullopt;
    for (const Orb& orb : m_orbs) {
        if (orb.id == *m_focusedTopicID)
            return orb;
    }
    return std::nullopt;
}

std::optional<QString> FeedStore::lastUpdatedText() const
{
    if (!m_lastUpdated)
        return std::nullopt;
    // The largest unit that fits, like "5 min. ago" or "in 2 hr.".
    const double seconds = double(m_clock.now().msecsTo(*m_lastUpdated)) / 1000.0;
    const double magnitude = std::abs(seconds);
    struct Step {
        double limit;
        double size;
        URelativeDateTimeUnit unit;
    };
    static const Step steps[] = {
        {60, 1, UDAT_REL_UNIT_SECOND},          {3600, 60, UDAT_REL_UNIT_MINUTE},
        {86400, 3600, UDAT_REL_UNIT_HOUR},      {604800, 86400, UDAT_REL_UNIT_DAY},
        {2629800, 604800, UDAT_REL_UNIT_WEEK},  {31557600, 2629800, UDAT_REL_UNIT_MONTH},
        {INFINITY, 31557600, UDAT_REL_UNIT_YEAR},
    };
    const Step* step = std::find_if(std::begin(steps), std::end(steps),
                                    [&](const Step& s) { return magnitude < s.limit; });
    const double amount = std::trunc(seconds / step->size);

    UErrorCode status = U_ZERO_ERROR;
    const icu::Locale locale(QLocale().name().toUtf8().constData());
    icu::RelativeDateTimeFormatter formatter(locale, nullptr, UDAT_STYLE_SHORT, UDISPCTX_CAPITALIZATION_NONE,
                                             status);
    icu::UnicodeString text;
    formatter.formatNumeric(amount == 0 ? 0.0 : amount, step->unit, text, status);
    if (U_FAILURE(status))
        return std::nullopt;
    return QString(reinterpret_cast<const QChar*>(text.getBuffer()), text.length());
}
