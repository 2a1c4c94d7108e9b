#pragma once

#include "SampleCatalogue.h"

#include <QDateTime>
#include <QJsonObject>
#include <QStringList>
#include <QUrl>
#include <optional>

// The JSON bodies of the catalogue reads, built from the sample catalogue at
// a given time. `base` is the server's own address, used for icon and image
// links that the server serves itself.
class CatalogueReplies {
public:
    CatalogueReplies(const SampleCatalogue& catalogue, QUrl base);

    QJsonObject manifest(const QDateTime& now) const;
    QJsonObject orbs(const QDateTime& now) const;
    // Items of the known ids among `feedIds` (unknown ids and repeats are
    // skipped), at most `limitPerFeed` each, newest first overall.
    QJsonObject itemsBatch(const QStringList& feedIds, int limitPerFeed, std::optional<int> sinceMinutes,
                           const QDateTime& now) const;

    QJsonObject feedSource(const SampleFeed& feed) const;
    QJsonObject item(const SampleItem& item) const;
    QJsonObject category(const SampleCategory& category) const;

    // Server date forms: with milliseconds for items, without elsewhere.
    static QString isoDate(const QDateTime& when);
    static QString isoDateWithMillis(const QDateTime& when);

private:
    QJsonObject feedIndexItem(int index, const QDateTime& now) const;
    QJsonObject orb(int topicIndex, const QDateTime& now) const;
    QString iconUrl(const SampleFeed& feed) const;

    const SampleCatalogue& m_catalogue;
    QUrl m_base;
};
