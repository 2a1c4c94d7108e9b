// Reads one of the app's files through the reader the app uses, in a process
// of its own, so that a test can bound a read that would block for ever or
// never end, and prints what it got:
//
//   read_child settings  FILE         the settings: "values <n>", then "saved" or "failed: <reason>" for a save
//   read_child cache     FOLDER KEY   a cache file: "value" or "none"
//   read_child autostart ENTRY-FILE   the autostart entry: "enabled" or "disabled"
//   read_child favicon   FOLDER       a site icon kept in FOLDER, else fetched from loopback: "shown" or "missing"
//   read_child home      account|none where the files go, with the home folder the password database names for
//                                     the user, or for a user it names none for; with none, also how a save of
//                                     the settings, a cache and the autostart entry goes
//
// The log goes to stderr.
#include "LoopbackServer.h"
#include "platform/storage/CacheFiles.h"
#include "platform/base/Clock.h"
#include "platform/storage/Defaults.h"
#include "platform/storage/HomeFolder.h"
#include "platform/net/ImageNetwork.h"
#include "platform/session/LaunchAtLogin.h"
#include "ticker/FaviconStore.h"
#include "ticker/ImageFetchGate.h"

#include <QBuffer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QImage>
#include <QTimer>
#include <cstdio>
#include <cstring>

namespace {

QByteArray iconPng()
{
    QImage image(16, 16, QImage::Format_ARGB32);
    image.fill(Qt::darkCyan);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return png;
}

bool favicon(const QString& folder)
{
    LoopbackServer server;
    server.route(QStringLiteral("/ip3/site.example.ico"), LoopbackServer::Response::text(iconPng(), "image/png"));
    ImageFetchGate gate;
    FaviconStore store(folder, nullptr, server.baseUrl(), gate, Scheduler::system());
    QEventLoop loop;
    QObject::connect(&store, &FaviconStore::changed, &loop, &QEventLoop::quit);
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    store.request(QStringLiteral("site.example"), std::nullopt, 64);
    loop.exec();
    return store.contains(FaviconStore::cacheKey(QStringLiteral("site.example"), 64));
}

void home(bool none)
{
    std::printf("settings: %s\ncaches: %s\nfavicons: %s\nhttp: %s\nautostart: %s\n",
                qPrintable(Defaults::standardFilePath()), qPrintable(CacheFiles::standardDirectory()),
                qPrintable(FaviconStore::standardCacheDir()), qPrintable(ImageNetwork::standardCacheDir()),
                qPrintable(LaunchAtLogin::shared().entryPath()));
    if (!none)
        return;  // the user's own home: nothing is written there
    Defaults& defaults = Defaults::standard();
    const Result<void> saved = defaults.setAndSave(QStringLiteral("tickerSize"), 4);
    std::printf("settings %s\n", !saved                        ? "failed"
                                  : defaults.filePath().isEmpty() ? "kept in memory"
                                                                  : "saved");
    defaults.caches().set(QStringLiteral("feedSnapshot"), QJsonObject{{QStringLiteral("items"), QJsonArray()}});
    std::printf("cache %s\n", !defaults.caches().flush()             ? "failed"
                               : defaults.caches().directory().isEmpty() ? "kept in memory"
                                                                         : "saved");
    LaunchAtLogin& login = LaunchAtLogin::shared();
    std::printf("autostart %s\n", login.setEnabled(true) ? "saved" : qPrintable(login.lastError()));
}

} // namespace

int main(int argc, char** argv)
{
    // Before anything reads the environment, as the application does.
    if (argc > 2 && std::strcmp(argv[1], "home") == 0) {
        if (std::strcmp(argv[2], "none") == 0)
            HomeFolder::settle([] { return QByteArray(); });
        else
            HomeFolder::settle();
    }
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3)
        return 2;
    const QString reader = args.at(1);
    const QString path = args.at(2);
    if (reader == QLatin1String("settings")) {
        auto defaults = Defaults::openFile(path);
        std::printf("values %lld\n", static_cast<long long>(defaults->keys().size()));
        const Result<void> saved = defaults->setAndSave(QStringLiteral("tickerSize"), 4);
        std::printf("%s\n", saved ? "saved" : qPrintable(QStringLiteral("failed: ") + saved.error().description));
    } else if (reader == QLatin1String("cache") && args.size() > 3) {
        std::printf("%s\n", CacheFiles::inDirectory(path)->value(args.at(3)).isUndefined() ? "none" : "value");
    } else if (reader == QLatin1String("autostart")) {
        std::printf("%s\n", LaunchAtLogin(path, QStringLiteral("/opt/tidewire/tidewire")).isEnabled() ? "enabled" : "disabled");
    } else if (reader == QLatin1String("favicon")) {
        std::printf("%s\n", favicon(path) ? "shown" : "missing");
    } else if (reader == QLatin1String("home")) {
        home(path == QLatin1String("none"));
    } else {
        return 2;
    }
    std::fflush(stdout);
    return 0;
}
