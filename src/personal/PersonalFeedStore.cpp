#include "personal/PersonalFeedStore.h"

#include "platform/base/Clock.h"
#include "platform/storage/Defaults.h"
#include "platform/base/Logging.h"

#include <QNetworkAccessManager>
#include <QSet>
#include <QUuid>


namespace {

// Both stored lists use ISO 8601 in UTC with whole seconds.
JsonOptions storedForm()
{
    return JsonOptions{DateCoding::iso8601()};
}

template <class T>
std::optional<QList<T>> decodeList(const QJsonValue& value)
{
    if (!value.isArray())
        return std::nullopt;
    JsonIn in(QJsonObject{{QStringLiteral("list"), value}}, storedForm(), QStringLiteral("stored list"));
    QList<T> list = in.required<QList<T>>(QStringLiteral("list"));
    if (!in.ok())
        return std::nullopt;
    return list;
}

template <class T>
QJsonArray encodeList(const QList<T>& list)
{
    const JsonOptions options = storedForm();
    QJsonArray array;
    for (const T& element : list)
        array.append(element.toJson(options));
    return array;
}

// FeedItem's == compares ids only; observers must also hear of new titles,
// dates, links and images.
bool sameContent(const QList<FeedItem>& a, const QList<FeedItem>& b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        const FeedItem& x = a.at(i);
        const FeedItem& y = b.at(i);
        if (x.stableId != y.stableId || x.title != y.title || x.url != y.url || x.publishedAt != y.publishedAt
            || x.source != y.source || x.imageUrl != y.imageUrl)
            return false;
    }
    return true;
}

bool belongsTo(const FeedItem& item, const QString& feedId)
{
    return item.source && item.source->id == feedId;
}

QString hostTitle(const QUrl& url)
{
    const QString host = url.host().isEmpty() ? url.toString(QUrl::FullyEncoded) : url.host();
    return host.toLower().remove(QStringLiteral("www."));
}

} // namespace

PersonalFeedStore::PersonalFeedStore(Defaults& defaults, Clock& clock, Scheduler& scheduler,
                                     QNetworkAccessManager* manager, QObject* parent)
    : QObject(parent),
      m_defaults(defaults),
      m_clock(clock),
      m_scheduler(scheduler),
      m_manager(manager ? manager : new QNetworkAccessManager(this)),
      m_fetcher(m_manager),
      m_storedFeeds(defaults, kFeedsKey, lcFeedStore, kMaxFeeds)
{
    load();
}

PersonalFeedStore::~PersonalFeedStore()
{
    // The loop holds the store weakly; stopping it lets its frame end.
    if (m_pollTask)
        m_pollTask->cancel();
}

PersonalFeedStore& PersonalFeedStore::shared()
{
    static PersonalFeedStore* store =
        new PersonalFeedStore(Defaults::standard(), Clock::system(), Scheduler::system());
    return *store;
}

void PersonalFeedStore::load()
{
    // A feed record that cannot be read costs that feed only; the stored
    // list is set aside before the first save replaces it. Items can be
    // fetched again: an unreadable list of them leaves that list empty.
    m_feeds = m_storedFeeds.read<PersonalFeed>(
        [](const QJsonValue& value) { return PersonalFeed::fromJson(value, storedForm()); });
    if (auto items = decodeList<FeedItem>(m_defaults.caches().value(kItemsKey)))
        m_items = keptItems(std::move(*items));
}

QList<FeedItem> PersonalFeedStore::keptItems(QList<FeedItem> items) const
{
    // Only what a listed feed could have fetched: items of feeds no longer
    // read would be carried on every save and never shown.
    QHash<QString, int> perFeed;
    for (const PersonalFeed& feed : m_feeds)
        perFeed.insert(feed.id, 0);
    const qsizetype stored = items.size();
    items.removeIf([&perFeed](const FeedItem& item) {
        const auto count = item.source ? perFeed.find(item.source->id) : perFeed.end();
        return count == perFeed.end() || ++*count > kMaxItemsPerFeed;
    });
    if (items.size() < stored)
        qCInfo(lcFeedStore).noquote() << "Stored personal items: left out" << stored - items.size() << "of" << stored
                                      << "that belong to no listed feed or pass" << kMaxItemsPerFeed << "per feed";
    return items;
}

