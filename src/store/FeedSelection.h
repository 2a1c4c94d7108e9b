#pragma once

#include "platform/storage/SettingsCatalogue.h"
#include <QSet>
#include <QString>

class Defaults;

// How the feed selection is kept in the settings: sets of ids as one text,
// sorted ascending and joined with ",".
namespace FeedSelection {

inline const QString DisabledKey = Settings::disabledFeedIDs.key.toString();
inline const QString ActiveCuratedKey = Settings::activeCuratedIDs.key.toString();
inline const QString LegacyActiveCuratedKey = Settings::activeCuratedID.key.toString();
inline const QString DismissedReleaseKey = Settings::dismissedReleaseVersion.key.toString();
// The curated set whose batches ask only for the last two hours.
inline const QString PulseSetID = QStringLiteral("pulse");

// "a,,b," -> {a, b}: split at every comma, empty pieces dropped.
QSet<QString> parseIds(const QString& text);
// {b, a} -> "a,b".
QString joinIds(const QSet<QString>& ids);

QSet<QString> loadDisabled(const Defaults& defaults);
// "activeCuratedIDs" when present, else the older one-id "activeCuratedID".
QSet<QString> loadActiveCurated(const Defaults& defaults);
// Writes the settings file at once, with every change made before it (the
// curated set below included).
void saveDisabled(Defaults& defaults, const QSet<QString>& ids);
// Stores the set (removed when empty) and always drops the older key; the
// file is written by the saveDisabled() that follows it.
void saveActiveCurated(Defaults& defaults, const QSet<QString>& ids);

} // namespace FeedSelection
