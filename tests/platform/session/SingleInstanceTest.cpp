// One running copy without a session bus: the lock and the hand-over socket
// in the runtime folder. (The bus road, with real processes, is in the app's
// window tests.) A start that finds a running copy waits for its answer,
// which comes from the running copy's event loop: such starts run on a
// thread of their own, as they would in a process of their own, while this
// thread's event loop runs.
#include "platform/session/SingleInstance.h"

#include "platform/base/Clock.h"
#include "platform/session/TerminationSignals.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QScopeGuard>
#include <QLockFile>
#include <QProcess>
#include <QSemaphore>
#include <QSignalSpy>
#include <QSysInfo>
#include <QTest>
#include <QTemporaryDir>
#include <QThread>
#include <QtConcurrent/QtConcurrentRun>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Role = SingleInstance::Role;

// A process that takes the lock at `path` and dies by SIGKILL holding it.
void lockAndDie(const QString& path)
{
    const pid_t child = ::fork();
    if (child == 0) {
        QLockFile lock(path);
        if (!lock.tryLock(0))
            ::_exit(1);
        ::kill(::getpid(), SIGKILL);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the child could not take the lock";
}

// The time a start that handed over watches by, for as long as the test
// holds it.
struct HeldClock final : BootClock {
    std::chrono::milliseconds sinceBoot() const override { return std::chrono::milliseconds(ms.load()); }
    std::atomic<qint64> ms = 0;
};

// A clock each look at which is a whole watch later: a start that handed over
// leaves at once.
BootClock& rushingClock()
{
    struct Rushing final : BootClock {
        std::chrono::milliseconds sinceBoot() const override
        {
            return std::chrono::milliseconds(ms += SingleInstance::kLetGoWatch.count());
        }
        mutable std::atomic<qint64> ms = 0;
    };
    static Rushing clock;
    return clock;
}

// A start on a thread of its own, with `clock` for its watch after a
// hand-over; this thread's event loop runs meanwhile.
QFuture<Role> startOnAThreadOfItsOwn(const QString& folder, BootClock& clock = rushingClock())
{
    return QtConcurrent::run([folder, &clock] {
        SingleInstance start(QString(), folder, clock);
        return start.claim();
    });
}

// A start on a thread of its own, left once it has claimed or handed over;
// this thread's event loop runs meanwhile.
Role startElsewhere(const QString& folder)
{
    QFuture<Role> claimed = startOnAThreadOfItsOwn(folder);
    EXPECT_TRUE(QTest::qWaitFor([&] { return claimed.isFinished(); }, 30000));
    return claimed.isFinished() ? claimed.result() : Role::Primary;
}

// The running copy was asked to come forward, once.
bool askedOnce(QSignalSpy& asked)
{
    return QTest::qWaitFor([&] { return !asked.isEmpty(); }, 5000) && asked.size() == 1;
}

TEST(SingleInstanceLock, AStartFindsTheRunningCopyOrTakesOverWhatIsLeft)
{
    struct Case {
        const char* name;
        // What was there before the start: a running copy in `running`, or
        // what is left in the folder.
        std::function<void(QTemporaryDir& folder, std::unique_ptr<SingleInstance>& running)> before;
        Role expected;
    };
    const auto claimRunning = [](QTemporaryDir& folder, std::unique_ptr<SingleInstance>& running) {
        running = std::make_unique<SingleInstance>(QString(), folder.path());
        ASSERT_EQ(running->claim(), Role::Primary);
    };
    const Case cases[] = {
        {"nothing", [](QTemporaryDir&, std::unique_ptr<SingleInstance>&) {}, Role::Primary},
        {"a running copy", claimRunning, Role::Secondary},
        {"a running copy whose lock is hours old",
         [&](QTemporaryDir& folder, std::unique_ptr<SingleInstance>& running) {
             claimRunning(folder, running);
             QFile lock(running->lockFilePath());
             ASSERT_TRUE(lock.open(QIODevice::ReadWrite));
             ASSERT_TRUE(lock.setFileTime(QDateTime::currentDateTime().addSecs(-5 * 3600),
                                          QFileDevice::FileModificationTime));
         },
         Role::Secondary},
        {"a copy killed holding its lock, its socket left behind",
         [](QTemporaryDir& folder, std::unique_ptr<SingleInstance>&) {
             lockAndDie(folder.filePath("tidewire.lock"));
             QFile socket(folder.filePath("tidewire.socket"));
             ASSERT_TRUE(socket.open(QIODevice::WriteOnly));
         },
         Role::Primary},
        {"a copy that let go to relaunch",
         [&](QTemporaryDir& folder, std::unique_ptr<SingleInstance>& running) {
             claimRunning(folder, running);
             running->release();
         },
         Role::Primary},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir folder;
        std::unique_ptr<SingleInstance> running;
        c.before(folder, running);
        std::optional<QSignalSpy> asked;
        if (running)
            asked.emplace(running.get(), &SingleInstance::activationRequested);

        if (c.expected == Role::Secondary) {
            ASSERT_EQ(startElsewhere(folder.path()), Role::Secondary);
            EXPECT_TRUE(askedOnce(*asked)) << "the running copy was not asked to come forward once";
            continue;
        }
        SingleInstance start(QString(), folder.path());
        ASSERT_EQ(start.claim(), Role::Primary);
        if (asked) {
            EXPECT_TRUE(asked->isEmpty());
        }
        // This start is now the running copy, and the next one reaches it.
        QSignalSpy startAsked(&start, &SingleInstance::activationRequested);
        EXPECT_EQ(startElsewhere(folder.path()), Role::Secondary);
        EXPECT_TRUE(askedOnce(startAsked));
    }
}

// A live process that is another program, for as long as the test runs.
struct ForeignProcess {
    ForeignProcess()
    {
        process.start(QStringLiteral("sleep"), {QStringLiteral("600")});
        process.waitForStarted(10000);
        pid = process.processId();
    }
    ~ForeignProcess()
    {
        process.kill();
        process.waitForFinished(10000);
    }
    QProcess process;
    qint64 pid = 0;
};

// The pid of a process that has ended.
pid_t deadPid()
{
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    ::waitpid(child, nullptr, 0);
    return child;
}

TEST(SingleInstanceLock, ALockNamingNoLiveCopyNeverKeepsAStartOut)
{
    const ForeignProcess foreign;
    ASSERT_GT(foreign.pid, 0) << "sleep did not start";
    const QByteArray host = QSysInfo::machineHostName().toUtf8();
    const struct {
        const char* name;
        QByteArray contents;
    } cases[] = {
        {"garbage", QByteArray("\x7f\x01 not a lock \xff\n\n")},
        {"an empty file", QByteArray()},
        {"an empty line", QByteArray("\n")},
        {"a pid and nothing else, of a process that ended", QByteArray::number(deadPid()) + "\n"},
        {"a whole lock of a process that ended", QByteArray::number(deadPid()) + "\ntidewire\n" + host + "\n"},
        {"a live process that is another program", QByteArray::number(foreign.pid) + "\ntidewire\n" + host + "\n"},
        {"a live process that is another program, on another host",
         QByteArray::number(foreign.pid) + "\ntidewire\nelsewhere.invalid\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir folder;
        QFile lock(folder.filePath("tidewire.lock"));
        ASSERT_TRUE(lock.open(QIODevice::WriteOnly));
        lock.write(c.contents);
        lock.close();

        SingleInstance start(QString(), folder.path());
        ASSERT_EQ(start.claim(), Role::Primary);
        // It holds the lock now: the next start reaches it.
        QSignalSpy asked(&start, &SingleInstance::activationRequested);
        EXPECT_EQ(startElsewhere(folder.path()), Role::Secondary);
        EXPECT_TRUE(askedOnce(asked));
    }
}

TEST(SingleInstanceLock, ALockTheRunningCopyHoldsIsKeptWhateverItSays)
{
    // What a copy's lock reads as while it is being written, or after a
    // program rewrote it: the copy still holds it, and no start takes it.
    for (const QByteArray& contents : {QByteArray(), QByteArray("garbage\n"), QByteArray("1\n")}) {
        SCOPED_TRACE(contents.toStdString());
        QTemporaryDir folder;
        SingleInstance running(QString(), folder.path());
        ASSERT_EQ(running.claim(), Role::Primary);
        QFile lock(running.lockFilePath());
        ASSERT_TRUE(lock.open(QIODevice::WriteOnly | QIODevice::Truncate));
        lock.write(contents);
        lock.close();
        QSignalSpy asked(&running, &SingleInstance::activationRequested);
        EXPECT_EQ(startElsewhere(folder.path()), Role::Secondary);
        EXPECT_TRUE(askedOnce(asked));
    }
}

// A copy that has just made its lock file and not locked it yet, and a start
// in that moment: the start may take the lock, but never from under the copy
// that made the file, whose own lock then finds it held.
TEST(SingleInstanceLock, ALockFileJustMadeIsNeverTakenFromUnderItsMaker)
{
    QTemporaryDir folder;
    const QByteArray path = QFile::encodeName(folder.filePath(QStringLiteral("tidewire.lock")));
    // The first copy, between making the file and locking it.
    const int first = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(first, 0);
    struct stat made {};
    ASSERT_EQ(::fstat(first, &made), 0);

    SingleInstance start(QString(), folder.path());
    ASSERT_EQ(start.claim(), Role::Primary);
    struct stat named {};
    ASSERT_EQ(::stat(path.constData(), &named), 0);
    EXPECT_EQ(named.st_ino, made.st_ino) << "the lock file was replaced under the copy that made it";
    EXPECT_NE(::flock(first, LOCK_EX | LOCK_NB), 0) << "both copies hold the lock";
    ::close(first);
}

TEST(SingleInstanceLock, ARuntimeFolderOfAnyLengthHandsOver)
{
    QTemporaryDir top;
    // Past what a socket's path may hold (107 bytes) by far.
    QString deep = top.path();
    while (deep.size() < 300)
        deep += QStringLiteral("/a-runtime-folder-with-a-long-name");
    ASSERT_TRUE(QDir().mkpath(deep));
    ASSERT_TRUE(QFile(deep).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    SingleInstance running(QString(), deep);
    ASSERT_EQ(running.claim(), Role::Primary);
    // The socket is where the lock is, and only its owner may use it.
    const QFileInfo socket(running.socketPath());
    ASSERT_TRUE(socket.exists());
    EXPECT_EQ(socket.permissions() & (QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther),
              QFile::Permissions());
    QSignalSpy asked(&running, &SingleInstance::activationRequested);
    for (int start = 0; start < 2; ++start) {
        EXPECT_EQ(startElsewhere(deep), Role::Secondary);
        EXPECT_TRUE(askedOnce(asked)) << "start " << start;
        asked.clear();
    }
    running.release();
    EXPECT_FALSE(QFileInfo::exists(running.socketPath())) << "the socket goes with the copy";
}

TEST(SingleInstanceLock, OnlyTheRequestLineBringsTheCopyForwardAndIsAnswered)
{
    QTemporaryDir folder;
    SingleInstance running(QString(), folder.path());
    ASSERT_EQ(running.claim(), Role::Primary);
    QSignalSpy asked(&running, &SingleInstance::activationRequested);
    struct Row {
        QByteArray sent;
        bool activates;
    };
    for (const Row& row : {Row{"ACTIVATE\n", false}, Row{"activate now\n", false}, Row{QByteArray(4096, 'x'), false},
                           Row{"activate\n", true}}) {
        SCOPED_TRACE(row.sent.left(16).toStdString());
        asked.clear();
        QLocalSocket client;
        client.connectToServer(running.socketPath());
        ASSERT_TRUE(client.waitForConnected(5000));
        client.write(row.sent);
        // The copy hangs up once it has read a line, or more than a line can be.
        QByteArray answer;
        EXPECT_TRUE(QTest::qWaitFor([&] {
            answer += client.readAll();
            return client.state() == QLocalSocket::UnconnectedState;
        }, 5000));
        answer += client.readAll();
        EXPECT_EQ(asked.size(), row.activates ? 1 : 0);
        // Only a request it took is answered: the start leaves only then.
        EXPECT_EQ(answer, row.activates ? QByteArray("ok\n") : QByteArray());
    }
}

// A copy that quits turns requests away from the moment it is asked to quit,
// then lets go: a start made meanwhile, whichever comes first, takes its
// place instead of leaving with nobody running.
TEST(SingleInstanceLock, AStartWhileTheRunningCopyQuitsTakesItsPlace)
{
    QTemporaryDir folder;
    SingleInstance running(QString(), folder.path());
    ASSERT_EQ(running.claim(), Role::Primary);
    QSignalSpy asked(&running, &SingleInstance::activationRequested);
    running.stopAnswering();
    EXPECT_FALSE(QFileInfo::exists(running.socketPath())) << "a quitting copy takes no more requests";
    running.Activate({});  // nor a call on the bus that was on its way
    QFuture<Role> claimed = QtConcurrent::run([path = folder.path()] {
        SingleInstance start(QString(), path);
        return start.claim();
    });
    running.release();
    ASSERT_TRUE(QTest::qWaitFor([&] { return claimed.isFinished(); }, 30000));
    EXPECT_EQ(claimed.result(), Role::Primary);
    EXPECT_TRUE(asked.isEmpty());
}

// Whether another open file holds the lock file at `path` locked.
bool lockedByAnother(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool locked = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return locked;
}

// A copy that takes the request and hangs up without answering (it is going
// away, or was killed mid-request) has not taken it: the start waits on, and
// takes the lock once it is free.
TEST(SingleInstanceLock, AHangUpWithoutAnAnswerIsNoHandOver)
{
    QTemporaryDir folder;
    // The holder: the lock file locked, and a socket that reads a request and
    // hangs up; it lets go after the first.
    const int held = ::open(QFile::encodeName(folder.filePath(QStringLiteral("tidewire.lock"))).constData(),
                            O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);
    QLocalServer holder;
    ASSERT_TRUE(holder.listen(folder.filePath(QStringLiteral("tidewire.socket"))));
    int dropped = 0;
    QObject::connect(&holder, &QLocalServer::newConnection, &holder, [&] {
        while (QLocalSocket* client = holder.nextPendingConnection()) {
            QObject::connect(client, &QLocalSocket::readyRead, client, [&dropped, held, client] {
                if (!client->canReadLine())
                    return;
                client->abort();
                client->deleteLater();
                if (++dropped == 1)
                    ::flock(held, LOCK_UN);
            });
        }
    });
    QFuture<Role> claimed = QtConcurrent::run([path = folder.path()] {
        SingleInstance start(QString(), path);
        return start.claim();
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return claimed.isFinished(); }, 30000));
    EXPECT_EQ(claimed.result(), Role::Primary);
    EXPECT_EQ(dropped, 1);
    ::close(held);
}

// Whether a log line with `text` was written, from any thread, since made.
class LogWatch {
public:
    explicit LogWatch(const char* text)
    {
        s_text = text;
        s_seen = false;
        s_previous = qInstallMessageHandler(&LogWatch::handle);
    }
    ~LogWatch() { qInstallMessageHandler(s_previous); }
    bool seen() const { return s_seen; }

private:
    static void handle(QtMsgType type, const QMessageLogContext& context, const QString& message)
    {
        if (message.contains(QLatin1String(s_text)))
            s_seen = true;
        if (s_previous)
            s_previous(type, context, message);
    }
    static inline const char* s_text = "";
    static inline std::atomic<bool> s_seen = false;
    static inline QtMessageHandler s_previous = nullptr;
};

// The running copy lets go, removing its lock file, after a start opened the
// file and before it locked it, and another start takes the lock at once: the
// first start's lock is on a file that is no longer the lock, so it finds the
// lock held and hands over to the copy that took it.
TEST(SingleInstanceLock, ALockFileRemovedUnderAStartIsNotTakenForTheLock)
{
    QTemporaryDir folder;
    auto running = std::make_unique<SingleInstance>(QString(), folder.path());
    ASSERT_EQ(running->claim(), Role::Primary);
    running->stopAnswering();  // until it lets go, the start waits

    qputenv("TIDEWIRE_TEST_PAUSE", "lock:2000");
    const auto unset = qScopeGuard([] { qunsetenv("TIDEWIRE_TEST_PAUSE"); });
    const LogWatch paused("test pause at lock");
    QFuture<Role> claimed = startOnAThreadOfItsOwn(folder.path());
    ASSERT_TRUE(QTest::qWaitFor([&] { return paused.seen(); }, 10000));
    running.reset();
    qunsetenv("TIDEWIRE_TEST_PAUSE");
    SingleInstance taken(QString(), folder.path());
    ASSERT_EQ(taken.claim(), Role::Primary);
    QSignalSpy asked(&taken, &SingleInstance::activationRequested);

    ASSERT_TRUE(QTest::qWaitFor([&] { return claimed.isFinished(); }, 30000));
    EXPECT_EQ(claimed.result(), Role::Secondary) << "two copies hold the lock";
    EXPECT_TRUE(askedOnce(asked));
    EXPECT_TRUE(lockedByAnother(taken.lockFilePath()));
}

// Termination signals watched from a thread whose event loop never runs: a
// signal that comes stays unhandled, as in a copy whose event loop has not
// got to it yet.
class UnhandledSignals {
public:
    UnhandledSignals()
    {
        m_thread.reset(QThread::create([this] {
            const TerminationSignals watched([](int) {});
            m_ready.release();
            m_done.acquire();
        }));
        m_thread->start();
        m_ready.acquire();
    }
    ~UnhandledSignals()
    {
        m_done.release();
        m_thread->wait();
    }

private:
    QSemaphore m_ready;
    QSemaphore m_done;
    std::unique_ptr<QThread> m_thread;
};

// The running copy is asked to quit (SIGTERM) about when a start asks it to
// come forward. Asked before, with the signal still waiting for its event
// loop, it refuses; asked just after it answered, it lets go while the start
// still watches. Either way the start takes its place: one copy runs in the
// end. A copy that stays is left running once the watch is over.
TEST(SingleInstanceLock, AStartWhileTheRunningCopyIsAskedToQuitEndsWithOneCopy)
{
    const struct {
        const char* name;
        bool signalWaiting;  // SIGTERM came before the request and is not handled yet
        bool letsGo;         // the copy lets go once the request was taken or refused
        Role expected;
    } cases[] = {
        {"a signal waiting when the request comes", true, true, Role::Primary},
        {"a signal just after the answer", false, true, Role::Primary},
        {"no signal", false, false, Role::Secondary},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir folder;
        SingleInstance running(QString(), folder.path());
        ASSERT_EQ(running.claim(), Role::Primary);
        QSignalSpy asked(&running, &SingleInstance::activationRequested);
        std::optional<UnhandledSignals> unhandled;
        if (c.signalWaiting) {
            unhandled.emplace();
            ASSERT_EQ(::raise(SIGTERM), 0);
            running.Activate({});  // a call on the bus is refused too
        }
        const LogWatch answered(c.signalWaiting ? "did not take the request (Tidewire is quitting)"
                                                : "handed over to the running copy");
        HeldClock clock;
        QFuture<Role> claimed = startOnAThreadOfItsOwn(folder.path(), clock);

        ASSERT_TRUE(QTest::qWaitFor([&] { return answered.seen() || claimed.isFinished(); }, 30000));
        ASSERT_TRUE(answered.seen()) << "the request was not answered as it should be";
        EXPECT_EQ(asked.size(), c.signalWaiting ? 0 : 1);
        if (c.letsGo)
            running.release();
        else
            clock.ms += SingleInstance::kLetGoWatch.count();
        ASSERT_TRUE(QTest::qWaitFor([&] { return claimed.isFinished(); }, 30000));
        EXPECT_EQ(claimed.result(), c.expected);
    }
}

TEST(SingleInstanceLock, WithoutARuntimeFolderTheAppStillStarts)
{
    SingleInstance start{QString(), QString()};
    EXPECT_EQ(start.claim(), Role::Primary);
    SingleInstance unusable(QString(), QStringLiteral("/nonexistent/tidewire-runtime"));
    EXPECT_EQ(unusable.claim(), Role::Primary);
}

} // namespace
