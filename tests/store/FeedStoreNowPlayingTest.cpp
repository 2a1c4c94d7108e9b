#include "LogCapture.h"
#include "StoreHarness.h"

#include <QMutex>
#include <QSignalSpy>

namespace {

using namespace catalogue;
using R = LoopbackServer::Response;

QString S(const char* text)
{
    return QString::fromUtf8(text);
}

QJsonArray stream(const QStringList& urls, const QString& source = {})
{
    QJsonArray list;
    for (const auto& u : urls) {
        QJsonObject entry{{S("title"), S("Story ") + u}, {S("url"), u}};
        if (!source.isEmpty())
            entry.insert(S("source"), source);
        list.append(entry);
    }
    return list;
}

// An artist's bundle whose corpus items are "<artist>1".."<artist>N".
QByteArray bundleFor(const QString& artist, int count, const QString& artwork = {})
{
    QStringList urls;
    for (int i = 1; i <= count; ++i)
        urls.append(artist + QString::number(i));
    QJsonObject o{{S("artist"), QJsonObject{{S("name"), artist}}},
                  {S("links"), QJsonArray{}},
                  {S("streams"), QJsonObject{{S("corpus"), stream(urls)}, {S("news"), QJsonArray{}},
                                             {S("videos"), QJsonArray{}}}}};
    if (!artwork.isEmpty())
        o.insert(S("artwork"), artwork);
    return bytes(o);
}

QByteArray artworkReply(const QString& name)
{
    return bytes(QJsonObject{{S("results"), QJsonArray{QJsonObject{{S("artworkUrl100"),
                                                                    S("https://art/") + name + S("/100x100.jpg")}}}}});
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
            const QString term = r.query.queryItemValue(S("term"), QUrl::FullyDecoded);
            return R::json(artworkReply(term.section(QLatin1Char(' '), -1)));
        });
        makeStore();
    }

    void play(const char* artist, const char* track, std::optional<QUrl> art = std::nullopt)
    {
        store->setNowPlaying(S(artist), S(track), art);
    }
    bool laneIs(const QString& expected)
    {
        return waitUntil([&] { return ids(store->nowPlayingItems()) == expected; });
    }
    QString bundleArtists() const
    {
        QStringList out;
        for (const auto& b : store->recentBundles())
            out.append(b.artist);
        return out.join(QLatin1Char(' '));
    }
};

TEST_F(FeedStoreNowPlaying, ATrackFetchesItsArtistsBundleAndArtwork)
{
    LogCapture log;
    play("A", "Song");
    EXPECT_EQ(store->nowPlaying(), (FeedStore::NowPlayingTrack{S("A"), S("Song")}));
    ASSERT_TRUE(laneIs(S("np-A1 np-A2 np-A3 np-A4")));
    const FeedItem first = store->nowPlayingItems().first();
    ASSERT_TRUE(first.source);
    EXPECT_EQ(first.source->id, S("np-corpus"));
    EXPECT_EQ(first.source->title, S("A"));  // no source named: the artist
    EXPECT_EQ(first.url, S("A1"));
    ASSERT_TRUE(waitUntil([&] { return store->nowPlayingArtworkURL().has_value(); }));
    const auto request = requestsFor(S("v1_nowplaying")).first();
    EXPECT_EQ(request.query.queryItemValue(S("track"), QUrl::FullyDecoded), S("Song"));
    EXPECT_TRUE(log.anyContains(S("np: set Song — A (prev nil, items 0)")));
    EXPECT_TRUE(log.anyContains(S("np: loaded bundle for A — blend now 4 items over 1 artist(s)")));
}

TEST_F(FeedStoreNowPlaying, RepeatsAndNewTracksAskOnlyForWhatChanged)
{
    play("A", "One");
    ASSERT_TRUE(laneIs(S("np-A1 np-A2 np-A3 np-A4")));
    ASSERT_TRUE(waitUntil([&] { return store->nowPlayingArtworkURL() == QUrl(S("https://art/One/600x600.jpg")); }));
    struct Step {
        const char* name;
        const char* artist;
        const char* track;
        int lookups;
        int fetches;
    };
    const Step steps[] = {
        {"same artist and track again", "A", "One", 1, 1},
        {"new track of the same artist", "A", "Two", 2, 1},
        {"new artist", "B", "Three", 3, 2},
        {"back to a cached artist", "A", "Four", 4, 2},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.name);
        play(s.artist, s.track);
        ASSERT_TRUE(waitUntil([&] { return requests(S("search")) == s.lookups; }));
        ASSERT_TRUE(waitUntil([&] { return requests(S("v1_nowplaying")) == s.fetches; }));
        drain(100);
        EXPECT_EQ(requests(S("search")), s.lookups);
        EXPECT_EQ(requests(S("v1_nowplaying")), s.fetches);
    }
    // A is back in front: three of A's, then two of B's.
    EXPECT_EQ(bundleArtists(), S("A B"));
    EXPECT_EQ(ids(store->nowPlayingItems()), S("np-A1 np-A2 np-A3 np-B1 np-B2 np-A4 np-B3 np-B4"));
}

