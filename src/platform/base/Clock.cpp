#include "platform/base/Clock.h"


#include <QCoreApplication>
#include <QHash>
#include <QList>
#include <QTimer>
#include <algorithm>
#include <ctime>

Clock& Clock::system()
{
    static SystemClock* clock = new SystemClock;  // never destroyed: outlives every user
    return *clock;
}

namespace {

class SystemBootClock final : public BootClock {
public:
    std::chrono::milliseconds sinceBoot() const override
    {
        timespec now{};
        clock_gettime(CLOCK_BOOTTIME, &now);
        return std::chrono::seconds(now.tv_sec) + std::chrono::duration_cast<std::chrono::milliseconds>(
                                                      std::chrono::nanoseconds(now.tv_nsec));
    }
};

} // namespace

BootClock& BootClock::system()
{
    static SystemBootClock* clock = new SystemBootClock;
    return *clock;
}

Scheduler& Scheduler::system()
{
    return TimerScheduler::system();
}

TimerScheduler& TimerScheduler::system()
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
    struct Pending {
        QTimer* timer;
        std::chrono::milliseconds due;  // on the boot clock
        std::function<void()> callback;
    };

    explicit Impl(BootClock& c) : clock(c) {}

    // Runs the callback of `id` unless it was cancelled meanwhile.
    void fire(TimerId id)
    {
        if (!pending.contains(id))
            return;
        Pending entry = pending.take(id);
        entry.timer->stop();
        entry.timer->deleteLater();
        entry.callback();
    }

    BootClock& clock;
    QObject context;
    QHash<TimerId, Pending> pending;
    TimerId next = 1;
};

TimerScheduler::TimerScheduler(BootClock& clock) : d(std::make_unique<Impl>(clock)) {}
TimerScheduler::~TimerScheduler() = default;

Scheduler::TimerId TimerScheduler::schedule(Duration delay, std::function<void()> callback)
{
    const TimerId id = d->next++;
    const Duration wait = std::max(Duration(0), delay);
    auto* timer = new QTimer(&d->context);
    timer->setSingleShot(true);
    timer->setTimerType(Qt::PreciseTimer);
    d->pending.insert(id, {timer, d->clock.sinceBoot() + wait, std::move(callback)});
    QObject::connect(timer, &QTimer::timeout, &d->context, [this, id] { d->fire(id); });
    timer->start(wait);
    return id;
}

void TimerScheduler::cancel(TimerId id)
{
    if (const auto it = d->pending.constFind(id); it != d->pending.cend()) {
        it->timer->stop();
        it->timer->deleteLater();
        d->pending.erase(it);
    }
}

void TimerScheduler::catchUp()
{
    const Duration now = d->clock.sinceBoot();
    QList<std::pair<Duration, TimerId>> due;
    for (auto it = d->pending.cbegin(); it != d->pending.cend(); ++it) {
        if (it->due <= now)
            due.append({it->due, it.key()});
        else
            it->timer->start(it->due - now);
    }
    std::sort(due.begin(), due.end());
    for (const auto& [when, id] : due)
        d->fire(id);
}
