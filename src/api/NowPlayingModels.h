#pragma once

#include "platform/storage/Json.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <optional>

// The server's bundle for one artist: who they are, artwork, links and seven
// streams of stories.
struct NowPlayingResponse {
    struct ArtistInfo {
        QString name;                    // "name", required
        std::optional<QString> mbid;     // "mbid"
        std::optional<QString> country;  // "country"

        static Result<ArtistInfo> fromJson(const QJsonValue& json, const JsonOptions& options);
        QJsonObject toJson(const JsonOptions& options) const;
    };

    struct Link {
        QString type;  // "type", required
        QString url;   // "url", required

        static Result<Link> fromJson(const QJsonValue& json, const JsonOptions& options);
        QJsonObject toJson(const JsonOptions& options) const;
    };

    struct StreamItem {
        QString title;                         // "title", required
        QString url;                           // "url", required
        std::optional<QString> source;         // "source"
        std::optional<QDateTime> publishedAt;  // "published_at"
        std::optional<QString> image;          // "image"

        static Result<StreamItem> fromJson(const QJsonValue& json, const JsonOptions& options);
        QJsonObject toJson(const JsonOptions& options) const;
    };

    struct Streams {
        QList<StreamItem> corpus;  // "corpus", required
        QList<StreamItem> news;    // "news", required
        QList<StreamItem> videos;  // "videos", required
        std::optional<QList<StreamItem>> cards;    // "cards"
        std::optional<QList<StreamItem>> similar;  // "similar"
        std::optional<QList<StreamItem>> press;    // "press"
        std::optional<QList<StreamItem>> social;   // "social"

        static Result<Streams> fromJson(const QJsonValue& json, const JsonOptions& options);
        QJsonObject toJson(const JsonOptions& options) const;
    };

    ArtistInfo artist;               // "artist", required
    std::optional<QString> artwork;  // "artwork"
    QList<Link> links;               // "links", required
    Streams streams;                 // "streams", required

    static Result<NowPlayingResponse> fromJson(const QJsonValue& json, const JsonOptions& options);
    QJsonObject toJson(const JsonOptions& options) const;
};
