#include "platform/session/MprisNowPlayingSource.h"

#include "platform/base/Logging.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>

namespace {

const QString dbusService = QStringLiteral("org.freedesktop.DBus");
const QString dbusPath = QStringLiteral("/org/freedesktop/DBus");
const QString propertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");

// A value as it comes out of a variant: nested containers arrive as
// QDBusArgument and are turned into plain Qt values here.
QVariantMap toMap(const QVariant& value)
{
    if (value.canConvert<QDBusArgument>())
        return qdbus_cast<QVariantMap>(value.value<QDBusArgument>());
    return value.toMap();
}

QStringList toStrings(const QVariant& value)
{
    if (value.canConvert<QDBusArgument>())
        return qdbus_cast<QStringList>(value.value<QDBusArgument>());
    if (value.metaType() == QMetaType::fromType<QString>())
        return {value.toString()};
    return value.toStringList();
}

QVariant unwrap(const QVariant& value)
{
    if (value.canConvert<QDBusVariant>())
        return value.value<QDBusVariant>().variant();
    return value;
}

std::optional<NowPlayingSource::Playback> playbackFrom(const QString& status)
{
    if (status == QLatin1String("Playing"))
        return NowPlayingSource::Playback::Playing;
    if (status == QLatin1String("Paused"))
        return NowPlayingSource::Playback::Paused;
    if (status == QLatin1String("Stopped"))
        return NowPlayingSource::Playback::Stopped;
    return std::nullopt;
}

// The two properties read here as plain Qt values. A QDBusArgument can be
// read only once, and a change may be applied more than once (to each name
// of a player, and again over a full read).
QVariantMap plainProperties(const QVariantMap& properties)
{
    QVariantMap plain;
    if (const auto it = properties.find(QStringLiteral("PlaybackStatus")); it != properties.end())
        plain.insert(it.key(), unwrap(*it).toString());
    if (const auto it = properties.find(QStringLiteral("Metadata")); it != properties.end()) {
        const QVariantMap metadata = toMap(unwrap(*it));
        plain.insert(it.key(), QVariantMap{
            {QStringLiteral("xesam:title"), unwrap(metadata.value(QStringLiteral("xesam:title"))).toString()},
            {QStringLiteral("xesam:artist"), toStrings(unwrap(metadata.value(QStringLiteral("xesam:artist"))))}});
    }
    return plain;
}

} // namespace

MprisNowPlayingSource::MprisNowPlayingSource(QDBusConnection bus, QObject* parent)
    : NowPlayingSource(parent), m_bus(std::move(bus))
{
}

MprisNowPlayingSource::~MprisNowPlayingSource() = default;

void MprisNowPlayingSource::start()
{
    if (m_started)
        return;
    m_started = true;
    if (!m_bus.isConnected()) {
        qCInfo(lcNowPlaying) << "np: no session bus, music players cannot be followed";
        return;
    }
    m_bus.connect(dbusService, dbusPath, dbusService, QStringLiteral("NameOwnerChanged"), this,
                  SLOT(onNameOwnerChanged(QString, QString, QString)));
    // Any sender: the signal comes from the player's unique name.
    m_bus.connect(QString(), ObjectPath, propertiesInterface, QStringLiteral("PropertiesChanged"), this,
                  SLOT(onPropertiesChanged(QString, QVariantMap, QStringList, QDBusMessage)));
    listPlayers();
}

QList<NowPlayingSource::PlayerState> MprisNowPlayingSource::players() const
{
    QList<PlayerState> out;
    for (const auto& name : m_order)
        out.append(m_players.value(name));
    return out;
}

void MprisNowPlayingSource::applyProperties(PlayerState& state, const QVariantMap& properties)
{
    if (const auto it = properties.find(QStringLiteral("PlaybackStatus")); it != properties.end()) {
        if (const auto playback = playbackFrom(unwrap(*it).toString()))
            state.playback = *playback;
    }
    if (const auto it = properties.find(QStringLiteral("Metadata")); it != properties.end()) {
        const QVariantMap metadata = toMap(unwrap(*it));
        state.title = unwrap(metadata.value(QStringLiteral("xesam:title"))).toString().trimmed();
        QStringList artists;
        for (const auto& artist : toStrings(unwrap(metadata.value(QStringLiteral("xesam:artist"))))) {
            if (!artist.trimmed().isEmpty())
                artists.append(artist.trimmed());
        }
        state.artist = artists.join(QStringLiteral(", "));
    }
}

