#pragma once

#include "platform/base/Clock.h"

#include <QObject>
#include <QPointer>
#include <memory>
#include <optional>

#include "store/FeedStore.h"
class IdleSource;

// Watches how idle the desktop is: every 2 seconds it reads the idle time,
// and it follows the screensaver and screen-lock signals. It keeps what it
// learns (idleSeconds, isScreensaverActive, isScreenLocked) and announces
// every change with idleStateChanged(). No idle limit is set anywhere, so it
// never opens or closes the board by itself. Main thread only.
class IdleScreensaver : public QObject {
    Q_OBJECT
public:
    static constexpr Scheduler::Duration CheckInterval{2000};

    IdleScreensaver(IdleSource& source, Scheduler& scheduler, QObject* parent = nullptr);
    ~IdleScreensaver() override;

    // The process-wide watcher: the system idle source and timers.
    static IdleScreensaver& shared();

    // Keeps `store` weakly and, unless the check already runs, starts
    // watching: the signals, and a check every 2 seconds.
    void start(FeedStore& store);
    // Ends the checks and the signal handling.
    void stop();
    bool isRunning() const { return m_timer != nullptr; }

    const std::optional<double>& idleSeconds() const { return m_idleSeconds; }
    bool isScreensaverActive() const { return m_screensaver; }
    bool isScreenLocked() const { return m_locked; }
    FeedStore* store() const { return m_store; }
    int checks() const { return m_checks; }

Q_SIGNALS:
    void idleStateChanged();

private:
    void check();
    void scheduleCheck();

    IdleSource& m_source;
    Scheduler& m_scheduler;
    QPointer<FeedStore> m_store;
    std::unique_ptr<SingleShot> m_timer;
    QList<QMetaObject::Connection> m_connections;
    std::optional<double> m_idleSeconds;
    bool m_screensaver = false;
    bool m_locked = false;
    int m_checks = 0;
};
