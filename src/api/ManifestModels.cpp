#include "api/ManifestModels.h"

#include "api/ApiJson.h"
#include "platform/session/UrlOpener.h"

#include <limits>

Result<Topic> Topic::fromJson(const QJsonValue& json, const JsonOptions& options)
{
    JsonIn in(json, options, QStringLiteral("Topic"));
    Topic t;
    t.id = in.required<QString>(QStringLiteral("topic_id"));
    t.title = in.required<QString>(QStringLiteral("label"));
    t.slug = in.required<QString>(QStringLiteral("slug"));
    t.orbColor = in.optional<QString>(QStringLiteral("orb_color"));
    if (!in.ok())
        return std::unexpected(in.error());
    return t;
}

QJsonObject Topic::toJson(const JsonOptions& options) const
{
    JsonOut out(options);
    out.put(QStringLiteral("topic_id"), id);
    out.put(QStringLiteral("label"), title);
    out.put(QStringLiteral("slug"), slug);
    out.put(QStringLiteral("orb_color"), orbColor);
    return out.object();
}

Result<Pillar> Pillar::fromJson(const QJsonValue& json, const JsonOptions& options)
{
    JsonIn in(json, options, QStringLiteral("Pillar"));
    Pillar p;
    p.slug = in.required<QString>(QStringLiteral("slug"));
    p.name = in.required<QString>(QStringLiteral("name"));
    p.icon = in.required<QString>(QStringLiteral("icon"));
    p.tint = in.required<QString>(QStringLiteral("tint"));
    p.blurb = in.required<QString>(QStringLiteral("blurb"));
    p.sortOrder = in.required<qint64>(QStringLiteral("sort_order"));
    p.feedCount = in.required<qint64>(QStringLiteral("feed_count"));
    if (!in.ok())
        return std::unexpected(in.error());
    return p;
}

QJsonObject Pillar::toJson(const JsonOptions& options) const
{
    JsonOut out(options);
    out.put(QStringLiteral("slug"), slug);
    out.put(QStringLiteral("name"), name);
    out.put(QStringLiteral("icon"), icon);
    out.put(QStringLiteral("tint"), tint);
    out.put(QStringLiteral("blurb"), blurb);
    out.put(QStringLiteral("sort_order"), sortOrder);
    out.put(QStringLiteral("feed_count"), feedCount);
    return out.object();
}

Result<FeedIndexItem> FeedIndexItem::fromJson(const QJsonValue& json, const JsonOptions& options)
{
    JsonIn in(json, options, QStringLiteral("FeedIndexItem"));
    FeedIndexItem f;
    f.id = in.required<QString>(QStringLiteral("feed_id"));
    f.title = in.required<QString>(QStringLiteral("title"));
    f.url = in.optional<QString>(QStringLiteral("url"));
    f.iconUrl = in.optional<QString>(QStringLiteral("icon_url"));
    f.isActive = in.optional<bool>(QStringLiteral("is_active"));
    f.sourceType = ApiJson::optionalSourceType(in, QStringLiteral("source_type"));
    f.items30d = in.optional<qint64>(QStringLiteral("items_30d"));
    f.items1h = in.optional<qint64>(QStringLiteral("items_1h"));
    f.lastItemAt = ApiJson::optionalDate(in, QStringLiteral("last_item_at"));
    f.status = in.optional<QString>(QStringLiteral("status"));
    f.category = in.optional<FeedCategory>(QStringLiteral("category"));
    f.pillar = in.optional<QString>(QStringLiteral("pillar"));
    f.rankScore = in.optional<double>(QStringLiteral("rank_score"));
    if (!in.ok())
        return std::unexpected(in.error());
    return f;
}

QJsonObject FeedIndexItem::toJson(const JsonOptions& options) const
{
    JsonOut out(options);
    out.put(QStringLiteral("feed_id"), id);
    out.put(QStringLiteral("title"), title);
    out.put(QStringLiteral("url"), url);
    out.put(QStringLiteral("icon_url"), iconUrl);
    out.put(QStringLiteral("is_active"), isActive);
    ApiJson::putSourceType(out, QStringLiteral("source_type"), sourceType);
    out.put(QStringLiteral("items_30d"), items30d);
    out.put(QStringLiteral("items_1h"), items1h);
    out.putDate(QStringLiteral("last_item_at"), lastItemAt);
    out.put(QStringLiteral("status"), status);
    out.put(QStringLiteral("category"), category);
    out.put(QStringLiteral("pillar"), pillar);
    out.put(QStringLiteral("rank_score"), rankScore);
    return out.object();
}

