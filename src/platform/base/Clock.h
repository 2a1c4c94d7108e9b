#pragma once

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <chrono>
#include <coroutine>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>

#include <qcoro/qcorotask.h>

// Wall-clock time. The real one reads the system clock; tests inject a fake.
class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;  // UTC

    static Clock& system();
};

// Time since boot that goes on counting while the machine sleeps, which
// Qt's timers do not. The real one reads CLOCK_BOOTTIME; tests inject a fake.
class BootClock {
public:
    virtual ~BootClock() = default;
    virtual std::chrono::milliseconds sinceBoot() const = 0;

    static BootClock& system();
};

// Timed callbacks on the main thread. Everything that waits (heartbeats,
// debounces, retry pauses, poll loops) goes through a Scheduler so tests can
// advance time instead of waiting.
class Scheduler {
public:
    using TimerId = quint64;
    using Duration = std::chrono::milliseconds;

    virtual ~Scheduler() = default;

    // Runs `callback` once after `delay` on the main thread; returns an id
    // for cancel(). A delay <= 0 still runs later, never synchronously.
    virtual TimerId schedule(Duration delay, std::function<void()> callback) = 0;
    // Cancels a pending callback; unknown or already-run ids are ignored.
    virtual void cancel(TimerId id) = 0;

    // Suspends the calling coroutine for `delay`. Resolves true when the time
    // elapsed, false when `token` was stopped first (or already was). A stop
    // resumes the coroutine from the event loop, never inside request_stop().
    // Stops must be requested on the main thread.
    QCoro::Task<bool> sleep(Duration delay, std::stop_token token);

    static Scheduler& system();
};

// A replaceable single-shot timer on a Scheduler: start() replaces a pending
// shot, cancel() drops it, and destruction cancels it.
class SingleShot {
public:
    explicit SingleShot(Scheduler& scheduler) : m_scheduler(&scheduler) {}
    ~SingleShot() { cancel(); }
    SingleShot(const SingleShot&) = delete;
    SingleShot& operator=(const SingleShot&) = delete;

    void start(Scheduler::Duration delay, std::function<void()> callback);
    void cancel();
    bool isActive() const { return m_id.has_value(); }

private:
    Scheduler* m_scheduler;
    std::optional<Scheduler::TimerId> m_id;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

class SystemClock final : public Clock {
public:
    QDateTime now() const override { return QDateTime::currentDateTimeUtc(); }
};

// QTimer-based. Qt's timers count on the monotonic clock, which stands still
// while the machine sleeps, so a callback due during a sleep would come that
// much late. catchUp(), called on waking, runs at once, in due order, every
// callback whose time has passed by `clock`, and sets the others' timers to
// what is left of their time.
class TimerScheduler final : public Scheduler {
public:
    explicit TimerScheduler(BootClock& clock = BootClock::system());
    ~TimerScheduler() override;
    TimerId schedule(Duration delay, std::function<void()> callback) override;
    void cancel(TimerId id) override;

    void catchUp();

    // The one behind Scheduler::system().
    static TimerScheduler& system();

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
