#pragma once

#include <QString>
#include <functional>

class FeedStore;
class QWidget;

// The music lane's small views as the strip uses them.
namespace StripMusicViews {

// The current track's art block, for the orb's place in the brand block.
QWidget* makeArtBlock(FeedStore& store, int size, QWidget* parent);
QWidget* makeNowPlayingChip(const QString& artist, const QString& track, std::function<void()> onExit,
                            QWidget* parent);
QWidget* makeListeningChip(std::function<void()> onExit, QWidget* parent);

} // namespace StripMusicViews
