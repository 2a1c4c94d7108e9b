// Waking from sleep, told by a stand-in logind on a private bus: periodic
// work whose time passed while the machine slept runs at once, once, and
// keeps its schedule; work not yet due waits only what is left of its time.
#include "platform/base/Clock.h"
#include "platform/session/WakeSource.h"

#include "Await.h"
#include "BusRoundTrip.h"

#include <QDBusConnection>
#include <QDBusMessage>

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;

const QString kPath = QStringLiteral("/org/freedesktop/login1");
const QString kManager = QStringLiteral("org.freedesktop.login1.Manager");

// Boot time that moves only when the test says the machine slept.
class FakeBootClock final : public BootClock {
public:
    std::chrono::milliseconds sinceBoot() const override { return now; }
    std::chrono::milliseconds now = 5000s;
};

// A peer on the bus that announces sleep and wake; it owns logind's name
// when `name` is that one.
class Announcer {
public:
    explicit Announcer(const QString& connection, const QString& name = {})
        : m_bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus, connection))
    {
        if (!name.isEmpty())
            registered = m_bus.registerService(name);
    }
    ~Announcer() { QDBusConnection::disconnectFromBus(m_bus.name()); }
    void prepareForSleep(bool sleeping)
    {
        QDBusMessage signal = QDBusMessage::createSignal(kPath, kManager, QStringLiteral("PrepareForSleep"));
        signal << sleeping;
        m_bus.send(signal);
    }
    bool registered = false;

private:
    QDBusConnection m_bus;
};

// Counts every PrepareForSleep on the bus, whoever sends it.
class Overhearer : public QObject {
    Q_OBJECT
public:
    explicit Overhearer(QDBusConnection bus)
    {
        bus.connect(QString(), kPath, kManager, QStringLiteral("PrepareForSleep"), this, SLOT(heard(bool)));
    }
    int count = 0;

private Q_SLOTS:
    void heard(bool) { ++count; }
};

// A poll loop as the stores run them: sleep, work, sleep again.
QCoro::Task<void> every(Scheduler& scheduler, std::chrono::milliseconds interval, int& runs, std::stop_token stop)
{
    for (;;) {
        const bool elapsed = co_await scheduler.sleep(interval, stop);
        if (!elapsed)
            co_return;
        ++runs;
    }
}

TEST(WakeFromSleep, DueWorkRunsAtOnceOnceAndKeepsItsSchedule)
{
    const QString environment = qEnvironmentVariable("TIDEWIRE_BUS_TEST");
    if (environment.startsWith(QStringLiteral("missing:")))
        GTEST_SKIP() << environment.mid(8).toStdString();
    ASSERT_EQ(environment, QStringLiteral("private")) << "run through tests/music/run-on-private-bus.sh (ctest does)";
    const QDBusConnection bus = QDBusConnection::sessionBus();
    ASSERT_TRUE(bus.isConnected());

    FakeBootClock boot;
    TimerScheduler timers(boot);
    const std::unique_ptr<WakeSource> wakes = WakeSource::createLogind(bus);
    wakes->keepCaughtUp(timers);
    Announcer logind(QStringLiteral("stand-in-logind"), QStringLiteral("org.freedesktop.login1"));
    ASSERT_TRUE(logind.registered);
    Announcer stranger(QStringLiteral("stranger"));
    Overhearer heard(bus);
    // Both listeners' match rules are on the bus before anyone announces.
    ASSERT_TRUE(busRoundTrip(bus));

    std::stop_source stop;
    int quotes = 0, headlines = 0, personal = 0, lateOneShot = 0;
    auto market = every(timers, 60s, quotes, stop.get_token());
    auto heartbeat = every(timers, 300s, headlines, stop.get_token());
    auto pass = every(timers, 900s, personal, stop.get_token());
    timers.schedule(400s + 200ms, [&] { ++lateOneShot; });

    // Asleep for 400 s. Going to sleep, and a wake told by anyone but
    // logind, run nothing.
    boot.now += 400s;
    logind.prepareForSleep(true);
    stranger.prepareForSleep(false);
    ASSERT_TRUE(waitUntil([&] { return heard.count == 2; }, 30000));
    QCoreApplication::processEvents();
    EXPECT_EQ(quotes + headlines + personal + lateOneShot, 0);

    // Woken: the 60 s and 300 s loops are due, the 900 s one is not.
    const struct { std::chrono::seconds slept; int quotes, headlines, personal; } wakesAfter[] = {
        {0s, 1, 1, 0},
        {60s, 2, 1, 0},   // 60 s after the last round: only the market poll
        {440s, 3, 2, 1},  // 900 s since the start, 500 s since the heartbeat's round
    };
    int told = heard.count;
    for (const auto& w : wakesAfter) {
        SCOPED_TRACE(w.slept.count());
        boot.now += w.slept;
        logind.prepareForSleep(false);
        ++told;
        // Each wake would otherwise leave these minutes away.
        ASSERT_TRUE(waitUntil([&] {
            return heard.count == told && quotes == w.quotes && headlines == w.headlines && personal == w.personal;
        }, 30000)) << quotes << " " << headlines << " " << personal;
        QCoreApplication::processEvents();
        EXPECT_EQ(quotes, w.quotes);
        EXPECT_EQ(headlines, w.headlines);
        EXPECT_EQ(personal, w.personal);
        if (w.slept == 0s) {
            // Not yet due on waking: it comes when its own time is up, not
            // 400 s of the timer's stopped clock later.
            EXPECT_TRUE(waitUntil([&] { return lateOneShot == 1; }, 30000));
        }
    }
    // The loops end through the event loop.
    stop.request_stop();
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
}

} // namespace

#include "WakeTest.moc"
