#pragma once

#include "FakeTime.h"
#include "personal/PersonalFeed.h"
#include "personal/PersonalFeedStore.h"
#include "platform/Defaults.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QJsonArray>
#include <QNetworkAccessManager>
#include <functional>
#include <memory>

namespace SettingsFixtures {

// Runs the event loop until `done` holds or `ms` of real time pass (for
// replies of the loopback servers).
inline bool waitUntil(const std::function<bool()>& done, int ms = 8000)
{
    QDeadlineTimer deadline(ms);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 20);
    return done();
}

inline PersonalFeed feed(const QString& title, const QString& url, bool on = true)
{
    PersonalFeed f;
    f.id = QStringLiteral("pf-") + title.toLower().replace(QLatin1Char(' '), QLatin1Char('-'));
    f.url = url;
    f.title = title;
    f.isEnabled = on;
    f.addedAt = QDateTime(QDate(2026, 1, 1), QTime(9, 0), Qt::UTC);
    f.itemCount = 12;
    return f;
}

// `count` feeds "Feed 1" … on example hosts, the first `off` switched off.
inline QList<PersonalFeed> feeds(int count, int off = 0)
{
    QList<PersonalFeed> list;
    for (int i = 1; i <= count; ++i)
        list.append(feed(QStringLiteral("Feed %1").arg(i), QStringLiteral("https://feed%1.example.com/rss").arg(i),
                         i > off));
    return list;
}

// A personal-feed store on in-memory settings that already hold `stored`,
// as a previous run would have left them.
struct PersonalStore {
    explicit PersonalStore(const QList<PersonalFeed>& stored = {})
    {
        QJsonArray array;
        for (const PersonalFeed& f : stored)
            array.append(f.toJson(JsonOptions{DateCoding::iso8601()}));
        if (!stored.isEmpty())
            defaults->set(PersonalFeedStore::kFeedsKey, array);
        store = std::make_unique<PersonalFeedStore>(*defaults, time, time, &network);
    }
    ~PersonalStore()
    {
        store.reset();
        FakeTime::settle();
    }

    FakeTime time;
    std::unique_ptr<Defaults> defaults = Defaults::inMemory();
    QNetworkAccessManager network;
    std::unique_ptr<PersonalFeedStore> store;
};

} // namespace SettingsFixtures
