#include "platform/base/Error.h"

QString errorKindName(ErrorKind kind)
{
    switch (kind) {
    case ErrorKind::NotModified: return QStringLiteral("notModified");
    case ErrorKind::Cancelled: return QStringLiteral("cancelled");
    case ErrorKind::TimedOut: return QStringLiteral("timedOut");
    case ErrorKind::BadURL: return QStringLiteral("badURL");
    case ErrorKind::BadServerResponse: return QStringLiteral("badServerResponse");
    case ErrorKind::Transport: return QStringLiteral("transport");
    case ErrorKind::TooLarge: return QStringLiteral("tooLarge");
    case ErrorKind::Decoding: return QStringLiteral("decoding");
    case ErrorKind::Io: return QStringLiteral("io");
    case ErrorKind::Unavailable: return QStringLiteral("unavailable");
    case ErrorKind::Locked: return QStringLiteral("locked");
    }
    return QStringLiteral("unknown");
}
