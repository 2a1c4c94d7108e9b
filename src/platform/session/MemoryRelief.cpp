#include "platform/session/MemoryRelief.h"

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

void MemoryRelief::keepLargeBlocksOffTheHeap()
{
#if defined(__GLIBC__)
    // glibc maps blocks from 128 KiB up on their own, but raises that bound to
    // the size of each such block freed (up to 32 MiB). The strip's window
    // buffer (megabytes) is freed at its first resize, so from then on every
    // picture the strip draws and drops (cell pictures, glow frames, faded
    // layers: mostly 32 to 256 KiB, several a second), every reply body and
    // decoded document came from the main heap. The small lasting
    // allocations made between them kept the freed room from being reused,
    // and the heap grew for as long as the app ran. A fixed bound keeps such
    // blocks in mappings of their own, returned whole when freed.
    mallopt(M_MMAP_THRESHOLD, 32 * 1024);
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
