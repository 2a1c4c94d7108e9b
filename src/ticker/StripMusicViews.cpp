#include "ticker/StripMusicViews.h"

#include "music/ListeningChip.h"
#include "music/NowPlayingArtBlock.h"
#include "music/NowPlayingChip.h"
#include "store/FeedStore.h"

namespace StripMusicViews {

QWidget* makeArtBlock(FeedStore& store, int size, QWidget* parent)
{
    return new NowPlayingArtBlock(store, size, store.nowPlayingArtworkURL(), parent);
}

QWidget* makeNowPlayingChip(const QString& artist, const QString& track, std::function<void()> onExit,
                            QWidget* parent)
{
    return new NowPlayingChip(artist, track, std::move(onExit), parent);
}

QWidget* makeListeningChip(std::function<void()> onExit, QWidget* parent)
{
    return new ListeningChip(std::move(onExit), parent);
}

} // namespace StripMusicViews
