#pragma once

#include "platform/base/Clock.h"

#include <QObject>
#include <functional>

// Hands memory that closed windows freed back to the system. The C library
// keeps freed heap pages for later use, so a process whose settings, search
// or board window (a top-level widget deleted on close) has gone would keep
// its size for the rest of the day. A moment after such a window hides, once
// it has been deleted, the heap is trimmed. Main thread only.
class MemoryRelief : public QObject {
public:
    static constexpr Scheduler::Duration delay{1000};

    // Watches every widget of the application. `release` defaults to
    // trimming the C library's heap.
    explicit MemoryRelief(Scheduler& scheduler, std::function<void()> release = {}, QObject* parent = nullptr);
    ~MemoryRelief() override;

    // Returns the heap's free pages to the system (glibc's malloc_trim).
    static void releaseFreedMemory();
    // Serves every block of 32 KiB and more from its own mapping, returned
    // whole when freed, for the life of the process. Call first in main().
    static void keepLargeBlocksOffTheHeap();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    SingleShot m_shot;
    std::function<void()> m_release;
};
