#pragma once

#include "platform/Clock.h"

#include <QList>
#include <QLoggingCategory>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <chrono>
#include <mutex>

// A scheduler that runs every callback on the next event-loop turn and
// records the delays it was asked for, so retry pauses cost no real time.
class RecordingScheduler final : public Scheduler {
public:
    TimerId schedule(Duration delay, std::function<void()> callback) override
    {
        const TimerId id = m_next++;
        delays.append(delay);
        QTimer::singleShot(0, &m_context, [this, id, callback = std::move(callback)] {
            if (!m_cancelled.contains(id))
                callback();
        });
        return id;
    }
    void cancel(TimerId id) override { m_cancelled.append(id); }

    QList<Duration> delays;

private:
    QObject m_context;
    QList<TimerId> m_cancelled;
    TimerId m_next = 1;
};

// Captures the messages of one logging category while alive.
class LogCapture {
public:
    struct Line {
        QtMsgType type;
        QString text;
    };

    explicit LogCapture(const char* category) : m_category(category)
    {
        instance() = this;
        m_previous = qInstallMessageHandler(&LogCapture::handler);
    }
    ~LogCapture()
    {
        qInstallMessageHandler(m_previous);
        instance() = nullptr;
    }

    QList<Line> lines;

private:
    static LogCapture*& instance()
    {
        static LogCapture* current = nullptr;
        return current;
    }
    static void handler(QtMsgType type, const QMessageLogContext& context, const QString& message)
    {
        LogCapture* self = instance();
        if (self && context.category && qstrcmp(context.category, self->m_category) == 0)
            self->lines.append({type, message});
    }

    const char* m_category;
    QtMessageHandler m_previous = nullptr;
};
