#include "MusicHarness.h"
#include "music/RoomListener.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

namespace {

using Match = MusicRecognizer::Match;
using State = RoomListener::State;

QString S(const char* text)
{
    return QString::fromUtf8(text);
}

TEST(RoomListener, OnLinuxListeningIsUnavailableAndTheSettingStays)
{
    MusicStore music;
    music.defaults->set(RoomListener::EnabledKey, true);
    RoomListener listener(*music.defaults, MusicRecognizer::createSystem());
    QSignalSpy listening(music.store.get(), &FeedStore::isRoomListeningChanged);
    listener.start(*music.store);
    FakeTime::settle();

    EXPECT_EQ(listener.state(), State::Unavailable);
    EXPECT_EQ(listener.unavailableReason(), S("Music recognition is not available on Linux"));
    EXPECT_FALSE(music.store->isRoomListening());
    EXPECT_EQ(listening.count(), 0) << "the store never claims to listen";
    EXPECT_TRUE(music.defaults->boolValue(RoomListener::EnabledKey, false)) << "the user's choice is kept";

    // Off and on again: asked again, unavailable again.
    music.defaults->set(RoomListener::EnabledKey, false);
    EXPECT_EQ(listener.state(), State::Off);
    EXPECT_TRUE(listener.unavailableReason().isEmpty());
    music.defaults->set(RoomListener::EnabledKey, true);
    FakeTime::settle();
    EXPECT_EQ(listener.state(), State::Unavailable);
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

TEST_F(RoomListenerWithRecognizer, OffByDefaultAndNothingHappensBeforeStart)
{
    music.defaults->set(RoomListener::EnabledKey, true);
    FakeTime::settle();
    EXPECT_EQ(recognizer->starts, 0) << "the setting is followed only after start()";
    music.defaults->remove(RoomListener::EnabledKey);
    listener->start(*music.store);
    FakeTime::settle();
    EXPECT_EQ(recognizer->starts, 0);
    EXPECT_EQ(listener->state(), State::Off);
    EXPECT_FALSE(music.store->isRoomListening());
}

TEST_F(RoomListenerWithRecognizer, FollowsTheSettingAndTheStoreFollowsTheRecognizer)
{
    music.defaults->set(RoomListener::EnabledKey, true);
    listener->start(*music.store);
    EXPECT_EQ(recognizer->starts, 1) << "listening starts at once when the setting is on";
    EXPECT_EQ(listener->state(), State::Starting);
    EXPECT_FALSE(music.store->isRoomListening()) << "not before the recogniser listens";
    FakeTime::settle();
    EXPECT_EQ(listener->state(), State::Listening);
    EXPECT_TRUE(music.store->isRoomListening());

    music.defaults->set(RoomListener::EnabledKey, false);
    EXPECT_EQ(recognizer->stops, 1);
    EXPECT_EQ(listener->state(), State::Off);
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
    EXPECT_EQ(listener->state(), State::Off);
}

} // namespace
