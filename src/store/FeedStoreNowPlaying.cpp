// The music lane: the current track, its artwork, the artists' item bundles.
#include "store/FeedStore.h"

#include "platform/base/Clock.h"
#include "platform/net/Endpoints.h"
#include "platform/base/Logging.h"
#include "platform/session/UrlOpener.h"
#include "store/ArtworkLookup.h"
#include "store/ItemComposition.h"

namespace {

constexpr qsizetype kBundleCacheSize = 3;

QList<FeedItem> laneItems(const QList<NowPlayingResponse::StreamItem>& stream, const QString& key,
                          const QString& artistName)
{
    QList<FeedItem> out;
    out.reserve(stream.size());
    const QString sourceID = QStringLiteral("np-") + key;
    for (const auto& entry : stream) {
        FeedSource source;
        source.id = sourceID;
        source.title = entry.source.value_or(artistName);
        out.append(FeedItem{QStringLiteral("np-") + entry.url, entry.title, entry.url, entry.publishedAt, source,
                            entry.image});
    }
    return out;
}

std::optional<QUrl> webAddress(const std::optional<QString>& text)
{
    return text ? webUrl(*text) : std::nullopt;
}

} // namespace

void FeedStore::setNowPlaying(const QString& artist, const QString& track, const std::optional<QUrl>& artworkURL)
{
    if (m_pendingClear) {
        m_pendingClear->stop.request_stop();  // a new or resumed track stops a scheduled clear
        m_pendingClear.reset();
    }
    const std::optional<NowPlayingTrack> previous = m_nowPlaying;
    const bool trackChanged = !previous || previous->track != track;
    setNowPlayingTrack(NowPlayingTrack{artist, track});
    qCInfo(lcFeedStore, "np: set %s — %s (prev %s, items %ld)", qUtf8Printable(track), qUtf8Printable(artist),
           previous ? qUtf8Printable(previous->artist) : "nil", long(m_nowPlayingItems.size()));

    if (artworkURL)
        setNowPlayingArtworkURL(artworkURL);
    else if (trackChanged || previous->artist != artist)
        lookUpArtwork(artist, track, m_lifetime.get_token());

    if (previous && previous->artist == artist && !m_nowPlayingItems.isEmpty())
        return;  // the lane already belongs to this artist
    for (qsizetype i = 0; i < m_recentBundles.size(); ++i) {
        if (m_recentBundles.at(i).artist == artist) {
            QList<ArtistBundle> bundles = m_recentBundles;
            bundles.move(i, 0);
            setRecentBundles(bundles);
            rebuildNowPlayingItems();
            return;
        }
    }
    fetchArtistBundle(artist, track, artworkURL.has_value(), 1, m_lifetime.get_token());
}

QCoro::Task<void> FeedStore::lookUpArtwork(QString artist, QString track, std::stop_token stop)
{
    QPointer<FeedStore> self(this);
    const QUrl base = m_itunesBase.isEmpty() ? Endpoints::current().itunesBase : m_itunesBase;
    const std::optional<QUrl> art = co_await ArtworkLookup::lookUp(m_network, base, artist, track, stop);
    if (!self || stop.stop_requested() || !art)
        co_return;
    // Only for the track still playing: a late answer for an earlier song of
    // the same artist must not replace the current cover.
    if (m_nowPlaying && m_nowPlaying->artist == artist && m_nowPlaying->track == track)
        setNowPlayingArtworkURL(art);
}

