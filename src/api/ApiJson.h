#pragma once

#include "api/SourceType.h"
#include "platform/storage/Json.h"

#include <QDateTime>
#include <optional>

// Small additions to JsonIn/JsonOut shared by the server models.
namespace ApiJson {

// The date coding of server replies: ISO 8601 with or without fractional
// seconds, then "yyyy-MM-dd'T'HH:mm:ssZ" (offset without a colon). Written
// as ISO 8601 with milliseconds.
DateCoding serverDates();
JsonOptions serverOptions();

// An optional date: absent or null is nothing; a text the coding cannot read
// fails the document with "Cannot parse date: <text>".
std::optional<QDateTime> optionalDate(JsonIn& in, const QString& key);

// An optional source kind: any other text reads as Rss; a non-string fails.
std::optional<SourceType> optionalSourceType(JsonIn& in, const QString& key);
void putSourceType(JsonOut& out, const QString& key, const std::optional<SourceType>& type);

} // namespace ApiJson
