#include "platform/storage/FileWriter.h"

#include "platform/base/Logging.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

namespace FileWriter {

Result<void> replace(const QString& path, const QByteArray& bytes, QStringView what)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    const auto failed = [&](const QString& reason) -> Result<void> {
        file.cancelWriting();
        QString line = QStringLiteral("Could not save ");
        if (!what.isEmpty())
            line += what.toString() + u' ';
        qCCritical(lcPlatform).noquote() << line + path + QStringLiteral(" : ") + reason;
        return fail(ErrorKind::Io, reason);
    };
    // QSaveFile writes through a link: its temporary file goes beside what
    // the link names and then takes its place. Never in place of a device or
    // a FIFO (run as root, that would replace the system's /dev/null).
    if (const QFileInfo info(path); info.isSymLink() && info.exists() && !info.isFile())
        return failed(QStringLiteral("it is a link to %1, not to a regular file").arg(info.symLinkTarget()));
    // Unbuffered: Qt's buffer would keep a small payload until commit(),
    // which links the temporary file over the old one even when writing it
    // out failed. Written here, every byte is counted, and a short write is
    // tried again so that the system says why it stopped.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return failed(file.errorString());
    for (qint64 done = 0; done < bytes.size();) {
        const qint64 n = file.write(bytes.constData() + done, bytes.size() - done);
        if (n <= 0) {
            return failed(file.error() != QFileDevice::NoError ? file.errorString()
                                                               : QStringLiteral("nothing more could be written"));
        }
        done += n;
    }
    if (!file.flush() || file.size() != bytes.size())
        return failed(QStringLiteral("only %1 of %2 bytes were written").arg(file.size()).arg(bytes.size()));
    if (!file.commit())
        return failed(file.errorString());
    return {};
}

} // namespace FileWriter
