#pragma once

#include "markets/CoinGeckoClient.h"
#include "markets/FinnhubClient.h"
#include "markets/Keychain.h"
#include "markets/MarketModels.h"
#include "markets/WatchModels.h"

#include "platform/base/Clock.h"
#include "platform/net/Endpoints.h"
#include "platform/storage/SettingsCatalogue.h"
#include "platform/storage/StoredList.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QSet>
#include <coroutine>
#include <memory>
#include <optional>
#include <stop_token>
#include <vector>

#include <qcoro/qcorotask.h>

class Defaults;
class FeedAPI;
class QNetworkAccessManager;
class SecretStore;

// The one observable model of market quotes: the server's house set, the
// quotes fetched with the user's own Finnhub key, the watchlist with its
// quotes and holdings, and a poll loop that runs while a market strip is on
// screen. Every setter notifies only on a real change. Main thread only.
class MarketsStore : public QObject {
    Q_OBJECT
public:
    using WatchSymbol = ::WatchSymbol;
    using StockSuggestion = ::StockSuggestion;

    // State of the user's Finnhub key. Waiting: the keyring has opened a
    // prompt of its own for a read, save or removal of the key and waits
    // for the user.
    struct KeyStatus {
        enum class Kind { Error, None, Checking, Ok, Rejected, Waiting };
        Kind kind = Kind::None;
        QString message;  // with Error and Waiting: shown to the user unchanged

        friend bool operator==(const KeyStatus&, const KeyStatus&) = default;
        static KeyStatus error(QString text) { return {Kind::Error, std::move(text)}; }
        static KeyStatus none() { return {Kind::None, {}}; }
        static KeyStatus checking() { return {Kind::Checking, {}}; }
        static KeyStatus ok() { return {Kind::Ok, {}}; }
        static KeyStatus rejected() { return {Kind::Rejected, {}}; }
        static KeyStatus waiting(QString text) { return {Kind::Waiting, std::move(text)}; }
    };

    // What the store asks of the keyring for the key.
    enum class KeyAction { Read, Save, Remove };

    static inline const QString kWatchlistKey = Settings::marketsWatchlist.key.toString();
    static constexpr int kWatchlistLimit = 10;
    static constexpr std::chrono::seconds kPollInterval{60};
    // How long a read, save or removal of the key waits for the keyring
    // before keyStatus says that it did not answer. The work goes on, and its
    // outcome still counts when it comes, unless newer work was asked for.
    // The time the user spends in a prompt the keyring opened does not count:
    // keyStatus is "waiting" meanwhile.
    static constexpr std::chrono::seconds kKeyringAnswerWait{5};

    // Reads the stored watchlist and starts reading the key (keyStatus is
    // "checking" until the keyring answers); makes no request.
    MarketsStore(Defaults& defaults, SecretStore& secrets, Clock& clock, Scheduler& scheduler,
                 const Endpoints& endpoints = Endpoints::current(), QObject* parent = nullptr);
    ~MarketsStore() override;

    // The process-wide store on the standard settings, secret store and clock;
    // created on first use, never destroyed.
    static MarketsStore& shared();

    const QList<MarketQuote>& house() const { return m_house; }
    const QList<MarketQuote>& byok() const { return m_byok; }
    const QList<MarketAttribution>& attribution() const { return m_attribution; }
    const KeyStatus& keyStatus() const { return m_keyStatus; }
    const std::optional<QDateTime>& lastUpdated() const { return m_lastUpdated; }
    const QList<WatchSymbol>& watchlist() const { return m_watchlist; }
    // The stored list the watchlist was read from: what its reading left out.
    const StoredList& storedWatchlist() const { return m_storedWatchlist; }
    const QList<MarketQuote>& watchQuotes() const { return m_watchQuotes; }
    int activeStrips() const { return m_activeStrips; }
    bool isPolling() const { return m_poll.has_value(); }

    // Direct assignment for bindings; does not write the settings.
    void setWatchlist(const QList<WatchSymbol>& list);
    void setKeyStatus(const KeyStatus& status);

