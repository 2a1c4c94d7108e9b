// MPRIS players on a private session bus (tests/music/run-on-private-bus.sh):
// each test player is an object of this process on a connection of its own,
// so the source sees it exactly as it would see a real player.
#include "BusRoundTrip.h"
#include "MusicHarness.h"
#include "music/NowPlayingController.h"
#include "platform/session/NowPlayingSource.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QSignalSpy>
#include <gtest/gtest.h>

namespace {

const QString objectPath = S("/org/mpris/MediaPlayer2");
const QString markerPath = S("/org/tidewire/Test");
const QString markerInterface = S("org.tidewire.Test");

// Counts the test players' markers on the connection the sources listen on.
class MarkerCount : public QObject {
    Q_OBJECT
public:
    bool listen(QDBusConnection bus)
    {
        return bus.connect(QString(), markerPath, markerInterface, S("Marker"), this, SLOT(heard()))
               && busRoundTrip(bus);
    }
    int count = 0;

private Q_SLOTS:
    void heard() { ++count; }
};

// A minimal MPRIS player: its status and metadata as D-Bus properties, and
// PropertiesChanged sent on every change, as players do.
class TestPlayer : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ playbackStatus)
    Q_PROPERTY(QVariantMap Metadata READ metadata)
    Q_PROPERTY(double Volume READ volume)

public:
    // The state before the player appears on the bus; a single artist text
    // or a list split at " & ".
    TestPlayer(const char* name, const char* status = "Stopped", const char* artist = "", const char* title = "", bool artistAsText = false)
        : m_name(S("org.mpris.MediaPlayer2.") + S(name)), m_bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus, S(name)))
        , m_artistAsText(artistAsText), m_status(S(status)), m_artist(S(artist)), m_title(S(title))
    {
    }
    ~TestPlayer() override { leave(); }

    bool appear() { return m_bus.registerObject(objectPath, this, QDBusConnection::ExportAllProperties) && m_bus.registerService(m_name); }
    void leave()
    {
        if (m_bus.isConnected())
            m_bus.unregisterService(m_name), m_bus.unregisterObject(objectPath);
    }
    void play(const char* artist, const char* title)
    {
        m_artist = S(artist);
        m_title = S(title);
        m_status = S("Playing");
        announce({{S("PlaybackStatus"), m_status}, {S("Metadata"), metadata()}});
    }
    void setStatus(const char* status)
    {
        m_status = S(status);
        announce({{S("PlaybackStatus"), m_status}});
    }
    void setVolume(double volume) { announce({{S("Volume"), m_volume = volume}}); }
    // A signal of the test's own, sent after everything the player sent
    // before: once it has come, so has all of that.
    void mark() { m_bus.send(QDBusMessage::createSignal(markerPath, markerInterface, S("Marker"))); }

    QString playbackStatus() const { return m_status; }
    double volume() const { return m_volume; }
    QVariantMap metadata() const
    {
        const QVariant artist = m_artistAsText ? QVariant(m_artist) : QVariant(m_artist.isEmpty() ? QStringList() : m_artist.split(S(" & ")));
        return {{S("mpris:trackid"), QVariant::fromValue(QDBusObjectPath(S("/track/1")))}, {S("xesam:title"), m_title}, {S("xesam:artist"), artist}};
    }

private:
    void announce(const QVariantMap& changed)
    {
        QDBusMessage signal = QDBusMessage::createSignal(objectPath, S("org.freedesktop.DBus.Properties"), S("PropertiesChanged"));
        signal << S("org.mpris.MediaPlayer2.Player") << changed << QStringList();
        m_bus.send(signal);
    }

    QString m_name;
    QDBusConnection m_bus;
    bool m_artistAsText;
    QString m_status, m_artist, m_title;
    double m_volume = 1.0;
};

class MprisPlayers : public ::testing::Test {
protected:
    void SetUp() override
    {
        const QString environment = qEnvironmentVariable("TIDEWIRE_BUS_TEST");
        if (environment.startsWith(S("missing:")))
            GTEST_SKIP() << environment.mid(8).toStdString();
        ASSERT_EQ(environment, S("private")) << "run through tests/music/run-on-private-bus.sh (ctest does)";
        ASSERT_TRUE(QDBusConnection::sessionBus().isConnected());
        ASSERT_TRUE(markers.listen(QDBusConnection::sessionBus()));
    }
    static std::unique_ptr<NowPlayingSource> makeSource() { return NowPlayingSource::createMpris(QDBusConnection::sessionBus()); }
    // Generous: bus signals can take seconds on a loaded machine.
    static bool waitUntil(const std::function<bool()>& done) { return MusicStore::waitUntil(done, 30000); }
    // Returns once the sources have handled everything `player` sent so far
    // (signals that should change nothing included).
    bool handled(TestPlayer& player)
    {
        const int before = markers.count;
        player.mark();
        return waitUntil([&] { return markers.count > before; });
    }

    MarkerCount markers;
};