void PersonalFeedStore::setOnItemsChanged(ItemsHandler handler)
{
    const bool changed = bool(handler) || bool(m_onItemsChanged);
    m_onItemsChanged = std::move(handler);
    if (changed)
        Q_EMIT onItemsChangedChanged();
}

void PersonalFeedStore::setPollTask(std::shared_ptr<PollTask> task)
{
    if (task == m_pollTask)
        return;
    m_pollTask = std::move(task);
    Q_EMIT pollTaskChanged();
}

void PersonalFeedStore::assignFeeds(QList<PersonalFeed> feeds)
{
    const bool changed = feeds != m_feeds;
    m_feeds = std::move(feeds);
    if (changed)
        Q_EMIT feedsChanged();
}

void PersonalFeedStore::assignItems(QList<FeedItem> items)
{
    const bool changed = !sameContent(items, m_items);
    m_items = std::move(items);
    if (changed)
        Q_EMIT itemsChanged();
}

void PersonalFeedStore::assignRefreshing(bool refreshing)
{
    if (refreshing == m_isRefreshing)
        return;
    m_isRefreshing = refreshing;
    Q_EMIT isRefreshingChanged();
}

PersonalFeed* PersonalFeedStore::feedWithId(const QString& id)
{
    for (PersonalFeed& feed : m_feeds) {
        if (feed.id == id)
            return &feed;
    }
    return nullptr;
}

std::optional<QUrl> PersonalFeedStore::normalizedURL(const QString& text)
{
    QString candidate = text.trimmed();
    if (candidate.isEmpty())
        return std::nullopt;
    const QString lower = candidate.toLower();
    if (!lower.startsWith(QLatin1StringView("http://")) && !lower.startsWith(QLatin1StringView("https://")))
        candidate.prepend(QStringLiteral("https://"));
    const QUrl url(candidate, QUrl::TolerantMode);
    if (!url.isValid())
        return std::nullopt;
    const QString scheme = url.scheme().toLower();
    if (scheme != QLatin1StringView("http") && scheme != QLatin1StringView("https"))
        return std::nullopt;
    if (url.host().isEmpty() || !url.host().contains(QLatin1Char('.')))
        return std::nullopt;
    return url;
}

QCoro::Task<PersonalFeedStore::AddResult> PersonalFeedStore::add(QString urlString)
{
    return addFeed(this, std::move(urlString));
}

QCoro::Task<PersonalFeedStore::AddResult> PersonalFeedStore::addFeed(QPointer<PersonalFeedStore> self,
                                                                     QString urlString)
{
    const std::optional<QUrl> url = normalizedURL(urlString);
    if (!url)
        co_return AddResult::of(AddResult::Kind::InvalidURL);
    const QString absolute = url->toString(QUrl::FullyEncoded);
    if (std::optional<AddResult> refusal = self->refusalFor(absolute))
        co_return *refusal;

    const FetchOutcome outcome = co_await self->m_fetcher.fetch(*url);
    if (!self)
        co_return AddResult::failed(FeedFetcher::messageFor(Error::make(ErrorKind::Cancelled), *url));
    // Another add may have stored the same address, or the last free place,
    // while this one was fetching.
    if (std::optional<AddResult> refusal = self->refusalFor(absolute))
        co_return *refusal;
    if (outcome.isFailed())
        co_return AddResult::failed(outcome.message);
    if (!outcome.feed)
        co_return AddResult::of(AddResult::Kind::NotAFeed);
    if (outcome.feed->items.isEmpty())
        co_return AddResult::of(AddResult::Kind::NoItems);

    PersonalFeed feed;
    feed.id = QStringLiteral("pf-") + QUuid::createUuid().toString(QUuid::WithoutBraces).toLower();
    feed.url = absolute;
    const QString parsedTitle = outcome.feed->title.value_or(QString());
    feed.title = parsedTitle.isEmpty() ? hostTitle(*url) : parsedTitle;
    feed.isEnabled = true;
    feed.addedAt = self->m_clock.now();
    feed.lastFetchedAt = feed.addedAt;
    feed.itemCount = std::min<qint64>(outcome.feed->items.size(), kMaxItemsPerFeed);

    QList<PersonalFeed> feeds = self->m_feeds;
    feeds.append(feed);
    self->assignFeeds(std::move(feeds));
    const Result<void> saved = self->saveFeeds();
    self->replaceItems(feed.id, toFeedItems(*outcome.feed, feed));
    co_return AddResult::added(feed.title, int(feed.itemCount), saved ? QString() : self->m_defaults.saveProblem());
}

