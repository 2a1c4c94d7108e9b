#include "FakeTime.h"

#include <QCoreApplication>
#include <QTimeZone>

FakeTime::FakeTime(QDateTime start) : m_now(std::move(start)) {}

Scheduler::TimerId FakeTime::schedule(Duration delay, std::function<void()> callback)
{
    const TimerId id = m_next++;
    const qint64 due = m_now.toMSecsSinceEpoch() + std::max<qint64>(0, delay.count());
    m_pending.emplace(due, Entry{id, std::move(callback)});
    return id;
}

void FakeTime::cancel(TimerId id)
{
    for (auto it = m_pending.begin(); it != m_pending.end(); ++it) {
        if (it->second.id == id) {
            m_pending.erase(it);
            return;
        }
    }
}

void FakeTime::advance(Duration by)
{
    settle();
    const qint64 target = m_now.toMSecsSinceEpoch() + by.count();
    while (!m_pending.empty() && m_pending.begin()->first <= target) {
        auto it = m_pending.begin();
        const qint64 due = it->first;
        auto callback = std::move(it->second.callback);
        m_pending.erase(it);
        if (due > m_now.toMSecsSinceEpoch())
            m_now = QDateTime::fromMSecsSinceEpoch(due, Qt::UTC);
        callback();
        settle();
    }
    m_now = QDateTime::fromMSecsSinceEpoch(target, Qt::UTC);
    settle();
}

void FakeTime::settle()
{
    for (int i = 0; i < 10; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

qint64 FakeTime::nextDueInMs() const
{
    if (m_pending.empty())
        return -1;
    return m_pending.begin()->first - m_now.toMSecsSinceEpoch();
}
