#include "platform/MprisNowPlayingSource.h"

#include <gtest/gtest.h>

namespace {

using Playback = NowPlayingSource::Playback;
using State = NowPlayingSource::PlayerState;

QString S(const char* text)
{
    return QString::fromUtf8(text);
}

QVariantMap metadata(const QVariant& artist, const QVariant& title)
{
    QVariantMap map;
    if (artist.isValid())
        map.insert(S("xesam:artist"), artist);
    if (title.isValid())
        map.insert(S("xesam:title"), title);
    return map;
}

TEST(MprisProperties, ReadStatusArtistAndTitle)
{
    const State before{S("p"), Playback::Paused, S("Old"), S("Song")};
    struct Case {
        const char* name;
        QVariantMap properties;
        State expected;
    };
    const Case cases[] = {
        {"status only keeps the track", {{S("PlaybackStatus"), S("Playing")}}, {S("p"), Playback::Playing, S("Old"), S("Song")}},
        {"stopped", {{S("PlaybackStatus"), S("Stopped")}}, {S("p"), Playback::Stopped, S("Old"), S("Song")}},
        {"unknown status is ignored", {{S("PlaybackStatus"), S("Buffering")}}, before},
        {"artists are joined",
         {{S("Metadata"), metadata(QStringList{S("Massive Attack"), S(" Tracey Thorn ")}, S(" Protection "))}},
         {S("p"), Playback::Paused, S("Massive Attack, Tracey Thorn"), S("Protection")}},
        {"blank artists are dropped",
         {{S("Metadata"), metadata(QStringList{S(""), S("Air"), S("  ")}, S("Alpha"))}},
         {S("p"), Playback::Paused, S("Air"), S("Alpha")}},
        {"a single artist text", {{S("Metadata"), metadata(S("Björk"), S("Joga"))}}, {S("p"), Playback::Paused, S("Björk"), S("Joga")}},
        {"new metadata without artist or title clears both",
         {{S("Metadata"), QVariantMap{}}},
         {S("p"), Playback::Paused, S(""), S("")}},
        {"nothing relevant changes nothing", {{S("Volume"), 0.5}}, before},
    };
    for (const auto& c : cases) {
        State state = before;
        MprisNowPlayingSource::applyProperties(state, c.properties);
        EXPECT_EQ(state, c.expected) << c.name;
    }
}

} // namespace