TEST_F(MprisPlayers, PlayingPausingAndChangingTracksDriveTheLane)
{
    MusicStore music;
    NowPlayingSource* source = nullptr;
    NowPlayingController controller(*music.defaults, [&source] {
        auto made = makeSource();
        source = made.get();
        return made;
    });
    controller.start(*music.store);
    ASSERT_NE(source, nullptr);
    TestPlayer player("tidewiretest");
    ASSERT_TRUE(player.appear());
    ASSERT_TRUE(waitUntil([&] { return source->players().size() == 1; })) << "the player was never read";
    EXPECT_EQ(music.playing(), S("none")) << "a stopped player sets nothing";

    player.play("Portishead", "Roads");
    ASSERT_TRUE(waitUntil([&] { return music.playing() == S("Portishead|Roads"); })) << music.playing().toStdString();
    ASSERT_TRUE(waitUntil([&] { return music.laneIds() == S("Portishead-1 Portishead-2"); }));
    const auto asked = music.server.requestsFor(S("/v1_nowplaying"));
    ASSERT_EQ(asked.size(), 1);
    EXPECT_EQ(asked[0].query.queryItemValue(S("track"), QUrl::FullyDecoded), S("Roads"));

    player.play("Portishead", "Glory Box");
    ASSERT_TRUE(waitUntil([&] { return music.playing() == S("Portishead|Glory Box"); }));
    EXPECT_EQ(music.server.requestCount(S("/v1_nowplaying")), 1) << "same artist: no new bundle";

    player.setStatus("Paused");
    ASSERT_TRUE(waitUntil([&] { return music.store->hasPendingClear(); }));
    player.setStatus("Playing");
    ASSERT_TRUE(waitUntil([&] { return !music.store->hasPendingClear(); }));
    music.time.advance(std::chrono::seconds(30));
    EXPECT_EQ(music.playing(), S("Portishead|Glory Box")) << "resumed within 30 s: nothing cleared";

    player.play("Massive Attack & Tracey Thorn", "Protection");
    ASSERT_TRUE(waitUntil([&] { return music.playing() == S("Massive Attack, Tracey Thorn|Protection"); }));
    ASSERT_TRUE(waitUntil([&] { return music.laneIds().startsWith(S("Massive Attack, Tracey Thorn-1")); })) << music.laneIds().toStdString();

    player.setStatus("Stopped");
    ASSERT_TRUE(waitUntil([&] { return music.store->hasPendingClear(); }));
    music.time.advance(std::chrono::seconds(30));
    EXPECT_EQ(music.playing(), S("none"));
    EXPECT_TRUE(music.store->nowPlayingItems().isEmpty());
}

TEST_F(MprisPlayers, SourceReportsPlayersFoundAtStartAndOnlyRealChanges)
{
    TestPlayer early("early", "Playing", "Nina Simone", "Sinnerman", /*artistAsText=*/true);
    ASSERT_TRUE(early.appear());
    auto source = makeSource();
    QSignalSpy changed(source.get(), &NowPlayingSource::playerChanged);
    QSignalSpy removed(source.get(), &NowPlayingSource::playerRemoved);
    source->start();
    ASSERT_TRUE(waitUntil([&] { return changed.count() == 1; }));
    const auto first = changed.at(0).at(0).value<NowPlayingSource::PlayerState>();
    // A single artist text is accepted too.
    EXPECT_EQ(first, (NowPlayingSource::PlayerState{S("org.mpris.MediaPlayer2.early"), NowPlayingSource::Playback::Playing, S("Nina Simone"), S("Sinnerman")}));

    early.setVolume(0.4);
    early.setStatus("Playing");
    ASSERT_TRUE(handled(early));
    EXPECT_EQ(changed.count(), 1) << "volume changes and repeats are not track changes";

    TestPlayer late("late");
    ASSERT_TRUE(late.appear());
    late.play("Air", "Alpha Beta Gaga");
    ASSERT_TRUE(waitUntil([&] {
        const auto players = source->players();
        return players.size() == 2 && players[1].title == S("Alpha Beta Gaga");
    }));
    EXPECT_EQ(source->players()[0].player, S("org.mpris.MediaPlayer2.early"));
    late.leave();
    ASSERT_TRUE(waitUntil([&] { return removed.count() == 1; }));
    EXPECT_EQ(removed.at(0).at(0).toString(), S("org.mpris.MediaPlayer2.late"));
    EXPECT_EQ(source->players().size(), 1);

    // A player already playing when the controller starts is picked up; one
    // that leaves while the lane is its own starts the clear.
    MusicStore music;
    NowPlayingController controller(*music.defaults, &makeSource);
    controller.start(*music.store);
    ASSERT_TRUE(waitUntil([&] { return music.playing() == S("Nina Simone|Sinnerman"); }));
    early.leave();
    ASSERT_TRUE(waitUntil([&] { return music.store->hasPendingClear(); }));
}

} // namespace

#include "MprisPlayerTest.moc"
