#include "ambient/IdleScreensaver.h"

#include "platform/session/IdleSource.h"
#include "store/FeedStore.h"

IdleScreensaver::IdleScreensaver(IdleSource& source, Scheduler& scheduler, QObject* parent)
    : QObject(parent), m_source(source), m_scheduler(scheduler)
{
}

IdleScreensaver::~IdleScreensaver()
{
    stop();
}

IdleScreensaver& IdleScreensaver::shared()
{
    static IdleSource* source = IdleSource::createSystem().release();
    static IdleScreensaver* instance = new IdleScreensaver(*source, Scheduler::system());
    return *instance;
}

void IdleScreensaver::start(FeedStore& store)
{
    m_store = &store;
    if (m_timer)
        return;
    m_timer = std::make_unique<SingleShot>(m_scheduler);
    m_connections.append(connect(&m_source, &IdleSource::screensaverChanged, this, [this](bool active) {
        if (active == m_screensaver)
            return;
        m_screensaver = active;
        Q_EMIT idleStateChanged();
    }));
    m_connections.append(connect(&m_source, &IdleSource::lockChanged, this, [this](bool locked) {
        if (locked == m_locked)
            return;
        m_locked = locked;
        Q_EMIT idleStateChanged();
    }));
    m_source.start();
    scheduleCheck();
}

void IdleScreensaver::stop()
{
    for (const auto& connection : std::as_const(m_connections))
        disconnect(connection);
    m_connections.clear();
    m_timer.reset();
}

void IdleScreensaver::scheduleCheck()
{
    m_timer->start(CheckInterval, [this] {
        check();
        if (m_timer)
            scheduleCheck();
    });
}

void IdleScreensaver::check()
{
    ++m_checks;
    const std::optional<double> idle = m_source.idleSeconds();
    if (idle == m_idleSeconds)
        return;
    m_idleSeconds = idle;
    Q_EMIT idleStateChanged();
}