QCoro::Task<void> FeedStore::fetchArtistBundle(QString artist, QString track, bool hasArtwork, int attempt,
                                               std::stop_token stop)
{
    QPointer<FeedStore> self(this);
    const Result<Fetched<NowPlayingResponse>> reply = co_await m_api->nowPlaying(artist, track, stop);
    if (!self || stop.stop_requested())
        co_return;
    const bool stillPlaying = m_nowPlaying && m_nowPlaying->artist == artist;
    if (reply) {
        if (!stillPlaying)
            co_return;
        addBundle(artist, interleaveStreams(reply->value));
        qCInfo(lcFeedStore, "np: loaded bundle for %s — blend now %ld items over %ld artist(s)",
               qUtf8Printable(artist), long(m_nowPlayingItems.size()), long(m_recentBundles.size()));
        if (!hasArtwork && !m_nowPlayingArtworkURL) {
            if (const auto art = webAddress(reply->value.artwork))
                setNowPlayingArtworkURL(art);
        }
        co_return;
    }
    const Error& error = reply.error();
    if (error.is(ErrorKind::Cancelled) || error.is(ErrorKind::NotModified))
        co_return;
    if (error.is(ErrorKind::TimedOut) && attempt == 1) {
        qCCritical(lcFeedStore, "now-playing fetch timed out, retrying once");
        if (stillPlaying)
            co_await fetchArtistBundle(artist, track, hasArtwork, 2, stop);
        co_return;
    }
    qCCritical(lcFeedStore, "now-playing fetch failed: %s", qUtf8Printable(error.description));
}

QList<FeedItem> FeedStore::interleaveStreams(const NowPlayingResponse& response)
{
    const auto& s = response.streams;
    const QString& name = response.artist.name;
    const QList<NowPlayingResponse::StreamItem> none;
    return ItemComposition::interleaveRoundRobin({
        laneItems(s.corpus, QStringLiteral("corpus"), name),
        laneItems(s.news, QStringLiteral("news"), name),
        laneItems(s.videos, QStringLiteral("video"), name),
        laneItems(s.cards.value_or(none), QStringLiteral("card"), name),
        laneItems(s.similar.value_or(none), QStringLiteral("similar"), name),
        laneItems(s.press.value_or(none), QStringLiteral("press"), name),
        laneItems(s.social.value_or(none), QStringLiteral("social"), name),
    });
}

void FeedStore::addBundle(const QString& artist, const QList<FeedItem>& items)
{
    QList<ArtistBundle> bundles = m_recentBundles;
    bundles.removeIf([&](const ArtistBundle& b) { return b.artist == artist; });
    bundles.prepend(ArtistBundle{artist, items});
    if (bundles.size() > kBundleCacheSize)
        bundles.resize(kBundleCacheSize);
    setRecentBundles(bundles);
    rebuildNowPlayingItems();
}

void FeedStore::rebuildNowPlayingItems()
{
    QList<QList<FeedItem>> lists;
    for (const ArtistBundle& bundle : m_recentBundles)
        lists.append(bundle.items);
    setNowPlayingItems(ItemComposition::interleaveBundles(lists));
}

void FeedStore::pauseNowPlaying(quint64 clearAfterSeconds)
{
    if (!m_nowPlaying || m_pendingClear)
        return;  // a second pause does not restart the timer
    qCInfo(lcFeedStore, "np: pause — clear scheduled in %llus", static_cast<unsigned long long>(clearAfterSeconds));
    m_pendingClear = std::make_unique<Job>();
    delayedClear(clearAfterSeconds, m_pendingClear->stop.get_token());
}

QCoro::Task<void> FeedStore::delayedClear(quint64 seconds, std::stop_token stop)
{
    QPointer<FeedStore> self(this);
    const bool elapsed = co_await m_scheduler.sleep(std::chrono::seconds(seconds), stop);
    if (!self || !elapsed || stop.stop_requested())
        co_return;
    m_pendingClear.reset();
    clearNowPlaying();
}

void FeedStore::clearNowPlaying()
{
    qCInfo(lcFeedStore, "np: CLEAR");
    if (m_pendingClear) {
        m_pendingClear->stop.request_stop();
        m_pendingClear.reset();
    }
    setNowPlayingTrack(std::nullopt);
    setNowPlayingItems({});
    setNowPlayingArtworkURL(std::nullopt);
    setRecentBundles({});
}