FeedIndexItem::Health FeedIndexItem::health(const QDateTime& now) const
{
    if (status.value_or(QString()).toLower() == QLatin1String("broken"))
        return Health::Broken;
    if (lastItemAt && *lastItemAt > now.addSecs(-604800))
        return Health::Flowing;
    return Health::Quiet;
}

FeedIndexItem::Health FeedIndexItem::health() const
{
    return health(QDateTime::currentDateTimeUtc());
}

Result<ClientRelease> ClientRelease::fromJson(const QJsonValue& json, const JsonOptions& options)
{
    JsonIn in(json, options, QStringLiteral("ClientRelease"));
    ClientRelease r;
    r.version = in.required<QString>(QStringLiteral("version"));
    r.build = in.optional<qint64>(QStringLiteral("build"));
    r.downloadUrl = in.required<QString>(QStringLiteral("download_url"));
    r.releaseNotes = in.optional<QString>(QStringLiteral("release_notes"));
    r.minSupported = in.optional<QString>(QStringLiteral("min_supported"));
    if (!in.ok())
        return std::unexpected(in.error());
    return r;
}

QJsonObject ClientRelease::toJson(const JsonOptions& options) const
{
    JsonOut out(options);
    out.put(QStringLiteral("version"), version);
    out.put(QStringLiteral("build"), build);
    out.put(QStringLiteral("download_url"), downloadUrl);
    out.put(QStringLiteral("release_notes"), releaseNotes);
    out.put(QStringLiteral("min_supported"), minSupported);
    return out.object();
}

std::optional<QUrl> ClientRelease::downloadURL() const
{
    return webUrl(downloadUrl);
}

namespace {

// The numeric characters of one segment read as a decimal number; 0 when
// none are kept, when one is not an ASCII digit, or on overflow.
qint64 versionPartValue(QStringView segment)
{
    QList<char32_t> numeric;
    for (char32_t c : segment.toUcs4()) {
        if (QChar::isNumber(c))
            numeric.append(c);
    }
    if (numeric.isEmpty())
        return 0;
    qint64 value = 0;
    for (char32_t c : numeric) {
        if (c < U'0' || c > U'9')
            return 0;
        const int digit = int(c - U'0');
        if (value > (std::numeric_limits<qint64>::max() - digit) / 10)
            return 0;
        value = value * 10 + digit;
    }
    return value;
}

QList<qint64> versionParts(QStringView text)
{
    QList<qint64> parts;
    for (QStringView segment : text.split(u'.', Qt::SkipEmptyParts))
        parts.append(versionPartValue(segment));
    return parts;
}

} // namespace

bool ClientRelease::isNewer(QStringView a, QStringView b)
{
    const QList<qint64> pa = versionParts(a);
    const QList<qint64> pb = versionParts(b);
    const qsizetype n = std::max(pa.size(), pb.size());
    for (qsizetype i = 0; i < n; ++i) {
        const qint64 x = i < pa.size() ? pa[i] : 0;
        const qint64 y = i < pb.size() ? pb[i] : 0;
        if (x != y)
            return x > y;
    }
    return false;
}

Result<ManifestResponse> ManifestResponse::fromJson(const QJsonValue& json, const JsonOptions& options)
{
    JsonIn in(json, options, QStringLiteral("ManifestResponse"));
    ManifestResponse m;
    m.topics = in.required<QList<Topic>>(QStringLiteral("topics"));
    m.pillars = in.optional<QList<Pillar>>(QStringLiteral("pillars"));
    m.feedIndex = in.required<QList<FeedIndexItem>>(QStringLiteral("feed_index"));
    m.clientRelease = in.optional<ClientRelease>(QStringLiteral("client_release"));
    if (!in.ok())
        return std::unexpected(in.error());
    return m;
}

QJsonObject ManifestResponse::toJson(const JsonOptions& options) const
{
    JsonOut out(options);
    out.put(QStringLiteral("topics"), topics);
    out.put(QStringLiteral("pillars"), pillars);
    out.put(QStringLiteral("feed_index"), feedIndex);
    out.put(QStringLiteral("client_release"), clientRelease);
    return out.object();
}
