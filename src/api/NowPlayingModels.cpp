#include "api/NowPlayingModels.h"

#include "api/ApiJson.h"

using NP = NowPlayingResponse;

Result<NP::ArtistInfo> NP::ArtistInfo::fromJson(const QJsonValue& json, const JsonOptions& options)
{
    JsonIn in(json, options, QStringLiteral("ArtistInfo"));
    ArtistInfo a;
    a.name = in.required<QString>(QStringLiteral("name"));
    a.mbid = in.optional<QString>(QStringLiteral("mbid"));
    a.country = in.optional<QString>(QStringLiteral("country"));
    if (!in.ok())
        return std::unexpected(in.error());
    return a;
}

QJsonObject NP::ArtistInfo::toJson(const JsonOptions& options) const
{
    JsonOut out(options);
    out.put(QStringLiteral("name"), name);
    out.put(QStringLiteral("mbid"), mbid);
    out.put(QStringLiteral("country"), country);
    return out.object();
}

Result<NP::Link> NP::Link::fromJson(const QJsonValue& json, const JsonOptions& options)
{
    JsonIn in(json, options, QStringLiteral("Link"));
    Link l;
    l.type = in.required<QString>(QStringLiteral("type"));
    l.url = in.required<QString>(QStringLiteral("url"));
    if (!in.ok())
        return std::unexpected(in.error());
    return l;
}

QJsonObject NP::Link::toJson(const JsonOptions& options) const
{
    JsonOut out(options);
    out.put(QStringLiteral("type"), type);
    out.put(QStringLiteral("url"), url);
    return out.object();
}

Result<NP::StreamItem> NP::StreamItem::fromJson(const QJsonValue& json, const JsonOptions& options)
{
    JsonIn in(json, options, QStringLiteral("StreamItem"));
    StreamItem s;
    s.title = in.required<QString>(QStringLiteral("title"));
    s.url = in.required<QString>(QStringLiteral("url"));
    s.source = in.optional<QString>(QStringLiteral("source"));
    s.image = in.optional<QString>(QStringLiteral("image"));
    s.publishedAt = ApiJson::optionalDate(in, QStringLiteral("published_at"));
    if (!in.ok())
        return std::unexpected(in.error());
    return s;
}

QJsonObject NP::StreamItem::toJson(const JsonOptions& options) const
{
    JsonOut out(options);
    out.put(QStringLiteral("title"), title);
    out.put(QStringLiteral("url"), url);
    out.put(QStringLiteral("source"), source);
    out.put(QStringLiteral("image"), image);
    out.putDate(QStringLiteral("published_at"), publishedAt);
    return out.object();
}

Result<NP::Streams> NP::Streams::fromJson(const QJsonValue& json, const JsonOptions& options)
{
    JsonIn in(json, options, QStringLiteral("Streams"));
    Streams s;
    s.corpus = in.required<QList<StreamItem>>(QStringLiteral("corpus"));
    s.news = in.required<QList<StreamItem>>(QStringLiteral("news"));
    s.videos = in.required<QList<StreamItem>>(QStringLiteral("videos"));
    s.cards = in.optional<QList<StreamItem>>(QStringLiteral("cards"));
    s.similar = in.optional<QList<StreamItem>>(QStringLiteral("similar"));
    s.press = in.optional<QList<StreamItem>>(QStringLiteral("press"));
    s.social = in.optional<QList<StreamItem>>(QStringLiteral("social"));
    if (!in.ok())
        return std::unexpected(in.error());
    return s;
}

QJsonObject NP::Streams::toJson(const JsonOptions& options) const
{
    JsonOut out(options);
    out.put(QStringLiteral("corpus"), corpus);
    out.put(QStringLiteral("news"), news);
    out.put(QStringLiteral("videos"), videos);
    out.put(QStringLiteral("cards"), cards);
    out.put(QStringLiteral("similar"), similar);
    out.put(QStringLiteral("press"), press);
    out.put(QStringLiteral("social"), social);
    return out.object();
}

Result<NP> NP::fromJson(const QJsonValue& json, const JsonOptions& options)
{
    JsonIn in(json, options, QStringLiteral("NowPlayingResponse"));
    NP r;
    r.artist = in.required<ArtistInfo>(QStringLiteral("artist"));
    r.artwork = in.optional<QString>(QStringLiteral("artwork"));
    r.links = in.required<QList<Link>>(QStringLiteral("links"));
    r.streams = in.required<Streams>(QStringLiteral("streams"));
    if (!in.ok())
        return std::unexpected(in.error());
    return r;
}

QJsonObject NP::toJson(const JsonOptions& options) const
{
    JsonOut out(options);
    out.put(QStringLiteral("artist"), artist);
    out.put(QStringLiteral("artwork"), artwork);
    out.put(QStringLiteral("links"), links);
    out.put(QStringLiteral("streams"), streams);
    return out.object();
}
