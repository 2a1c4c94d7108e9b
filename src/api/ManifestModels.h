#pragma once

#include "api/ItemModels.h"
#include "api/SourceType.h"
#include "platform/storage/Json.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringView>
#include <QUrl>
#include <optional>

// A subject that orbs and items are grouped under.
struct Topic {
    QString id;                       // "topic_id"
    QString title;                    // "label"
    QString slug;                     // "slug"
    std::optional<QString> orbColor;  // "orb_color"

    static Result<Topic> fromJson(const QJsonValue& json, const JsonOptions& options);
    QJsonObject toJson(const JsonOptions& options) const;
};

// A broad section of the catalogue; its id is its slug.
struct Pillar {
    QString slug;       // "slug"
    QString name;       // "name"
    QString icon;       // "icon"
    QString tint;       // "tint"
    QString blurb;      // "blurb"
    qint64 sortOrder = 0;  // "sort_order"
    qint64 feedCount = 0;  // "feed_count"

    const QString& id() const { return slug; }
    static Result<Pillar> fromJson(const QJsonValue& json, const JsonOptions& options);
    QJsonObject toJson(const JsonOptions& options) const;
    friend bool operator==(const Pillar&, const Pillar&) = default;
};

// One feed of the catalogue.
struct FeedIndexItem {
    enum class Health { Flowing, Quiet, Broken };

    QString id;                            // "feed_id"
    QString title;                         // "title"
    std::optional<QString> url;            // "url"
    std::optional<QString> iconUrl;        // "icon_url"
    std::optional<bool> isActive;          // "is_active"
    std::optional<SourceType> sourceType;  // "source_type"; unknown text reads Rss
    std::optional<qint64> items30d;        // "items_30d"
    std::optional<qint64> items1h;         // "items_1h"
    std::optional<QDateTime> lastItemAt;   // "last_item_at"
    std::optional<QString> status;         // "status"
    std::optional<FeedCategory> category;  // "category"
    std::optional<QString> pillar;         // "pillar" (a pillar slug)
    std::optional<double> rankScore;       // "rank_score"

    static Result<FeedIndexItem> fromJson(const QJsonValue& json, const JsonOptions& options);
    QJsonObject toJson(const JsonOptions& options) const;

    // Broken when the status says so (any case); flowing when the last item
    // is less than 7 days older than `now`; quiet otherwise.
    Health health(const QDateTime& now) const;
    Health health() const;
};

// The newest release of the client as the server announces it.
struct ClientRelease {
    QString version;                       // "version"
    std::optional<qint64> build;           // "build"
    QString downloadUrl;                   // "download_url"
    std::optional<QString> releaseNotes;   // "release_notes"
    std::optional<QString> minSupported;   // "min_supported"

    static Result<ClientRelease> fromJson(const QJsonValue& json, const JsonOptions& options);
    QJsonObject toJson(const JsonOptions& options) const;
    friend bool operator==(const ClientRelease&, const ClientRelease&) = default;

    // The download link when it is an http or https address.
    std::optional<QUrl> downloadURL() const;
    // True when version `a` is newer than `b`, comparing the numbers of their
    // dot-separated parts; missing parts count 0.
    static bool isNewer(QStringView a, QStringView b);
};

struct ManifestResponse {
    QList<Topic> topics;                         // "topics"
    std::optional<QList<Pillar>> pillars;        // "pillars"
    QList<FeedIndexItem> feedIndex;              // "feed_index"
    std::optional<ClientRelease> clientRelease;  // "client_release"

    static Result<ManifestResponse> fromJson(const QJsonValue& json, const JsonOptions& options);
    QJsonObject toJson(const JsonOptions& options) const;
};
