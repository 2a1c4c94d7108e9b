#include "personal/PersonalFeed.h"

namespace {
const QString kId = QStringLiteral("id");
const QString kUrl = QStringLiteral("url");
const QString kTitle = QStringLiteral("title");
const QString kIsEnabled = QStringLiteral("isEnabled");
const QString kAddedAt = QStringLiteral("addedAt");
const QString kLastFetchedAt = QStringLiteral("lastFetchedAt");
const QString kLastError = QStringLiteral("lastError");
const QString kItemCount = QStringLiteral("itemCount");
} // namespace

Result<PersonalFeed> PersonalFeed::fromJson(const QJsonValue& json, const JsonOptions& options)
{
    JsonIn in(json, options, QStringLiteral("PersonalFeed"));
    PersonalFeed feed;
    feed.id = in.required<QString>(kId);
    feed.url = in.required<QString>(kUrl);
    feed.title = in.required<QString>(kTitle);
    feed.isEnabled = in.required<bool>(kIsEnabled);
    feed.addedAt = in.requiredDate(kAddedAt).value_or(QDateTime());
    feed.lastFetchedAt = in.optionalDate(kLastFetchedAt);
    feed.lastError = in.optional<QString>(kLastError);
    feed.itemCount = in.required<qint64>(kItemCount);
    if (!in.ok())
        return std::unexpected(in.error());
    return feed;
}

QJsonObject PersonalFeed::toJson(const JsonOptions& options) const
{
    JsonOut out(options);
    out.put(kId, id);
    out.put(kUrl, url);
    out.put(kTitle, title);
    out.put(kIsEnabled, isEnabled);
    out.putDate(kAddedAt, addedAt);
    out.putDate(kLastFetchedAt, lastFetchedAt);
    out.put(kLastError, lastError);
    out.put(kItemCount, itemCount);
    return out.object();
}
