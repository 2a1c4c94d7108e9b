#include "SuggestionDesk.h"

#include <QUrl>

namespace {

std::optional<QJsonObject> parseObject(const QByteArray& body)
{
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return std::nullopt;
    return doc.object();
}

QString bareHost(const QUrl& url)
{
    QString host = url.host().toLower();
    if (host.startsWith(QLatin1String("www.")))
        host.remove(0, 4);
    return host;
}

QString titleFromHost(const QString& host)
{
    QString name = host.section(QLatin1Char('.'), 0, 0);
    if (!name.isEmpty())
        name[0] = name.at(0).toUpper();
    return name;
}

bool looksLikeFeed(const QUrl& url)
{
    const QString path = url.path().toLower();
    for (const char* ending : {".xml", ".rss", ".atom", ".rdf"})
        if (path.endsWith(QLatin1String(ending)))
            return true;
    return path.contains(QLatin1String("/feed")) || path.contains(QLatin1String("/rss"));
}

std::optional<QString> guessCategory(const QString& text)
{
    const QString lower = text.toLower();
    if (lower.contains(QLatin1String("tech")))
        return QStringLiteral("Technology");
    if (lower.contains(QLatin1String("sport")))
        return QStringLiteral("Sports");
    if (lower.contains(QLatin1String("science")))
        return QStringLiteral("Science");
    return std::nullopt;
}

} // namespace

SuggestionDesk::SuggestionDesk(const SampleCatalogue& catalogue, int limit, qint64 windowSeconds)
    : m_catalogue(catalogue), m_limit(limit), m_window(windowSeconds)
{
}

bool SuggestionDesk::admit(const QString& client, const QDateTime& now)
{
    QList<QDateTime>& times = m_recent[client];
    times.removeIf([&](const QDateTime& t) { return t.secsTo(now) >= m_window; });
    return times.size() < m_limit;
}

const SampleFeed* SuggestionDesk::carriedFeed(const QString& host) const
{
    for (const SampleFeed& feed : m_catalogue.feeds())
        if (feed.domain == host)
            return &feed;
    return nullptr;
}

JsonReply SuggestionDesk::suggest(const QByteArray& body, const QString& client, const QDateTime& now)
{
    std::lock_guard lock(m_mutex);
    if (!admit(client, now))
        return JsonReply::error(429, QStringLiteral("Too many suggestions from this address; try again later."));
    const auto object = parseObject(body);
    if (!object)
        return JsonReply::error(400, QStringLiteral("Send a JSON object with a \"url\"."));
    JsonReply reply = judge(*object);
    // Only suggestions that were read count against the limit, so a mistyped address costs nothing.
    if (reply.status == 200)
        m_recent[client].append(now);
    return reply;
}

JsonReply SuggestionDesk::judge(const QJsonObject& suggestion)
{
    const QJsonValue urlValue = suggestion.value("url");
    const QJsonValue note = suggestion.value("note");
    if (!urlValue.isString() || urlValue.toString().trimmed().isEmpty())
        return JsonReply::error(400, QStringLiteral("A feed URL is required."));
    if (!note.isUndefined() && !note.isNull() && !note.isString())
        return JsonReply::error(400, QStringLiteral("The note must be text."));
    const QUrl url(urlValue.toString().trimmed(), QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https")) || url.host().isEmpty())
        return JsonReply::error(400, QStringLiteral("That doesn't look like a web address."));

    const QString host = bareHost(url);
    if (const SampleFeed* feed = carriedFeed(host))
        return JsonReply::ok(QJsonObject{{"status", "already_carried"}, {"title", feed->title}});
    QString key = host + url.path();
    while (key.endsWith(QLatin1Char('/')))
        key.chop(1);
    if (m_suggested.contains(key))
        return JsonReply::ok(QJsonObject{{"status", "already_suggested"}});
    m_suggested.insert(key);
    m_suggestions.append(suggestion);

    const QString title = titleFromHost(host);
    if (!looksLikeFeed(url))
        return JsonReply::ok(QJsonObject{{"status", "received"}, {"title", title}});
    QJsonObject added{{"status", "added"}, {"title", title}};
    if (const auto category = guessCategory(url.toString() + QLatin1Char(' ') + note.toString()))
        added.insert("category", *category);
    return JsonReply::ok(added);
}

JsonReply SuggestionDesk::feedback(const QByteArray& body)
{
    const auto object = parseObject(body);
    if (!object)
        return JsonReply::error(400, QStringLiteral("Send a JSON object."));
    const QJsonValue rating = object->value("rating");
    if (!rating.isDouble() || rating.toDouble() != double(rating.toInteger()))
        return JsonReply::error(400, QStringLiteral("\"rating\" must be a whole number."));
    if (!object->value("comment").isString())
        return JsonReply::error(400, QStringLiteral("\"comment\" must be text."));
    for (const char* key : {"email", "app_version", "macos"}) {
        const QJsonValue v = object->value(QLatin1String(key));
        if (!v.isUndefined() && !v.isString())
            return JsonReply::error(400, QStringLiteral("\"%1\" must be text.").arg(QLatin1String(key)));
    }
    std::lock_guard lock(m_mutex);
    m_feedback.append(*object);
    return JsonReply::ok(QJsonObject{{"ok", true}});
}

QList<QJsonObject> SuggestionDesk::feedbackReceived() const
{
    std::lock_guard lock(m_mutex);
    return m_feedback;
}

QList<QJsonObject> SuggestionDesk::suggestionsReceived() const
{
    std::lock_guard lock(m_mutex);
    return m_suggestions;
}