    // A non-empty Finnhub key is stored, as far as the store knows. Answers
    // from what the last background read of the keyring found: one at
    // construction, one at every own-key pass (so a key changed with another
    // keyring tool is used from the next poll on) and one after the key is set
    // or removed. Keystrokes never read it. A failed read keeps the last known
    // key and shows as an error in keyStatus, never as "no key".
    bool hasFinnhubKey() const { return !m_cachedKey.isEmpty(); }
    static QUrl finnhubRegisterURL();

    // "SPY", "QQQ", "DIA" and "GLD": always priced by the own-key refresh.
    static bool isOwnKeyEtf(const QString& symbol);

    QList<WatchSymbol> stockSymbols() const;
    QList<WatchSymbol> coinSymbols() const;

    // The market strip's list: own quotes over house quotes, the leading
    // symbols first, holdings attached. Computed on every call.
    QList<MarketQuote> stripQuotes() const;
    static QList<MarketQuote> mergeQuotes(const QList<MarketQuote>& house, const QList<MarketQuote>& own);
    static QList<MarketQuote> applyHoldings(const QList<WatchSymbol>& watchlist, QList<MarketQuote> quotes);

    // A market strip came on screen / went away. Polling runs while the
    // count is above 0: a refresh at once, then 60 s after each one ends.
    void stripAppeared();
    void stripDisappeared();

    // Stores the trimmed text as the Finnhub key (then checks it with one
    // own-key refresh), or removes the key when the text is blank. Returns at
    // once: the keyring is written in the background (keyStatus is "checking"
    // meanwhile for a save), and keyStatus shows the outcome when it comes.
    // Of quick successive calls the last one wins. A failed save or removal
    // keeps the old key and shows an error in keyStatus, and so does one the
    // keyring has not answered within kKeyringAnswerWait (not counting the
    // time its prompt is open) or whose prompt was dismissed.
    void setFinnhubKey(const QString& text);

    // One refresh cycle: house set, own-key quotes and coin prices at once.
    // A stopped cycle publishes nothing.
    QCoro::Task<void> refresh(std::stop_token stop = {});
    QCoro::Task<void> refreshHouse(std::stop_token stop = {});
    QCoro::Task<void> refreshOwnKeyQuotes(std::stop_token stop = {});
    QCoro::Task<void> refreshCoins(std::stop_token stop = {});

    // Watchlist editing; every change is saved at once.
    QCoro::Task<WatchAddResult> addStock(QString input, std::optional<QString> name = std::nullopt);
    QCoro::Task<WatchAddResult> addCoin(QString input);
    void remove(const QString& symbol);
    void setHolding(const QString& symbol, std::optional<double> units, std::optional<double> cost);
    // Suggestions for the watchlist editor; empty on every failure.
    QCoro::Task<QList<StockSuggestion>> searchStocks(QString query, std::stop_token stop = {});

    // Writes the watchlist to the settings file at once; false when it
    // cannot be encoded or the file could not be written (also when the
    // stored list held an entry that could not be read and could not be
    // kept aside first).
    bool saveWatchlist();

Q_SIGNALS:
    void houseChanged();
    void byokChanged();
    void attributionChanged();
    void keyStatusChanged();
    void lastUpdatedChanged();
    void watchlistChanged();
    void watchQuotesChanged();
    void activeStripsChanged();
    void pollingChanged();
    // stripQuotes() may read differently: one of its inputs changed.
    void stripQuotesChanged();
    // hasFinnhubKey() reads differently.
    void hasFinnhubKeyChanged();
    // The outcome of the latest save or removal of the key: `written` false
    // when the keyring refused it or has not answered within
    // kKeyringAnswerWait (keyStatus says which; the time its prompt is open
    // does not count). One that answers after that is reported again when it
    // does.
    void keyWriteFinished(bool written);

private:
    template <class T>
    void assign(T& field, const T& value, void (MarketsStore::*signal)());

