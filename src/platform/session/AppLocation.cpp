#include "platform/session/AppLocation.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace AppLocation {

namespace {

bool isUnder(const QString& path, const QString& folder)
{
    return !folder.isEmpty() && path.startsWith(folder.endsWith(u'/') ? folder : folder + u'/');
}

QString withoutTrailingSlash(QString path)
{
    while (path.size() > 1 && path.endsWith(u'/'))
        path.chop(1);
    return path;
}

} // namespace

std::optional<QString> runningAppImage()
{
    const QString path = qEnvironmentVariable("APPIMAGE");
    if (path.isEmpty())
        return std::nullopt;
    return QFileInfo(path).absoluteFilePath();
}

Folders systemFolders(const QString& home)
{
    Folders folders{.home = home, .temporary = {QStringLiteral("/tmp")}, .personal = {}};
    const QString tmpdir = qEnvironmentVariable("TMPDIR");
    if (!tmpdir.isEmpty())
        folders.temporary.append(withoutTrailingSlash(tmpdir));
    for (auto location : {QStandardPaths::DownloadLocation, QStandardPaths::DesktopLocation}) {
        const QString folder = QStandardPaths::writableLocation(location);
        if (!folder.isEmpty())
            folders.personal.append(withoutTrailingSlash(folder));
    }
    return folders;
}

bool onRemovableMedia(const QString& path)
{
    return path.startsWith(QLatin1String("/media/")) || path.startsWith(QLatin1String("/run/media/"));
}

bool shouldOffer(const QString& path, const Folders& folders)
{
    if (isUnder(path, applicationsFolder(folders.home)))
        return false;
    if (path.startsWith(QLatin1String("/opt/")) || path.startsWith(QLatin1String("/usr/")))
        return false;
    if (onRemovableMedia(path))
        return true;
    for (const QString& folder : folders.temporary)
        if (isUnder(path, folder))
            return true;
    for (const QString& folder : folders.personal)
        if (folder != withoutTrailingSlash(folders.home) && isUnder(path, folder))
            return true;
    return false;
}

bool shouldOffer(const QString& path, const QString& home)
{
    return shouldOffer(path, systemFolders(home));
}

QString applicationsFolder(const QString& home)
{
    return withoutTrailingSlash(home) + QStringLiteral("/Applications");
}

Result<QString> copyInto(const QString& source, const QString& folder)
{
    const QFileInfo sourceInfo(source);
    const QString destination = QDir(folder).filePath(sourceInfo.fileName());
    if (!sourceInfo.isFile())
        return fail(ErrorKind::Io, QStringLiteral("%1 is not a file.").arg(source));
    const QFileInfo destinationInfo(destination);
    if (destinationInfo.exists() && destinationInfo.canonicalFilePath() == sourceInfo.canonicalFilePath())
        return fail(ErrorKind::Io, QStringLiteral("Tidewire is already running from %1.").arg(destination));
    if (!QDir().mkpath(folder))
        return fail(ErrorKind::Io, QStringLiteral("The folder %1 could not be created.").arg(folder));

    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        return fail(ErrorKind::Io, QStringLiteral("%1 could not be read: %2").arg(source, in.errorString()));
    QTemporaryFile out(QDir(folder).filePath(QStringLiteral(".%1.XXXXXX").arg(sourceInfo.fileName())));
    if (!out.open())
        return fail(ErrorKind::Io, QStringLiteral("%1 could not be written: %2").arg(folder, out.errorString()));
    qint64 copied = 0;
    QByteArray buffer(1 << 20, Qt::Uninitialized);
    for (;;) {
        const qint64 n = in.read(buffer.data(), buffer.size());
        if (n < 0)
            return fail(ErrorKind::Io, QStringLiteral("%1 could not be read: %2").arg(source, in.errorString()));
        if (n == 0)
            break;
        if (out.write(buffer.constData(), n) != n)
            return fail(ErrorKind::Io, QStringLiteral("%1 could not be written: %2").arg(destination, out.errorString()));
        copied += n;
    }
    if (copied != sourceInfo.size())
        return fail(ErrorKind::Io, QStringLiteral("%1 changed while it was copied.").arg(source));
    const auto executable = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                            | QFileDevice::ReadGroup | QFileDevice::ExeGroup | QFileDevice::ReadOther
                            | QFileDevice::ExeOther;
    // On disk before the rename, so a crash never leaves a short file under
    // the final name.
    if (!out.setPermissions(executable) || !out.flush() || ::fsync(out.handle()) != 0)
        return fail(ErrorKind::Io, QStringLiteral("%1 could not be written: %2").arg(destination, out.errorString()));
    if (::rename(QFile::encodeName(out.fileName()).constData(), QFile::encodeName(destination).constData()) != 0)
        return fail(ErrorKind::Io,
                    QStringLiteral("%1 could not be replaced: %2").arg(destination, QString::fromLocal8Bit(std::strerror(errno))));
    out.setAutoRemove(false);
    return destination;
}

} // namespace AppLocation
