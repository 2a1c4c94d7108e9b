#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <functional>
#include <optional>

#include <qcoro/qcorotask.h>

// Runs the event loop until `done` holds or `timeoutMs` of real time pass
// (for replies from loopback servers and other processes). Returns whether
// it held. The default is generous: a loaded machine can take seconds, and a
// wait that holds returns at once.
inline bool waitUntil(const std::function<bool()>& done, int timeoutMs = 30000)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 10);
    }
    return true;
}

// Runs the event loop until `task` finishes (or `timeoutMs` of real time
// passes, for network tests) and returns its value. For tests only.
template <class T>
std::optional<T> awaitTask(QCoro::Task<T>&& task, int timeoutMs = 30000)
{
    std::optional<T> result;
    bool done = false;
    auto wrapper = [](QCoro::Task<T> t, std::optional<T>* out, bool* finished) -> QCoro::Task<void> {
        out->emplace(co_await std::move(t));
        *finished = true;
    };
    auto running = wrapper(std::move(task), &result, &done);
    QDeadlineTimer deadline(timeoutMs);
    while (!done && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 20);
    return result;
}

inline void awaitTask(QCoro::Task<void>&& task, int timeoutMs = 30000)
{
    auto finished = [](QCoro::Task<void> t) -> QCoro::Task<bool> {
        co_await std::move(t);
        co_return true;
    };
    awaitTask(finished(std::move(task)), timeoutMs);
}
