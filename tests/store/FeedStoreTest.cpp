#include "store/FeedSelection.h"

#include "StoreHarness.h"
#include "LogCapture.h"

#include <QSignalSpy>

#if defined(TIDEWIRE_HAVE_CATALOGUE_SERVER)
#include "CatalogueServer.h"
#endif

namespace {

using namespace catalogue;
using R = LoopbackServer::Response;
using Kind = FeedStore::AppPhase::Kind;

const QString kConnecting = S("Connecting to Virave Vavuv...");
const QString kFailed = S("Error: Connection Failed. Retrying… | Connecting to Virave Vavuv... | ");

using FeedStoreLifecycle = StoreTest;

TEST_F(FeedStoreLifecycle, StartRestoresThenMonitorsThenHandsOverThenBeats)
{
    storeSnapshot({feed(S("a"))}, S("x1@5"));
    Gate& manifestGate = gate();
    serveGated(S("v1_manifest"), manifestGate, R::withStatus(404));
    personal.items = {FeedItem{S("p1"), S("Mine"), {}, {}, {}, {}}};
    makeStore();
    EXPECT_EQ(state(), S("Booting | Initializing... | "));  // nothing is read before start()

    bool monitorBeforeHandOver = false, snapshotBeforeHandOver = false;
    personal.onStart = [&] {
        monitorBeforeHandOver = monitor != nullptr && monitor->isStarted();
        snapshotBeforeHandOver = !store->items().isEmpty();
    };
    store->start();
    EXPECT_TRUE(snapshotBeforeHandOver);
    EXPECT_TRUE(monitorBeforeHandOver);
    // Restored before any answer: the strip can show the last headlines.
    EXPECT_EQ(state(), S("Running | Live | x1"));
    EXPECT_EQ(store->lastUpdated(), QDateTime(QDate(2026, 1, 10), QTime(8, 0), Qt::UTC));
    EXPECT_EQ(ids(store->personalItems()) + S(" / ") + ids(store->tickerItems()), S("p1 / x1 p1"));

    store->start();  // a second start does nothing
    EXPECT_EQ(std::tuple(monitorsMade, personal.installs, personal.starts), std::tuple(1, 1, 1));
    ASSERT_TRUE(waitUntil([&] { return requests("v1_manifest") == 1; }));
    manifestGate.open();
    ASSERT_TRUE(waitForRefreshes(1));
    EXPECT_EQ(requests("v1_manifest"), 1);
}

TEST_F(FeedStoreLifecycle, HeartbeatRunsThreeHundredSecondsAfterEachRefreshUntilStopped)
{
    serveCatalogue({feed(S("a"))}, items(S("a1@1")));
    Gate& itemsGate = gate();
    serveGated(S("v1_items_batch"), itemsGate, R::json(bytes(items(S("a1@1")))));
    makeStore();
    store->start();
    ASSERT_TRUE(waitUntil([&] { return requests("v1_items_batch") == 1; }));
    time.advanceSeconds(200);  // the refresh takes a while
    itemsGate.open();
    ASSERT_TRUE(waitForRefreshes(1));
    time.advanceSeconds(299);
    EXPECT_EQ(settled("v1_manifest", 100), 1);

    // A headline reworded under the same id is announced; the same batch again is not.
    QJsonObject reworded = item(S("a1@1"));
    reworded.insert(S("title"), S("Corrected headline"));
    server.route(S("/v1_items_batch"), R::json(bytes(QJsonObject{{S("items"), QJsonArray{reworded}}})));
    QSignalSpy itemsSpy(store.get(), &FeedStore::itemsChanged);
    for (int beat = 2; beat <= 3; ++beat) {
        time.advanceSeconds(beat == 2 ? 1 : 300);
        ASSERT_TRUE(waitForRefreshes(beat));
        EXPECT_EQ(requests("v1_manifest"), beat);
        EXPECT_EQ(itemsSpy.count(), 1);
        EXPECT_EQ(store->items().first().title, S("Corrected headline"));
    }

    QSignalSpy monitorSpy(store.get(), &FeedStore::pathMonitorChanged);
    store->stop();
    EXPECT_EQ(std::tuple(store->pathMonitor() == nullptr, int(monitorSpy.count()), personal.stops, store->isStarted()),
              std::tuple(true, 1, 1, false));
    EXPECT_EQ(ids(store->items()), S("a1"));  // data stays
    // A stopped sleep ends the heartbeat: no refresh runs after it.
    time.advanceSeconds(600);
    EXPECT_EQ(time.pendingCount(), 0);
    EXPECT_EQ(settled("v1_manifest"), 3);

    store->start();
    EXPECT_EQ(std::tuple(monitorsMade, personal.starts), std::tuple(2, 2));
    ASSERT_TRUE(waitForRefreshes(4));
    EXPECT_EQ(requests("v1_manifest"), 4);
    // A hand-over arriving after the store is gone is ignored.
    const auto handler = personal.handler;
    store.reset();
    handler({FeedItem{S("late"), S("Late"), {}, {}, {}, {}}});
}

TEST_F(FeedStoreLifecycle, StopDuringARefreshAppliesNothing)
{
    serveCatalogue({feed(S("a"))}, items(S("a1@1")));
    Gate& itemsGate = gate();
    serveGated(S("v1_items_batch"), itemsGate, R::json(bytes(items(S("a1@1")))));
    makeStore();
    QSignalSpy phases(store.get(), &FeedStore::phaseChanged);
    store->start();
    ASSERT_TRUE(waitUntil([&] { return requests("v1_items_batch") == 1; }));
    store->stop();
    itemsGate.open();
    drain();
    EXPECT_EQ(state(), S("Booting | ") + kConnecting + S(" | "));
    EXPECT_EQ(std::tuple(int(phases.count()), weatherWrites, defaults->caches().contains(FeedStore::SnapshotKey)),
              std::tuple(0, 0, false));
}

struct PhaseCase {
    const char* name;
    bool online;
    int manifestStatus;  // 200: the catalogue of feed "a" (inactive when noActiveFeeds)
    bool noActiveFeeds;
    int itemsStatus;
    const char* state;
    int itemRequests;
    bool orbsAndWeatherApplied;
    bool snapshotSaved;
};

void PrintTo(const PhaseCase& c, std::ostream* os) { *os << c.name; }

class FreshInstallPhase : public StoreTest, public ::testing::WithParamInterface<PhaseCase> {};

TEST_P(FreshInstallPhase, OutcomeBecomesPhaseAndStatus)
{
    const PhaseCase& c = GetParam();
    serveCatalogue({}, {}, orbs({orb(S("o1"))}));
    server.route(S("/v1_manifest"), R::json(bytes(manifest({feed(S("a"), {{S("is_active"), !c.noActiveFeeds}})})), c.manifestStatus));
    server.route(S("/v1_items_batch"), R::json(bytes(items(S("a1@1 a2@0"))), c.itemsStatus));
    monitorStartsOnline = c.online;
    makeStore();
    store->start();
    EXPECT_EQ(store->isOnline(), c.online);
    EXPECT_EQ(store->statusMessage(), kConnecting);
    ASSERT_TRUE(waitUntil([&] { return store->phase().kind != Kind::Booting; }));
    drain(150);
    EXPECT_EQ(state(), S(c.state));
    EXPECT_EQ(requests("v1_items_batch"), c.itemRequests);
    EXPECT_EQ(!store->orbs().isEmpty(), c.orbsAndWeatherApplied);
    EXPECT_EQ(store->currentWeather().has_value(), c.orbsAndWeatherApplied);
    EXPECT_EQ(defaults->caches().contains(FeedStore::SnapshotKey), c.snapshotSaved);
}

INSTANTIATE_TEST_SUITE_P(Cases, FreshInstallPhase, ::testing::Values(
    PhaseCase{"everything answers", true, 200, false, 200, "Running | Live | a1 a2", 1, true, true},
    PhaseCase{"manifest fails online", true, 404, false, 200, "Error: Connection Failed. Retrying… | Connecting to Virave Vavuv... | ", 0, false, false},
    PhaseCase{"manifest fails offline", false, 404, false, 200, "Error: Offline — reconnecting… | Connecting to Virave Vavuv... | ", 0, false, false},
    PhaseCase{"items fail", true, 200, false, 404, "Error: Connection Failed. Retrying… | Connecting to Virave Vavuv... | ", 1, true, true},
    PhaseCase{"no active feeds", true, 200, true, 200, "Running | No active feeds found | ", 0, true, true}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

TEST_F(FeedStoreLifecycle, OfflineASnapshotKeepsRunningAndComingBackOnlineRefreshes)
{
    storeSnapshot({feed(S("a"))}, S("x1@5"));
    monitorStartsOnline = false;
    makeStore();  // every request answers 404
    startAndSettle();
    EXPECT_EQ(state(), S("Running | Live | x1"));
    EXPECT_EQ(store->feeds().size(), 1);
    serveCatalogue({feed(S("a"))}, items(S("a1@1")));
    // {online, manifest requests}: back online refreshes at once, going offline starts nothing.
    for (const auto& [online, manifestRequests] : {std::pair{true, 2}, {false, 2}, {true, 3}}) {
        SCOPED_TRACE(manifestRequests);
        monitor->setOnline(online);
        EXPECT_EQ(store->isOnline(), online);
        if (online) {
            ASSERT_TRUE(waitUntil([&] { return requests("v1_manifest") == manifestRequests; }));
        }
        EXPECT_EQ(settled("v1_manifest", 100), manifestRequests);
    }
    ASSERT_TRUE(waitUntil([&] { return ids(store->items()) == S("a1"); }));
    EXPECT_EQ(state(), S("Running | Live | a1"));
}

TEST_F(FeedStoreLifecycle, NotifyRuleSilencesOnlyEqualWritesOfComparedFields)
{
    storeSnapshot({feed(S("a"))}, S("x1@5"));
    makeStore();
    QSignalSpy items(store.get(), &FeedStore::itemsChanged), topics(store.get(), &FeedStore::topicsChanged),
        feeds(store.get(), &FeedStore::feedsChanged), status(store.get(), &FeedStore::statusMessageChanged),
        phase(store.get(), &FeedStore::phaseChanged), focus(store.get(), &FeedStore::focusedTopicIDChanged),
        room(store.get(), &FeedStore::isRoomListeningChanged), ticker(store.get(), &FeedStore::tickerItemsChanged);
    // The same snapshot restored twice: equal items and status ("Live"; with
    // items loaded the heartbeat does not say "Connecting…") stay silent,
    // topics, feeds and phase announce every write.
    store->start();
    store->stop();
    store->start();
    EXPECT_EQ((QList<qsizetype>{items.count(), status.count(), topics.count(), feeds.count(), phase.count(), ticker.count()}),
              (QList<qsizetype>{1, 1, 2, 2, 2, 1}));
    store->setFocusedTopicID(S("t"));
    store->setFocusedTopicID(S("t"));
    store->setRoomListening(true);
    store->setRoomListening(true);
    EXPECT_EQ(std::tuple(focus.count(), room.count()), std::tuple(1, 1));
    store->stop();
}

using FeedStoreSnapshot = StoreTest;

TEST_F(FeedStoreSnapshot, ARestartShowsTheLastHeadlinesWithTheTimeOfTheirFetchBeforeAnyAnswer)
{
    QJsonObject batch = items(S("a1@9 b1@8"));
    QJsonArray list = batch.value(S("items")).toArray();
    QJsonObject fractional = list[1].toObject();
    fractional.insert(S("published_at"), S("2026-01-15T12:08:00.750Z"));
    list[1] = fractional;
    batch.insert(S("items"), list);
    serveCatalogue({feed(S("a")), feed(S("b"))}, batch, orbs({orb(S("o1"), {S("tech")})}));
    makeStore();
    startAndSettle();
    const QDateTime fetchedAt = time.now();
    ASSERT_EQ(store->items().at(1).publishedAt->time().msec(), 750);
    EXPECT_EQ(snapshot().keys(), (QStringList{S("cachedAt"), S("feeds"), S("items"), S("orbs"), S("topics")}));

    // Later refreshes whose items fail save the same data with the time it
    // was fetched, not the time of the save.
    server.route(S("/v1_items_batch"), R::withStatus(404));
    time.advanceSeconds(300);
    ASSERT_TRUE(waitForRefreshes(2));
    EXPECT_EQ(snapshot().value(S("cachedAt")).toString(), fetchedAt.toString(Qt::ISODate));

    Gate& never = gate();
    for (const char* path : {"v1_manifest", "v1_items_batch", "v1_orbs", "v1_weather"})
        serveGated(S(path), never, R::withStatus(500));
    time.advanceSeconds(60);
    restart();
    EXPECT_FALSE(store->lastUpdatedText());  // nothing is read before start()
    store->start();
    EXPECT_EQ(state(), S("Running | Live | a1 b1"));
    EXPECT_EQ(store->items().at(1).publishedAt, QDateTime(QDate(2026, 1, 15), QTime(12, 8), Qt::UTC))
        << "dates come back without fractional seconds";
    EXPECT_EQ(std::tuple(store->feeds().size(), store->topics().size()), std::tuple(2, 1));
    ASSERT_EQ(store->orbs().size(), 1);
    EXPECT_EQ(store->orbs().first().categorySlugs, QStringList{S("tech")});
    EXPECT_EQ(store->lastUpdated(), fetchedAt);
    // The age of the data, in words: six minutes, then two hours.
    const auto says = [&](const char* number, const char* unit) {
        const QString text = store->lastUpdatedText().value_or(QString());
        return text.contains(S(number)) && text.contains(S(unit)) ? testing::AssertionSuccess()
                                                                  : testing::AssertionFailure() << text.toStdString();
    };
    EXPECT_TRUE(says("6", "min"));
    time.advanceSeconds(2 * 3600 - 360);
    EXPECT_TRUE(says("2", "hr"));
    // Not in the snapshot.
    EXPECT_FALSE(store->currentWeather());
    EXPECT_TRUE(store->pillars().isEmpty());
    store->stop();
    never.open();
}

TEST_F(FeedStoreSnapshot, UnreadableSnapshotsAreIgnoredAndOneWithoutItemsRestoresOnlyTheCatalogue)
{
    const QJsonObject good{{S("topics"), QJsonArray{}}, {S("feeds"), QJsonArray{feed(S("a"))}}, {S("orbs"), QJsonArray{orb(S("o1"))}},
                           {S("items"), items(S("x1")).value(S("items"))}, {S("cachedAt"), S("2026-01-10T08:00:00Z")}};
    const auto with = [&](const char* key, const QJsonValue& value) {
        QJsonObject o = good;
        value.isUndefined() ? o.remove(S(key)) : void(o.insert(S(key), value));
        return o;
    };
    // {case, stored, feeds and orbs restored}
    const std::tuple<const char*, QJsonValue, int> cases[] = {
        {"text, not an object", S("{not json"), 0}, {"without cachedAt", with("cachedAt", QJsonValue::Undefined), 0},
        {"without feeds", with("feeds", QJsonValue::Undefined), 0}, {"unreadable date", with("cachedAt", S("yesterday")), 0},
        {"item without id", with("items", QJsonArray{QJsonObject{{S("title"), S("no id")}}}), 0},
        {"no items", with("items", QJsonArray{}), 1},
    };
    serveCatalogue({feed(S("a"))}, items(S("a1@9")));
    for (const auto& [name, stored, restored] : cases) {
        SCOPED_TRACE(name);
        defaults->caches().set(FeedStore::SnapshotKey, stored);
        makeStore();
        store->start();
        EXPECT_EQ(state(), S("Booting | ") + kConnecting + S(" | "));
        EXPECT_EQ(std::tuple(store->feeds().size(), store->orbs().size()), std::tuple(restored, restored));
        ASSERT_TRUE(waitForRefreshes(1));
        EXPECT_EQ(snapshot().value(S("items")).toArray().size(), 1);
        store.reset();
    }
}

class FeedStoreSelection : public StoreTest {
protected:
    // Lets the debounce run out and waits for its items request.
    void debounce(int expectedItemRequests)
    {
        time.advanceSeconds(0.3);
        ASSERT_TRUE(waitUntil([&] { return requests("v1_items_batch") == expectedItemRequests; }));
        drain(50);
    }
    QString lastItemsQuery(const char* key) const { return requestsFor("v1_items_batch").last().query.queryItemValue(S(key)); }
};

TEST_F(FeedStoreSelection, SelectionIsWrittenAtEveryChangeAndReadAfterARestart)
{
    defaults->set(FeedSelection::LegacyActiveCuratedKey, S("pulse"));
    startWith({feed(S("a")), feed(S("b")), feed(S("c"))});
    EXPECT_EQ(store->activeCuratedIDs(), QSet<QString>{S("pulse")});
    EXPECT_EQ(lastItemsQuery("since_minutes"), S("120"));

    store->toggleFeed(S("c"));
    store->toggleFeed(S("b"));
    EXPECT_EQ(defaults->stringValue(FeedSelection::DisabledKey), S("b,c"));
    EXPECT_TRUE(store->activeCuratedIDs().isEmpty());  // a manual change ends the curated selection
    EXPECT_FALSE(defaults->contains(FeedSelection::ActiveCuratedKey) || defaults->contains(FeedSelection::LegacyActiveCuratedKey));
    debounce(2);
    EXPECT_EQ(lastItemsQuery("feed_ids"), S("a"));
    EXPECT_FALSE(requestsFor("v1_items_batch").last().query.hasQueryItem(S("since_minutes")));

    restart();
    EXPECT_EQ(store->disabledIDs(), (QSet<QString>{S("b"), S("c")}));
    EXPECT_TRUE(store->activeCuratedIDs().isEmpty());
}

TEST_F(FeedStoreSelection, AtMostOneHundredFeedsInCatalogueOrder)
{
    QList<QJsonObject> feeds;
    for (int i = 0; i < 160; ++i)
        feeds.append(i % 16 == 15 ? feed(S("f%1").arg(i), {{S("is_active"), false}}) : feed(S("f%1").arg(i)));
    defaults->set(FeedSelection::DisabledKey, S("f0,gone"));
    startWith(feeds);
    EXPECT_EQ(store->activeFeedCount(), 160 - 10 - 1);
    const QStringList ids = store->activeFeedIDs();
    ASSERT_EQ(ids.size(), 100);
    EXPECT_EQ(ids.first(), S("f1"));
    EXPECT_FALSE(ids.contains(S("f15")));  // inactive
    EXPECT_EQ(lastItemsQuery("feed_ids"), ids.join(QLatin1Char(',')));
    EXPECT_EQ(lastItemsQuery("limit_per_feed"), S("3"));
}

TEST_F(FeedStoreSelection, CuratedSetsDecideTheFeedsAndTheWindow)
{
    makeStore();
    store->applyCuratedSelection({S("a")}, {S("pulse")});  // needs a catalogue
    EXPECT_TRUE(store->disabledIDs().isEmpty() && store->activeCuratedIDs().isEmpty());
    EXPECT_EQ(time.pendingCount(), 0);

    startWith({feed(S("a"), {{S("rank_score"), 0.5}}), feed(S("b"), {{S("rank_score"), 0.9}}),
               feed(S("c"), {{S("is_active"), false}, {S("rank_score"), 5.0}}),
               feed(S("d"))});
    struct Step {
        const char* name;
        QStringList feedIDs;
        QSet<QString> curated, disabled;
        const char* requested;
        const char* window;  // "" for none
        const char* storedCurated;  // nullptr: key removed
    };
    const Step steps[] = {
        {"pulse alone asks for two hours", {S("a"), S("d")}, {S("pulse")}, {S("b"), S("c")}, "a,d", "120", "pulse"},
        {"pulse with a pillar asks for no window", {S("b")}, {S("pulse"), S("tech")}, {S("a"), S("c"), S("d")}, "b", "", "pulse,tech"},
        {"no curated set keeps the best-ranked active feeds", {S("a")}, {}, {S("c")}, "a,b,d", "", nullptr},
    };
    int itemRequests = 1;
    for (const Step& s : steps) {
        SCOPED_TRACE(s.name);
        store->applyCuratedSelection(s.feedIDs, s.curated);
        EXPECT_EQ(store->disabledIDs(), s.disabled);
        EXPECT_EQ(store->activeCuratedIDs(), s.curated);
        EXPECT_EQ(defaults->contains(FeedSelection::ActiveCuratedKey), s.storedCurated != nullptr);
        if (s.storedCurated) {
            EXPECT_EQ(defaults->stringValue(FeedSelection::ActiveCuratedKey), S(s.storedCurated));
        }
        debounce(++itemRequests);
        EXPECT_EQ(lastItemsQuery("feed_ids") + S(" ") + lastItemsQuery("since_minutes"), S(s.requested) + S(" ") + S(s.window));
    }
}

TEST_F(FeedStoreSelection, DefaultSelectionRanksBestFirstAndKeepsCatalogueOrderForTies)
{
    makeStore();
    QList<FeedIndexItem> index;
    for (const auto& o : {feed(S("a"), {{S("rank_score"), 1.0}}), feed(S("b")), feed(S("c"), {{S("rank_score"), 2.0}}),
                          feed(S("d"), {{S("rank_score"), 1.0}}), feed(S("e"), {{S("is_active"), false}, {S("rank_score"), 9.0}}), feed(S("f"), {{S("rank_score"), -0.5}})})
        index.append(*FeedIndexItem::fromJson(o, JsonOptions{}));
    store->toggleFeed(S("c"));  // switched-off feeds are not consulted
    EXPECT_EQ(store->defaultFeedIDs(index, 10), (QStringList{S("c"), S("a"), S("d"), S("f"), S("b")}));
    EXPECT_EQ(store->defaultFeedIDs(index, 2), (QStringList{S("c"), S("a")}));
}

TEST_F(FeedStoreSelection, ChangesWithinTheDebounceMakeOneRequestAndAnEmptyListDoesNothing)
{
    startWith({feed(S("a")), feed(S("b")), feed(S("c"))});
    QSignalSpy disabled(store.get(), &FeedStore::disabledIDsChanged);
    store->setFeeds({}, false);
    EXPECT_EQ(disabled.count(), 0);
    EXPECT_EQ(time.pendingCount(), 1);  // only the heartbeat: no debounce started
    store->toggleFeed(S("a"));
    time.advanceSeconds(0.1);
    store->setFeeds({S("b"), S("c"), S("b")}, false);
    EXPECT_EQ(disabled.count(), 4);  // one notification per id
    time.advanceSeconds(0.1);
    store->toggleFeed(S("a"));
    store->toggleFeed(S("c"));
    time.advanceSeconds(0.29);
    EXPECT_EQ(settled("v1_items_batch", 100), 1);
    debounce(2);
    EXPECT_EQ(settled("v1_items_batch", 100), 2);
    EXPECT_EQ(lastItemsQuery("feed_ids"), S("a,c"));
}

TEST_F(FeedStoreSelection, SwitchingOffTheLastFeedClearsItemsAtOnce)
{
    startWith({feed(S("a")), feed(S("z"), {{S("is_active"), false}})});
    ASSERT_FALSE(store->items().isEmpty());
    store->toggleFeed(S("a"));
    EXPECT_EQ(state(), S("Running | No active feeds | "));
    time.advanceSeconds(0.3);
    ASSERT_TRUE(waitUntil([&] { return store->statusMessage() == S("No active feeds found"); }));
    EXPECT_EQ(requests("v1_items_batch"), 1);  // nothing to ask for
    EXPECT_TRUE(store->phase().isRunning());
}

struct UpdateCase {
    const char* name;
    const char* version;  // nullptr: no release in the manifest
    const char* url;
    const char* dismissed;  // nullptr: nothing dismissed
    bool offered;
};

void PrintTo(const UpdateCase& c, std::ostream* os) { *os << c.name; }

class UpdateOffer : public FeedStoreSelection, public ::testing::WithParamInterface<UpdateCase> {};

TEST_P(UpdateOffer, NewerUndismissedReleasesWithAWebLinkAreOfferedUntilDismissedOrWithdrawn)
{
    const UpdateCase& c = GetParam();
    if (c.dismissed)
        defaults->set(FeedSelection::DismissedReleaseKey, S(c.dismissed));
    startWith({feed(S("a"))}, S("a1@5"), {}, c.version ? QJsonValue(release(S(c.version), S(c.url))) : QJsonValue());
    EXPECT_EQ(store->availableUpdate().has_value(), c.offered);
    if (!c.offered) {
        store->dismissUpdate();  // nothing offered: nothing written
        const QString key = FeedSelection::DismissedReleaseKey;
        EXPECT_EQ(defaults->contains(key) ? defaults->stringValue(key) : S("absent"), c.dismissed ? S(c.dismissed) : S("absent"));
        return;
    }
    EXPECT_EQ(store->availableUpdate()->version, S(c.version));
    // A manifest without a release withdraws the offer; its return brings it back.
    server.route(S("/v1_manifest"), R::json(bytes(manifest({feed(S("a"))}))));
    time.advanceSeconds(300);
    ASSERT_TRUE(waitForRefreshes(2));
    EXPECT_FALSE(store->availableUpdate());
    server.route(S("/v1_manifest"), R::json(bytes(manifest({feed(S("a"))}, release(S(c.version), S(c.url))))));
    time.advanceSeconds(300);
    ASSERT_TRUE(waitForRefreshes(3));
    ASSERT_TRUE(store->availableUpdate());
    store->dismissUpdate();
    EXPECT_FALSE(store->availableUpdate());
    EXPECT_EQ(defaults->stringValue(FeedSelection::DismissedReleaseKey), S(c.version));
    // The same release stays hidden at the next refresh.
    time.advanceSeconds(300);
    ASSERT_TRUE(waitForRefreshes(4));
    EXPECT_FALSE(store->availableUpdate());
}

// The running version is 1.4.
INSTANTIATE_TEST_SUITE_P(Cases, UpdateOffer, ::testing::Values(
    UpdateCase{"newer", "1.5", "https://example.com/get", nullptr, true},
    UpdateCase{"same version", "1.4.0", "https://example.com/get", nullptr, false},
    UpdateCase{"older", "1.3.9", "https://example.com/get", nullptr, false},
    UpdateCase{"dismissed", "1.5", "https://example.com/get", "1.5", false},
    UpdateCase{"newer than the dismissed one", "1.6", "HTTPS://example.com/get", "1.5", true},
    UpdateCase{"not a web link", "1.5", "ftp://example.com/get", nullptr, false},
    UpdateCase{"no release", nullptr, "", nullptr, false}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

FeedItem personalItem(const QString& id, int minutes)
{
    return FeedItem{id, S("Mine ") + id, {}, QDateTime(QDate(2026, 1, 15), QTime(12, 0), Qt::UTC).addSecs(60 * minutes), {}, {}};
}

// An artist's bundle whose corpus items are "<artist>1".."<artist>N".
QByteArray bundleFor(const QString& artist, int count, const QString& artwork = {})
{
    QJsonArray corpus;
    for (int i = 1; i <= count; ++i)
        corpus.append(QJsonObject{{S("title"), S("Story ") + artist}, {S("url"), artist + QString::number(i)}});
    QJsonObject o{{S("artist"), QJsonObject{{S("name"), artist}}}, {S("links"), QJsonArray{}},
                  {S("streams"), QJsonObject{{S("corpus"), corpus}, {S("news"), QJsonArray{}}, {S("videos"), QJsonArray{}}}}};
    if (!artwork.isEmpty())
        o.insert(S("artwork"), artwork);
    return bytes(o);
}

using FeedStoreComposition = StoreTest;

TEST_F(FeedStoreComposition, TickerItemsFollowFocusMusicAndTheBlendSetting)
{
    startWith({feed(S("a"), {{S("category"), category(S("tech"))}})}, S("c1@9 c2@5 c3@1"), {orb(S("o1"), {S("tech")})});
    QSignalSpy ticker(store.get(), &FeedStore::tickerItemsChanged);
    personal.handler({personalItem(S("p1"), 7), personalItem(S("p2"), 5)});
    EXPECT_EQ(ids(store->tickerItems()), S("c1 p1 c2 p2 c3"));
    EXPECT_EQ(ticker.count(), 1);

    // A track set but its lane still empty: the merged list.
    Gate& lane = gate();
    serveGated(S("v1_nowplaying"), lane, R::json(bundleFor(S("m"), 2)));
    store->setNowPlaying(S("Artist"), S("Song"), QUrl(S("https://art/1.jpg")));
    EXPECT_EQ(ids(store->tickerItems()), S("c1 p1 c2 p2 c3"));
    lane.open();
    ASSERT_TRUE(waitUntil([&] { return !store->nowPlayingItems().isEmpty(); }));
    // Blend off: the lane replaces the feeds.
    EXPECT_EQ(ids(store->tickerItems()), S("np-m1 np-m2"));
    ticker.clear();
    defaults->set(FeedStore::MusicBlendKey, true);
    EXPECT_EQ(ticker.count(), 1);
    EXPECT_EQ(ids(store->tickerItems()), S("np-m1 c1 p1 np-m2 c2 p2 c3"));

    // A focused topic with items hides the music too.
    store->focusTopic(S("o1"));
    ASSERT_TRUE(waitUntil([&] { return !store->focusedItems().isEmpty(); }));
    EXPECT_EQ(ids(store->tickerItems()), S("c1 c2 c3"));
    // The strip leaving the focus.
    store->setFocusedTopicID(std::nullopt);
    store->setFocusedItems({});
    EXPECT_EQ(ids(store->tickerItems()), S("np-m1 c1 p1 np-m2 c2 p2 c3"));
}

TEST_F(FeedStoreComposition, FocusAsksTheTopicsBestFeedsAndTogglesOnASecondTap)
{
    const auto inCategory = [](const char* id, const char* slug, QJsonObject extra = {}) {
        extra.insert(S("category"), category(S(slug)));
        return feed(S(id), extra);
    };
    QList<QJsonObject> feeds{inCategory("low", "Tech", {{S("items_30d"), 1}}), inCategory("off", "tech", {{S("is_active"), false}, {S("items_30d"), 99}}),
                             inCategory("none", "TECH"), inCategory("high", "science", {{S("items_30d"), 50}}),
                             inCategory("other", "sport", {{S("items_30d"), 70}}), feed(S("bare"), {{S("items_30d"), 80}}),
                             inCategory("tie", "tech", {{S("items_30d"), 1}})};
    for (int i = 0; i < 25; ++i)
        feeds.append(inCategory(qPrintable(S("bulk%1").arg(i)), "science", {{S("items_30d"), 10}}));
    startWith(feeds, S("c1@1"), {orb(S("o1"), {S("TECH"), S("Science"), S("")}), orb(S("empty")), orb(S("o2"), {S("sport")})});
    store->toggleFeed(S("high"));  // the user's switched-off feeds still count here

    const QStringList ids = store->focusFeedIDs(S("o1"));
    ASSERT_EQ(ids.size(), 20);
    EXPECT_EQ(ids.mid(0, 2), (QStringList{S("high"), S("bulk0")}));
    EXPECT_FALSE(ids.contains(S("off")) || ids.contains(S("other")) || ids.contains(S("bare")));
    EXPECT_TRUE(store->focusFeedIDs(S("empty")).isEmpty());
    EXPECT_TRUE(store->focusFeedIDs(S("missing")).isEmpty());

    server.route(S("/v1_items_batch"), R::json(bytes(items(S("f1@1 f2@2")))));
    const int before = requests("v1_items_batch");
    store->focusTopic(S("o1"));
    EXPECT_EQ(store->focusedOrb()->id, S("o1"));
    ASSERT_TRUE(waitUntil([&] { return !store->focusedItems().isEmpty(); }));
    EXPECT_EQ(catalogue::ids(store->focusedItems()), S("f1 f2"));  // server order
    const QUrlQuery query = requestsFor("v1_items_batch").last().query;
    EXPECT_EQ(query.queryItemValue(S("feed_ids")), ids.join(QLatin1Char(',')));
    EXPECT_EQ(query.queryItemValue(S("limit_per_feed")), S("10"));
    EXPECT_FALSE(query.hasQueryItem(S("since_minutes")));

    store->focusTopic(S("o1"));  // second tap leaves the focus
    EXPECT_FALSE(store->focusedTopicID() || store->focusedOrb() || !store->focusedItems().isEmpty());
    store->focusTopic(S("empty"));  // no matching feeds: no request
    EXPECT_EQ(settled("v1_items_batch", 100), before + 1);
    EXPECT_EQ(store->focusedTopicID(), S("empty"));

    // A late reply for another topic changes nothing.
    Gate& slow = gate();
    server.handle(S("/v1_items_batch"), [&slow](const LoopbackServer::Request& r) {
        const bool sport = r.query.queryItemValue(S("feed_ids")) == S("other");
        if (!sport)
            slow.wait();
        return R::json(bytes(items(sport ? S("sport1@1") : S("tech1@1"))));
    });
    store->focusTopic(S("o1"));
    ASSERT_TRUE(waitUntil([&] { return requests("v1_items_batch") == before + 2; }));
    store->focusTopic(S("o2"));
    ASSERT_TRUE(waitUntil([&] { return !store->focusedItems().isEmpty(); }));
    slow.open();
    drain();
    EXPECT_EQ(catalogue::ids(store->focusedItems()), S("sport1"));
}

TEST_F(FeedStoreComposition, RefocusingShowsItemsAgainOnNotModifiedAndAFailedFetchKeepsTheMergedList)
{
    serveCatalogue({feed(S("a"), {{S("category"), category(S("tech"))}})}, items(S("c1@1")), orbs({orb(S("o1"), {S("tech")})}));
    serveWithETag(S("v1_items_batch"), [](const LoopbackServer::Request& r) {
        return bytes(items(r.query.queryItemValue(S("limit_per_feed")) == S("10") ? S("f1@1") : S("c1@1")));
    });
    LogCapture log;
    makeStore();
    startAndSettle();
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        store->focusTopic(S("o1"));
        ASSERT_TRUE(waitUntil([&] { return !store->focusedItems().isEmpty(); }));
        EXPECT_EQ(ids(store->focusedItems()), S("f1"));
        store->focusTopic(S("o1"));
    }
    EXPECT_TRUE(revalidated("v1_items_batch"));
    EXPECT_FALSE(log.anyContains(S("focused items fetch failed")));

    server.route(S("/v1_items_batch"), R::withStatus(404));
    store->focusTopic(S("o1"));
    ASSERT_TRUE(waitUntil([&] { return log.anyContains(S("focused items fetch failed: ")); }));
    EXPECT_TRUE(store->focusedItems().isEmpty());
    EXPECT_EQ(ids(store->tickerItems()), S("c1"));
}

class RefreshOrder : public StoreTest, public ::testing::WithParamInterface<std::vector<const char*>> {};

TEST_P(RefreshOrder, IsManifestItemsOrbsWeatherSnapshotWhateverTheReplyOrder)
{
    const QHash<QString, QByteArray> bodies{{S("v1_manifest"), bytes(manifest({feed(S("a"))}))}, {S("v1_items_batch"), bytes(items(S("a1@1")))},
                                            {S("v1_orbs"), bytes(orbs({orb(S("o1"))}))}, {S("v1_weather"), bytes(weather(S("Cork")))}};
    QHash<QString, Gate*> gates;
    for (auto it = bodies.cbegin(); it != bodies.cend(); ++it)
        serveGated(it.key(), *(gates[it.key()] = &gate()), R::json(it.value()));
    makeStore();
    QStringList applied;
    QObject::connect(store.get(), &FeedStore::topicsChanged, [&] { applied << S("manifest"); });
    QObject::connect(store.get(), &FeedStore::itemsChanged, [&] { applied << S("items"); });
    QObject::connect(store.get(), &FeedStore::orbsChanged, [&] { applied << S("orbs"); });
    QObject::connect(store.get(), &FeedStore::currentWeatherChanged, [&] { applied << S("weather"); });
    QObject::connect(&defaults->caches(), &CacheFiles::changed, [&](const QString& key) {
        if (key == FeedStore::SnapshotKey)
            applied << S("snapshot");
    });
    store->start();
    // The three reads go out together, before any answer and before the items request.
    ASSERT_TRUE(waitUntil([&] { return requests("v1_manifest") == 1 && requests("v1_orbs") == 1 && requests("v1_weather") == 1; }));
    EXPECT_EQ(requests("v1_items_batch"), 0);
    for (const char* path : GetParam()) {
        // The items request goes out only once the manifest is applied.
        if (S(path) != S("v1_items_batch") || applied.contains(S("manifest"))) {
            ASSERT_TRUE(waitUntil([&] { return requests(path) == 1; })) << path;
        }
        gates.value(S(path))->open();
        drain(50);
    }
    ASSERT_TRUE(waitForRefreshes(1));
    EXPECT_EQ(applied.join(S(" ")), S("manifest items orbs weather snapshot"));
    ASSERT_EQ(server.requests().size(), 4);
    EXPECT_EQ(server.requests().last().path, S("/v1_items_batch"));
}

INSTANTIATE_TEST_SUITE_P(Cases, RefreshOrder, ::testing::Values(
    std::vector<const char*>{"v1_weather", "v1_orbs", "v1_manifest", "v1_items_batch"},
    std::vector<const char*>{"v1_orbs", "v1_manifest", "v1_items_batch", "v1_weather"},
    std::vector<const char*>{"v1_manifest", "v1_items_batch", "v1_orbs", "v1_weather"}));

using FeedStoreRefresh = StoreTest;

TEST_F(FeedStoreRefresh, FailuresWhileItemsAreLoadedKeepTheLastDataAndChangeNeitherPhaseNorStatus)
{
    storeSnapshot({feed(S("a")), feed(S("b"))}, S("x1@5"));
    serveCatalogue({}, items(S("a1@9 b1@8")), orbs({orb(S("o2"))}));
    server.route(S("/v1_manifest"), R::withStatus(404));
    LogCapture log;
    makeStore();
    startAndSettle();
    // The catalogue from the snapshot serves the items request.
    EXPECT_TRUE(log.anyContains(S("manifest fetch failed: ")));
    EXPECT_EQ(store->feeds().size(), 2);
    EXPECT_EQ(requestsFor("v1_items_batch").first().query.queryItemValue(S("feed_ids")), S("a,b"));
    EXPECT_EQ(state(), S("Running | Live | a1 b1"));

    for (const char* path : {"/v1_items_batch", "/v1_orbs", "/v1_weather"})
        server.route(S(path), R::withStatus(404));
    QSignalSpy weatherSpy(store.get(), &FeedStore::currentWeatherChanged);
    time.advanceSeconds(300);
    ASSERT_TRUE(waitForRefreshes(2));
    EXPECT_TRUE(log.anyContains(S("items fetch failed: ")) && log.anyContains(S("orbs fetch failed: ")));
    EXPECT_EQ(state(), S("Running | Live | a1 b1"));
    ASSERT_EQ(store->orbs().size(), 1);
    EXPECT_EQ(store->orbs().first().id, S("o2"));
    // A failed weather reading keeps the last one and still notifies.
    EXPECT_EQ(weatherSpy.count(), 1);
    ASSERT_TRUE(store->currentWeather());
    EXPECT_EQ(store->currentWeather()->city, S("Dublin"));

    // An items-only refresh after a selection change saves the snapshot even when it fails.
    defaults->caches().set(FeedStore::SnapshotKey, QJsonValue());
    store->toggleFeed(S("b"));
    time.advanceSeconds(0.3);
    ASSERT_TRUE(waitUntil([&] { return defaults->caches().contains(FeedStore::SnapshotKey); }));
    EXPECT_EQ(state(), S("Running | Live | a1 b1"));
}

TEST_F(FeedStoreRefresh, NotModifiedAppliesTheRememberedBatchWhenSwitchingBack)
{
    serveCatalogue({feed(S("a")), feed(S("b"))}, {});
    serveWithETag(S("v1_items_batch"), [](const LoopbackServer::Request& r) {
        return bytes(items(r.query.queryItemValue(S("feed_ids")) == S("a") ? S("a1@5") : S("a1@5 b1@4")));
    });
    makeStore();
    startAndSettle();
    const auto fetchedAt = store->lastUpdated();
    ASSERT_EQ(ids(store->items()), S("a1 b1"));
    const auto switchTo = [&](int expectedRequests) {
        time.advanceSeconds(60);
        store->toggleFeed(S("b"));
        time.advanceSeconds(0.3);
        ASSERT_TRUE(waitUntil([&] { return requests("v1_items_batch") == expectedRequests; }));
        drain(100);
    };
    switchTo(2);  // b off: a fresh batch for "a"
    EXPECT_EQ(ids(store->items()), S("a1"));
    switchTo(3);  // b on again: the server answers 304 for "a,b"
    EXPECT_TRUE(revalidated("v1_items_batch"));
    EXPECT_EQ(state(), S("Running | Live | a1 b1"));
    // Nothing new arrived: the time of the last fetch stays that of the "a" batch.
    ASSERT_TRUE(fetchedAt);
    EXPECT_EQ(store->lastUpdated(), fetchedAt->addMSecs(60300));
}

TEST_F(FeedStoreRefresh, NotModifiedWithoutARememberedBodyKeepsEverythingAndSaves)
{
    storeSnapshot({feed(S("a"))}, S("x1@5"));
    for (const char* path : {"/v1_manifest", "/v1_items_batch", "/v1_orbs", "/v1_weather"})
        server.route(S(path), R::withStatus(304));
    LogCapture log;
    makeStore();
    startAndSettle();
    EXPECT_EQ(state(), S("Running | Live | x1"));
    EXPECT_EQ(store->feeds().size(), 1);
    EXPECT_TRUE(defaults->caches().contains(FeedStore::SnapshotKey));
    EXPECT_FALSE(log.anyContains(S("failed")));
}

TEST_F(FeedStoreRefresh, AnOlderItemsReplyNeverBringsBackSwitchedOffFeeds)
{
    serveCatalogue({feed(S("a")), feed(S("b"))}, {});
    Gate& slow = gate();
    server.handle(S("/v1_items_batch"), [&slow](const LoopbackServer::Request& r) {
        const bool both = r.query.queryItemValue(S("feed_ids")) == S("a,b");
        if (both)
            slow.wait();
        return R::json(bytes(items(both ? S("a1@5 b1@4") : S("a1@5"))));
    });
    makeStore();
    store->start();
    ASSERT_TRUE(waitUntil([&] { return requests("v1_items_batch") == 1; }));
    store->toggleFeed(S("b"));
    time.advanceSeconds(0.3);
    ASSERT_TRUE(waitUntil([&] { return ids(store->items()) == S("a1"); }));
    slow.open();
    ASSERT_TRUE(waitForRefreshes(1));
    drain(100);
    EXPECT_EQ(ids(store->items()), S("a1"));
    // The snapshot holds the newest data too.
    const QJsonArray saved = snapshot().value(S("items")).toArray();
    ASSERT_EQ(saved.size(), 1);
    EXPECT_EQ(saved.first().toObject().value(S("item_id")).toString(), S("a1"));
}

TEST_F(FeedStoreRefresh, WeatherFollowsTheStoredCityKeepsTheLastReadingAndTheNewestAsk)
{
    serveCatalogue({feed(S("a"))}, items(S("a1@1")));
    // Revalidated: a city asked for again is answered 304.
    serveWithETag(S("v1_weather"), [](const LoopbackServer::Request& r) {
        const QString city = r.query.queryItemValue(S("city"), QUrl::FullyDecoded);
        return city == S("Nowhere") ? QByteArray() : bytes(weather(city));
    });
    makeStore();
    startAndSettle();
    ASSERT_TRUE(store->currentWeather());
    EXPECT_EQ(store->currentWeather()->city, S("Dublin"));  // no city stored
    // {stored city, shown city}
    for (const auto& [city, shown] : {std::pair{"Cork", "Cork"}, {"Nowhere", "Cork"}, {"Dublin", "Dublin"}, {"Cork", "Cork"}}) {
        SCOPED_TRACE(city);
        const int writes = weatherWrites;
        defaults->set(FeedStore::WeatherCityKey, S(city));
        store->refreshWeather();
        ASSERT_TRUE(waitUntil([&] { return weatherWrites == writes + 1; }));
        EXPECT_EQ(store->currentWeather()->city, S(shown));
    }
    EXPECT_TRUE(revalidated("v1_weather"));

    // An answer for a city asked for earlier does not replace a newer one.
    Gate& slow = gate();
    server.handle(S("/v1_weather"), [&slow](const LoopbackServer::Request& r) {
        const QString city = r.query.queryItemValue(S("city"), QUrl::FullyDecoded);
        if (city != S("Galway"))
            slow.wait();
        return R::json(bytes(weather(city)));
    });
    const int before = requests("v1_weather");
    defaults->set(FeedStore::WeatherCityKey, S("Cork"));
    store->refreshWeather();
    ASSERT_TRUE(waitUntil([&] { return requests("v1_weather") == before + 1; }));
    defaults->set(FeedStore::WeatherCityKey, S("Galway"));
    store->refreshWeather();
    ASSERT_TRUE(waitUntil([&] { return store->currentWeather()->city == S("Galway"); }));
    slow.open();
    drain();
    EXPECT_EQ(store->currentWeather()->city, S("Galway"));
}

QByteArray artworkReply(const QString& name)
{
    return bytes(QJsonObject{{S("results"), QJsonArray{QJsonObject{{S("artworkUrl100"), S("https://art/") + name + S("/100x100.jpg")}}}}});
}

class FeedStoreNowPlaying : public StoreTest {
protected:
    FeedStoreNowPlaying()
    {
        // Bundles per artist, revalidated with ETags; artwork named after the track.
        serveWithETag(S("v1_nowplaying"), [](const LoopbackServer::Request& r) {
            const QString artist = r.query.queryItemValue(S("artist"), QUrl::FullyDecoded);
            return bundleFor(artist, 4, S("https://bundle/") + artist + S(".jpg"));
        });
        server.handle(S("/search"), [](const LoopbackServer::Request& r) {
            return R::json(artworkReply(r.query.queryItemValue(S("term"), QUrl::FullyDecoded).section(QLatin1Char(' '), -1)));
        });
        makeStore();
    }
    void play(const char* artist, const char* track, std::optional<QUrl> art = std::nullopt) { store->setNowPlaying(S(artist), S(track), art); }
    bool laneIs(const char* expected) { return waitUntil([&] { return ids(store->nowPlayingItems()) == S(expected); }); }
    bool artworkIs(const char* url) { return waitUntil([&] { return store->nowPlayingArtworkURL() == QUrl(S(url)); }); }
    QString bundleArtists() const
    {
        QStringList out;
        for (const auto& b : store->recentBundles())
            out.append(b.artist);
        return out.join(QLatin1Char(' '));
    }
    // The artist's bundle is served once `slow` opens; the others at once.
    void holdBack(const char* path, const char* key, const char* value, Gate& slow, const std::function<QByteArray(const QString&)>& body)
    {
        server.handle(S("/") + S(path), [=, &slow](const LoopbackServer::Request& r) {
            const QString v = r.query.queryItemValue(S(key), QUrl::FullyDecoded).section(QLatin1Char(' '), -1);
            if (v == S(value))
                slow.wait();
            return R::json(body(v));
        });
    }
};

TEST_F(FeedStoreNowPlaying, ATrackFetchesItsArtistsBundleAndArtwork)
{
    LogCapture log;
    play("A", "Song");
    EXPECT_EQ(store->nowPlaying(), (FeedStore::NowPlayingTrack{S("A"), S("Song")}));
    ASSERT_TRUE(laneIs("np-A1 np-A2 np-A3 np-A4"));
    const FeedItem first = store->nowPlayingItems().first();
    ASSERT_TRUE(first.source);
    EXPECT_EQ(first.source->id + S(" ") + first.source->title.value_or(S("-")) + S(" ") + first.url.value_or(S("-")), S("np-corpus A A1"));
    ASSERT_TRUE(waitUntil([&] { return store->nowPlayingArtworkURL().has_value(); }));
    EXPECT_EQ(requestsFor("v1_nowplaying").first().query.queryItemValue(S("track"), QUrl::FullyDecoded), S("Song"));
    EXPECT_TRUE(log.anyContains(S("np: set Song — A (prev nil, items 0)")));
    EXPECT_TRUE(log.anyContains(S("np: loaded bundle for A — blend now 4 items over 1 artist(s)")));
}

TEST_F(FeedStoreNowPlaying, RepeatsAndNewTracksAskOnlyForWhatChangedAndTheLastThreeArtistsStay)
{
    play("A", "One");
    ASSERT_TRUE(laneIs("np-A1 np-A2 np-A3 np-A4"));
    ASSERT_TRUE(artworkIs("https://art/One/600x600.jpg"));
    struct Step {
        const char* artist;
        const char* track;
        int lookups, fetches;
        const char* artists;
    };
    const Step steps[] = {
        {"A", "One", 1, 1, "A"},    // same artist and track again
        {"A", "Two", 2, 1, "A"},    // new track of the same artist
        {"B", "Three", 3, 2, "B A"},  // new artist
        {"A", "Four", 4, 2, "A B"},   // back to a cached artist
        {"C", "Five", 5, 3, "C A B"}, {"D", "Six", 6, 4, "D C A"},
        {"B", "Seven", 7, 5, "B D C"},  // dropped: fetched again
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.track);
        play(s.artist, s.track);
        ASSERT_TRUE(waitUntil([&] { return requests("search") == s.lookups && requests("v1_nowplaying") == s.fetches && bundleArtists() == S(s.artists); }))
            << requests("search") << " " << requests("v1_nowplaying") << " " << bundleArtists().toStdString();
        drain(100);
        EXPECT_EQ(std::tuple(requests("search"), requests("v1_nowplaying")), std::tuple(s.lookups, s.fetches));
        if (S(s.track) == S("Four")) {  // A is back in front: three of A's, then two of B's.
            EXPECT_EQ(ids(store->nowPlayingItems()), S("np-A1 np-A2 np-A3 np-B1 np-B2 np-A4 np-B3 np-B4"));
        }
    }
    EXPECT_EQ(ids(store->nowPlayingItems()), S("np-B1 np-B2 np-B3 np-D1 np-D2 np-C1 np-B4 np-D3 np-D4 np-C2 np-C3 np-C4"));
}

TEST_F(FeedStoreNowPlaying, StreamsInterleaveOnePerPassAndShowAStoryOnce)
{
    NowPlayingResponse response;
    response.artist.name = S("Artist");
    const auto entries = [](const QStringList& urls) {
        QList<NowPlayingResponse::StreamItem> out;
        for (const auto& u : urls)
            out.append(NowPlayingResponse::StreamItem{S("T ") + u, u, {}, {}, {}});
        return out;
    };
    response.streams.corpus = entries({S("c1"), S("c2"), S("shared")});
    response.streams.news = entries({S("shared"), S("n2")});
    response.streams.videos = entries({S("v1")});
    response.streams.social = entries({S("s1"), S("s2"), S("s3"), S("s4")});
    response.streams.social->first().source = S("Forum");
    const QList<FeedItem> lane = FeedStore::interleaveStreams(response);
    EXPECT_EQ(ids(lane), S("np-c1 np-shared np-v1 np-s1 np-c2 np-n2 np-s2 np-s3 np-s4"));
    // The shared story is first seen in the news pass.
    EXPECT_EQ(lane.at(1).source->id + S(" ") + lane.at(2).source->id + S(" ") + lane.at(3).source->id + S(" ") + *lane.at(3).source->title,
              S("np-news np-video np-social Forum"));
    EXPECT_TRUE(FeedStore::interleaveStreams(NowPlayingResponse{}).isEmpty());
}

TEST_F(FeedStoreNowPlaying, PausesClearAfterTheirTimeUnlessMusicResumes)
{
    store->pauseNowPlaying(30);  // nothing plays: nothing to clear
    EXPECT_FALSE(store->hasPendingClear());
    EXPECT_EQ(time.pendingCount(), 0);
    struct Case {
        const char* name;
        QList<std::pair<double, const char*>> events;  // seconds from start: "pause" or "play"
        double clearedAt;  // -1: never within 120 s
    };
    const Case cases[] = {
        {"clears after 30 seconds", {{0, "pause"}}, 30},
        {"a second pause does not restart the timer", {{0, "pause"}, {10, "pause"}}, 30},
        {"a new track within the time cancels the clear", {{0, "pause"}, {20, "play"}}, -1},
        {"a pause after resuming starts a new timer", {{0, "pause"}, {20, "play"}, {25, "pause"}}, 55},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        makeStore();
        play("A", "Song");
        ASSERT_TRUE(laneIs("np-A1 np-A2 np-A3 np-A4"));
        const QDateTime start = time.now();
        const auto advanceTo = [&](double seconds) {
            time.advance(std::chrono::milliseconds(time.now().msecsTo(start.addMSecs(qint64(seconds * 1000)))));
        };
        for (const auto& [at, what] : c.events) {
            advanceTo(at);
            QByteArray(what) == "pause" ? store->pauseNowPlaying(30) : play("A", "Other");
        }
        for (int second = 1; second <= 120 && store->nowPlaying(); ++second)
            advanceTo(second);
        EXPECT_EQ(store->nowPlaying().has_value(), c.clearedAt < 0);
        EXPECT_FALSE(store->hasPendingClear());
        if (c.clearedAt >= 0) {
            EXPECT_EQ(start.secsTo(time.now()), qint64(c.clearedAt));
            EXPECT_TRUE(store->nowPlayingItems().isEmpty() && store->recentBundles().isEmpty() && !store->nowPlayingArtworkURL());
        }
    }
}

TEST_F(FeedStoreNowPlaying, ATimedOutBundleRequestIsRetriedOnceThenLoggedAsAFailure)
{
    // {first reply's delay, lane}: a slow first answer is retried; two slow ones fail.
    // The timeout leaves room for a loaded machine (sanitizer builds, two cores).
    for (const auto& [firstDelay, secondDelay, lane] : {std::tuple{4000, 0, "np-A1 np-A2"}, {2000, 2000, ""}}) {
        SCOPED_TRACE(firstDelay);
        FeedAPIConfig config = FeedAPIConfig::standard();
        config.timeout = std::chrono::milliseconds(800);
        makeStore(config);
        auto calls = std::make_shared<std::atomic<int>>(0);
        server.handle(S("/v1_nowplaying"), [calls, first = firstDelay, second = secondDelay](const LoopbackServer::Request&) {
            R reply = R::json(bundleFor(S("A"), 2));
            reply.delay = std::chrono::milliseconds(calls->fetch_add(1) == 0 ? first : second);
            return reply;
        });
        LogCapture log;
        play("A", "Song", QUrl(S("https://mic/art.jpg")));
        ASSERT_TRUE(waitUntil([&] { return !store->nowPlayingItems().isEmpty() || log.anyContains(S("now-playing fetch failed: ")); }));
        EXPECT_EQ(ids(store->nowPlayingItems()), S(lane));
        EXPECT_EQ(calls->load(), 2);
        EXPECT_TRUE(log.anyContains(S("now-playing fetch timed out, retrying once")));
        EXPECT_EQ(log.anyContains(S("now-playing fetch failed")), S(lane).isEmpty());
        // A microphone match brings its own artwork: no lookup, the bundle's is unused.
        EXPECT_EQ(requests("search"), 0);
        EXPECT_EQ(store->nowPlayingArtworkURL(), QUrl(S("https://mic/art.jpg")));
        store.reset();
    }
}

TEST_F(FeedStoreNowPlaying, LateAnswersForAnEarlierTrackOrArtistAreDropped)
{
    Gate& slowArt = gate();
    holdBack("search", "term", "One", slowArt, [](const QString& track) { return artworkReply(track); });
    Gate& slowBundle = gate();
    holdBack("v1_nowplaying", "artist", "A", slowBundle, [](const QString& artist) { return bundleFor(artist, 2); });
    play("A", "One");
    ASSERT_TRUE(waitUntil([&] { return requests("search") == 1 && requests("v1_nowplaying") == 1; }));
    play("B", "Two");
    ASSERT_TRUE(laneIs("np-B1 np-B2"));
    ASSERT_TRUE(artworkIs("https://art/Two/600x600.jpg"));
    slowArt.open();
    slowBundle.open();
    drain();
    EXPECT_EQ(store->nowPlayingArtworkURL(), QUrl(S("https://art/Two/600x600.jpg")));
    EXPECT_EQ(bundleArtists(), S("B"));
}

TEST_F(FeedStoreNowPlaying, BundleArtworkFillsInOnlyWhenNoneIsSetAndAfterAClearTheLaneComesFromANotModifiedAnswer)
{
    server.route(S("/search"), R::json(bytes(QJsonObject{{S("results"), QJsonArray{}}})));
    play("A", "One");
    ASSERT_TRUE(artworkIs("https://bundle/A.jpg"));
    play("B", "Two");  // the earlier artwork stays: the bundle's is not used
    ASSERT_TRUE(waitUntil([&] { return bundleArtists() == S("B A"); }));
    EXPECT_EQ(store->nowPlayingArtworkURL(), QUrl(S("https://bundle/A.jpg")));
    store->clearNowPlaying();
    EXPECT_TRUE(store->nowPlayingItems().isEmpty());
    play("A", "One");
    ASSERT_TRUE(laneIs("np-A1 np-A2 np-A3 np-A4"));
    EXPECT_EQ(requests("v1_nowplaying"), 3);
    EXPECT_TRUE(revalidated("v1_nowplaying"));
}

// Artwork addresses are read as tolerantly as links: a raw "|" or space in
// them is encoded, not a reason to drop the picture.
TEST_F(FeedStoreNowPlaying, ArtworkAddressesWithARawBarOrSpaceAreKept)
{
    play("A", "Blue|Moon");  // the search service answers https://art/Blue|Moon/100x100.jpg
    EXPECT_TRUE(artworkIs("https://art/Blue|Moon/600x600.jpg"));
    EXPECT_EQ(store->nowPlayingArtworkURL().value_or(QUrl()).toEncoded(), QByteArray("https://art/Blue%7CMoon/600x600.jpg"));

    server.route(S("/search"), R::json(bytes(QJsonObject{{S("results"), QJsonArray{}}})));
    store->clearNowPlaying();
    play("The Band", "One");  // only the bundle has artwork: https://bundle/The Band.jpg
    EXPECT_TRUE(artworkIs("https://bundle/The Band.jpg"));
    EXPECT_EQ(store->nowPlayingArtworkURL().value_or(QUrl()).toEncoded(), QByteArray("https://bundle/The%20Band.jpg"));
}

#if defined(TIDEWIRE_HAVE_CATALOGUE_SERVER)
// The whole road from the sample catalogue server to the ticker list, and a
// restart from the snapshot with the server gone.
TEST_F(StoreTest, AgainstTheCatalogueServerReachesLiveWithTheActiveFeedsAndRestartsFromTheSnapshot)
{
    CatalogueServer::Options options;
    options.seed = 11;
    options.now = [] { return QDateTime(QDate(2026, 1, 15), QTime(12, 0), Qt::UTC); };
    CatalogueServer catalogueServer(options);
    ASSERT_TRUE(catalogueServer.start().has_value());
    store = std::make_unique<FeedStore>(services(catalogueServer.baseUrl(), std::nullopt, "0.1"));
    store->start();
    ASSERT_TRUE(waitUntil([&] { return store->phase().kind != Kind::Booting && store->currentWeather(); }, 10000));
    EXPECT_EQ(store->statusMessage(), S("Live"));
    EXPECT_TRUE(store->phase().isRunning());
    ASSERT_FALSE(store->feeds().isEmpty() || store->items().isEmpty() || store->orbs().isEmpty());
    const QStringList active = store->activeFeedIDs();
    for (const FeedItem& item : store->items()) {
        ASSERT_TRUE(item.source);
        EXPECT_TRUE(active.contains(item.source->id)) << item.source->id.toStdString();
    }
    // Switch the first active feed off: its items leave with the next batch.
    const QString dropped = active.first();
    store->toggleFeed(dropped);
    time.advanceSeconds(0.3);
    ASSERT_TRUE(waitUntil([&] {
        return std::none_of(store->items().cbegin(), store->items().cend(), [&](const FeedItem& i) { return i.source->id == dropped; });
    }));
    const QString remaining = ids(store->items());

    catalogueServer.stop();
    store.reset();
    ASSERT_TRUE(defaults->flush());
    defaults = openDefaults();
    store = std::make_unique<FeedStore>(services(catalogueServer.baseUrl(), std::nullopt, "0.1"));
    store->start();
    EXPECT_EQ(state(), S("Running | Live | ") + remaining);
    EXPECT_TRUE(store->disabledIDs().contains(dropped));
    store->stop();
}
#endif

} // namespace