std::optional<PersonalFeedStore::AddResult> PersonalFeedStore::refusalFor(const QString& absoluteUrl) const
{
    for (const PersonalFeed& feed : m_feeds) {
        if (feed.url.compare(absoluteUrl, Qt::CaseInsensitive) == 0)
            return AddResult::of(AddResult::Kind::Duplicate);
    }
    if (m_feeds.size() >= kMaxFeeds)
        return AddResult::of(AddResult::Kind::Full);
    return std::nullopt;
}

void PersonalFeedStore::remove(const QString& feedId)
{
    // A copy: the caller may name the feed by the id it holds in feeds(),
    // which goes with the list it is removed from.
    const QString id = feedId;
    QList<PersonalFeed> feeds = m_feeds;
    feeds.removeIf([&id](const PersonalFeed& feed) { return feed.id == id; });
    assignFeeds(std::move(feeds));
    saveFeeds();
    replaceItems(id, {});
}

void PersonalFeedStore::setEnabled(const QString& id, bool enabled)
{
    PersonalFeed* feed = feedWithId(id);
    if (!feed)
        return;
    feed->isEnabled = enabled;
    Q_EMIT feedsChanged();
    saveFeeds();
    notifyItemsChanged();
}

void PersonalFeedStore::replaceItems(const QString& feedId, const QList<FeedItem>& items)
{
    QList<FeedItem> next;
    next.reserve(m_items.size() + items.size());
    for (const FeedItem& item : m_items) {
        if (!belongsTo(item, feedId))
            next.append(item);
    }
    next.append(items);
    assignItems(std::move(next));
    saveItems(m_items);
    notifyItemsChanged();
}

QList<FeedItem> PersonalFeedStore::visibleItems() const
{
    QSet<QString> enabled;
    for (const PersonalFeed& feed : m_feeds) {
        if (feed.isEnabled)
            enabled.insert(feed.id);
    }
    QList<FeedItem> visible;
    for (const FeedItem& item : m_items) {
        if (item.source && enabled.contains(item.source->id))
            visible.append(item);
    }
    return visible;
}

void PersonalFeedStore::notifyItemsChanged()
{
    if (m_onItemsChanged)
        m_onItemsChanged(visibleItems());
}

Result<void> PersonalFeedStore::saveFeeds()
{
    m_storedFeeds.aboutToReplace();
    // At once, not on the settings' coalescing timer: a feed added, removed
    // or switched must be on disk before the call returns.
    return m_defaults.setAndSave(kFeedsKey, encodeList(m_feeds));
}

void PersonalFeedStore::saveItems(const QList<FeedItem>& items)
{
    // Encoded and written on the cache writer, in call order: an older list
    // never replaces a newer one.
    m_defaults.caches().setLater(kItemsKey, [items] { return QJsonValue(encodeList(items)); });
}
