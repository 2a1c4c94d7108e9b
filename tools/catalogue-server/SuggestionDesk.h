#pragma once

#include "JsonReply.h"
#include "SampleCatalogue.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QSet>
#include <mutex>

// The two forms: feedback (checked and kept) and feed suggestions. A
// suggestion of a host the catalogue carries is "already_carried", a repeat
// is "already_suggested", an address that looks like a feed is "added",
// anything else "received". Each client may have `limit` suggestions read
// per `window` (rejected ones do not count); later ones get 429. Thread-safe.
class SuggestionDesk {
public:
    explicit SuggestionDesk(const SampleCatalogue& catalogue, int limit = 5, qint64 windowSeconds = 600);

    JsonReply suggest(const QByteArray& body, const QString& client, const QDateTime& now);
    JsonReply feedback(const QByteArray& body);

    QList<QJsonObject> feedbackReceived() const;
    QList<QJsonObject> suggestionsReceived() const;

private:
    bool admit(const QString& client, const QDateTime& now);
    JsonReply judge(const QJsonObject& suggestion);
    const SampleFeed* carriedFeed(const QString& host) const;

    const SampleCatalogue& m_catalogue;
    const int m_limit;
    const qint64 m_window;
    mutable std::mutex m_mutex;
    QHash<QString, QList<QDateTime>> m_recent;  // client -> times of its suggestions in the window
    QSet<QString> m_suggested;                  // normalised addresses
    QList<QJsonObject> m_feedback;
    QList<QJsonObject> m_suggestions;
};
