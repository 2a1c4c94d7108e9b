#include "platform/Clock.h"

#include <QCoreApplication>
#include <QHash>
#include <QTimer>

Clock& Clock::system()
{
    static SystemClock* clock = new SystemClock;  // never destroyed: outlives every user
    return *clock;
}

Scheduler& Scheduler::system()
{
    static TimerScheduler* scheduler = new TimerScheduler;
    return *scheduler;
}

namespace {

// State shared between the sleeping coroutine, the timer and the stop callback.
struct SleepState {
    std::coroutine_handle<> handle;
    bool finished = false;
    bool elapsed = false;
    Scheduler::TimerId timer = 0;
    std::optional<std::stop_callback<std::function<void()>>> onStop;
};

struct SleepAwaiter {
    Scheduler& scheduler;
    Scheduler::Duration delay;
    std::stop_token token;
    std::shared_ptr<SleepState> state = std::make_shared<SleepState>();

    bool await_ready() const noexcept { return token.stop_requested(); }

    void await_suspend(std::coroutine_handle<> h)
    {
        state->handle = h;
        std::weak_ptr<SleepState> weak = state;
        state->timer = scheduler.schedule(delay, [weak] {
            auto s = weak.lock();
            if (!s || s->finished)
                return;
            s->finished = true;
            s->elapsed = true;
            s->handle.resume();
        });
        Scheduler* sched = &scheduler;
        state->onStop.emplace(token, std::function<void()>([weak, sched] {
            // Stops are requested on the main thread while the scheduler is
            // alive: drop the timer now, and resume from the event loop so the
            // stopping caller finishes first (the scheduler may be gone by then).
            auto s = weak.lock();
            if (!s || s->finished)
                return;
            s->finished = true;
            sched->cancel(s->timer);
            QMetaObject::invokeMethod(QCoreApplication::instance(), [weak] {
                if (auto s = weak.lock())
                    s->handle.resume();
            }, Qt::QueuedConnection);
        }));
    }

    bool await_resume() const noexcept { return state->elapsed; }
};

} // namespace

QCoro::Task<bool> Scheduler::sleep(Duration delay, std::stop_token token)
{
    // Keep the awaiter's state alive across the suspension.
    SleepAwaiter awaiter{*this, delay, token};
    co_return co_await awaiter;
}

void SingleShot::start(Scheduler::Duration delay, std::function<void()> callback)
{
    cancel();
    std::weak_ptr<bool> alive = m_alive;
    m_id = m_scheduler->schedule(delay, [this, alive, callback = std::move(callback)] {
        if (alive.expired())
            return;
        m_id.reset();
        callback();
    });
}

void SingleShot::cancel()
{
    if (m_id) {
        m_scheduler->cancel(*m_id);
        m_id.reset();
    }
}

struct TimerScheduler::Impl {
    QObject context;
    QHash<TimerId, QTimer*> timers;
    TimerId next = 1;
};

TimerScheduler::TimerScheduler() : d(std::make_unique<Impl>()) {}
TimerScheduler::~TimerScheduler() = default;

Scheduler::TimerId TimerScheduler::schedule(Duration delay, std::function<void()> callback)
{
    const TimerId id = d->next++;
    auto* timer = new QTimer(&d->context);
    timer->setSingleShot(true);
    timer->setTimerType(Qt::PreciseTimer);
    d->timers.insert(id, timer);
    QObject::connect(timer, &QTimer::timeout, &d->context, [this, id, timer, callback = std::move(callback)] {
        d->timers.remove(id);
        timer->deleteLater();
        callback();
    });
    timer->start(std::max<qint64>(0, delay.count()));
    return id;
}

void TimerScheduler::cancel(TimerId id)
{
    if (QTimer* timer = d->timers.take(id)) {
        timer->stop();
        timer->deleteLater();
    }
}
