// catalogue-server: serves the sample catalogue on 127.0.0.1 until SIGINT or
// SIGTERM. The first line on stdout is the base URL.
#include "CatalogueServer.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <csignal>
#include <cstdio>
#include <pthread.h>

namespace {

int usageError(const QString& message)
{
    std::fprintf(stderr, "catalogue-server: %s\n", qPrintable(message));
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("catalogue-server"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Serves the Tidewire sample catalogue on 127.0.0.1."));
    parser.addHelpOption();
    const QCommandLineOption portOption(QStringLiteral("port"), QStringLiteral("Port to listen on (0: any free port)."),
                                        QStringLiteral("N"), QStringLiteral("0"));
    const QCommandLineOption seedOption(QStringLiteral("seed"), QStringLiteral("Seed of the sample data."),
                                        QStringLiteral("N"), QStringLiteral("1"));
    const QCommandLineOption hostOption(QStringLiteral("host"), QStringLiteral("Address to listen on (127.0.0.1 only)."),
                                        QStringLiteral("ADDRESS"), QStringLiteral("127.0.0.1"));
    const QCommandLineOption verboseOption(QStringLiteral("verbose"), QStringLiteral("Log every request on stderr."));
    const QCommandLineOption faultsOption(
        QStringLiteral("faults"),
        QStringLiteral("Answer this share (0 to 1) of GET requests with a fault: 500, 503, 429, a closed "
                       "connection, a truncated body, malformed JSON, a stalled body or a 304 for an unknown ETag."),
        QStringLiteral("SHARE"), QStringLiteral("0"));
    parser.addOptions({portOption, seedOption, hostOption, verboseOption, faultsOption});
    parser.process(app);

    if (!parser.positionalArguments().isEmpty())
        return usageError(QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().first()));
    bool ok = false;
    const int port = parser.value(portOption).toInt(&ok);
    if (!ok || port < 0 || port > 65535)
        return usageError(QStringLiteral("--port needs a number from 0 to 65535"));
    const quint64 seed = parser.value(seedOption).toULongLong(&ok);
    if (!ok)
        return usageError(QStringLiteral("--seed needs a non-negative whole number"));
    const double faultShare = parser.value(faultsOption).toDouble(&ok);
    if (!ok || !(faultShare >= 0 && faultShare <= 1))
        return usageError(QStringLiteral("--faults needs a share from 0 to 1"));
    if (parser.value(hostOption) != QLatin1String("127.0.0.1"))
        return usageError(QStringLiteral("--host can only be 127.0.0.1"));

    // Block the stop signals before any server thread starts, so that only
    // sigwait() below receives them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    CatalogueServer::Options options;
    options.port = port;
    options.seed = seed;
    options.logRequests = parser.isSet(verboseOption);
    options.faultShare = faultShare;
    options.faultSeed = seed;
    CatalogueServer server(options);
    if (const auto started = server.start(); !started) {
        std::fprintf(stderr, "catalogue-server: %s\n", qPrintable(started.error().description));
        return 1;
    }
    std::printf("%s\n", qPrintable(server.baseUrl().toString()));
    std::fflush(stdout);

    int received = 0;
    sigwait(&stopSignals, &received);
    server.stop();
    return 0;
}
