#pragma once

#include <QDBusConnection>
#include <QDBusMessage>

// Returns once the bus daemon has handled everything sent on `bus` before
// this call. Qt sends the match rule of a signal connection without waiting
// for the bus to take it, so a signal another peer sends right after the
// connection is made can pass by unseen; after this round trip it cannot.
// False when the bus did not answer.
inline bool busRoundTrip(const QDBusConnection& bus)
{
    const QDBusMessage ask = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetId"));
    // Generous: the bus answers at once unless the machine is very busy.
    return bus.call(ask, QDBus::Block, 60000).type() == QDBusMessage::ReplyMessage;
}
