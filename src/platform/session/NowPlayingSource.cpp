#include "platform/session/NowPlayingSource.h"

#include "platform/session/MprisNowPlayingSource.h"

void FakeNowPlayingSource::report(const PlayerState& state)
{
    auto it = std::find_if(m_players.begin(), m_players.end(),
                           [&](const PlayerState& p) { return p.player == state.player; });
    if (it == m_players.end())
        m_players.append(state);
    else
        *it = state;
    if (m_started)
        Q_EMIT playerChanged(state);
}

void FakeNowPlayingSource::remove(const QString& player)
{
    const auto removed = m_players.removeIf([&](const PlayerState& p) { return p.player == player; });
    if (removed && m_started)
        Q_EMIT playerRemoved(player);
}

std::unique_ptr<NowPlayingSource> NowPlayingSource::createMpris(const QDBusConnection& bus)
{
    return std::make_unique<MprisNowPlayingSource>(bus);
}
