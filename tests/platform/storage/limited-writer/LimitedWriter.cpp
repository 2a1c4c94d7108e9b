// A process whose files may grow to a few bytes only, as on a full disk:
// RLIMIT_FSIZE is lowered to the limit given and SIGXFSZ ignored, so a write
// past it fails with EFBIG as ENOSPC would. It then saves one file through
// one of the app's writers and prints what the writer answered:
//
//   limited_writer LIMIT settings  SETTINGS-FILE BYTES   the settings, set and saved at once
//   limited_writer LIMIT cache     FOLDER BYTES          a cache file, then a flush of the cache writer
//   limited_writer LIMIT favicon   FOLDER BYTES          a site icon of about BYTES, fetched from loopback
//   limited_writer LIMIT autostart ENTRY-FILE            the autostart entry
//   limited_writer LIMIT feeds     SETTINGS-FILE         the personal feeds, the first one removed
//   limited_writer LIMIT open      SETTINGS-FILE         the settings opened as at a start
//
// Output: "saved", or "failed: <reason>", then for the settings the notice
// text ("problem: …"). "open" prints "read <number of settings>" and the
// notice, then "ready", and waits (for a kill) until stdin closes. The log
// goes to stderr.
#include "LoopbackServer.h"
#include "platform/base/Clock.h"
#include "platform/storage/Defaults.h"
#include "platform/session/LaunchAtLogin.h"
#include "personal/PersonalFeedStore.h"
#include "ticker/FaviconStore.h"
#include "ticker/ImageFetchGate.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QEventLoop>
#include <QImage>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <string>
#include <sys/resource.h>

namespace {

void report(const Result<void>& result)
{
    if (result)
        std::printf("saved\n");
    else
        std::printf("failed: %s\n", qPrintable(result.error().description));
}

// A PNG of noise, so that it does not compress: about `bytes` long.
QByteArray noisePng(qint64 bytes)
{
    const int side = std::max(4, int(std::sqrt(double(bytes) / 4)));
    QImage image(side, side, QImage::Format_ARGB32);
    QRandomGenerator random(7);
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x)
            image.setPixel(x, y, random.generate());
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return png;
}

int favicon(const QString& folder, qint64 bytes)
{
    LoopbackServer server;
    server.route(QStringLiteral("/ip3/site.example.ico"), LoopbackServer::Response::text(noisePng(bytes), "image/png"));
    ImageFetchGate gate;
    FaviconStore store(folder, nullptr, server.baseUrl(), gate, Scheduler::system());
    QEventLoop loop;
    QObject::connect(&store, &FaviconStore::changed, &loop, &QEventLoop::quit);
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    store.request(QStringLiteral("site.example"), std::nullopt, 64);
    loop.exec();
    // The icon is shown whether or not it could be kept on disk.
    std::printf("%s\n", store.contains(FaviconStore::cacheKey(QStringLiteral("site.example"), 64)) ? "shown" : "missing");
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 4)
        return 2;
    const rlim_t limit = args.at(1).toULongLong();
    const QString writer = args.at(2);
    const QString path = args.at(3);
    const qint64 bytes = args.size() > 4 ? args.at(4).toLongLong() : 0;

    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit lowered{limit, limit};
    if (::setrlimit(RLIMIT_FSIZE, &lowered) != 0)
        return 3;

    if (writer == QLatin1String("settings")) {
        auto defaults = Defaults::openFile(path);
        report(defaults->setAndSave(QStringLiteral("payload"), QString(bytes, u'x')));
        std::printf("problem: %s\n", qPrintable(defaults->saveProblem()));
    } else if (writer == QLatin1String("feeds")) {
        auto defaults = Defaults::openFile(path);
        PersonalFeedStore store(*defaults, Clock::system(), Scheduler::system());
        if (store.feeds().isEmpty())
            return 4;
        store.remove(store.feeds().first().id);
        report(defaults->saveError() ? Result<void>(std::unexpected(*defaults->saveError())) : Result<void>());
        std::printf("problem: %s\n", qPrintable(defaults->saveProblem()));
    } else if (writer == QLatin1String("open")) {
        auto defaults = Defaults::openFile(path);
        std::printf("read %d\nproblem: %s\nready\n", int(defaults->keys().size()), qPrintable(defaults->saveProblem()));
        std::fflush(stdout);
        for (std::string line; std::getline(std::cin, line);) {
        }
    } else if (writer == QLatin1String("cache")) {
        auto caches = CacheFiles::inDirectory(path);
        caches->set(QStringLiteral("payload"), QJsonObject{{QStringLiteral("payload"), QString(bytes, u'x')}});
        report(caches->flush());
    } else if (writer == QLatin1String("favicon")) {
        favicon(path, bytes);
    } else if (writer == QLatin1String("autostart")) {
        LaunchAtLogin entry(path, QStringLiteral("/opt/tidewire/tidewire"));
        report(entry.setEnabled(true) ? Result<void>() : fail(ErrorKind::Io, entry.lastError()));
    } else {
        return 2;
    }
    std::fflush(stdout);
    return 0;
}
