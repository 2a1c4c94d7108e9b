#pragma once

#include "platform/session/NowPlayingSource.h"
#include "platform/storage/SettingsCatalogue.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

class Defaults;
class FeedStore;

// Tunes the feed store to what the music players play. While the
// "nowPlayingEnabled" setting is on (the default), a player that starts
// playing sets the store's track (the artist again as the track when the
// player gives no title); when the player that set it pauses, stops or
// leaves, another player that still plays takes over, or else the store
// clears the lane 30 s later unless a track starts again. Other players'
// pauses do not touch the lane. Switching the setting off clears the lane at
// once; switching it on picks up a player that is playing.
// Main thread only.
class NowPlayingController : public QObject {
    Q_OBJECT
public:
    static inline const QString EnabledKey = Settings::nowPlayingEnabled.key.toString();
    static constexpr bool EnabledDefault = Settings::nowPlayingEnabled.fallback;
    static constexpr quint64 ClearAfterSeconds = 30;

    using SourceFactory = std::function<std::unique_ptr<NowPlayingSource>()>;

    // `makeSource` is called once, by the first start().
    NowPlayingController(Defaults& defaults, SourceFactory makeSource, QObject* parent = nullptr);
    ~NowPlayingController() override;

    // The process-wide controller: the standard settings and MPRIS on the
    // session bus. Created on first use, never destroyed.
    static NowPlayingController& shared();

    // Starts following the players and the setting for `store` (held
    // weakly). Acts only on the first call; later calls return at once.
    void start(FeedStore& store);
    bool isStarted() const { return m_source != nullptr; }
    bool isEnabled() const;

    // The player whose track the store shows, if any.
    const std::optional<QString>& drivingPlayer() const { return m_driving; }

private:
    void onPlayerChanged(const NowPlayingSource::PlayerState& state);
    void onPlayerGone(const QString& player);
    void onSettingChanged(const QString& key);
    void tuneTo(const NowPlayingSource::PlayerState& state);
    bool pickUpPlayingPlayer();

    Defaults& m_defaults;
    SourceFactory m_makeSource;
    std::unique_ptr<NowPlayingSource> m_source;
    QPointer<FeedStore> m_store;
    std::optional<QString> m_driving;
    bool m_wasEnabled = true;
};
