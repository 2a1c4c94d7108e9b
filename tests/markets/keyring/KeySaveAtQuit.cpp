// Saves (or, given blank text, removes) the Finnhub key as the settings
// window does, and quits at once by the road given, "quit" (the tray menu's
// Quit) or "SIGTERM" (a logout), then does on its way out what the
// application does.
//
//   key-save-at-quit <quit|SIGTERM> <typed key> <keyring wait in ms>
#include "app/PendingWork.h"
#include "markets/MarketsStore.h"
#include "platform/base/Clock.h"
#include "platform/storage/Defaults.h"
#include "platform/session/SecretStore.h"
#include "platform/session/TerminationSignals.h"

#include <QCoreApplication>
#include <QTimer>
#include <csignal>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 4)
        return 2;
    const auto defaults = Defaults::inMemory();
    Endpoints endpoints = Endpoints::builtIn();
    endpoints.apiBase = endpoints.finnhubBase = endpoints.coingeckoBase = QUrl(QStringLiteral("http://127.0.0.1:9/"));
    MarketsStore markets(*defaults, SecretStore::system(), Clock::system(), Scheduler::system(), endpoints);
    TerminationSignals termination([](int) { QCoreApplication::quit(); });

    markets.setFinnhubKey(args[2]);
    if (args[1] == QLatin1String("SIGTERM"))
        ::raise(SIGTERM);
    else
        QTimer::singleShot(0, &app, &QCoreApplication::quit);
    app.exec();
    finishPendingWork(*defaults, SecretStore::system(), {}, std::chrono::milliseconds(args[3].toInt()));
    return 0;
}
