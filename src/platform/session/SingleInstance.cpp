#include "platform/session/SingleInstance.h"

#include "platform/base/Clock.h"
#include "platform/base/Logging.h"
#include "platform/session/TerminationSignals.h"
#include "platform/base/TestPause.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusReply>
#include <QDBusServiceWatcher>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QSysInfo>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr auto kAppBusName = "org.tidewire.Tidewire";
constexpr auto kApplicationInterface = "org.freedesktop.Application";
// A start asks with this line, and the running copy answers with the next
// once it has taken the request. A copy asked to quit answers with the
// refusal; one that is killed hangs up without an answer.
const QByteArray kActivateLine = QByteArrayLiteral("activate\n");
const QByteArray kAnswerLine = QByteArrayLiteral("ok\n");
const QByteArray kRefusalLine = QByteArrayLiteral("quitting\n");
// What a start that was refused is told, on the bus and in the log.
constexpr auto kRefusal = "Tidewire is quitting";
// How often a start looks at a lock that is held by a copy not listening
// (yet, or any more).
constexpr unsigned long kLockPollMs = 50;
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

// "org.tidewire.Tidewire" -> "/org/tidewire/Tidewire", as
// org.freedesktop.Application places its object.
QString objectPath(const QString& busName)
{
    return QLatin1Char('/') + QString(busName).replace(QLatin1Char('.'), QLatin1Char('/'));
}

} // namespace


SingleInstance::SingleInstance(QString busName, QString runtimeDirectory, QObject* parent)
    : SingleInstance(std::move(busName), std::move(runtimeDirectory), BootClock::system(), parent)
{
}

SingleInstance::SingleInstance(QString busName, QString runtimeDirectory, BootClock& clock, QObject* parent)
    : QObject(parent), m_busName(std::move(busName)), m_runtimeDirectory(std::move(runtimeDirectory)), m_clock(clock)
{
}

SingleInstance::~SingleInstance()
{
    release();
}

void SingleInstance::stopAnswering()
{
    m_answering = false;
    if (m_busObjectRegistered)
        QDBusConnection::sessionBus().unregisterObject(objectPath(m_busName));
    m_busObjectRegistered = false;
    m_server.reset();  // closing removes the socket file
    closeFolder(m_socketFolder);
}

void SingleInstance::release()
{
    stopAnswering();
    // The lock last: a start that takes it finds the bus name free too.
    if (m_ownsBusName) {
        // No interface once the bus went away, and the name with it.
        if (QDBusConnectionInterface* daemon = QDBusConnection::sessionBus().interface())
            daemon->unregisterService(m_busName);
    }
    m_ownsBusName = false;
    if (m_lockFd >= 0) {
        // Removed while still locked: a start that opened the file meanwhile
        // finds, once it gets the lock, that it is no longer the file at the
        // path, and opens the path again.
        ::unlink(QFile::encodeName(lockFilePath()).constData());
        ::flock(m_lockFd, LOCK_UN);
        ::close(m_lockFd);
    }
    m_lockFd = -1;
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
    const QDeadlineTimer deadline(kClaimWait);
    for (;;) {
        // The bus name first: where there is a bus, every start of this
        // session meets there, and the running copy is reached through it.
        const Outcome bus = claimBusName(deadline);
        if (bus == Outcome::LetGo && !deadline.hasExpired())
            continue;
        if (bus == Outcome::LetGo)
            giveUp();
        if (bus != Outcome::Claimed)
            return Role::Secondary;
        // The lock also keeps out a copy started without the bus (or on
        // another one) in the same session.
        if (claimLock(deadline) != Outcome::Claimed)
            return Role::Secondary;
        if (m_announced)
            qCInfo(lcLaunch, "the copy that was running let go; this one runs now");
        return Role::Primary;
    }
}

SingleInstance::Outcome SingleInstance::claimBusName(const QDeadlineTimer& deadline)
{
    if (m_busName.isEmpty())
        return Outcome::Claimed;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        qCInfo(lcLaunch, "no session bus (%s); one copy is kept by the lock alone",
               qPrintable(bus.lastError().message()));
        return Outcome::Claimed;
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
        return Outcome::Claimed;
    }
    if (reply.value() == QDBusConnectionInterface::ServiceRegistered) {
        m_ownsBusName = true;
        return Outcome::Claimed;
    }
    if (m_busObjectRegistered) {
        bus.unregisterObject(path);
        m_busObjectRegistered = false;
    }
    return handOverOnBus(bus, deadline);
}

