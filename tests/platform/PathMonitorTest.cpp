#include "platform/PathMonitor.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QThread>
#include <gtest/gtest.h>
#include <thread>

namespace {

using Reach = QNetworkInformation::Reachability;

TEST(PathMonitor, OnlyDisconnectedCountsAsOffline)
{
    const struct {
        Reach reachability;
        bool online;
    } cases[] = {
        {Reach::Unknown, true},  // a backend that cannot tell must not block refreshes
        {Reach::Disconnected, false},
        {Reach::Local, true},  // a LAN-only path still reaches servers on the LAN
        {Reach::Site, true},
        {Reach::Online, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.reachability));
        EXPECT_EQ(reachabilityIsOnline(c.reachability), c.online);
    }
}

TEST(PathMonitor, ReportsOnlyRealChanges)
{
    NetworkPathMonitor monitor;
    QSignalSpy spy(&monitor, &PathMonitor::onlineChanged);
    EXPECT_TRUE(monitor.isOnline()) << "online until told otherwise";

    const struct {
        Reach report;
        std::optional<bool> emitted;
    } steps[] = {
        {Reach::Online, std::nullopt},
        {Reach::Unknown, std::nullopt},
        {Reach::Disconnected, false},
        {Reach::Disconnected, std::nullopt},
        {Reach::Local, true},
        {Reach::Site, std::nullopt},
        {Reach::Online, std::nullopt},
        {Reach::Local, std::nullopt},
        {Reach::Disconnected, false},
        {Reach::Unknown, true},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(int(step.report));
        spy.clear();
        monitor.reachabilityReported(step.report);
        ASSERT_EQ(spy.size(), step.emitted ? 1 : 0);
        if (step.emitted) {
            EXPECT_EQ(spy.at(0).at(0).toBool(), *step.emitted);
        }
        EXPECT_EQ(monitor.isOnline(), reachabilityIsOnline(step.report));
    }
}

TEST(PathMonitor, AReportFromAnotherThreadArrivesOnTheMainThread)
{
    NetworkPathMonitor monitor;
    QList<QThread*> deliveredOn;
    QObject::connect(&monitor, &PathMonitor::onlineChanged, &monitor,
                     [&](bool) { deliveredOn << QThread::currentThread(); }, Qt::DirectConnection);

    std::thread([&] { monitor.reachabilityReported(Reach::Disconnected); }).join();
    EXPECT_TRUE(deliveredOn.isEmpty()) << "nothing may happen on the reporting thread";
    EXPECT_TRUE(monitor.isOnline()) << "state changes on the main thread only";

    QCoreApplication::processEvents();
    ASSERT_EQ(deliveredOn.size(), 1);
    EXPECT_EQ(deliveredOn.first(), QCoreApplication::instance()->thread());
    EXPECT_FALSE(monitor.isOnline());
}

TEST(PathMonitor, StartFollowsTheSystemBackendOrStaysOnline)
{
    // Machines without NetworkManager (CI) have no default backend; the glib
    // one, when it loads, stands in so the wiring to the backend is exercised.
    if (!QNetworkInformation::instance() && !QNetworkInformation::loadDefaultBackend())
        QNetworkInformation::loadBackendByName(u"glib");
    auto monitor = PathMonitor::createSystem();
    QSignalSpy spy(monitor.get(), &PathMonitor::onlineChanged);
    monitor->start();
    monitor->start();  // idempotent: must not connect twice

    QNetworkInformation* info = QNetworkInformation::instance();
    if (!info) {
        EXPECT_TRUE(monitor->isOnline()) << "no backend reads online";
        EXPECT_EQ(spy.size(), 0);
        return;
    }
    EXPECT_EQ(monitor->isOnline(), reachabilityIsOnline(info->reachability()));
    const bool before = monitor->isOnline();
    spy.clear();
    Q_EMIT info->reachabilityChanged(before ? Reach::Disconnected : Reach::Online);
    Q_EMIT info->reachabilityChanged(before ? Reach::Disconnected : Reach::Local);
    ASSERT_EQ(spy.size(), 1) << "one change, delivered once";
    EXPECT_EQ(spy.at(0).at(0).toBool(), !before);
    Q_EMIT info->reachabilityChanged(info->reachability());
    EXPECT_EQ(monitor->isOnline(), reachabilityIsOnline(info->reachability()));
}

TEST(FakePathMonitor, SignalsChangesOnlyAfterStart)
{
    FakePathMonitor monitor;
    QSignalSpy spy(&monitor, &PathMonitor::onlineChanged);

    monitor.setOnline(false);
    EXPECT_FALSE(monitor.isOnline());
    EXPECT_EQ(spy.size(), 0) << "not started yet";

    monitor.start();
    EXPECT_TRUE(monitor.isStarted());
    monitor.setOnline(false);
    EXPECT_EQ(spy.size(), 0) << "no change";
    monitor.setOnline(true);
    monitor.setOnline(true);
    monitor.setOnline(false);
    ASSERT_EQ(spy.size(), 2);
    EXPECT_TRUE(spy.at(0).at(0).toBool());
    EXPECT_FALSE(spy.at(1).at(0).toBool());
}

}  // namespace
