#include "SearchHarness.h"

#include "Await.h"
#include "platform/net/PathMonitor.h"

#include <QJsonDocument>

namespace {

QByteArray bytes(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

} // namespace

SearchHarness::SearchHarness(QUrl apiBase)
{
    server.route(QStringLiteral("/v1_orbs"), LoopbackServer::Response::json(R"({"orbs":[]})"));
    server.route(QStringLiteral("/v1_weather"), LoopbackServer::Response::withStatus(404));
    FeedStore::Services services{*defaults, time, time, &network, nullptr,
                                 [] { return std::make_unique<FakePathMonitor>(); },
                                 apiBase.isEmpty() ? server.baseUrl() : apiBase, std::nullopt,
                                 QUrl(QStringLiteral("http://127.0.0.1:9/")), QStringLiteral("1.0")};
    store = std::make_unique<FeedStore>(services);
}

SearchHarness::~SearchHarness()
{
    store.reset();
    FakeTime::settle();
}

bool SearchHarness::load(const QJsonArray& feeds, const QJsonArray& items)
{
    const QJsonObject manifest{
        {QStringLiteral("topics"), QJsonArray()},
        {QStringLiteral("feed_index"), feeds},
    };
    server.route(QStringLiteral("/v1_manifest"), LoopbackServer::Response::json(bytes(manifest)));
    server.route(QStringLiteral("/v1_items_batch"),
                 LoopbackServer::Response::json(bytes(QJsonObject{{QStringLiteral("items"), items}})));
    awaitTask(store->refresh());
    return store->items().size() == items.size();
}

QJsonObject headline(const QString& id, const QString& title, std::optional<int> minutes, std::optional<QString> url,
                     std::optional<QString> source)
{
    QJsonObject feed{{QStringLiteral("feed_id"), QStringLiteral("f1")}};
    if (source)
        feed.insert(QStringLiteral("title"), *source);
    QJsonObject o{{QStringLiteral("item_id"), id}, {QStringLiteral("title"), title}, {QStringLiteral("source"), feed}};
    if (minutes) {
        const QDateTime at = QDateTime(QDate(2026, 1, 15), QTime(12, 0), Qt::UTC).addSecs(60 * *minutes);
        o.insert(QStringLiteral("published_at"), at.toString(Qt::ISODate));
    }
    if (url)
        o.insert(QStringLiteral("url"), *url);
    return o;
}

QJsonObject catalogueFeed(const QString& id, const QString& title, std::optional<QString> category)
{
    QJsonObject o{{QStringLiteral("feed_id"), id}, {QStringLiteral("title"), title},
                  {QStringLiteral("is_active"), true}};
    if (category)
        o.insert(QStringLiteral("category"), QJsonObject{{QStringLiteral("name"), *category}});
    return o;
}