TEST_F(FeedStoreNowPlaying, KeepsTheLastThreeArtists)
{
    for (const char* artist : {"A", "B", "C", "D"}) {
        play(artist, "Song");
        ASSERT_TRUE(waitUntil([&] { return bundleArtists().startsWith(S(artist)); }));
    }
    EXPECT_EQ(bundleArtists(), S("D C B"));
    EXPECT_EQ(ids(store->nowPlayingItems()),
              S("np-D1 np-D2 np-D3 np-C1 np-C2 np-B1 np-D4 np-C3 np-C4 np-B2 np-B3 np-B4"));
    play("A", "Song");  // dropped: fetched again
    ASSERT_TRUE(waitUntil([&] { return requests(S("v1_nowplaying")) == 5; }));
    ASSERT_TRUE(waitUntil([&] { return bundleArtists() == S("A D C"); }));
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
    EXPECT_EQ(lane.at(2).source->id, S("np-video"));
    EXPECT_EQ(lane.at(3).source->id, S("np-social"));
    EXPECT_EQ(lane.at(3).source->title, S("Forum"));
    EXPECT_EQ(lane.at(1).source->id, S("np-news"));  // first seen in the news pass
    EXPECT_TRUE(FeedStore::interleaveStreams(NowPlayingResponse{}).isEmpty());
}

TEST_F(FeedStoreNowPlaying, PausesClearAfterTheirTimeUnlessMusicResumes)
{
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
        ASSERT_TRUE(laneIs(S("np-A1 np-A2 np-A3 np-A4")));
        const QDateTime start = time.now();
        const auto advanceTo = [&](double seconds) {
            time.advance(std::chrono::milliseconds(time.now().msecsTo(start.addMSecs(qint64(seconds * 1000)))));
        };
        for (const auto& [at, what] : c.events) {
            advanceTo(at);
            if (QByteArray(what) == "pause")
                store->pauseNowPlaying(30);
            else
                play("A", "Other");
        }
        for (int second = 1; second <= 120 && store->nowPlaying(); ++second)
            advanceTo(second);
        if (c.clearedAt < 0) {
            EXPECT_TRUE(store->nowPlaying());
            EXPECT_FALSE(store->hasPendingClear());
        } else {
            EXPECT_FALSE(store->nowPlaying());
            EXPECT_EQ(start.secsTo(time.now()), qint64(c.clearedAt));
            EXPECT_TRUE(store->nowPlayingItems().isEmpty());
            EXPECT_TRUE(store->recentBundles().isEmpty());
            EXPECT_FALSE(store->nowPlayingArtworkURL());
        }
    }
}

TEST_F(FeedStoreNowPlaying, APauseWhileNothingPlaysDoesNothing)
{
    store->pauseNowPlaying(30);
    EXPECT_FALSE(store->hasPendingClear());
    EXPECT_EQ(time.pendingCount(), 0);
}

TEST_F(FeedStoreNowPlaying, ATimedOutBundleRequestIsRetriedOnce)
{
    FeedAPIConfig config = FeedAPIConfig::standard();
    config.timeout = std::chrono::milliseconds(300);
    makeStore(config);
    auto calls = std::make_shared<std::atomic<int>>(0);
    server.handle(S("/v1_nowplaying"), [calls](const LoopbackServer::Request&) {
        R reply = R::json(bundleFor(S("A"), 2));
        if (calls->fetch_add(1) == 0)
            reply.delay = std::chrono::milliseconds(1500);
        return reply;
    });
    LogCapture log;
    play("A", "Song", QUrl(S("https://mic/art.jpg")));
    ASSERT_TRUE(laneIs(S("np-A1 np-A2")));
    EXPECT_EQ(requests(S("v1_nowplaying")), 2);
    EXPECT_TRUE(log.anyContains(S("now-playing fetch timed out, retrying once")));
    EXPECT_FALSE(log.anyContains(S("now-playing fetch failed")));
    // A microphone match brings its own artwork: no lookup, the bundle's is unused.
    EXPECT_EQ(requests(S("search")), 0);
    EXPECT_EQ(store->nowPlayingArtworkURL(), QUrl(S("https://mic/art.jpg")));
}

