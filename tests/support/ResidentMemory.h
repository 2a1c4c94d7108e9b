#pragma once

#include <QFile>
#include <QList>
#include <QString>
#include <unistd.h>

// The resident memory of process `pid` in bytes, 0 once it is gone.
inline qint64 residentBytes(qint64 pid)
{
    QFile statm(QStringLiteral("/proc/%1/statm").arg(pid));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields.at(1).toLongLong() * ::sysconf(_SC_PAGESIZE) : 0;
}
