#pragma once

#include "api/SourceType.h"
#include "platform/storage/Json.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTimeZone>
#include <QUrl>
#include <optional>

// The news category of a feed. Every field is optional, so {} decodes.
struct FeedCategory {
    std::optional<QString> id;    // "category_id"
    std::optional<QString> name;  // "name"
    std::optional<QString> slug;  // "slug"
    std::optional<qint64> sortOrder;  // "sort_order"

    static Result<FeedCategory> fromJson(const QJsonValue& json, const JsonOptions& options);
    QJsonObject toJson(const JsonOptions& options) const;
    friend bool operator==(const FeedCategory&, const FeedCategory&) = default;
};
size_t qHash(const FeedCategory& category, size_t seed = 0) noexcept;

// The feed an item came from. Equality covers all seven fields.
struct FeedSource {
    QString id;                           // "feed_id", required
    std::optional<QString> title;         // "title"
    std::optional<QString> slug;          // "slug"
    std::optional<QString> iconUrl;       // "icon_url"
    std::optional<QString> domain;        // "domain"
    std::optional<SourceType> sourceType; // "source_type"; unknown text reads Rss
    std::optional<FeedCategory> category; // "category"

    static Result<FeedSource> fromJson(const QJsonValue& json, const JsonOptions& options);
    QJsonObject toJson(const JsonOptions& options) const;
    friend bool operator==(const FeedSource&, const FeedSource&) = default;
};

// What metaLine() needs to know about "now": the instant, the zone that
// decides what "today" is, and the ICU locale name for the time texts.
struct MetaLineContext {
    QDateTime now;
    QTimeZone zone;
    QString locale;  // e.g. "en_US"

    static MetaLineContext current();
};

// One headline. Two items are equal when their stableIds are equal, whatever
// their other fields: never use == to detect a content change.
struct FeedItem {
    QString stableId;                   // "item_id", required
    QString title;                      // "title", required
    std::optional<QString> url;         // "url"
    std::optional<QDateTime> publishedAt;  // "published_at"
    std::optional<FeedSource> source;   // "source"
    std::optional<QString> imageUrl;    // "image_url"

    const QString& id() const { return stableId; }

    static Result<FeedItem> fromJson(const QJsonValue& json, const JsonOptions& options);
    QJsonObject toJson(const JsonOptions& options) const;
    friend bool operator==(const FeedItem& a, const FeedItem& b) { return a.stableId == b.stableId; }

    // Display helpers (ItemDisplay.cpp).
    // The title without markup tags, entities decoded once, trimmed.
    QString cleanedTitle() const;
    // The url, trimmed, when it is an http or https address.
    std::optional<QUrl> linkURL() const;
    // "SOURCE • 9:05 PM" today, "SOURCE • Mar 4 9:05 PM" on another day,
    // "SOURCE" without a date.
    QString metaLine() const;
    QString metaLine(const MetaLineContext& context) const;
    // The meta line's pieces, for views that set each in its own direction.
    struct MetaLineParts {
        QString label;                // upper-cased; "SIGNAL" when there is none
        std::optional<QString> time;  // "9:05 PM" or "Mar 4 9:05 PM"; none without a date
    };
    MetaLineParts metaLineParts(const MetaLineContext& context) const;
    static constexpr QStringView metaSeparator{u" \u2022 "};
    // Strict match of lower-cased phrases against title and source title.
    bool matchesAny(const QStringList& phrases) const;
    // Loose match (substrings; long word runs of a phrase anywhere).
    bool looselyMatchesAny(const QStringList& phrases) const;
};

struct ItemsBatchResponse {
    QList<FeedItem> items;  // "items", required

    static Result<ItemsBatchResponse> fromJson(const QJsonValue& json, const JsonOptions& options);
    QJsonObject toJson(const JsonOptions& options) const;
};

// The weather reading; every value is text as the server formats it.
struct WeatherResponse {
    QString city;       // "city"
    QString temp;       // "temp"
    QString condition;  // "condition"
    QString icon;       // "icon"

    static Result<WeatherResponse> fromJson(const QJsonValue& json, const JsonOptions& options);
    QJsonObject toJson(const JsonOptions& options) const;
    friend bool operator==(const WeatherResponse&, const WeatherResponse&) = default;
};
