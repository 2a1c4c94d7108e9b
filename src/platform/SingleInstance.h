#pragma once

#include <QObject>
#include <QString>
#include <QVariantMap>
#include <memory>

class QLocalServer;
class QLockFile;

// One running copy of the application per user session, the way desktop
// applications keep it: the copy that runs owns a well-known name on the
// session bus, and a lock in the runtime folder. A later start finds either
// taken, asks the running copy to come forward (org.freedesktop.Application
// Activate on the bus, else a line on a socket beside the lock) and then
// leaves without touching anything.
//
// Both go away with a process that dies, even by SIGKILL: the bus drops the
// name of a closed connection, and a lock that no live copy holds (its
// process is gone or is another program, or what it says cannot be read) is
// taken over by the next start.
//
// Main thread only; call claim() once, before anything reads or writes the
// user's files.
class SingleInstance : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")
public:
    enum class Role {
        Primary,  // this is the running copy
        Secondary,  // another copy runs and was asked to come forward
    };

    // `busName` is claimed on the session bus (empty: no bus is used);
    // the lock and the hand-over socket live in `runtimeDirectory` (empty:
    // no lock).
    SingleInstance(QString busName, QString runtimeDirectory, QObject* parent = nullptr);
    ~SingleInstance() override;

    // The application's name on the session bus and the user's runtime
    // folder ($XDG_RUNTIME_DIR).
    static std::unique_ptr<SingleInstance> forSession();

    // Takes the bus name when there is a session bus, then the lock. When
    // another copy holds either, it is asked to come forward (waiting at
    // most a second for it) and the answer is Secondary. A bus or folder
    // that cannot be used at all does not keep the application from
    // starting: what could not be claimed is logged and left out.
    Role claim();

    // Lets go of what claim() took, so that a copy this one starts just
    // before it quits (a relaunch) becomes the running copy.
    void release();

    QString lockFilePath() const;
    QString socketPath() const;

public Q_SLOTS:
    // What a later start calls on the bus: the reply goes out at once, and
    // activationRequested() follows from the event loop.
    Q_SCRIPTABLE void Activate(const QVariantMap& platformData);

Q_SIGNALS:
    // A later start asked this copy to come forward (from the event loop).
    void activationRequested();

private:
    Role claimBusName();
    Role claimLock();
    bool takeOverLeftLock(QLockFile& lock);
    void listen();
    void readRequest();
    void handOver();

    QString m_busName;
    QString m_runtimeDirectory;
    std::unique_ptr<QLockFile> m_lock;
    std::unique_ptr<QLocalServer> m_server;
    // The runtime folder, open while the server listens through it (see
    // SocketAddress in the .cpp).
    int m_socketFolder = -1;
    bool m_busObjectRegistered = false;
    bool m_ownsBusName = false;
};