// Asks the copy that owns the name to come forward, and waits for whichever
// comes first: its answer, or the name changing hands. A refusal (the copy
// is quitting) or an error leaves the wait for the name.
SingleInstance::Outcome SingleInstance::handOverOnBus(QDBusConnection& bus, const QDeadlineTimer& deadline)
{
    announce();
    QEventLoop loop;
    Outcome outcome = Outcome::Unanswered;
    const auto finish = [&loop, &outcome](Outcome how) {
        outcome = how;
        loop.quit();
    };
    // Watching before asking the bus who owns the name: the blocking call
    // goes out after the watch, so no change of hands falls between them.
    QDBusServiceWatcher watcher(m_busName, bus, QDBusServiceWatcher::WatchForOwnerChange);
    connect(&watcher, &QDBusServiceWatcher::serviceOwnerChanged, &loop, [&finish] { finish(Outcome::LetGo); });
    if (const QDBusReply<bool> owned = bus.interface()->isServiceRegistered(m_busName); owned.isValid() && !owned.value())
        return Outcome::LetGo;

    QDBusMessage activate = QDBusMessage::createMethodCall(m_busName, objectPath(m_busName),
                                                           QString::fromLatin1(kApplicationInterface),
                                                           QStringLiteral("Activate"));
    activate << QVariantMap();
    QDBusPendingCallWatcher answer(bus.asyncCall(activate, int(std::max<qint64>(1, deadline.remainingTime()))));
    connect(&answer, &QDBusPendingCallWatcher::finished, &loop, [this, &answer, &finish] {
        if (!answer.isError()) {
            finish(Outcome::HandedOver);
            return;
        }
        m_lastProblem = answer.error().message();
        qCInfo(lcLaunch, "the running copy did not take the request (%s); waiting for it to let go",
               qPrintable(m_lastProblem));
    });
    QTimer::singleShot(int(std::max<qint64>(0, deadline.remainingTime())), &loop,
                       [&finish] { finish(Outcome::Unanswered); });
    loop.exec();
    if (outcome == Outcome::HandedOver) {
        return handedOver([this, &bus] {
            const QDBusReply<bool> owned = bus.interface()->isServiceRegistered(m_busName);
            return !owned.isValid() || owned.value();
        });
    }
    if (outcome == Outcome::Unanswered)
        giveUp();
    return outcome;
}

SingleInstance::Outcome SingleInstance::claimLock(const QDeadlineTimer& deadline)
{
    if (m_runtimeDirectory.isEmpty()) {
        qCWarning(lcLaunch, "no runtime folder: another copy started without the session bus is not noticed");
        return Outcome::Claimed;
    }
    for (;;) {
        switch (holdLock()) {
        case LockState::Held:
            testPause("listen");
            listen();
            return Outcome::Claimed;
        case LockState::Unusable:
            qCWarning(lcLaunch, "cannot take the lock %s (%s); starting without it", qPrintable(lockFilePath()),
                      qPrintable(m_lastProblem));
            return Outcome::Claimed;
        case LockState::Taken:
            break;
        }
        announce();
        if (handOverOnSocket(deadline)) {
            if (handedOver([this] { return lockStillHeld(); }) == Outcome::HandedOver)
                return Outcome::HandedOver;
            continue;
        }
        if (deadline.hasExpired()) {
            giveUp();
            return Outcome::Unanswered;
        }
        // The copy holding the lock is not listening yet (it is starting) or
        // any more (it is quitting): look again shortly.
        QThread::msleep(kLockPollMs);
    }
}

// Takes the lock: an flock on the lock file, which is made when missing.
// Only whether a live process holds the file locked counts, never what it
// says, and the file is never removed by a start: a copy that has just made
// it and not locked it yet is not robbed, whichever of the two locks it
// first holds it. A file its holder removed as it let go (after this start
// opened it) is no longer the lock: the path is opened again.
SingleInstance::LockState SingleInstance::holdLock()
{
    const QByteArray path = QFile::encodeName(lockFilePath());
    for (int attempt = 0; attempt < 16; ++attempt) {
        const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd < 0) {
            m_lastProblem = qt_error_string(errno);
            return LockState::Unusable;
        }
        testPause("lock");
        int locked = 0;
        do {
            locked = ::flock(fd, LOCK_EX | LOCK_NB);
        } while (locked != 0 && errno == EINTR);
        if (locked != 0) {
            const int error = errno;
            ::close(fd);
            if (error == EWOULDBLOCK)
                return LockState::Taken;
            m_lastProblem = qt_error_string(error);
            return LockState::Unusable;
        }
        struct stat held {};
        struct stat named {};
        if (::fstat(fd, &held) == 0 && ::stat(path.constData(), &named) == 0 && held.st_dev == named.st_dev
            && held.st_ino == named.st_ino) {
            m_lockFd = fd;
            // What the lock says is for people and scripts (the first line is
            // the process id); no start reads it.
            const QByteArray info = QByteArray::number(qint64(::getpid())) + '\n'
                                  + QCoreApplication::applicationName().toUtf8() + '\n'
                                  + QSysInfo::machineHostName().toUtf8() + '\n';
            if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, info.constData(), size_t(info.size()), 0) != info.size())
                qCDebug(lcLaunch, "cannot write who holds %s", path.constData());
            return LockState::Held;
        }
        ::close(fd);
    }
    m_lastProblem = QStringLiteral("the file keeps being replaced");
    return LockState::Unusable;
}

