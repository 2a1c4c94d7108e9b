#include "platform/SingleInstance.h"

#include "platform/Logging.h"
#include "platform/TestPause.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <limits>
#include <unistd.h>

namespace {

constexpr auto kAppBusName = "org.tidewire.Tidewire";
constexpr auto kApplicationInterface = "org.freedesktop.Application";
// What a later start may wait for the running copy: it must be gone well
// within two seconds of being started, answered or not.
constexpr int kHandOverTimeoutMs = 1000;
const QByteArray kActivateLine = QByteArrayLiteral("activate\n");
// A request line is short; more from a client is not one of ours.
constexpr qint64 kMaxRequestBytes = 64;

// The kernel keeps a local socket's path in 108 bytes with its final NUL,
// and QLocalServer first binds in a temporary folder beside the name (six
// more characters and "/s") before it moves the socket into place.
constexpr qsizetype kMaxSocketPathBytes = 107 - 8;

// What to listen on or connect to for the socket at `path`. A path too long
// for a socket is reached through `folderFd`, an open descriptor of its
// folder, as /proc/self/fd/<n>/<name>, which always fits: the socket is still
// the file in that folder, under the folder's protection. The caller closes
// `folderFd` (-1 when the path is used as it is) once done with the name.
QString reachableSocketName(const QString& path, int& folderFd)
{
    folderFd = -1;
    if (QFile::encodeName(path).size() <= kMaxSocketPathBytes)
        return path;
    const QFileInfo info(path);
    folderFd = ::open(QFile::encodeName(info.path()).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (folderFd < 0)
        return path;  // fails to listen or connect, with Qt's reason
    return QStringLiteral("/proc/self/fd/%1/%2").arg(folderFd).arg(info.fileName());
}

void closeFolder(int& fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

// Whether the process a lock names cannot be a running copy: what the lock
// says cannot be read (a crash or power loss between its creation and its
// contents), the process is gone, or the number now belongs to another
// program (pids are reused). Another user's process, which we cannot look
// into, is not one of ours either.
bool lockHolderIsGone(const QLockFile& lock)
{
    qint64 pid = 0;
    QString host;
    QString app;
    if (!lock.getLockInfo(&pid, &host, &app) || pid <= 0 || pid > std::numeric_limits<pid_t>::max())
        return true;
    if (::kill(pid_t(pid), 0) != 0 && errno == ESRCH)
        return true;
    QString program = QFile::symLinkTarget(QStringLiteral("/proc/%1/exe").arg(pid));
    // A copy that runs on after its program file was replaced.
    if (const auto deleted = QLatin1String(" (deleted)"); program.endsWith(deleted))
        program.chop(deleted.size());
    return QFileInfo(program).fileName() != QFileInfo(QCoreApplication::applicationFilePath()).fileName();
}

// "org.tidewire.Tidewire" -> "/org/tidewire/Tidewire", as
// org.freedesktop.Application places its object.
QString objectPath(const QString& busName)
{
    return QLatin1Char('/') + QString(busName).replace(QLatin1Char('.'), QLatin1Char('/'));
}

} // namespace

SingleInstance::SingleInstance(QString busName, QString runtimeDirectory, QObject* parent)
    : QObject(parent), m_busName(std::move(busName)), m_runtimeDirectory(std::move(runtimeDirectory))
{
}

SingleInstance::~SingleInstance()
{
    release();
}

void SingleInstance::release()
{
    // The lock last: a start that takes it finds the bus name free too.
    if (m_ownsBusName || m_busObjectRegistered) {
        QDBusConnection bus = QDBusConnection::sessionBus();
        // No interface once the bus went away, and the name with it.
        if (QDBusConnectionInterface* daemon = bus.interface(); m_ownsBusName && daemon)
            daemon->unregisterService(m_busName);
        if (m_busObjectRegistered)
            bus.unregisterObject(objectPath(m_busName));
    }
    m_ownsBusName = false;
    m_busObjectRegistered = false;
    m_server.reset();  // closing removes the socket file
    closeFolder(m_socketFolder);
    m_lock.reset();  // unlocks
}

std::unique_ptr<SingleInstance> SingleInstance::forSession()
{
    // Qt reads $XDG_RUNTIME_DIR and checks that it is the user's own; without
    // one it makes a private folder under the temporary folder.
    return std::make_unique<SingleInstance>(QString::fromLatin1(kAppBusName),
                                            QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation));
}

QString SingleInstance::lockFilePath() const
{
    return m_runtimeDirectory.isEmpty() ? QString()
                                        : QDir(m_runtimeDirectory).filePath(QStringLiteral("tidewire.lock"));
}

QString SingleInstance::socketPath() const
{
    return m_runtimeDirectory.isEmpty() ? QString()
                                        : QDir(m_runtimeDirectory).filePath(QStringLiteral("tidewire.socket"));
}

SingleInstance::Role SingleInstance::claim()
{
    // The bus name first: where there is a bus, every start of this session
    // meets there, and the running copy is reached through it.
    if (claimBusName() == Role::Secondary)
        return Role::Secondary;
    // The lock also keeps out a copy started without the bus (or on another
    // one) in the same session.
    return claimLock();
}

SingleInstance::Role SingleInstance::claimBusName()
{
    if (m_busName.isEmpty())
        return Role::Primary;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        qCInfo(lcLaunch, "no session bus (%s); one copy is kept by the lock alone",
               qPrintable(bus.lastError().message()));
        return Role::Primary;
    }
    const QString path = objectPath(m_busName);
    // The object is in place before the name is: a start that finds the
    // name can call it at once.
    m_busObjectRegistered = bus.registerObject(path, this, QDBusConnection::ExportScriptableSlots);
    if (!m_busObjectRegistered)
        qCWarning(lcLaunch, "cannot export %s on the session bus", qPrintable(path));
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply = bus.interface()->registerService(
        m_busName, QDBusConnectionInterface::DontQueueService, QDBusConnectionInterface::DontAllowReplacement);
    if (!reply.isValid()) {
        qCWarning(lcLaunch, "cannot claim %s on the session bus: %s", qPrintable(m_busName),
                  qPrintable(reply.error().message()));
        return Role::Primary;
    }
    if (reply.value() == QDBusConnectionInterface::ServiceRegistered) {
        m_ownsBusName = true;
        return Role::Primary;
    }

