// A real app process for the kill test: opens the settings file given on the
// command line with the personal feeds, the watchlist, the phrase filters,
// the read history and the hidden applications over it, then reads
// one command a line from stdin, carries it out and prints "done" (or
// "done <outcome>" for an add) once the call returned. Between commands it
// blocks on stdin, so no timer of its own runs before the test kills it.
//
//   add <address>                    PersonalFeedStore::add
//   switch <index> <0|1>             PersonalFeedStore::setEnabled
//   remove <index>                   PersonalFeedStore::remove
//   unwatch <symbol>                 MarketsStore::remove
//   hold <symbol> <units> <cost>     MarketsStore::setHolding
//   seed <symbol>…                   a watchlist of these stocks, saved
//   mute <phrase>, follow <phrase>   FilterStore::mute, FilterStore::follow
//   read <id>                        ReadStore::markRead
//   mix <value>                      the Ticker tab's mix: Settings::feedMix.write
//   hide <class>                     HiddenAppsController::add
//   strip-mix <value>                the second strip's mix: StripConfig::setField
//   show                             prints the feeds and the watchlist as
//                                    the stores read them: "<title>:<on>,… | <symbol>:<units>:<cost>,…"
//   show-settings                    prints the rest as read:
//                                    "muted:… followed:… read:… mix:… hidden:… strip:…"
#include "Await.h"
#include "markets/MarketsStore.h"
#include "personal/PersonalFeedStore.h"
#include "platform/base/Clock.h"
#include "platform/storage/Defaults.h"
#include "platform/x11/HiddenAppsController.h"
#include "platform/session/SecretStore.h"
#include "platform/storage/SettingsCatalogue.h"
#include "store/FilterStore.h"
#include "store/ReadStore.h"
#include "ticker/StripConfig.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <cstdio>
#include <iostream>
#include <string>

namespace {

// No window of any application is in front.
class NoFrontApp final : public FrontAppMonitor {
public:
    std::optional<QString> frontApp() const override { return std::nullopt; }
    QList<RunningApp> runningApps() const override { return {}; }
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: settings_change_writer SETTINGS-FILE\n");
        return 2;
    }
    auto defaults = Defaults::openFile(QString::fromLocal8Bit(argv[1]));
    QNetworkAccessManager network;
    PersonalFeedStore feeds(*defaults, Clock::system(), Scheduler::system(), &network);
    MemorySecretStore secrets;
    MarketsStore markets(*defaults, secrets, Clock::system(), Scheduler::system());
    FilterStore filters(*defaults);
    ReadStore reads(*defaults);
    NoFrontApp front;
    HiddenAppsController hidden(*defaults, front);
    std::printf("ready\n");
    std::fflush(stdout);

    for (std::string line; std::getline(std::cin, line);) {
        const QStringList words = QString::fromStdString(line).split(u' ', Qt::SkipEmptyParts);
        if (words.isEmpty())
            continue;
        const QString& command = words.first();
        const auto feedId = [&](int word) { return feeds.feeds().value(words.value(word).toInt()).id; };
        QString outcome;
        if (command == QLatin1String("add")) {
            const auto result = awaitTask(feeds.add(words.value(1)), 30000);
            outcome = !result ? QStringLiteral("timeout")
                : result->kind == PersonalFeedStore::AddResult::Kind::Added ? QStringLiteral("added")
                                                                            : QStringLiteral("refused");
        } else if (command == QLatin1String("switch")) {
            feeds.setEnabled(feedId(1), words.value(2) == QLatin1String("1"));
        } else if (command == QLatin1String("remove")) {
            feeds.remove(feedId(1));
        } else if (command == QLatin1String("unwatch")) {
            markets.remove(words.value(1));
        } else if (command == QLatin1String("hold")) {
            markets.setHolding(words.value(1), words.value(2).toDouble(), words.value(3).toDouble());
        } else if (command == QLatin1String("seed")) {
            QList<WatchSymbol> list;
            for (const QString& symbol : words.mid(1))
                list.append({symbol, WatchSymbol::Kind::Stock, symbol, std::nullopt, std::nullopt, std::nullopt});
            markets.setWatchlist(list);
            outcome = markets.saveWatchlist() ? QStringLiteral("saved") : QStringLiteral("unsaved");
        } else if (command == QLatin1String("mute")) {
            filters.mute(words.value(1));
        } else if (command == QLatin1String("follow")) {
            filters.follow(words.value(1));
        } else if (command == QLatin1String("read")) {
            reads.markRead(words.value(1));
        } else if (command == QLatin1String("mix")) {
            Settings::feedMix.write(*defaults, words.value(1));
        } else if (command == QLatin1String("hide")) {
            hidden.add(words.value(1));
        } else if (command == QLatin1String("strip-mix")) {
            StripConfig::setField(*defaults, 0, &StripConfig::mix, words.value(1));
        } else if (command == QLatin1String("show-settings")) {
            outcome = QStringLiteral("muted:") + filters.muted().join(u',') + QStringLiteral(" followed:")
                + filters.followed().join(u',') + QStringLiteral(" read:") + reads.order().join(u',')
                + QStringLiteral(" mix:") + Settings::feedMix.read(*defaults) + QStringLiteral(" hidden:")
                + hidden.bundleIDs().join(u',') + QStringLiteral(" strip:")
                + StripConfig::field(*defaults, 0, &StripConfig::mix, QStringLiteral("none"));
        } else if (command == QLatin1String("show")) {
            QStringList shownFeeds, shownWatch;
            for (const PersonalFeed& feed : feeds.feeds())
                shownFeeds.append(feed.title + u':' + (feed.isEnabled ? u'1' : u'0'));
            for (const WatchSymbol& w : markets.watchlist())
                shownWatch.append(w.symbol + u':' + QString::number(w.units.value_or(0)) + u':'
                                  + QString::number(w.cost.value_or(0)));
            outcome = shownFeeds.join(u',') + QStringLiteral(" | ") + shownWatch.join(u',');
        } else {
            outcome = QStringLiteral("unknown");
        }
        std::printf("done%s%s\n", outcome.isEmpty() ? "" : " ", qPrintable(outcome));
        std::fflush(stdout);
    }
    return 0;
}
