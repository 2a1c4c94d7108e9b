#include "platform/storage/FileReader.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace FileReader {

namespace {

std::unexpected<Failure> failed(Failure::Kind kind, QString reason)
{
    return std::unexpected(Failure{kind, std::move(reason)});
}

std::unexpected<Failure> systemFailure(int error)
{
    const Failure::Kind kind = error == ENOENT || error == ENOTDIR ? Failure::Kind::Absent : Failure::Kind::Unreadable;
    return failed(kind, QString::fromLocal8Bit(std::strerror(error)));
}

QString notRegular(mode_t mode)
{
    const char* what = S_ISFIFO(mode) ? "a FIFO"
        : S_ISCHR(mode)               ? "a character device"
        : S_ISBLK(mode)               ? "a block device"
        : S_ISSOCK(mode)              ? "a socket"
        : S_ISDIR(mode)               ? "a folder"
                                      : "something other";
    return QStringLiteral("it is %1, not a regular file").arg(QLatin1String(what));
}

QString tooLarge(qint64 cap)
{
    return QStringLiteral("it is larger than %1 bytes").arg(cap);
}

struct Descriptor {
    int fd = -1;
    ~Descriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

} // namespace

std::expected<QByteArray, Failure> read(const QString& path, qint64 cap)
{
    const QByteArray name = QFile::encodeName(path);
    // Looked at before it is opened: opening a device can have effects of
    // its own, and what is no regular file is not opened at all.
    struct stat before {};
    if (::stat(name.constData(), &before) != 0)
        return systemFailure(errno);
    if (!S_ISREG(before.st_mode))
        return failed(Failure::Kind::NotRegular, notRegular(before.st_mode));
    // Without blocking: the name may have been swapped for a FIFO since.
    Descriptor file;
    do {
        file.fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    } while (file.fd < 0 && errno == EINTR);
    if (file.fd < 0)
        return systemFailure(errno);
    struct stat opened {};
    if (::fstat(file.fd, &opened) != 0)
        return systemFailure(errno);
    if (!S_ISREG(opened.st_mode))
        return failed(Failure::Kind::NotRegular, notRegular(opened.st_mode));
    if (opened.st_size > cap)
        return failed(Failure::Kind::TooLarge, tooLarge(cap));

    // Read to the end, not to the size seen: the file may grow meanwhile,
    // and one byte past the cap is enough to know it is too large.
    QByteArray bytes;
    bytes.resize(qsizetype(std::min<qint64>(opened.st_size, cap) + 1));
    qint64 done = 0;
    for (;;) {
        if (done == bytes.size()) {
            if (done > cap)
                return failed(Failure::Kind::TooLarge, tooLarge(cap));
            bytes.resize(qsizetype(std::min<qint64>(cap + 1, std::max<qint64>(4096, done * 2))));
        }
        const ssize_t n = ::read(file.fd, bytes.data() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return systemFailure(errno);
        if (n == 0)
            break;
        done += n;
    }
    if (done > cap)
        return failed(Failure::Kind::TooLarge, tooLarge(cap));
    bytes.truncate(qsizetype(done));
    return bytes;
}

} // namespace FileReader
