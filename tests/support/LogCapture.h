#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>

// Collects every Qt log message while alive (and keeps them off stderr), so a
// test can check log texts, levels and categories, or that something stayed
// out of the log. One capture at a time; main thread only.
class LogCapture {
public:
    struct Line {
        QtMsgType type;
        QString category;
        QString message;
    };

    LogCapture()
    {
        lines().clear();
        m_previous = qInstallMessageHandler(&LogCapture::handle);
    }
    ~LogCapture() { qInstallMessageHandler(m_previous); }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    static QList<Line>& lines()
    {
        static QList<Line> captured;
        return captured;
    }

    bool anyContains(const QString& text) const
    {
        for (const Line& line : lines())
            if (line.message.contains(text))
                return true;
        return false;
    }

private:
    static void handle(QtMsgType type, const QMessageLogContext& context, const QString& message)
    {
        lines().append({type, QString::fromUtf8(context.category ? context.category : ""), message});
    }

    QtMessageHandler m_previous = nullptr;
};
