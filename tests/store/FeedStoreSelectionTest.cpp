#include "StoreHarness.h"
#include "store/FeedSelection.h"

#include <QSignalSpy>

namespace {

using namespace catalogue;
using R = LoopbackServer::Response;

QString S(const char* text)
{
    return QString::fromUtf8(text);
}

class FeedStoreSelection : public StoreTest {
protected:
    // A started store over a catalogue of `feeds`, after its first refresh.
    void startWith(const QList<QJsonObject>& feeds, const QJsonValue& release = QJsonValue())
    {
        server.route(S("/v1_manifest"), R::json(bytes(manifest(feeds, release))));
        server.route(S("/v1_items_batch"), R::json(bytes(items(S("a1@5")))));
        server.route(S("/v1_orbs"), R::json(bytes(orbs({}))));
        server.route(S("/v1_weather"), R::json(bytes(weather(S("Cork")))));
        makeStore();
        startAndSettle();
    }
    // Lets the debounce run out and waits for its items request.
    void debounce(int expectedItemRequests)
    {
        time.advanceSeconds(0.3);
        ASSERT_TRUE(waitUntil([&] { return requests(S("v1_items_batch")) == expectedItemRequests; }));
        drain(50);
    }
    QUrlQuery lastItemsQuery() const { return requestsFor(S("v1_items_batch")).last().query; }
};

TEST_F(FeedStoreSelection, SelectionIsWrittenAtEveryChangeAndReadAfterARestart)
{
    defaults->set(FeedSelection::LegacyActiveCuratedKey, S("pulse"));
    startWith({feed(S("a")), feed(S("b")), feed(S("c"))});
    EXPECT_EQ(store->activeCuratedIDs(), QSet<QString>{S("pulse")});
    EXPECT_EQ(lastItemsQuery().queryItemValue(S("since_minutes")), S("120"));

    store->toggleFeed(S("c"));
    store->toggleFeed(S("b"));
    EXPECT_EQ(defaults->stringValue(FeedSelection::DisabledKey), S("b,c"));
    EXPECT_TRUE(store->activeCuratedIDs().isEmpty());  // a manual change ends the curated selection
    EXPECT_FALSE(defaults->contains(FeedSelection::ActiveCuratedKey));
    EXPECT_FALSE(defaults->contains(FeedSelection::LegacyActiveCuratedKey));
    debounce(2);
    EXPECT_EQ(lastItemsQuery().queryItemValue(S("feed_ids")), S("a"));
    EXPECT_FALSE(lastItemsQuery().hasQueryItem(S("since_minutes")));

    restart();
    EXPECT_EQ(store->disabledIDs(), (QSet<QString>{S("b"), S("c")}));
    EXPECT_TRUE(store->activeCuratedIDs().isEmpty());
}

TEST_F(FeedStoreSelection, AtMostOneHundredFeedsInCatalogueOrder)
{
    QList<QJsonObject> feeds;
    for (int i = 0; i < 160; ++i)
        feeds.append(i % 16 == 15 ? feed(Feed{S("f%1").arg(i), false, {}, {}, {}}) : feed(S("f%1").arg(i)));
    defaults->set(FeedSelection::DisabledKey, S("f0,gone"));
    startWith(feeds);
    EXPECT_EQ(store->activeFeedCount(), 160 - 10 - 1);
    const QStringList ids = store->activeFeedIDs();
    ASSERT_EQ(ids.size(), 100);
    EXPECT_EQ(ids.first(), S("f1"));
    EXPECT_FALSE(ids.contains(S("f15")));  // inactive
    EXPECT_EQ(lastItemsQuery().queryItemValue(S("feed_ids")), ids.join(QLatin1Char(',')));
    EXPECT_EQ(lastItemsQuery().queryItemValue(S("limit_per_feed")), S("3"));
}

TEST_F(FeedStoreSelection, CuratedSetsDecideTheFeedsAndTheWindow)
{
    startWith({feed(Feed{S("a"), {}, 0.5, {}, {}}), feed(Feed{S("b"), {}, 0.9, {}, {}}),
               feed(Feed{S("c"), false, 5.0, {}, {}}), feed(Feed{S("d"), {}, {}, {}, {}})});
    struct Step {
        const char* name;
        QStringList feedIDs;
        QSet<QString> curated;
        QSet<QString> disabled;
        const char* requested;
        const char* window;  // "" for none
        const char* storedCurated;  // nullptr: key removed
    };
    const Step steps[] = {
        {"pulse alone asks for two hours", {S("a"), S("d")}, {S("pulse")}, {S("b"), S("c")}, "a,d", "120", "pulse"},
        {"pulse with a pillar asks for no window", {S("b")}, {S("pulse"), S("tech")}, {S("a"), S("c"), S("d")}, "b", "",
         "pulse,tech"},
        {"no curated set keeps the best-ranked active feeds", {S("a")}, {}, {S("c")}, "a,b,d", "", nullptr},
    };
    int itemRequests = 1;
    for (const Step& s : steps) {
        SCOPED_TRACE(s.name);
        store->applyCuratedSelection(s.feedIDs, s.curated);
        EXPECT_EQ(store->disabledIDs(), s.disabled);
        EXPECT_EQ(store->activeCuratedIDs(), s.curated);
        if (s.storedCurated)
            EXPECT_EQ(defaults->stringValue(FeedSelection::ActiveCuratedKey), S(s.storedCurated));
        else
            EXPECT_FALSE(defaults->contains(FeedSelection::ActiveCuratedKey));
        debounce(++itemRequests);
        EXPECT_EQ(lastItemsQuery().queryItemValue(S("feed_ids")), S(s.requested));
        EXPECT_EQ(lastItemsQuery().queryItemValue(S("since_minutes")), S(s.window));
    }
}

TEST_F(FeedStoreSelection, DefaultSelectionRanksBestFirstAndKeepsCatalogueOrderForTies)
{
    makeStore();
    const QList<QJsonObject> json{feed(Feed{S("a"), {}, 1.0, {}, {}}), feed(Feed{S("b"), {}, {}, {}, {}}),
                                  feed(Feed{S("c"), {}, 2.0, {}, {}}), feed(Feed{S("d"), {}, 1.0, {}, {}}),
                                  feed(Feed{S("e"), false, 9.0, {}, {}}), feed(Feed{S("f"), {}, -0.5, {}, {}})};
    QList<FeedIndexItem> catalogue;
    for (const auto& o : json)
        catalogue.append(*FeedIndexItem::fromJson(o, JsonOptions{}));
    store->toggleFeed(S("c"));  // switched-off feeds are not consulted
    EXPECT_EQ(store->defaultFeedIDs(catalogue, 10), (QStringList{S("c"), S("a"), S("d"), S("f"), S("b")}));
    EXPECT_EQ(store->defaultFeedIDs(catalogue, 2), (QStringList{S("c"), S("a")}));
}

TEST_F(FeedStoreSelection, ChangesWithinTheDebounceMakeOneRequest)
{
    startWith({feed(S("a")), feed(S("b")), feed(S("c"))});
    store->toggleFeed(S("a"));
    time.advanceSeconds(0.1);
    store->setFeeds({S("b")}, false);
    time.advanceSeconds(0.1);
    store->toggleFeed(S("a"));
    time.advanceSeconds(0.29);
    drain(100);
    EXPECT_EQ(requests(S("v1_items_batch")), 1);
    debounce(2);
    drain(100);
    EXPECT_EQ(requests(S("v1_items_batch")), 2);
    EXPECT_EQ(lastItemsQuery().queryItemValue(S("feed_ids")), S("a,c"));
}

TEST_F(FeedStoreSelection, SetFeedsNotifiesPerIdAndAnEmptyListDoesNothing)
{
    startWith({feed(S("a")), feed(S("b"))});
    QSignalSpy disabled(store.get(), &FeedStore::disabledIDsChanged);
    store->setFeeds({}, false);
    EXPECT_EQ(disabled.count(), 0);
    EXPECT_EQ(time.pendingCount(), 1);  // only the heartbeat: no debounce started
    store->setFeeds({S("a"), S("b"), S("a")}, false);
    EXPECT_EQ(disabled.count(), 3);
    EXPECT_EQ(store->disabledIDs(), (QSet<QString>{S("a"), S("b")}));
}

TEST_F(FeedStoreSelection, SwitchingOffTheLastFeedClearsItemsAtOnce)
{
    startWith({feed(S("a")), feed(Feed{S("z"), false, {}, {}, {}})});
    ASSERT_FALSE(store->items().isEmpty());
    store->toggleFeed(S("a"));
    EXPECT_TRUE(store->items().isEmpty());
    EXPECT_EQ(store->statusMessage(), S("No active feeds"));
    time.advanceSeconds(0.3);
    ASSERT_TRUE(waitUntil([&] { return store->statusMessage() == S("No active feeds found"); }));
    EXPECT_EQ(requests(S("v1_items_batch")), 1);  // nothing to ask for
    EXPECT_TRUE(store->phase().isRunning());
}

TEST_F(FeedStoreSelection, CuratedSelectionNeedsACatalogue)
{
    makeStore();
    store->applyCuratedSelection({S("a")}, {S("pulse")});
    EXPECT_TRUE(store->disabledIDs().isEmpty());
    EXPECT_TRUE(store->activeCuratedIDs().isEmpty());
    EXPECT_EQ(time.pendingCount(), 0);
}

struct UpdateCase {
    const char* name;
    const char* version;  // nullptr: no release in the manifest
    const char* url;
    const char* dismissed;  // nullptr: nothing dismissed
    bool offered;
};

void PrintTo(const UpdateCase& c, std::ostream* os)
{
    *os << c.name;
}

class UpdateOffer : public FeedStoreSelection, public ::testing::WithParamInterface<UpdateCase> {};

TEST_P(UpdateOffer, NewerUndismissedReleasesWithAWebLinkAreOffered)
{
    const UpdateCase& c = GetParam();
    if (c.dismissed)
        defaults->set(FeedSelection::DismissedReleaseKey, S(c.dismissed));
    startWith({feed(S("a"))}, c.version ? QJsonValue(release(S(c.version), S(c.url))) : QJsonValue());
    EXPECT_EQ(store->availableUpdate().has_value(), c.offered);
    if (c.offered) {
        EXPECT_EQ(store->availableUpdate()->version, S(c.version));
        store->dismissUpdate();
        EXPECT_FALSE(store->availableUpdate());
        EXPECT_EQ(defaults->stringValue(FeedSelection::DismissedReleaseKey), S(c.version));
        // The same release stays hidden at the next refresh.
        time.advanceSeconds(300);
        ASSERT_TRUE(waitForRefreshes(2));
        EXPECT_FALSE(store->availableUpdate());
    }
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

TEST_F(FeedStoreSelection, AManifestWithoutReleaseWithdrawsTheOffer)
{
    startWith({feed(S("a"))}, release(S("2.0")));
    ASSERT_TRUE(store->availableUpdate());
    server.route(S("/v1_manifest"), R::json(bytes(manifest({feed(S("a"))}))));
    time.advanceSeconds(300);
    ASSERT_TRUE(waitForRefreshes(2));
    EXPECT_FALSE(store->availableUpdate());
    store->dismissUpdate();  // nothing offered: nothing written
    EXPECT_FALSE(defaults->contains(FeedSelection::DismissedReleaseKey));
}

} // namespace
