#include "platform/base/TestPause.h"

#include "platform/base/Logging.h"

#include <QByteArray>
#include <QThread>

void testPause(const char* point)
{
#ifdef TIDEWIRE_TEST_HOOKS
    const QByteArray asked = qgetenv("TIDEWIRE_TEST_PAUSE");
    const qsizetype colon = asked.lastIndexOf(':');
    if (colon <= 0 || asked.left(colon) != point)
        return;
    bool ok = false;
    const int ms = asked.mid(colon + 1).toInt(&ok);
    if (!ok || ms <= 0)
        return;
    qCInfo(lcLaunch, "test pause at %s: %d ms", point, ms);
    QThread::msleep(ulong(ms));
#else
    Q_UNUSED(point);
#endif
}