    if (m_busObjectRegistered) {
        bus.unregisterObject(path);
        m_busObjectRegistered = false;
    }
    qCInfo(lcLaunch, "Tidewire is already running; asking it to come forward");
    QDBusMessage activate = QDBusMessage::createMethodCall(m_busName, path, QString::fromLatin1(kApplicationInterface),
                                                           QStringLiteral("Activate"));
    activate << QVariantMap();
    const QDBusMessage answer = bus.call(activate, QDBus::Block, kHandOverTimeoutMs);
    if (answer.type() == QDBusMessage::ErrorMessage)
        qCWarning(lcLaunch, "the running copy did not answer: %s", qPrintable(answer.errorMessage()));
    return Role::Secondary;
}

SingleInstance::Role SingleInstance::claimLock()
{
    const QString path = lockFilePath();
    if (path.isEmpty()) {
        qCWarning(lcLaunch, "no runtime folder: another copy started without the session bus is not noticed");
        return Role::Primary;
    }
    auto lock = std::make_unique<QLockFile>(path);
    // A lock is stale only when its process is gone, however long it is held.
    lock->setStaleLockTime(0);
    if (lock->tryLock(0) || takeOverLeftLock(*lock)) {
        m_lock = std::move(lock);
        testPause("listen");
        listen();
        return Role::Primary;
    }
    if (lock->error() != QLockFile::LockFailedError) {
        qCWarning(lcLaunch, "cannot take the lock %s; starting without it", qPrintable(path));
        return Role::Primary;
    }

    qCInfo(lcLaunch, "Tidewire is already running; asking it to come forward");
    handOver();
    return Role::Secondary;
}

// Qt keeps some locks that no copy holds: one it cannot read (empty, or cut
// short), one naming another host, one without the lines it expects. A copy
// holds its lock file locked (flock) for as long as it runs, even before it
// has written it: only a lock that nobody holds is removed.
bool SingleInstance::takeOverLeftLock(QLockFile& lock)
{
    if (lock.error() != QLockFile::LockFailedError || !lockHolderIsGone(lock) || !lock.removeStaleLockFile()
        || !lock.tryLock(0))
        return false;
    qCInfo(lcLaunch, "took over %s, left behind by a copy that no longer runs", qPrintable(lockFilePath()));
    return true;
}

void SingleInstance::handOver()
{
    int folder = -1;
    const QString name = reachableSocketName(socketPath(), folder);
    QLocalSocket socket;
    socket.connectToServer(name, QIODevice::WriteOnly);
    if (socket.waitForConnected(kHandOverTimeoutMs)) {
        socket.write(kActivateLine);
        socket.waitForBytesWritten(kHandOverTimeoutMs);
        socket.disconnectFromServer();
    } else {
        qCWarning(lcLaunch, "the running copy did not answer: %s", qPrintable(socket.errorString()));
    }
    closeFolder(folder);
}

void SingleInstance::listen()
{
    const QString path = socketPath();
    // A socket file left by a copy that was killed; we hold the lock, so no
    // running copy listens on it.
    QLocalServer::removeServer(path);
    m_server = std::make_unique<QLocalServer>();
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    // The folder stays open while the server listens: closing the server
    // removes the socket by the name it listened on.
    if (!m_server->listen(reachableSocketName(path, m_socketFolder))) {
        qCWarning(lcLaunch, "cannot listen on %s: %s", qPrintable(path), qPrintable(m_server->errorString()));
        m_server.reset();
        closeFolder(m_socketFolder);
        return;
    }
    connect(m_server.get(), &QLocalServer::newConnection, this, &SingleInstance::readRequest);
}

void SingleInstance::readRequest()
{
    while (QLocalSocket* client = m_server->nextPendingConnection()) {
        connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
        const auto read = [this, client] {
            if (client->canReadLine()) {
                const bool activate = client->readLine(kMaxRequestBytes) == kActivateLine;
                client->disconnectFromServer();
                if (activate)
                    Q_EMIT activationRequested();
            } else if (client->bytesAvailable() > kMaxRequestBytes) {
                client->abort();
            }
        };
        connect(client, &QLocalSocket::readyRead, client, read);
        read();  // what arrived with the connection
    }
}

void SingleInstance::Activate(const QVariantMap&)
{
    QMetaObject::invokeMethod(this, &SingleInstance::activationRequested, Qt::QueuedConnection);
}
