#pragma once

#include "api/ItemModels.h"
#include "personal/FeedFetcher.h"
#include "personal/ParsedFeed.h"
#include "personal/PersonalFeed.h"
#include "personal/PollTask.h"
#include "platform/base/Error.h"
#include "platform/storage/SettingsCatalogue.h"
#include "platform/storage/StoredList.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>

#include <qcoro/qcorotask.h>

class Clock;
class Defaults;
class QNetworkAccessManager;
class Scheduler;

// The user's own RSS and Atom feeds and the items last taken from them.
//
// Keeps both lists in the settings ("personalFeeds.v1",
// "personalFeeds.items.v1"), validates and adds feeds, removes and switches
// them, polls the switched-on ones every 900 seconds and hands the items of
// the switched-on feeds to its one consumer, onItemsChanged(). Addresses and
// items never leave this machine. Observers are told only when an assigned
// value differs from the stored one. Main thread only.
class PersonalFeedStore : public QObject {
    Q_OBJECT
public:
    using ItemsHandler = std::function<void(const QList<FeedItem>&)>;

    static constexpr int kMaxFeeds = 20;
    static constexpr int kMaxItemsPerFeed = 20;
    static constexpr std::chrono::seconds kPollInterval{900};
    static inline const QString kFeedsKey = Settings::personalFeeds.key.toString();
    static inline const QString kItemsKey = Settings::personalFeedItems.key.toString();

    // The outcome of add(): what the add-feed sheet shows.
    struct AddResult {
        enum class Kind { Added, Failed, InvalidURL, Duplicate, Full, NotAFeed, NoItems };
        Kind kind = Kind::InvalidURL;
        QString title;       // Added
        int itemCount = 0;   // Added
        QString message;     // Failed
        // Added, but the settings file could not be written: why, in the
        // user's words. The feed stays listed until the app quits.
        QString notKept;

        static AddResult added(QString title, int itemCount, QString notKept = {})
        {
            return {Kind::Added, std::move(title), itemCount, {}, std::move(notKept)};
        }
        static AddResult failed(QString message) { return {Kind::Failed, {}, 0, std::move(message), {}}; }
        static AddResult of(Kind kind) { return {kind, {}, 0, {}, {}}; }
        friend bool operator==(const AddResult&, const AddResult&) = default;
    };

    // `manager` may be null: the store then makes its own.
    PersonalFeedStore(Defaults& defaults, Clock& clock, Scheduler& scheduler,
                      QNetworkAccessManager* manager = nullptr, QObject* parent = nullptr);
    ~PersonalFeedStore() override;

    // The process-wide store on the standard settings, system clock and
    // scheduler; created on first use and never destroyed.
    static PersonalFeedStore& shared();

    const QList<PersonalFeed>& feeds() const { return m_feeds; }
    // The stored list the feeds were read from: what its reading left out.
    const StoredList& storedFeeds() const { return m_storedFeeds; }
    const QList<FeedItem>& items() const { return m_items; }
    bool isRefreshing() const { return m_isRefreshing; }

    const ItemsHandler& onItemsChanged() const { return m_onItemsChanged; }
    void setOnItemsChanged(ItemsHandler handler);

    std::shared_ptr<PollTask> pollTask() const { return m_pollTask; }
    // Stores the handle; the feed store cancels the task and then clears it.
    void setPollTask(std::shared_ptr<PollTask> task);

    // Hands the items of the switched-on feeds to the callback at once, then
    // starts the poll loop unless one is set: a pass now, then one pass 900
    // seconds after each pass ends.
    void start();

    // Checks, fetches and stores a new feed. The duplicate and limit checks
    // run again after the fetch, so adds running at once cannot pass them both.
    QCoro::Task<AddResult> add(QString urlString);
    void remove(const QString& id);
    void setEnabled(const QString& id, bool enabled);

    // http or https address with a dotted host; "https://" is put in front
    // of a text without a scheme.
    static std::optional<QUrl> normalizedURL(const QString& text);

    // Refreshes every switched-on feed once, one after another.
    QCoro::Task<void> refreshAll();

    // The items of the switched-on feeds, in list order.
    QList<FeedItem> visibleItems() const;

    // Ticker items from one parsed feed: deduplicated, dated ones newest
    // first, then undated ones in document order, at most 20.
    static QList<FeedItem> toFeedItems(const ParsedFeed& parsed, const PersonalFeed& feed);

Q_SIGNALS:
    void feedsChanged();
    void itemsChanged();
    void isRefreshingChanged();
    void onItemsChangedChanged();
    void pollTaskChanged();

private:
    static QCoro::Task<AddResult> addFeed(QPointer<PersonalFeedStore> self, QString urlString);
    static QCoro::Task<void> refreshPass(QPointer<PersonalFeedStore> self, std::stop_token stop);
    static QCoro::Task<void> pollLoop(QPointer<PersonalFeedStore> self, Scheduler* scheduler, std::stop_token stop);

    // Duplicate, then full; nothing when the address may be added.
    std::optional<AddResult> refusalFor(const QString& absoluteUrl) const;
    void load();
    QList<FeedItem> keptItems(QList<FeedItem> items) const;
    // Writes the feed list to the settings file before it returns.
    Result<void> saveFeeds();
    void saveItems(const QList<FeedItem>& items);
    void replaceItems(const QString& feedId, const QList<FeedItem>& items);
    void notifyItemsChanged();
    void recordOutcome(const PersonalFeed& feed, const FetchOutcome& outcome,
                       QHash<QString, QList<FeedItem>>& fresh);
    QList<FeedItem> mergedItems(const QHash<QString, QList<FeedItem>>& fresh) const;
    PersonalFeed* feedWithId(const QString& id);

    void assignFeeds(QList<PersonalFeed> feeds);
    void assignItems(QList<FeedItem> items);
    void assignRefreshing(bool refreshing);

    Defaults& m_defaults;
    Clock& m_clock;
    Scheduler& m_scheduler;
    QNetworkAccessManager* m_manager;
    FeedFetcher m_fetcher;
    StoredList m_storedFeeds;

    QList<PersonalFeed> m_feeds;
    QList<FeedItem> m_items;
    bool m_isRefreshing = false;
    ItemsHandler m_onItemsChanged;
    std::shared_ptr<PollTask> m_pollTask;

};
