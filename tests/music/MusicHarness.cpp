#include "MusicHarness.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

QByteArray bundleFor(const QString& artist)
{
    QJsonArray corpus;
    for (int i = 1; i <= 2; ++i) {
        const QString url = QStringLiteral("https://news.example/") + artist + QLatin1Char('-') + QString::number(i);
        corpus.append(QJsonObject{{QStringLiteral("title"), artist + QStringLiteral(" story")},
                                  {QStringLiteral("url"), url}});
    }
    const QJsonObject body{{QStringLiteral("artist"), QJsonObject{{QStringLiteral("name"), artist}}},
                           {QStringLiteral("links"), QJsonArray{}},
                           {QStringLiteral("streams"), QJsonObject{{QStringLiteral("corpus"), corpus},
                                                                   {QStringLiteral("news"), QJsonArray{}},
                                                                   {QStringLiteral("videos"), QJsonArray{}}}}};
    return QJsonDocument(body).toJson(QJsonDocument::Compact);
}

} // namespace

MusicStore::MusicStore()
{
    server.handle(QStringLiteral("/v1_nowplaying"), [](const LoopbackServer::Request& request) {
        return LoopbackServer::Response::json(
            bundleFor(request.query.queryItemValue(QStringLiteral("artist"), QUrl::FullyDecoded)));
    });
    server.route(QStringLiteral("/search"), LoopbackServer::Response::json(R"({"results":[]})"));
    FeedStore::Services services{*defaults, time, time, &network, nullptr,
                                 [] { return std::make_unique<FakePathMonitor>(); },
                                 server.baseUrl(), std::nullopt, server.baseUrl(), QStringLiteral("1.0")};
    store = std::make_unique<FeedStore>(services);
}

MusicStore::~MusicStore()
{
    // A stopped sleep resumes from the event loop and still needs the fake
    // time then: let it run before the time goes.
    store.reset();
    network.clearConnectionCache();
    FakeTime::settle();
    server.stop();
}

QString MusicStore::laneIds() const
{
    QStringList ids;
    for (const auto& item : store->nowPlayingItems())
        ids.append(item.stableId.mid(QStringLiteral("np-https://news.example/").size()));
    return ids.join(QLatin1Char(' '));
}

bool MusicStore::waitUntil(const std::function<bool()>& done, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 20);
    }
    return true;
}

QString MusicStore::playing() const
{
    const auto& track = store->nowPlaying();
    return track ? track->artist + QLatin1Char('|') + track->track : QStringLiteral("none");
}
