#pragma once

#include <QDBusContext>
#include <QObject>
#include <QString>
#include <QVariantMap>
#include <chrono>
#include <functional>
#include <memory>

class BootClock;
class QDBusConnection;
class QDeadlineTimer;
class QLocalServer;

// One running copy of the application per user session, the way desktop
// applications keep it: the copy that runs owns a well-known name on the
// session bus, and a lock in the runtime folder. A later start finds either
// taken, asks the running copy to come forward (org.freedesktop.Application
// Activate on the bus, else a line on a socket beside the lock) and leaves
// once the running copy has answered, without touching anything.
//
// Of a copy that quits and a start made meanwhile, one copy runs in the end:
// the quitting copy refuses requests from the moment it is asked to quit
// (stopAnswering(), or a termination signal that has come and not been
// handled yet) and lets go of the name and the lock before it waits for
// anything slow (release()); a start whose request is refused or gets no
// answer waits for the name and the lock to come free and takes them. A
// signal can still come just after the copy took a request: a start that
// handed over watches for kLetGoWatch whether the copy lets go, and then
// takes its place.
//
// Nothing a process leaves behind keeps a start out, even after SIGKILL: the
// bus drops the name of a closed connection, and the lock is an flock on the
// lock file, which the kernel lets go of with its process. Whatever the file
// says, a start takes it when nobody holds it locked, and never removes it:
// a file another start has just made and not locked yet is locked by one of
// the two, and the other finds it held.
//
// Main thread only; call claim() once, before anything reads or writes the
// user's files.
class SingleInstance : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")
public:
    enum class Role {
        Primary,  // this is the running copy
        Secondary,  // another copy runs and was asked to come forward
    };

    // How long claim() waits at most for a running copy that neither answers
    // nor lets go (one that hangs): then the start leaves.
    static constexpr std::chrono::milliseconds kClaimWait{10000};
    // How long a start that handed over stays to see whether the running
    // copy lets go all the same (it was asked to quit just after answering).
    static constexpr std::chrono::milliseconds kLetGoWatch{3000};

    // `busName` is claimed on the session bus (empty: no bus is used);
    // the lock and the hand-over socket live in `runtimeDirectory` (empty:
    // no lock). `clock` times the watch after a hand-over.
    SingleInstance(QString busName, QString runtimeDirectory, QObject* parent = nullptr);
    SingleInstance(QString busName, QString runtimeDirectory, BootClock& clock, QObject* parent = nullptr);
    ~SingleInstance() override;

    // The application's name on the session bus and the user's runtime
    // folder ($XDG_RUNTIME_DIR).
    static std::unique_ptr<SingleInstance> forSession();

    // Takes the bus name when there is a session bus, then the lock. When
    // another copy holds either, it is asked to come forward, and the answer
    // is Secondary once it has taken the request and has not let go within
    // kLetGoWatch. A copy that lets go in that time, or refuses or does not
    // answer, is waited for (at most kClaimWait in all): when it lets go,
    // this start takes its place and is Primary. A bus or folder that cannot
    // be used at all does not keep the application from starting: what could
    // not be claimed is logged and left out. Blocks; runs the event loop only
    // while it waits on the bus.
    Role claim();

    // The application is quitting: from now on a later start is refused, and
    // waits for release() instead of handing over to a copy that is going.
    void stopAnswering();

    // Lets go of what claim() took, so that a later start becomes the running
    // copy: on the way out, and before a relaunch.
    void release();

    QString lockFilePath() const;
    QString socketPath() const;

public Q_SLOTS:
    // What a later start calls on the bus: the reply goes out at once, and
    // activationRequested() follows from the event loop. Once the copy stops
    // answering, or a termination signal waits to be handled, the call gets
    // an error instead.
    Q_SCRIPTABLE void Activate(const QVariantMap& platformData);

Q_SIGNALS:
    // A later start asked this copy to come forward (from the event loop).
    void activationRequested();

private:
    // How far one road to the claim got.
    enum class Outcome {
        Claimed,     // taken (or left out because it cannot be used)
        HandedOver,  // the running copy took the request
        LetGo,       // the holder let go: try again
        Unanswered,  // no answer and still held when the wait ended
    };
    enum class LockState { Held, Taken, Unusable };

    Outcome claimBusName(const QDeadlineTimer& deadline);
    Outcome handOverOnBus(QDBusConnection& bus, const QDeadlineTimer& deadline);
    Outcome claimLock(const QDeadlineTimer& deadline);
    LockState holdLock();
    bool handOverOnSocket(const QDeadlineTimer& deadline);
    Outcome handedOver(const std::function<bool()>& stillHeld);
    bool lockStillHeld() const;
    bool quitting() const;
    void tellRefusal();
    void announce();
    void giveUp();
    void listen();
    void readRequest();

    QString m_busName;
    QString m_runtimeDirectory;
    BootClock& m_clock;
    int m_lockFd = -1;  // the lock file, locked; -1 when not held
    std::unique_ptr<QLocalServer> m_server;
    // The runtime folder, open while the server listens through it (see
    // reachableSocketName in the .cpp).
    int m_socketFolder = -1;
    bool m_busObjectRegistered = false;
    bool m_ownsBusName = false;
    bool m_answering = true;
    bool m_announced = false;    // "already running" was logged
    bool m_toldRefusal = false;  // a refusal on the socket was logged
    QString m_lastProblem;       // why the last hand-over did not go through
};
