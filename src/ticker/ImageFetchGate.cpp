#include "ticker/ImageFetchGate.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <algorithm>

ImageFetchGate::ImageFetchGate(int limit) : m_limit(std::max(1, limit)) {}

ImageFetchGate::~ImageFetchGate()
{
    *m_alive = false;
}

ImageFetchGate& ImageFetchGate::shared()
{
    static ImageFetchGate* gate = new ImageFetchGate;  // outlives every user
    return *gate;
}

ImageFetchGate::Awaiter ImageFetchGate::acquire()
{
    return Awaiter(*this);
}

void ImageFetchGate::release()
{
    while (!m_waiters.empty()) {
        auto waiter = m_waiters.front();
        m_waiters.pop_front();
        if (waiter->handle) {
            grant(waiter);  // the slot moves on; `active` stays
            return;
        }
    }
    if (m_active > 0)
        --m_active;
}

void ImageFetchGate::grant(const std::shared_ptr<Waiter>& waiter)
{
    waiter->granted = true;
    std::weak_ptr<Waiter> weak = waiter;
    // Resume from the event loop so release() never runs the waiter's code
    // inside its own caller.
    QMetaObject::invokeMethod(QCoreApplication::instance(), [weak] {
        auto w = weak.lock();
        if (!w || w->resumed || !w->handle)
            return;
        w->resumed = true;
        w->handle.resume();
    }, Qt::QueuedConnection);
}

ImageFetchGate::Awaiter::Awaiter(Awaiter&& other) noexcept
    : m_gate(other.m_gate), m_waiter(std::move(other.m_waiter)), m_gateAlive(std::move(other.m_gateAlive))
{
    other.m_gate = nullptr;
}

ImageFetchGate::Awaiter::~Awaiter()
{
    if (!m_waiter || m_gateAlive.expired())
        return;
    // The waiting frame is going away before it ran: leave the queue, or
    // pass on a slot that was already handed to it.
    if (m_waiter->granted && !m_waiter->resumed) {
        m_waiter->resumed = true;
        m_gate->release();
    } else if (!m_waiter->granted) {
        auto& q = m_gate->m_waiters;
        q.erase(std::remove(q.begin(), q.end(), m_waiter), q.end());
    }
    m_waiter->handle = nullptr;
}

bool ImageFetchGate::Awaiter::await_ready()
{
    if (m_gate->m_active < m_gate->m_limit) {
        ++m_gate->m_active;
        return true;
    }
    return false;
}

void ImageFetchGate::Awaiter::await_suspend(std::coroutine_handle<> handle)
{
    m_waiter = std::make_shared<Waiter>();
    m_waiter->handle = handle;
    m_gateAlive = m_gate->m_alive;
    m_gate->m_waiters.push_back(m_waiter);
}
