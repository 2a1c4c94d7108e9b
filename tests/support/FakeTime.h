#pragma once

#include "platform/base/Clock.h"

#include <QDateTime>
#include <map>

// A clock and scheduler whose time moves only when a test advances it.
// advance() runs every callback that falls due, in due order (ties in the
// order scheduled), including ones scheduled while advancing, then processes
// posted events so resumed coroutines and queued signals settle.
class FakeTime final : public Clock, public Scheduler {
public:
    explicit FakeTime(QDateTime start = QDateTime(QDate(2026, 1, 15), QTime(12, 0), Qt::UTC));

    QDateTime now() const override { return m_now; }
    TimerId schedule(Duration delay, std::function<void()> callback) override;
    void cancel(TimerId id) override;

    void advance(Duration by);
    void advanceSeconds(double seconds) { advance(Duration(qint64(seconds * 1000.0))); }
    void setNow(const QDateTime& now) { m_now = now; }
    // Runs posted events (queued resumes, deleteLater) without moving time.
    static void settle();

    int pendingCount() const { return int(m_pending.size()); }
    // Milliseconds until the next callback, or -1 when none is pending.
    qint64 nextDueInMs() const;

private:
    struct Entry {
        TimerId id;
        std::function<void()> callback;
    };
    QDateTime m_now;
    std::multimap<qint64, Entry> m_pending;  // due time (ms since epoch) -> entry
    TimerId m_next = 1;
};