    void setHouse(const QList<MarketQuote>& quotes);
    void setByok(const QList<MarketQuote>& quotes);
    void setAttribution(const QList<MarketAttribution>& list);
    void setWatchQuotes(const QList<MarketQuote>& quotes);
    void setLastUpdated(const QDateTime& when);

    // Suspends the caller until no key read is pending (at once when none is).
    struct KeyReadWait {
        MarketsStore* store;
        bool await_ready() const noexcept { return !store->m_keyReadPending; }
        void await_suspend(std::coroutine_handle<> waiter) { store->m_keyWaiters.push_back(waiter); }
        void await_resume() const noexcept {}
    };
    KeyReadWait keyRead() { return KeyReadWait{this}; }
    // Tells the store of the prompts the keyring opens for a read, save or
    // removal of the key; sets `dismissed` when one was dismissed.
    PromptWatcher keyPromptWatcher(KeyAction action, std::shared_ptr<bool> dismissed);
    void keyringPrompted(KeyAction action, KeyringPrompt prompt);
    // Starts the wait for the latest write's answer.
    void startKeyWriteBound(quint64 write, KeyAction action);
    // Starts a background read of the key; an earlier one still on its way
    // no longer counts.
    void startKeyRead();
    QCoro::Task<void> readKeyInBackground(quint64 read);
    // `dismissed`: the keyring's prompt for the read was dismissed.
    void applyKeyRead(const SecretRead& answer, bool dismissed = false);
    void resumeKeyWaiters();
    void setCachedKey(const QString& key);
    QList<WatchSymbol> loadWatchlist();
    QCoro::Task<void> pollLoop(std::stop_token stop);
    // Writes `key` to the keyring (removes it when empty) and applies the
    // outcome, unless a later write was asked for meanwhile.
    QCoro::Task<void> writeKey(QString key, quint64 write);
    // `requested`: the watched stocks the pass asked for; their old quotes go.
    void publishOwnKeyQuotes(const QSet<QString>& requested, const QList<MarketQuote>& collected,
                             const QStringList& notOnPlan, const std::optional<QString>& failure);
    void dropStockQuotes();

    Defaults& m_defaults;
    StoredList m_storedWatchlist;
    Keychain m_keychain;
    Clock& m_clock;
    Scheduler& m_scheduler;
    Endpoints m_endpoints;
    QNetworkAccessManager* m_network;  // child
    FeedAPI* m_api;                    // child: the house set
    FinnhubClient m_finnhub;
    CoinGeckoClient m_coinGecko;

    QList<MarketQuote> m_house;
    QList<MarketQuote> m_byok;
    QList<MarketAttribution> m_attribution;
    KeyStatus m_keyStatus;
    std::optional<QDateTime> m_lastUpdated;
    QList<WatchSymbol> m_watchlist;
    QList<MarketQuote> m_watchQuotes;
    int m_activeStrips = 0;
    std::optional<std::stop_source> m_poll;  // the running poll loop
    std::stop_source m_lifetime;             // stopped when the store goes
    QString m_cachedKey;                          // the last key known to be stored; empty: none
    std::optional<QString> m_keyReadError;        // set while the last read failed: the status text
    quint64 m_keyReads = 0;                       // reads started; only the latest one's answer counts
    bool m_keyReadPending = false;
    quint64 m_keyWrites = 0;                      // writes asked for; only the latest one's outcome counts
    SingleShot m_keyReadBound;                    // the latest read has not answered in time
    SingleShot m_keyWriteBound;                   // the latest write has not answered in time
    bool m_keyWriteBoundPaused = false;           // stopped while a prompt is open: starts again after it
    KeyAction m_keyWriteAction = KeyAction::Save; // what the latest write does
    bool m_keyPromptOpen = false;                 // the keyring is asking the user for one of our operations
    KeyStatus m_statusBeforePrompt;               // shown again once the prompt closes
    std::vector<std::coroutine_handle<>> m_keyWaiters;  // work waiting for the pending read
};
