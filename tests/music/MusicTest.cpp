#include "MusicHarness.h"
#include "music/ArtworkLoader.h"
#include "music/ListeningChip.h"
#include "music/NowPlayingArtBlock.h"
#include "music/NowPlayingChip.h"
#include "music/NowPlayingController.h"
#include "music/RoomListener.h"
#include "platform/MprisNowPlayingSource.h"

#include <QBuffer>
#include <QImage>
#include <QJsonValue>
#include <QSignalSpy>
#include <QTest>
#include <variant>

namespace {

using Playback = NowPlayingSource::Playback;
using State = NowPlayingSource::PlayerState;

QString S(const char* text)
{
    return QString::fromUtf8(text);
}

QByteArray png(const QColor& color, int side = 60)
{
    QImage image(side, side, QImage::Format_RGB32);
    image.fill(color);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

TEST(NowPlayingChip, TextNamesArtistAndTrackOnceAndLongTitlesAreElided)
{
    const std::array<const char*, 3> cases[] = {
        {"Björk", "Hyperballad", "Björk — Hyperballad"},
        {"Radio One", "Radio One", "Radio One"},  // players without a title repeat the artist
        {"Radio One", "", "Radio One"},
        {"<b>AC&DC</b>", "T.N.T.", "<b>AC&DC</b> — T.N.T."},  // shown as typed, never as markup
    };
    for (const auto& [artist, track, text] : cases)
        EXPECT_EQ(NowPlayingChip(S(artist), S(track), [] {}).text(), S(text)) << artist;

    NowPlayingChip shortChip(S("Air"), S("Alpha"), [] {});
    NowPlayingChip longChip(S("Air"), QString(400, QLatin1Char('x')), [] {});
    EXPECT_LT(shortChip.sizeHint().width(), longChip.sizeHint().width());
    EXPECT_LE(longChip.sizeHint().width(), 320 + 60);
    longChip.setTrack(S("Air"), S("Alpha"));
    EXPECT_EQ(longChip.sizeHint(), shortChip.sizeHint());
}

TEST(MusicChips, OnlyTheCloseButtonDetaches)
{
    int exits = 0;
    NowPlayingChip playing(S("Air"), S("Playground Love"), [&] { ++exits; });
    ListeningChip listening([&] { ++exits; });
    EXPECT_EQ(listening.text(), S("Listening…"));
    auto check = [&](auto& chip) {
        exits = 0;
        chip.resize(chip.sizeHint());
        QTest::mouseClick(&chip, Qt::LeftButton, {}, QPoint(10, chip.height() / 2));
        EXPECT_EQ(exits, 0);
        QTest::mouseClick(&chip, Qt::LeftButton, {}, chip.closeButtonRect().center().toPoint());
        EXPECT_EQ(exits, 1);
    };
    check(playing);
    check(listening);
}

class ArtBlockLoading : public ::testing::Test {
protected:
    ArtBlockLoading()
    {
        music.server.route(QStringLiteral("/red.png"), LoopbackServer::Response::text(png(Qt::red), "image/png"));
        music.server.route(QStringLiteral("/blue.png"), LoopbackServer::Response::text(png(Qt::blue), "image/png"));
        music.server.route(QStringLiteral("/broken.png"), LoopbackServer::Response::text("not an image", "image/png"));
    }
    QColor centreOf(NowPlayingArtBlock& block)
    {
        block.resize(block.sizeHint());
        const QImage shot = block.grab().toImage();
        const int side = NowPlayingArtBlock::artSide(block.size());
        return shot.pixelColor(side / 2, block.height() / 2);
    }

    MusicStore music;
    ArtworkLoader loader{&music.network};
};

TEST_F(ArtBlockLoading, FitsItsSizeAndFollowsTheStoresArtworkDownloadingEachCoverOnce)
{
    // {size, hint, text}; any other size code draws standard.
    for (const auto& [size, hint, text] : {std::tuple{1, QSize(32, 48), false},
                                           {4, QSize(72 + 10 + 190, 108), true}, {3, QSize(48 + 10 + 190, 72), true}}) {
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
    EXPECT_EQ(music.server.requestCount(QStringLiteral("/red.png")), 1);

    music.store->setNowPlaying(S("Slowdive"), S("Alison"), music.server.url(S("blue.png")));
    EXPECT_EQ(block.artURL(), std::optional<QUrl>(music.server.url(S("blue.png"))));
    EXPECT_FALSE(block.hasArtwork()) << "the old cover must not stand for the new track";
    ASSERT_TRUE(MusicStore::waitUntil([&] { return block.hasArtwork(); }));
    EXPECT_EQ(centreOf(block), QColor(Qt::blue));

    music.store->clearNowPlaying();
    EXPECT_FALSE(block.artURL().has_value());
    EXPECT_FALSE(block.hasArtwork());
}

TEST_F(ArtBlockLoading, BadArtworkLeavesThePlaceholder)
{
    struct Case { const char* name; QUrl url; bool requested; };
    const Case cases[] = {
        {"not an image", music.server.url(S("broken.png")), true}, {"missing", music.server.url(S("gone.png")), true},
        {"not http", QUrl(S("file:///etc/passwd")), false},
    };
    for (const auto& c : cases) {
        QSignalSpy failed(&loader, &ArtworkLoader::failed);
        NowPlayingArtBlock block(*music.store, 2, c.url, loader);
        if (c.requested) {
            ASSERT_TRUE(MusicStore::waitUntil([&] { return failed.count() == 1; })) << c.name;
        }
        EXPECT_FALSE(block.hasArtwork()) << c.name;
        EXPECT_NE(centreOf(block), QColor(Qt::red)) << c.name;
    }
    EXPECT_EQ(music.server.requestCount(QStringLiteral("/etc/passwd")), 0);
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
    struct Case { const char* name; QVariantMap properties; State expected; };
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

using Match = MusicRecognizer::Match;

TEST(RoomListener, OnLinuxListeningIsUnavailableAndTheSettingStays)
{
    MusicStore music;
    music.defaults->set(RoomListener::EnabledKey, true);
    RoomListener listener(*music.defaults, MusicRecognizer::createSystem());
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

class RoomListenerWithRecognizer : public ::testing::Test {
protected:
    RoomListenerWithRecognizer()
    {
        auto made = std::make_unique<FakeMusicRecognizer>();
        recognizer = made.get();
        listener = std::make_unique<RoomListener>(*music.defaults, std::move(made));
    }

    MusicStore music;
    FakeMusicRecognizer* recognizer = nullptr;
    std::unique_ptr<RoomListener> listener;
};

TEST_F(RoomListenerWithRecognizer, FollowsTheSettingOnlyOnceStartedAndTheStoreFollowsTheRecognizer)
{
    music.defaults->set(RoomListener::EnabledKey, true);
    FakeTime::settle();
    EXPECT_EQ(recognizer->starts, 0) << "the setting is followed only after start()";
    music.defaults->remove(RoomListener::EnabledKey);
    listener->start(*music.store);
    FakeTime::settle();
    EXPECT_EQ(recognizer->starts, 0) << "off by default";
    EXPECT_EQ(listener->state(), RoomListener::State::Off);
    music.defaults->set(RoomListener::EnabledKey, true);
    EXPECT_EQ(recognizer->starts, 1) << "listening starts at once when the setting goes on";
    EXPECT_EQ(listener->state(), RoomListener::State::Starting);
    EXPECT_FALSE(music.store->isRoomListening()) << "not before the recogniser listens";
    FakeTime::settle();
    EXPECT_EQ(listener->state(), RoomListener::State::Listening);
    EXPECT_TRUE(music.store->isRoomListening());

    music.defaults->set(RoomListener::EnabledKey, false);
    EXPECT_EQ(recognizer->stops, 1);
    EXPECT_EQ(listener->state(), RoomListener::State::Off);
    EXPECT_FALSE(music.store->isRoomListening());

    music.defaults->set(RoomListener::EnabledKey, true);
    music.defaults->set(RoomListener::EnabledKey, true);
    FakeTime::settle();
    EXPECT_EQ(recognizer->starts, 2);
    EXPECT_TRUE(music.store->isRoomListening());
}

TEST_F(RoomListenerWithRecognizer, MatchesTuneTheStoreWithTheirArtwork)
{
    music.defaults->set(RoomListener::EnabledKey, true);
    listener->start(*music.store);
    FakeTime::settle();

    const QUrl art(S("https://art.example/cover.jpg"));
    recognizer->hear(Match{S(" Massive Attack "), S("Teardrop"), art});
    EXPECT_EQ(music.playing(), S("Massive Attack|Teardrop"));
    ASSERT_TRUE(music.store->nowPlayingArtworkURL().has_value());
    EXPECT_EQ(*music.store->nowPlayingArtworkURL(), art);

    recognizer->hear(Match{S("Burial"), S(""), std::nullopt});
    EXPECT_EQ(music.playing(), S("Burial|Burial"));
    recognizer->hear(Match{S("  "), S("Untitled"), std::nullopt});
    EXPECT_EQ(music.playing(), S("Burial|Burial")) << "a match without an artist is dropped";

    music.defaults->set(RoomListener::EnabledKey, false);
    recognizer->hear(Match{S("Late"), S("Reply"), std::nullopt});
    EXPECT_EQ(music.playing(), S("Burial|Burial")) << "nothing is heard once switched off";
}

TEST_F(RoomListenerWithRecognizer, StartsOnlyOnceAndOutlivesTheStore)
{
    MusicStore other;
    music.defaults->set(RoomListener::EnabledKey, true);
    listener->start(*music.store);
    listener->start(*other.store);
    EXPECT_TRUE(listener->isStarted());
    EXPECT_EQ(recognizer->starts, 1);
    FakeTime::settle();
    EXPECT_FALSE(other.store->isRoomListening());

    music.store.reset();
    recognizer->hear(Match{S("A"), S("B"), std::nullopt});
    music.defaults->set(RoomListener::EnabledKey, false);
    EXPECT_EQ(listener->state(), RoomListener::State::Off);
}

// One step of a scripted session.
struct Report { const char* player; Playback playback; const char* artist; const char* title; };
struct Remove { const char* player; };
struct Setting {
    QJsonValue value;  // undefined: the key is removed
};
struct Wait { int seconds; };
using Step = std::variant<Report, Remove, Setting, Wait>;

struct Session {
    const char* name;
    QJsonValue atStart;  // the stored "nowPlayingEnabled"; undefined: absent
    std::vector<Step> steps;
    const char* playing;  // "artist|track" or "none"
    bool pendingClear;
};

class NowPlayingControllerTest : public ::testing::TestWithParam<Session> {
protected:
    void run(const Session& session)
    {
        music.defaults->set(NowPlayingController::EnabledKey, session.atStart);
        controller.start(*music.store);
        for (const Step& step : session.steps) {
            if (const auto* r = std::get_if<Report>(&step))
                source->report(State{S(r->player), r->playback, S(r->artist), S(r->title)});
            else if (const auto* gone = std::get_if<Remove>(&step))
                source->remove(S(gone->player));
            else if (const auto* setting = std::get_if<Setting>(&step))
                music.defaults->set(NowPlayingController::EnabledKey, setting->value);
            else
                music.time.advance(std::chrono::seconds(std::get<Wait>(step).seconds));
        }
    }

    MusicStore music;
    FakeNowPlayingSource* source = nullptr;
    int sourcesMade = 0;
    NowPlayingController controller{*music.defaults, [this] {
                                        ++sourcesMade;
                                        auto made = std::make_unique<FakeNowPlayingSource>();
                                        source = made.get();
                                        return made;
                                    }};
};

TEST_P(NowPlayingControllerTest, DrivesTheStoresLane)
{
    const Session& session = GetParam();
    run(session);
    EXPECT_EQ(music.playing(), S(session.playing));
    EXPECT_EQ(music.store->hasPendingClear(), session.pendingClear);
}

const Report spotifyPlays{"org.mpris.MediaPlayer2.spotify", Playback::Playing, "Björk", "Hyperballad"};
const Report spotifyPauses{"org.mpris.MediaPlayer2.spotify", Playback::Paused, "Björk", "Hyperballad"};
const Report spotifyStops{"org.mpris.MediaPlayer2.spotify", Playback::Stopped, "", ""};
const Report vlcPlays{"org.mpris.MediaPlayer2.vlc", Playback::Playing, "Nina Simone", "Sinnerman"};
const Report vlcPauses{"org.mpris.MediaPlayer2.vlc", Playback::Paused, "Nina Simone", "Sinnerman"};

INSTANTIATE_TEST_SUITE_P(
    Sessions, NowPlayingControllerTest,
    ::testing::Values(
        // {name, stored switch at start, steps, playing at the end, clear still pending}
        Session{"PlayingSetsTheTrack", QJsonValue::Undefined, {spotifyPlays}, "Björk|Hyperballad", false},
        Session{"NoTitleGivesTheArtistAsTrack", QJsonValue::Undefined,
                {Report{"org.mpris.MediaPlayer2.radio", Playback::Playing, "Radio One", ""}}, "Radio One|Radio One", false},
        Session{"PlayingWithoutArtistIsIgnored", QJsonValue::Undefined,
                {Report{"org.mpris.MediaPlayer2.radio", Playback::Playing, "", "Jingle"}}, "none", false},
        Session{"ATrackChangeFollows", QJsonValue::Undefined,
                {spotifyPlays, Report{"org.mpris.MediaPlayer2.spotify", Playback::Playing, "Björk", "Joga"}},
                "Björk|Joga", false},
        Session{"PauseClearsAfterThirtySeconds", QJsonValue::Undefined, {spotifyPlays, spotifyPauses, Wait{30}}, "none", false},
        Session{"NotBeforeThirtySeconds", QJsonValue::Undefined, {spotifyPlays, spotifyPauses, Wait{29}}, "Björk|Hyperballad", true},
        Session{"StopSchedulesTheClear", QJsonValue::Undefined, {spotifyPlays, spotifyStops}, "Björk|Hyperballad", true},
        Session{"ResumingWithinThirtySecondsKeepsTheLane", QJsonValue::Undefined,
                {spotifyPlays, spotifyPauses, Wait{20}, spotifyPlays, Wait{30}}, "Björk|Hyperballad", false},
        Session{"ThePlayerLeavingSchedulesTheClear", QJsonValue::Undefined,
                {spotifyPlays, Remove{"org.mpris.MediaPlayer2.spotify"}, Wait{30}}, "none", false},
        Session{"AnotherPlayersPauseLeavesTheLane", QJsonValue::Undefined, {vlcPlays, vlcPauses, spotifyPlays, vlcPauses},
                "Björk|Hyperballad", false},
        Session{"AnotherPlayerLeavingLeavesTheLane", QJsonValue::Undefined,
                {vlcPlays, spotifyPlays, Remove{"org.mpris.MediaPlayer2.vlc"}}, "Björk|Hyperballad", false},
        Session{"APlayerStillPlayingTakesOver", QJsonValue::Undefined, {vlcPlays, spotifyPlays, spotifyPauses},
                "Nina Simone|Sinnerman", false},
        Session{"SwitchedOffAtStartIgnoresPlayers", false, {spotifyPlays}, "none", false},
        Session{"SwitchingOffDropsAScheduledClear", QJsonValue::Undefined, {spotifyPlays, spotifyPauses, Setting{false}},
                "none", false},
        Session{"ReportsWhileOffAreIgnored", QJsonValue::Undefined, {Setting{false}, spotifyPlays, vlcPlays}, "none", false},
        Session{"SwitchingOnPicksUpAPlayingPlayer", false, {spotifyPlays, Setting{true}}, "Björk|Hyperballad", false},
        Session{"SwitchingOnWithNothingPlayingSetsNothing", false, {spotifyPlays, spotifyPauses, Setting{true}}, "none", false},
        Session{"RemovingTheKeyMeansOn", false, {spotifyPlays, Setting{QJsonValue::Undefined}}, "Björk|Hyperballad", false},
        Session{"WrongTypeReadsAsTheDefault", "off", {spotifyPlays}, "Björk|Hyperballad", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(NowPlayingController, StartsOnlyOnceAndHoldsTheStoreWeakly)
{
    MusicStore music;
    MusicStore other;
    FakeNowPlayingSource* source = nullptr;
    int made = 0;
    NowPlayingController controller(*music.defaults, [&] {
        ++made;
        auto s = std::make_unique<FakeNowPlayingSource>();
        source = s.get();
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
