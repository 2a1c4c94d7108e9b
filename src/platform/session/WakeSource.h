#pragma once

#include <QObject>
#include <memory>

class QDBusConnection;
class TimerScheduler;

// Tells when the machine has woken from suspend or hibernation. Main thread only.
class WakeSource : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // logind's PrepareForSleep(false) on `bus`: the system bus in the app.
    // Without logind on it, or without the bus, it never reports.
    static std::unique_ptr<WakeSource> createLogind(const QDBusConnection& bus);

    // Catches `timers` up each time the machine wakes. `timers` outlives
    // this source.
    void keepCaughtUp(TimerScheduler& timers);

Q_SIGNALS:
    void woke();
};
