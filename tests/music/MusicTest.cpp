#include "MusicHarness.h"
#include "ShownText.h"
#include "music/ArtworkLoader.h"
#include "music/ListeningChip.h"
#include "music/NowPlayingArtBlock.h"
#include "music/NowPlayingChip.h"
#include "music/NowPlayingController.h"
#include "music/RoomListener.h"
#include "platform/session/MprisNowPlayingSource.h"

#include <QBuffer>
#include <QImage>
#include <QJsonValue>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>
#include <variant>

namespace {

using Playback = NowPlayingSource::Playback;
using State = NowPlayingSource::PlayerState;

QByteArray png(const QColor& color)
{
    QImage image(60, 60, QImage::Format_RGB32);
    image.fill(color);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

TEST(MusicChips, TextNamesArtistAndTrackOnceLongTitlesAreElidedAndOnlyTheCloseButtonDetaches)
{
    const std::array<const char*, 3> cases[] = {
        {"Björk", "Hyperballad", "Björk — Hyperballad"},
        {"Radio One", "Radio One", "Radio One"},  // players without a title repeat the artist
        {"Radio One", "", "Radio One"},
        {"<b>AC&DC</b>", "T.N.T.", "<b>AC&DC</b> — T.N.T."},  // shown as typed, never as markup
    };
    for (const auto& [artist, track, text] : cases)
        EXPECT_EQ(NowPlayingChip(S(artist), S(track), [] {}).text(), S(text)) << artist;

    int exits = 0;
    NowPlayingChip shortChip(S("Air"), S("Alpha"), [&] { ++exits; });
    NowPlayingChip longChip(S("Air"), QString(400, QLatin1Char('x')), [] {});
    EXPECT_LT(shortChip.sizeHint().width(), longChip.sizeHint().width());
    EXPECT_LE(longChip.sizeHint().width(), 320 + 60);
    longChip.setTrack(S("Air"), S("Alpha"));
    EXPECT_EQ(longChip.sizeHint(), shortChip.sizeHint());

    ListeningChip listening([&] { ++exits; });
    EXPECT_EQ(listening.text(), S("Listening…"));
    const auto check = [&](auto& chip) {
        exits = 0;
        chip.resize(chip.sizeHint());
        QTest::mouseClick(&chip, Qt::LeftButton, {}, QPoint(10, chip.height() / 2));
        EXPECT_EQ(exits, 0);
        QTest::mouseClick(&chip, Qt::LeftButton, {}, chip.closeButtonRect().center().toPoint());
        EXPECT_EQ(exits, 1);
    };
    check(shortChip);
    check(listening);
}

// A player's artist and title are whatever it reports.
TEST(MusicChips, ToolTipShowsArtistAndTrackAsThePlayerWroteThem)
{
    ReadWatch watch;
    for (const QString& text : watch.hostileTexts()) {
        SCOPED_TRACE(text.toStdString());
        NowPlayingChip chip(text, S("Track ") + text, [] {});
        chip.resize(chip.sizeHint());
        chip.show();
        EXPECT_EQ(ShownText::toolTip(&chip).toStdString(), (text + S(" — Track ") + text).toStdString());
        chip.setTrack(S("Air"), text);
        EXPECT_EQ(ShownText::toolTip(&chip).toStdString(), (S("Air — ") + text).toStdString());
    }
    EXPECT_FALSE(watch.wasRead()) << "an artist was read as markup and its image loaded";
}

TEST(ArtBlock, FitsItsSizeFollowsTheStoresArtworkDownloadsEachCoverOnceAndKeepsThePlaceholderForBadArtwork)
{
    MusicStore music;
    ArtworkLoader loader{&music.network};
    music.server.route(S("/red.png"), LoopbackServer::Response::text(png(Qt::red), "image/png"));
    music.server.route(S("/blue.png"), LoopbackServer::Response::text(png(Qt::blue), "image/png"));
    music.server.route(S("/broken.png"), LoopbackServer::Response::text("not an image", "image/png"));
    const auto centreOf = [](NowPlayingArtBlock& block) {
        block.resize(block.sizeHint());
        return block.grab().toImage().pixelColor(NowPlayingArtBlock::artSide(block.size()) / 2, block.height() / 2);
    };
    // {size, hint, text}; any other size code draws standard.
    for (const auto& [size, hint, text] : {std::tuple{1, QSize(32, 48), false}, {4, QSize(72 + 10 + 190, 108), true}, {3, QSize(48 + 10 + 190, 72), true}}) {
        NowPlayingArtBlock block(*music.store, size, std::nullopt, loader);
        EXPECT_EQ(block.sizeHint(), hint) << "size " << size;
        EXPECT_EQ(NowPlayingArtBlock::showsText(size), text) << "size " << size;
    }

    music.store->setNowPlaying(S("Mogwai"), S("Take Me Somewhere Nice"), music.server.url(S("red.png")));
    NowPlayingArtBlock block(*music.store, 4, music.store->nowPlayingArtworkURL(), loader);
    EXPECT_FALSE(block.hasArtwork());
    ASSERT_TRUE(MusicStore::waitUntil([&] { return block.hasArtwork(); }));
    EXPECT_EQ(centreOf(block), QColor(Qt::red));
    NowPlayingArtBlock again(*music.store, 1, music.server.url(S("red.png")), loader);
    EXPECT_TRUE(again.hasArtwork()) << "a second block for the same cover needs no second download";
    EXPECT_EQ(music.server.requestCount(S("/red.png")), 1);

    music.store->setNowPlaying(S("Slowdive"), S("Alison"), music.server.url(S("blue.png")));
    EXPECT_EQ(block.artURL(), std::optional<QUrl>(music.server.url(S("blue.png"))));
    EXPECT_FALSE(block.hasArtwork()) << "the old cover must not stand for the new track";
    ASSERT_TRUE(MusicStore::waitUntil([&] { return block.hasArtwork(); }));
    EXPECT_EQ(centreOf(block), QColor(Qt::blue));

    // The same address set again keeps the cover on screen and downloads
    // nothing, even once newer covers have pushed it out of the loader.
    QSignalSpy loaded(&loader, &ArtworkLoader::loaded);
    for (int i = 0; i < ArtworkLoader::CacheSize; ++i) {
        const QString path = S("/cover-%1.png").arg(i);
        music.server.route(path, LoopbackServer::Response::text(png(Qt::green), "image/png"));
        EXPECT_TRUE(loader.image(music.server.url(path.mid(1))).isNull());
    }
    ASSERT_TRUE(MusicStore::waitUntil([&] { return loaded.count() == ArtworkLoader::CacheSize; }));
    block.setArtURL(music.server.url(S("blue.png")));
    EXPECT_TRUE(block.hasArtwork());
    EXPECT_EQ(centreOf(block), QColor(Qt::blue));
    EXPECT_FALSE(loader.isLoading(music.server.url(S("blue.png"))));
    EXPECT_EQ(music.server.requestCount(S("/blue.png")), 1);

    music.store->clearNowPlaying();
    EXPECT_FALSE(block.artURL().has_value() || block.hasArtwork());

    // {case, address, asked for}
    for (const auto& [name, url, requested] : {std::tuple{"not an image", music.server.url(S("broken.png")), true},
                                               {"missing", music.server.url(S("gone.png")), true}, {"not http", QUrl(S("file:///etc/passwd")), false}}) {
        QSignalSpy failed(&loader, &ArtworkLoader::failed);
        NowPlayingArtBlock bad(*music.store, 2, url, loader);
        if (requested) {
            ASSERT_TRUE(MusicStore::waitUntil([&] { return failed.count() == 1; })) << name;
        }
        EXPECT_FALSE(bad.hasArtwork()) << name;
        EXPECT_NE(centreOf(bad), QColor(Qt::red)) << name;
    }
    EXPECT_EQ(music.server.requestCount(S("/etc/passwd")), 0);
}

QVariantMap metadata(const QVariant& artist, const QVariant& title)
{
    return {{S("xesam:artist"), artist}, {S("xesam:title"), title}};
}

TEST(MprisProperties, ReadStatusArtistAndTitle)
{
    const State before{S("p"), Playback::Paused, S("Old"), S("Song")};
    const auto paused = [](const char* artist, const char* title) { return State{S("p"), Playback::Paused, S(artist), S(title)}; };
    const std::tuple<const char*, QVariantMap, State> cases[] = {
        {"status only keeps the track", {{S("PlaybackStatus"), S("Playing")}}, {S("p"), Playback::Playing, S("Old"), S("Song")}},
        {"stopped", {{S("PlaybackStatus"), S("Stopped")}}, {S("p"), Playback::Stopped, S("Old"), S("Song")}},
        {"unknown status is ignored", {{S("PlaybackStatus"), S("Buffering")}}, before},
        {"artists are joined", {{S("Metadata"), metadata(QStringList{S("Massive Attack"), S(" Tracey Thorn ")}, S(" Protection "))}},
         paused("Massive Attack, Tracey Thorn", "Protection")},
        {"blank artists are dropped", {{S("Metadata"), metadata(QStringList{S(""), S("Air"), S("  ")}, S("Alpha"))}}, paused("Air", "Alpha")},
        {"a single artist text", {{S("Metadata"), metadata(S("Björk"), S("Joga"))}}, paused("Björk", "Joga")},
        {"new metadata without artist or title clears both", {{S("Metadata"), QVariantMap{}}}, paused("", "")},
        {"nothing relevant changes nothing", {{S("Volume"), 0.5}}, before},
    };
    for (const auto& [name, properties, expected] : cases) {
        State state = before;
        MprisNowPlayingSource::applyProperties(state, properties);
        EXPECT_EQ(state, expected) << name;
    }
}

using Match = MusicRecognizer::Match;

TEST(RoomListener, OnLinuxListeningIsUnavailableAndTheSettingStays)
{
    MusicStore music;
    music.defaults->set(RoomListener::EnabledKey, true);
    RoomListener listener(*music.defaults, MusicRecognizer::createSystem());
    EXPECT_FALSE(listener.canListen()) << "the switches offer only to turn it off";
    EXPECT_EQ(listener.canListen(), MusicRecognizer::isSystemAvailable());
    QSignalSpy listening(music.store.get(), &FeedStore::isRoomListeningChanged);
    listener.start(*music.store);
    FakeTime::settle();
    EXPECT_EQ(listener.state(), RoomListener::State::Unavailable);
    EXPECT_EQ(listener.unavailableReason(), S("Music recognition is not available on Linux"));
    EXPECT_FALSE(music.store->isRoomListening());
    EXPECT_EQ(listening.count(), 0) << "the store never claims to listen";
    EXPECT_TRUE(music.defaults->boolValue(RoomListener::EnabledKey, false)) << "the user's choice is kept";

    // Off and on again: asked again, unavailable again.
    music.defaults->set(RoomListener::EnabledKey, false);
    EXPECT_EQ(listener.state(), RoomListener::State::Off);
    EXPECT_TRUE(listener.unavailableReason().isEmpty());
    music.defaults->set(RoomListener::EnabledKey, true);
    FakeTime::settle();
    EXPECT_EQ(listener.state(), RoomListener::State::Unavailable);
    EXPECT_FALSE(music.store->isRoomListening());
}

TEST(RoomListener, FollowsTheSettingOnceStartedTunesTheStoreWithMatchesAndOutlivesIt)
{
    MusicStore music, other;
    auto made = std::make_unique<FakeMusicRecognizer>();
    FakeMusicRecognizer* recognizer = made.get();
    RoomListener listener(*music.defaults, std::move(made));
    EXPECT_TRUE(listener.canListen());
    music.defaults->set(RoomListener::EnabledKey, true);
    FakeTime::settle();
    EXPECT_EQ(recognizer->starts, 0) << "the setting is followed only after start()";
    music.defaults->remove(RoomListener::EnabledKey);
    listener.start(*music.store);
    listener.start(*other.store);  // a second start changes nothing
    FakeTime::settle();
    EXPECT_TRUE(listener.isStarted());
    EXPECT_EQ(recognizer->starts, 0) << "off by default";
    EXPECT_EQ(listener.state(), RoomListener::State::Off);
    music.defaults->set(RoomListener::EnabledKey, true);
    EXPECT_EQ(recognizer->starts, 1) << "listening starts at once when the setting goes on";
    EXPECT_EQ(listener.state(), RoomListener::State::Starting);
    EXPECT_FALSE(music.store->isRoomListening()) << "not before the recogniser listens";
    FakeTime::settle();
    EXPECT_EQ(listener.state(), RoomListener::State::Listening);
    EXPECT_TRUE(music.store->isRoomListening());
    EXPECT_FALSE(other.store->isRoomListening());

    const QUrl art(S("https://art.example/cover.jpg"));
    recognizer->hear(Match{S(" Massive Attack "), S("Teardrop"), art});
    EXPECT_EQ(music.playing(), S("Massive Attack|Teardrop"));
    EXPECT_EQ(music.store->nowPlayingArtworkURL(), std::optional<QUrl>(art));
    recognizer->hear(Match{S("Burial"), S(""), std::nullopt});
    EXPECT_EQ(music.playing(), S("Burial|Burial"));
    recognizer->hear(Match{S("  "), S("Untitled"), std::nullopt});
    EXPECT_EQ(music.playing(), S("Burial|Burial")) << "a match without an artist is dropped";

    music.defaults->set(RoomListener::EnabledKey, false);
    EXPECT_EQ(recognizer->stops, 1);
    EXPECT_EQ(listener.state(), RoomListener::State::Off);
    EXPECT_FALSE(music.store->isRoomListening());
    recognizer->hear(Match{S("Late"), S("Reply"), std::nullopt});
    EXPECT_EQ(music.playing(), S("Burial|Burial")) << "nothing is heard once switched off";

    music.defaults->set(RoomListener::EnabledKey, true);
    music.defaults->set(RoomListener::EnabledKey, true);
    FakeTime::settle();
    EXPECT_EQ(recognizer->starts, 2);
    EXPECT_TRUE(music.store->isRoomListening());
    music.store.reset();
    recognizer->hear(Match{S("A"), S("B"), std::nullopt});
    music.defaults->set(RoomListener::EnabledKey, false);
    EXPECT_EQ(listener.state(), RoomListener::State::Off);
}

// One step of a scripted session: a player's report, a player leaving, the
// stored switch (undefined: the key removed), or seconds passing.
struct Report { const char* player; Playback playback; const char* artist; const char* title; };
struct Remove { const char* player; };
struct Setting { QJsonValue value; };
struct Wait { int seconds; };
using Step = std::variant<Report, Remove, Setting, Wait>;

struct Session {
    const char* name;
    QJsonValue atStart;  // the stored "nowPlayingEnabled"; undefined: absent
    std::vector<Step> steps;
    const char* playing;  // "artist|track" or "none"
    bool pendingClear;
};

void PrintTo(const Session& s, std::ostream* os) { *os << s.name; }

class NowPlayingControllerTest : public ::testing::TestWithParam<Session> {};

TEST_P(NowPlayingControllerTest, DrivesTheStoresLane)
{
    MusicStore music;
    FakeNowPlayingSource* source = nullptr;
    NowPlayingController controller{*music.defaults, [&] {
                                        auto made = std::make_unique<FakeNowPlayingSource>();
                                        source = made.get();
                                        return made;
                                    }};
    music.defaults->set(NowPlayingController::EnabledKey, GetParam().atStart);
    controller.start(*music.store);
    for (const Step& step : GetParam().steps) {
        if (const auto* r = std::get_if<Report>(&step))
            source->report(State{S(r->player), r->playback, S(r->artist), S(r->title)});
        else if (const auto* gone = std::get_if<Remove>(&step))
            source->remove(S(gone->player));
        else if (const auto* setting = std::get_if<Setting>(&step))
            music.defaults->set(NowPlayingController::EnabledKey, setting->value);
        else
            music.time.advance(std::chrono::seconds(std::get<Wait>(step).seconds));
    }
    EXPECT_EQ(music.playing(), S(GetParam().playing));
    EXPECT_EQ(music.store->hasPendingClear(), GetParam().pendingClear);
}

const Report spotifyPlays{"org.mpris.MediaPlayer2.spotify", Playback::Playing, "Björk", "Hyperballad"};
const Report spotifyPauses{"org.mpris.MediaPlayer2.spotify", Playback::Paused, "Björk", "Hyperballad"};
const Report spotifyStops{"org.mpris.MediaPlayer2.spotify", Playback::Stopped, "", ""};
const Report vlcPlays{"org.mpris.MediaPlayer2.vlc", Playback::Playing, "Nina Simone", "Sinnerman"};
const Report vlcPauses{"org.mpris.MediaPlayer2.vlc", Playback::Paused, "Nina Simone", "Sinnerman"};
const QJsonValue absent = QJsonValue::Undefined;

INSTANTIATE_TEST_SUITE_P(
    Sessions, NowPlayingControllerTest,
    ::testing::Values(
        // {name, stored switch at start, steps, playing at the end, clear still pending}
        Session{"PlayingSetsTheTrack", absent, {spotifyPlays}, "Björk|Hyperballad", false},
        Session{"NoTitleGivesTheArtistAsTrack", absent, {Report{"org.mpris.MediaPlayer2.radio", Playback::Playing, "Radio One", ""}}, "Radio One|Radio One", false},
        Session{"PlayingWithoutArtistIsIgnored", absent, {Report{"org.mpris.MediaPlayer2.radio", Playback::Playing, "", "Jingle"}}, "none", false},
        Session{"ThePlayingPlayerWithoutArtistKeepsTheLane", absent, {spotifyPlays, Report{"org.mpris.MediaPlayer2.spotify", Playback::Playing, "", "Advert"}}, "Björk|Hyperballad", false},
        Session{"ATrackChangeFollows", absent, {spotifyPlays, Report{"org.mpris.MediaPlayer2.spotify", Playback::Playing, "Björk", "Joga"}}, "Björk|Joga", false},
        Session{"PauseClearsAfterThirtySeconds", absent, {spotifyPlays, spotifyPauses, Wait{30}}, "none", false},
        Session{"NotBeforeThirtySeconds", absent, {spotifyPlays, spotifyPauses, Wait{29}}, "Björk|Hyperballad", true},
        Session{"StopSchedulesTheClear", absent, {spotifyPlays, spotifyStops}, "Björk|Hyperballad", true},
        Session{"ResumingWithinThirtySecondsKeepsTheLane", absent, {spotifyPlays, spotifyPauses, Wait{20}, spotifyPlays, Wait{30}}, "Björk|Hyperballad", false},
        Session{"ThePlayerLeavingSchedulesTheClear", absent, {spotifyPlays, Remove{"org.mpris.MediaPlayer2.spotify"}, Wait{30}}, "none", false},
        Session{"AnotherPlayersPauseLeavesTheLane", absent, {vlcPlays, vlcPauses, spotifyPlays, vlcPauses}, "Björk|Hyperballad", false},
        Session{"AnotherPlayerLeavingLeavesTheLane", absent, {vlcPlays, spotifyPlays, Remove{"org.mpris.MediaPlayer2.vlc"}}, "Björk|Hyperballad", false},
        Session{"APlayerStillPlayingTakesOver", absent, {vlcPlays, spotifyPlays, spotifyPauses}, "Nina Simone|Sinnerman", false},
        Session{"SwitchedOffAtStartIgnoresPlayers", false, {spotifyPlays}, "none", false},
        Session{"SwitchingOffDropsAScheduledClear", absent, {spotifyPlays, spotifyPauses, Setting{false}}, "none", false},
        Session{"ReportsWhileOffAreIgnored", absent, {Setting{false}, spotifyPlays, vlcPlays}, "none", false},
        Session{"SwitchingOnPicksUpAPlayingPlayer", false, {spotifyPlays, Setting{true}}, "Björk|Hyperballad", false},
        Session{"SwitchingOnWithNothingPlayingSetsNothing", false, {spotifyPlays, spotifyPauses, Setting{true}}, "none", false},
        Session{"RemovingTheKeyMeansOn", false, {spotifyPlays, Setting{absent}}, "Björk|Hyperballad", false},
        Session{"WrongTypeReadsAsTheDefault", "off", {spotifyPlays}, "Björk|Hyperballad", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(NowPlayingController, StartsOnlyOnceAndHoldsTheStoreWeakly)
{
    MusicStore music, other;
    FakeNowPlayingSource* source = nullptr;
    int made = 0;
    NowPlayingController controller(*music.defaults, [&] {
        auto s = std::make_unique<FakeNowPlayingSource>();
        source = s.get();
        ++made;
        return s;
    });
    EXPECT_FALSE(controller.isStarted());
    controller.start(*music.store);
    controller.start(*other.store);
    ASSERT_EQ(made, 1);
    ASSERT_TRUE(source->isStarted());
    source->report(State{S("p"), Playback::Playing, S("Artist"), S("Song")});
    EXPECT_EQ(music.playing(), S("Artist|Song"));
    EXPECT_EQ(other.playing(), S("none")) << "a later start() must not re-target the controller";

    music.store.reset();
    source->report(State{S("p"), Playback::Paused, S("Artist"), S("Song")});
    source->report(State{S("p"), Playback::Playing, S("Other"), S("Song")});
    music.defaults->set(NowPlayingController::EnabledKey, false);  // no crash, nothing to clear
    EXPECT_EQ(other.playing(), S("none"));
}

} // namespace
