#pragma once

#include "platform/session/NowPlayingSource.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QHash>
#include <QStringList>
#include <QVariantMap>

// NowPlayingSource over MPRIS. Players are found by their well-known names
// ("org.mpris.MediaPlayer2.<player>"), read with Properties.GetAll and then
// followed through PropertiesChanged, which arrives from the player's unique
// name; NameOwnerChanged tells which unique name belongs to which player and
// when a player leaves. Only a change of status, artist or title is reported.
class MprisNowPlayingSource final : public NowPlayingSource {
    Q_OBJECT
public:
    static inline const QString NamePrefix = QStringLiteral("org.mpris.MediaPlayer2.");
    static inline const QString ObjectPath = QStringLiteral("/org/mpris/MediaPlayer2");
    static inline const QString PlayerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");

    explicit MprisNowPlayingSource(QDBusConnection bus, QObject* parent = nullptr);
    ~MprisNowPlayingSource() override;

    void start() override;
    QList<PlayerState> players() const override;

    // Reads "PlaybackStatus" and "Metadata" from a property map into `state`;
    // keys absent from the map leave their fields as they were.
    static void applyProperties(PlayerState& state, const QVariantMap& properties);

private Q_SLOTS:
    // String-based slots: QtDBus delivers bus signals only this way.
    void onNameOwnerChanged(const QString& name, const QString& oldOwner, const QString& newOwner);
    void onPropertiesChanged(const QString& interface, const QVariantMap& changed, const QStringList& invalidated,
                             const QDBusMessage& message);

private:
    void listPlayers();
    void addPlayer(const QString& name, const QString& owner);
    void readAll(const QString& name);
    void update(const QString& name, const QVariantMap& properties);
    void removePlayer(const QString& name);

    QDBusConnection m_bus;
    bool m_started = false;
    QStringList m_order;                     // well-known names in the order found
    QHash<QString, PlayerState> m_players;   // by well-known name
    QHash<QString, QStringList> m_owners;    // unique name -> its well-known names
    // Changes that arrived while a full read of the player was on its way:
    // newer than the read's answer, so they are applied over it.
    QHash<QString, QVariantMap> m_changedDuringRead;
};