TEST_F(FeedStoreNowPlaying, ASecondTimeoutIsLoggedAsAFailure)
{
    FeedAPIConfig config = FeedAPIConfig::standard();
    config.timeout = std::chrono::milliseconds(200);
    makeStore(config);
    server.handle(S("/v1_nowplaying"), [](const LoopbackServer::Request&) {
        R reply = R::json(bundleFor(S("A"), 2));
        reply.delay = std::chrono::milliseconds(800);
        return reply;
    });
    LogCapture log;
    play("A", "Song");
    ASSERT_TRUE(waitUntil([&] { return log.anyContains(S("now-playing fetch failed: ")); }));
    EXPECT_EQ(requests(S("v1_nowplaying")), 2);
    EXPECT_TRUE(store->nowPlayingItems().isEmpty());
}

TEST_F(FeedStoreNowPlaying, ALateArtworkAnswerForAnEarlierTrackIsDropped)
{
    Gate& slow = gate();
    server.handle(S("/search"), [&slow](const LoopbackServer::Request& r) {
        const QString track = r.query.queryItemValue(S("term"), QUrl::FullyDecoded).section(QLatin1Char(' '), -1);
        if (track == S("One"))
            slow.wait();
        return R::json(artworkReply(track));
    });
    play("A", "One");
    ASSERT_TRUE(waitUntil([&] { return requests(S("search")) == 1; }));
    play("A", "Two");
    ASSERT_TRUE(waitUntil([&] { return store->nowPlayingArtworkURL() == QUrl(S("https://art/Two/600x600.jpg")); }));
    slow.open();
    drain();
    EXPECT_EQ(store->nowPlayingArtworkURL(), QUrl(S("https://art/Two/600x600.jpg")));
}

TEST_F(FeedStoreNowPlaying, BundleArtworkFillsInOnlyWhenNoArtworkIsSet)
{
    server.route(S("/search"), R::json(bytes(QJsonObject{{S("results"), QJsonArray{}}})));
    play("A", "One");
    ASSERT_TRUE(waitUntil([&] { return store->nowPlayingArtworkURL() == QUrl(S("https://bundle/A.jpg")); }));
    play("B", "Two");  // the earlier artwork stays: the bundle's is not used
    ASSERT_TRUE(waitUntil([&] { return bundleArtists() == S("B A"); }));
    EXPECT_EQ(store->nowPlayingArtworkURL(), QUrl(S("https://bundle/A.jpg")));
}

TEST_F(FeedStoreNowPlaying, TheSameArtistAfterAClearFillsTheLaneFromANotModifiedAnswer)
{
    play("A", "Song");
    ASSERT_TRUE(laneIs(S("np-A1 np-A2 np-A3 np-A4")));
    store->clearNowPlaying();
    EXPECT_TRUE(store->nowPlayingItems().isEmpty());
    play("A", "Song");
    ASSERT_TRUE(laneIs(S("np-A1 np-A2 np-A3 np-A4")));
    EXPECT_EQ(requests(S("v1_nowplaying")), 2);
    EXPECT_FALSE(requestsFor(S("v1_nowplaying")).last().header("If-None-Match").isEmpty());
}

TEST_F(FeedStoreNowPlaying, ABundleForAnArtistNoLongerPlayingIsDropped)
{
    Gate& slow = gate();
    server.handle(S("/v1_nowplaying"), [&slow](const LoopbackServer::Request& r) {
        const QString artist = r.query.queryItemValue(S("artist"), QUrl::FullyDecoded);
        if (artist == S("A"))
            slow.wait();
        return R::json(bundleFor(artist, 2));
    });
    play("A", "One");
    ASSERT_TRUE(waitUntil([&] { return requests(S("v1_nowplaying")) == 1; }));
    play("B", "Two");
    ASSERT_TRUE(laneIs(S("np-B1 np-B2")));
    slow.open();
    drain();
    EXPECT_EQ(bundleArtists(), S("B"));
}

} // namespace
