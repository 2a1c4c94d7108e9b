#pragma once

#include "api/ManifestModels.h"
#include "platform/storage/Json.h"

#include <QColor>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <optional>

// The server's summary of one moving topic. Equality covers every field.
struct Orb {
    struct Sentiment {
        std::optional<double> score;   // "score"
        std::optional<QString> label;  // "label"
        static Result<Sentiment> fromJson(const QJsonValue& json, const JsonOptions& options);
        QJsonObject toJson(const JsonOptions& options) const;
        friend bool operator==(const Sentiment&, const Sentiment&) = default;
    };

    struct Velocity {
        std::optional<double> perHour;  // "per_hour"
        std::optional<QString> ui;      // "ui": the server's word for the speed
        static Result<Velocity> fromJson(const QJsonValue& json, const JsonOptions& options);
        QJsonObject toJson(const JsonOptions& options) const;
        friend bool operator==(const Velocity&, const Velocity&) = default;
    };

    struct TopItem {
        QString itemId;                   // "item_id"
        std::optional<double> score;      // "score"
        std::optional<QString> imageUrl;  // "image_url"
        static Result<TopItem> fromJson(const QJsonValue& json, const JsonOptions& options);
        QJsonObject toJson(const JsonOptions& options) const;
        friend bool operator==(const TopItem&, const TopItem&) = default;
    };

    struct TopSource {
        QString feedId;               // "feed_id"
        std::optional<qint64> count;  // "count"
        static Result<TopSource> fromJson(const QJsonValue& json, const JsonOptions& options);
        QJsonObject toJson(const JsonOptions& options) const;
        friend bool operator==(const TopSource&, const TopSource&) = default;
    };

    QString id;                                            // "topic_id"
    QString topicLabel;                                    // "topic_label"
    std::optional<Sentiment> sentiment;                    // "sentiment"
    std::optional<QStringList> keywords;                   // "keywords"
    std::optional<QList<std::optional<QString>>> keywordUrls;  // "keyword_urls"; nulls keep their place
    std::optional<QString> displayColor;                   // "display_color"
    std::optional<QString> restingColor;                   // "resting_color"
    std::optional<Velocity> velocity;                      // "velocity"
    std::optional<qint64> volume;                          // "volume"
    std::optional<QList<TopItem>> topItems;                // "top_items"
    std::optional<qint64> diversity;                       // "diversity"
    std::optional<QList<TopSource>> topSources;            // "top_sources"
    std::optional<QStringList> categorySlugs;              // "category_slugs"

    static Result<Orb> fromJson(const QJsonValue& json, const JsonOptions& options);
    QJsonObject toJson(const JsonOptions& options) const;
    friend bool operator==(const Orb&, const Orb&) = default;

    // Display helpers (OrbDisplay.cpp).
    double velocityIntensity() const;  // 0...1
    QString statusLabel() const;       // short upper-case caption
    QStringList normalizedKeywords() const;
    QSet<QString> topItemIDs() const;
    QSet<QString> normalizedCategorySlugs() const;
    // The http(s) link of keyword `index`; none for any index out of range.
    std::optional<QUrl> keywordURL(qsizetype index) const;
    QColor color(const QList<Topic>& topics) const;
};

struct OrbsResponse {
    QList<Orb> orbs;  // "orbs"

    static Result<OrbsResponse> fromJson(const QJsonValue& json, const JsonOptions& options);
    QJsonObject toJson(const JsonOptions& options) const;
};
