#include "MusicHarness.h"
#include "music/NowPlayingController.h"

#include <QJsonValue>
#include <variant>
#include <gtest/gtest.h>

namespace {

using Playback = NowPlayingSource::Playback;
using State = NowPlayingSource::PlayerState;

QString S(const char* text)
{
    return QString::fromUtf8(text);
}

// One step of a scripted session.
struct Report {
    const char* player;
    Playback playback;
    const char* artist;
    const char* title;
};
struct Remove {
    const char* player;
};
struct Setting {
    QJsonValue value;  // undefined: the key is removed
};
struct Wait {
    int seconds;
};
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
        Session{"PlayingSetsTheTrack", QJsonValue::Undefined, {spotifyPlays}, "Björk|Hyperballad", false},
        Session{"NoTitleGivesTheArtistAsTrack",
                QJsonValue::Undefined,
                {Report{"org.mpris.MediaPlayer2.radio", Playback::Playing, "Radio One", ""}},
                "Radio One|Radio One",
                false},
        Session{"PlayingWithoutArtistIsIgnored",
                QJsonValue::Undefined,
                {Report{"org.mpris.MediaPlayer2.radio", Playback::Playing, "", "Jingle"}},
                "none",
                false},
        Session{"ATrackChangeFollows",
                QJsonValue::Undefined,
                {spotifyPlays, Report{"org.mpris.MediaPlayer2.spotify", Playback::Playing, "Björk", "Joga"}},
                "Björk|Joga",
                false},
        Session{"PauseSchedulesTheClear", QJsonValue::Undefined, {spotifyPlays, spotifyPauses}, "Björk|Hyperballad", true},
        Session{"PauseClearsAfterThirtySeconds", QJsonValue::Undefined, {spotifyPlays, spotifyPauses, Wait{30}}, "none", false},
        Session{"NotBeforeThirtySeconds",
                QJsonValue::Undefined,
                {spotifyPlays, spotifyPauses, Wait{29}},
                "Björk|Hyperballad",
                true},
        Session{"StopSchedulesTheClear", QJsonValue::Undefined, {spotifyPlays, spotifyStops}, "Björk|Hyperballad", true},
        Session{"ResumingWithinThirtySecondsKeepsTheLane",
                QJsonValue::Undefined,
                {spotifyPlays, spotifyPauses, Wait{20}, spotifyPlays, Wait{30}},
                "Björk|Hyperballad",
                false},
        Session{"ThePlayerLeavingSchedulesTheClear",
                QJsonValue::Undefined,
                {spotifyPlays, Remove{"org.mpris.MediaPlayer2.spotify"}, Wait{30}},
                "none",
                false},
        Session{"AnotherPlayersPauseLeavesTheLane",
                QJsonValue::Undefined,
                {vlcPlays, vlcPauses, spotifyPlays, vlcPauses},
                "Björk|Hyperballad",
                false},
        Session{"AnotherPlayerLeavingLeavesTheLane",
                QJsonValue::Undefined,
                {vlcPlays, spotifyPlays, Remove{"org.mpris.MediaPlayer2.vlc"}},
                "Björk|Hyperballad",
                false},
        Session{"APlayerStillPlayingTakesOver",
                QJsonValue::Undefined,
                {vlcPlays, spotifyPlays, spotifyPauses},
                "Nina Simone|Sinnerman",
                false},
        Session{"SwitchedOffAtStartIgnoresPlayers", false, {spotifyPlays}, "none", false},
        Session{"SwitchingOffClearsAtOnce", QJsonValue::Undefined, {spotifyPlays, Setting{false}}, "none", false},
        Session{"SwitchingOffDropsAScheduledClear",
                QJsonValue::Undefined,
                {spotifyPlays, spotifyPauses, Setting{false}},
                "none",
                false},
        Session{"ReportsWhileOffAreIgnored", QJsonValue::Undefined, {Setting{false}, spotifyPlays, vlcPlays}, "none", false},
        Session{"SwitchingOnPicksUpAPlayingPlayer",
                false,
                {spotifyPlays, Setting{true}},
                "Björk|Hyperballad",
                false},
        Session{"SwitchingOnWithNothingPlayingSetsNothing",
                false,
                {spotifyPlays, spotifyPauses, Setting{true}},
                "none",
                false},
        Session{"RemovingTheKeyMeansOn", false, {spotifyPlays, Setting{QJsonValue::Undefined}}, "Björk|Hyperballad", false},
        Session{"WrongTypeReadsAsTheDefault",
                "off",
                {spotifyPlays},
                "Björk|Hyperballad",
                false}),
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

TEST(NowPlayingController, ThePlayingArtistsBundleFillsTheLane)
{
    MusicStore music;
    FakeNowPlayingSource* source = nullptr;
    NowPlayingController controller(*music.defaults, [&] {
        auto s = std::make_unique<FakeNowPlayingSource>();
        source = s.get();
        return s;
    });
    controller.start(*music.store);
    source->report(State{S("p"), Playback::Playing, S("Air"), S("La Femme d'Argent")});
    ASSERT_TRUE(MusicStore::waitUntil([&] { return music.laneIds() == S("Air-1 Air-2"); })) << music.laneIds().toStdString();
    const auto asked = music.server.requestsFor(QStringLiteral("/v1_nowplaying"));
    ASSERT_EQ(asked.size(), 1);
    EXPECT_EQ(asked[0].query.queryItemValue(QStringLiteral("track"), QUrl::FullyDecoded), S("La Femme d'Argent"));
}

} // namespace
