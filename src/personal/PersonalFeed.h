#pragma once

#include "platform/storage/Json.h"

#include <QDateTime>
#include <QString>
#include <optional>

// One RSS or Atom feed the user added. Stored as JSON under its field names;
// "lastFetchedAt" and "lastError" are left out when empty.
struct PersonalFeed {
    QString id;     // "pf-" + a lower-case UUID; fixed
    QString url;    // the normalised address; fixed
    QString title;  // set when added, never changed by a fetch
    bool isEnabled = true;
    QDateTime addedAt;                      // fixed
    std::optional<QDateTime> lastFetchedAt; // last reply that passed the status and size checks
    std::optional<QString> lastError;       // last failure text, or the no-items notice
    qint64 itemCount = 0;                   // items taken at the last good fetch (at most 20)

    static Result<PersonalFeed> fromJson(const QJsonValue& json, const JsonOptions& options);
    QJsonObject toJson(const JsonOptions& options) const;

    friend bool operator==(const PersonalFeed&, const PersonalFeed&) = default;
};
