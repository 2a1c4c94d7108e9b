#include "music/NowPlayingController.h"

#include "platform/storage/Defaults.h"
#include "platform/base/Logging.h"
#include "store/FeedStore.h"

#include <QDBusConnection>

using Playback = NowPlayingSource::Playback;

NowPlayingController::NowPlayingController(Defaults& defaults, SourceFactory makeSource, QObject* parent)
    : QObject(parent), m_defaults(defaults), m_makeSource(std::move(makeSource))
{
}

NowPlayingController::~NowPlayingController() = default;

NowPlayingController& NowPlayingController::shared()
{
    static NowPlayingController* instance = new NowPlayingController(Defaults::standard(), [] {
        return NowPlayingSource::createMpris(QDBusConnection::sessionBus());
    });
    return *instance;
}

bool NowPlayingController::isEnabled() const
{
    return m_defaults.boolValue(EnabledKey, EnabledDefault);
}

void NowPlayingController::start(FeedStore& store)
{
    if (m_source || !m_makeSource)
        return;
    m_store = &store;
    m_source = m_makeSource();
    m_wasEnabled = isEnabled();
    connect(m_source.get(), &NowPlayingSource::playerChanged, this, &NowPlayingController::onPlayerChanged);
    connect(m_source.get(), &NowPlayingSource::playerRemoved, this, &NowPlayingController::onPlayerGone);
    connect(&m_defaults, &Defaults::changed, this, &NowPlayingController::onSettingChanged);
    qCInfo(lcNowPlaying) << "np: following music players";
    m_source->start();
}

void NowPlayingController::onPlayerChanged(const NowPlayingSource::PlayerState& state)
{
    if (!isEnabled() || !m_store)
        return;
    if (state.playback == Playback::Playing && !state.artist.isEmpty()) {
        tuneTo(state);
        return;
    }
    // Only the player the lane belongs to can pause it: a second player
    // stopping must not clear a song that still plays elsewhere.
    if (m_driving == state.player && state.playback != Playback::Playing)
        onPlayerGone(state.player);
}

void NowPlayingController::onPlayerGone(const QString& player)
{
    if (m_driving != player)
        return;
    m_driving.reset();
    if (!isEnabled() || !m_store)
        return;
    // Another player that still plays takes the lane over.
    if (pickUpPlayingPlayer())
        return;
    m_store->pauseNowPlaying(ClearAfterSeconds);
}

void NowPlayingController::tuneTo(const NowPlayingSource::PlayerState& state)
{
    m_driving = state.player;
    const QString track = state.title.isEmpty() ? state.artist : state.title;
    m_store->setNowPlaying(state.artist, track, std::nullopt);
}

bool NowPlayingController::pickUpPlayingPlayer()
{
    if (!m_source)
        return false;
    for (const auto& player : m_source->players()) {
        if (player.playback == Playback::Playing && !player.artist.isEmpty()) {
            tuneTo(player);
            return true;
        }
    }
    return false;
}

void NowPlayingController::onSettingChanged(const QString& key)
{
    if (key != EnabledKey)
        return;
    const bool enabled = isEnabled();
    if (enabled == m_wasEnabled)
        return;
    m_wasEnabled = enabled;
    m_driving.reset();
    if (!m_store)
        return;
    if (!enabled) {
        qCInfo(lcNowPlaying) << "np: tuning to music switched off";
        m_store->clearNowPlaying();
        return;
    }
    pickUpPlayingPlayer();
}
