#include "MarketsFixture.h"

namespace {
QMutex logMutex;
QStringList* capturedLines = nullptr;

void capture(QtMsgType, const QMessageLogContext& context, const QString& message)
{
    QMutexLocker lock(&logMutex);
    if (capturedLines && context.category && QByteArray(context.category) == "tidewire.client.markets")
        capturedLines->append(message);
}
} // namespace

MarketsLog::MarketsLog()
{
    QMutexLocker lock(&logMutex);
    capturedLines = new QStringList;
    m_previous = qInstallMessageHandler(capture);
}

MarketsLog::~MarketsLog()
{
    qInstallMessageHandler(m_previous);
    QMutexLocker lock(&logMutex);
    delete capturedLines;
    capturedLines = nullptr;
}

QStringList MarketsLog::lines() const
{
    QMutexLocker lock(&logMutex);
    return capturedLines ? *capturedLines : QStringList();
}
