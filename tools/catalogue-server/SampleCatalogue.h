#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

struct SamplePillar {
    QString slug, name, icon, tint, blurb;
    int sortOrder = 0;
};

struct SampleCategory {
    QString id, name, slug, pillar;
    int sortOrder = 0;
};

struct SampleTopic {
    QString id, label, slug, orbColor;
    QStringList keywords;
    QStringList categorySlugs;
};

// How a feed behaves over time: flowing feeds publish on their cadence, quiet
// ones stopped more than a week ago, broken and inactive ones publish nothing.
enum class FeedState { Flowing, Quiet, Broken, Inactive };

struct SampleFeed {
    QString id, title, slug, domain, url, sourceType;
    int category = 0;  // index into categories()
    FeedState state = FeedState::Flowing;
    int cadenceMinutes = 60;
    int offsetMinutes = 0;
    double rankScore = 0;
    bool ownIcon = false;  // carries an icon address instead of relying on the favicon service
};

struct SampleItem {
    QString id, title, url;
    QDateTime publishedAt;
    bool hasImage = false;
    int feed = 0;  // index into feeds()
};

// The generated catalogue: vocabulary fixed, everything else (cadences,
// which feeds are quiet, broken or inactive, ranks, headlines) drawn from the
// seed. Item times sit on a per-feed grid in absolute time, so an item keeps
// its id and time while "now" moves and new items appear at the top.
// Immutable after construction; safe to read from several threads.
class SampleCatalogue {
public:
    explicit SampleCatalogue(quint64 seed);

    quint64 seed() const { return m_seed; }
    const QList<SamplePillar>& pillars() const { return m_pillars; }
    const QList<SampleCategory>& categories() const { return m_categories; }
    const QList<SampleTopic>& topics() const { return m_topics; }
    const QList<SampleFeed>& feeds() const { return m_feeds; }

    int feedIndex(const QString& id) const;  // -1 when unknown
    const SampleCategory& categoryOf(const SampleFeed& feed) const { return m_categories.at(feed.category); }
    int feedCountOfPillar(const QString& slug) const;

    // Newest first: at most `limit` items published at or before `now` and,
    // when given, at or after `notBefore`.
    QList<SampleItem> itemsOf(int feed, const QDateTime& now, int limit,
                              std::optional<QDateTime> notBefore = std::nullopt) const;
    std::optional<QDateTime> lastItemAt(int feed, const QDateTime& now) const;
    // Items published in (now - seconds, now].
    int countWithin(int feed, const QDateTime& now, qint64 seconds) const;

private:
    qint64 newestSlot(const SampleFeed& feed, qint64 nowSecs) const;
    qint64 slotTime(const SampleFeed& feed, qint64 slot) const;
    qint64 lastPublishingSecond(const SampleFeed& feed, qint64 nowSecs) const;
    SampleItem itemAt(int feed, qint64 slot) const;
    void assignStates();

    quint64 m_seed;
    QList<SamplePillar> m_pillars;
    QList<SampleCategory> m_categories;
    QList<SampleTopic> m_topics;
    QList<SampleFeed> m_feeds;
};