void MprisNowPlayingSource::listPlayers()
{
    const QDBusMessage call =
        QDBusMessage::createMethodCall(dbusService, dbusPath, dbusService, QStringLiteral("ListNames"));
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QDBusPendingReply<QStringList> reply = *w;
        if (reply.isError()) {
            qCInfo(lcNowPlaying).noquote() << "np: cannot list bus names:" << reply.error().message();
            return;
        }
        for (const auto& name : reply.value()) {
            if (name.startsWith(NamePrefix))
                addPlayer(name, {});
        }
    });
}

void MprisNowPlayingSource::addPlayer(const QString& name, const QString& owner)
{
    if (!owner.isEmpty()) {
        auto& names = m_owners[owner];
        if (!names.contains(name))
            names.append(name);
        readAll(name);
        return;
    }
    // Found by listing: ask who owns it, then read it.
    const QDBusMessage call = QDBusMessage::createMethodCall(dbusService, dbusPath, dbusService,
                                                             QStringLiteral("GetNameOwner"));
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(QDBusMessage(call) << name), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, name](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QDBusPendingReply<QString> reply = *w;
        if (!reply.isError() && !reply.value().isEmpty())
            addPlayer(name, reply.value());
    });
}

void MprisNowPlayingSource::readAll(const QString& name)
{
    if (m_changedDuringRead.contains(name))
        return;  // a read is already on its way
    m_changedDuringRead.insert(name, {});
    QDBusMessage call = QDBusMessage::createMethodCall(name, ObjectPath, propertiesInterface, QStringLiteral("GetAll"));
    call << PlayerInterface;
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, name](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QDBusPendingReply<QVariantMap> reply = *w;
        const QVariantMap later = m_changedDuringRead.take(name);
        if (reply.isError()) {
            qCDebug(lcNowPlaying).noquote() << "np: cannot read" << name << reply.error().message();
            return;
        }
        // The player may have left while the answer was on its way.
        for (const auto& names : std::as_const(m_owners)) {
            if (names.contains(name)) {
                QVariantMap properties = plainProperties(reply.value());
                properties.insert(later);
                update(name, properties);
                return;
            }
        }
    });
}

void MprisNowPlayingSource::update(const QString& name, const QVariantMap& properties)
{
    const bool known = m_players.contains(name);
    PlayerState state = known ? m_players.value(name) : PlayerState{name, Playback::Stopped, {}, {}};
    applyProperties(state, properties);
    if (known && state == m_players.value(name))
        return;
    if (!known)
        m_order.append(name);
    m_players.insert(name, state);
    Q_EMIT playerChanged(state);
}

void MprisNowPlayingSource::removePlayer(const QString& name)
{
    m_changedDuringRead.remove(name);
    for (auto it = m_owners.begin(); it != m_owners.end();) {
        it->removeAll(name);
        it = it->isEmpty() ? m_owners.erase(it) : std::next(it);
    }
    if (!m_players.remove(name))
        return;
    m_order.removeAll(name);
    Q_EMIT playerRemoved(name);
}

void MprisNowPlayingSource::onNameOwnerChanged(const QString& name, const QString& oldOwner, const QString& newOwner)
{
    if (!name.startsWith(NamePrefix))
        return;
    if (!oldOwner.isEmpty())
        removePlayer(name);
    if (!newOwner.isEmpty())
        addPlayer(name, newOwner);
}

void MprisNowPlayingSource::onPropertiesChanged(const QString& interface, const QVariantMap& changed,
                                                const QStringList& invalidated, const QDBusMessage& message)
{
    if (interface != PlayerInterface)
        return;
    const QStringList names = m_owners.value(message.service());
    const QVariantMap plain = plainProperties(changed);
    for (const auto& name : names) {
        if (const auto pending = m_changedDuringRead.find(name); pending != m_changedDuringRead.end())
            pending->insert(plain);
        if (invalidated.contains(QStringLiteral("Metadata")) || invalidated.contains(QStringLiteral("PlaybackStatus")))
            readAll(name);
        update(name, plain);
    }
}
