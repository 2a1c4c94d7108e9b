#pragma once

#include <QDBusConnection>
#include <QList>
#include <QObject>
#include <QString>
#include <memory>

// What the desktop's music players are playing. The Linux source follows the
// MPRIS players on a D-Bus session bus (every "org.mpris.MediaPlayer2.*"
// name): their "PlaybackStatus" and "Metadata" (xesam:title, xesam:artist)
// on /org/mpris/MediaPlayer2, interface org.mpris.MediaPlayer2.Player.
// Main thread only; reports arrive from the event loop.
class NowPlayingSource : public QObject {
    Q_OBJECT
public:
    enum class Playback { Playing, Paused, Stopped };

    // One player's state. `player` is its bus name; `artist` joins the
    // metadata's artist list with ", "; both texts are trimmed.
    struct PlayerState {
        QString player;
        Playback playback = Playback::Stopped;
        QString artist;
        QString title;
        friend bool operator==(const PlayerState&, const PlayerState&) = default;
    };

    using QObject::QObject;

    // Begins following the players: each one already on the bus is reported
    // once with playerChanged, later changes as they come. Idempotent.
    virtual void start() = 0;
    // The last known state of every player present, in the order they were found.
    virtual QList<PlayerState> players() const = 0;

    // MPRIS on `bus` (normally the session bus).
    static std::unique_ptr<NowPlayingSource> createMpris(const QDBusConnection& bus);

Q_SIGNALS:
    // A player appeared, or its status, artist or title changed.
    void playerChanged(const NowPlayingSource::PlayerState& state);
    // A player left the bus.
    void playerRemoved(const QString& player);
};

// Test double: report() and remove() emit at once (after start()).
class FakeNowPlayingSource final : public NowPlayingSource {
    Q_OBJECT
public:
    using NowPlayingSource::NowPlayingSource;
    void start() override { m_started = true; }
    QList<PlayerState> players() const override { return m_players; }
    bool isStarted() const { return m_started; }
    // Sets a player's state (adding it when new); emits when started.
    void report(const PlayerState& state);
    void remove(const QString& player);

private:
    QList<PlayerState> m_players;
    bool m_started = false;
};
