#pragma once

#include "api/ItemModels.h"
#include "api/ManifestModels.h"
#include "api/OrbModels.h"

#include <QDateTime>
#include <QList>

// The catalogue, orbs and curated items of the last run, so the strip has
// headlines before the server answers. Every key is required; dates are ISO
// 8601 without fractional seconds.
struct CachedSnapshot {
    QList<Topic> topics;         // "topics"
    QList<FeedIndexItem> feeds;  // "feeds"
    QList<Orb> orbs;             // "orbs"
    QList<FeedItem> items;       // "items"
    QDateTime cachedAt;          // "cachedAt": when the data was fetched

    static JsonOptions options();
    static Result<CachedSnapshot> fromJson(const QJsonValue& json, const JsonOptions& options);
    QJsonObject toJson(const JsonOptions& options) const;
};
