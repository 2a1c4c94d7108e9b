#include "platform/MemoryRelief.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

MemoryRelief::MemoryRelief(Scheduler& scheduler, std::function<void()> release, QObject* parent)
    : QObject(parent), m_shot(scheduler), m_release(release ? std::move(release) : &releaseFreedMemory)
{
    QCoreApplication::instance()->installEventFilter(this);
}

MemoryRelief::~MemoryRelief()
{
    if (QCoreApplication* app = QCoreApplication::instance())
        app->removeEventFilter(this);
}

void MemoryRelief::releaseFreedMemory()
{
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

bool MemoryRelief::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Hide && watched->isWidgetType()) {
        const auto* widget = static_cast<QWidget*>(watched);
        // Several windows closing together make one trim, after the last.
        if (widget->isWindow() && widget->testAttribute(Qt::WA_DeleteOnClose))
            m_shot.start(delay, [this] { m_release(); });
    }
    return QObject::eventFilter(watched, event);
}