// Sends the request line and waits for the running copy's answer. False when
// nothing listens, or the copy hung up without answering.
bool SingleInstance::handOverOnSocket(const QDeadlineTimer& deadline)
{
    int folder = -1;
    const QString name = reachableSocketName(socketPath(), folder);
    const auto closing = qScopeGuard([&folder] { closeFolder(folder); });
    const auto left = [&deadline] { return int(std::max<qint64>(0, deadline.remainingTime())); };
    QLocalSocket socket;
    socket.connectToServer(name);
    if (!socket.waitForConnected(left())) {
        // Qt calls a missing socket file an "invalid name".
        m_lastProblem = socket.error() == QLocalSocket::ServerNotFoundError
                            ? QStringLiteral("nothing listens on %1").arg(socketPath())
                            : socket.errorString();
        return false;
    }
    socket.write(kActivateLine);
    while (!socket.canReadLine() && socket.waitForReadyRead(left())) {
    }
    const QByteArray answer = socket.canReadLine() ? socket.readLine(kMaxRequestBytes) : QByteArray();
    if (answer == kAnswerLine) {
        socket.disconnectFromServer();
        return true;
    }
    if (answer == kRefusalLine) {
        m_lastProblem = QString::fromLatin1(kRefusal);
        tellRefusal();
    } else {
        m_lastProblem = socket.state() == QLocalSocket::ConnectedState ? QStringLiteral("no answer")
                                                                       : QStringLiteral("it hung up without answering");
    }
    socket.abort();
    return false;
}

// The running copy took the request. It may still let go within kLetGoWatch,
// as it does when a termination signal came just after it answered: then
// LetGo, and this start takes its place. `stillHeld` tells whether the copy
// holds its claim yet.
SingleInstance::Outcome SingleInstance::handedOver(const std::function<bool()>& stillHeld)
{
    const std::chrono::milliseconds until = m_clock.sinceBoot() + kLetGoWatch;
    qCInfo(lcLaunch, "handed over to the running copy");
    while (m_clock.sinceBoot() < until) {
        if (!stillHeld())
            return Outcome::LetGo;
        QThread::msleep(kLockPollMs);
    }
    return Outcome::HandedOver;
}

// Whether another process holds the lock; only a lock file that is gone, or
// that nobody holds, counts as let go.
bool SingleInstance::lockStillHeld() const
{
    const int fd = ::open(QFile::encodeName(lockFilePath()).constData(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return errno != ENOENT;
    const bool free = ::flock(fd, LOCK_SH | LOCK_NB) == 0;
    ::close(fd);
    return !free;
}

// Asked to quit: by stopAnswering(), or by a signal the event loop has not
// handled yet (it would quit next).
bool SingleInstance::quitting() const
{
    return !m_answering || TerminationSignals::pending();
}

void SingleInstance::tellRefusal()
{
    if (!std::exchange(m_toldRefusal, true))
        qCInfo(lcLaunch, "the running copy did not take the request (%s); waiting for it to let go", kRefusal);
}

void SingleInstance::announce()
{
    if (!std::exchange(m_announced, true))
        qCInfo(lcLaunch, "Tidewire is already running; asking it to come forward");
}

void SingleInstance::giveUp()
{
    qCWarning(lcLaunch, "the running copy did not answer: %s",
              qPrintable(m_lastProblem.isEmpty() ? QStringLiteral("no answer") : m_lastProblem));
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
                const bool asked = client->readLine(kMaxRequestBytes) == kActivateLine;
                const bool activate = asked && !quitting();
                if (asked)
                    client->write(activate ? kAnswerLine : kRefusalLine);
                client->disconnectFromServer();  // once the answer is written
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
    if (quitting()) {
        // The start that asked waits for this copy to let go.
        if (calledFromDBus())
            sendErrorReply(QDBusError::Failed, QString::fromLatin1(kRefusal));
        return;
    }
    QMetaObject::invokeMethod(this, &SingleInstance::activationRequested, Qt::QueuedConnection);
}
