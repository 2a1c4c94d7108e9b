#include "platform/session/TerminationSignals.h"

#include "platform/base/Logging.h"

#include <QSocketNotifier>
#include <array>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr std::array<int, 3> kSignals = {SIGTERM, SIGINT, SIGHUP};

// [0] is written by the handler, [1] is read by the event loop.
int wakeFds[2] = {-1, -1};
std::array<struct sigaction, kSignals.size()> previousActions{};

extern "C" void onTerminationSignal(int signal)
{
    // Only async-signal-safe calls here.
    const int savedErrno = errno;
    const unsigned char number = static_cast<unsigned char>(signal);
    [[maybe_unused]] const ssize_t written = ::write(wakeFds[0], &number, 1);
    errno = savedErrno;
}

bool makeWakePipe()
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, wakeFds) != 0)
        return false;
    // A full pipe must never block the handler (or the reader).
    for (const int fd : wakeFds)
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    return true;
}

void closeWakePipe()
{
    for (int& fd : wakeFds) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}

} // namespace

TerminationSignals::TerminationSignals(std::function<void(int)> onSignal, QObject* parent)
    : QObject(parent), m_onSignal(std::move(onSignal))
{
    Q_ASSERT_X(wakeFds[0] < 0, "TerminationSignals", "one instance at a time");
    if (wakeFds[0] >= 0 || !makeWakePipe()) {
        qCCritical(lcPlatform, "cannot watch for termination signals: no wake-up pipe");
        return;
    }
    m_notifier = std::make_unique<QSocketNotifier>(wakeFds[1], QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &TerminationSignals::deliver);

    struct sigaction action = {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < kSignals.size(); ++i) {
        ::sigaction(kSignals[i], &action, &previousActions[i]);
        // A signal ignored by whoever started us (nohup) stays ignored.
        if (previousActions[i].sa_handler == SIG_IGN)
            ::sigaction(kSignals[i], &previousActions[i], nullptr);
    }
    m_active = true;
}

TerminationSignals::~TerminationSignals()
{
    if (!m_active)
        return;
    restoreActions();
    m_notifier.reset();
    closeWakePipe();
}

QString TerminationSignals::name(int signal)
{
    switch (signal) {
    case SIGTERM:
        return QStringLiteral("SIGTERM");
    case SIGINT:
        return QStringLiteral("SIGINT");
    case SIGHUP:
        return QStringLiteral("SIGHUP");
    default:
        return QStringLiteral("signal %1").arg(signal);
    }
}

bool TerminationSignals::pending()
{
    unsigned char number = 0;
    return wakeFds[1] >= 0 && ::recv(wakeFds[1], &number, 1, MSG_PEEK | MSG_DONTWAIT) == 1;
}

void TerminationSignals::restoreActions()
{
    for (std::size_t i = 0; i < kSignals.size(); ++i)
        ::sigaction(kSignals[i], &previousActions[i], nullptr);
}

void TerminationSignals::deliver()
{
    unsigned char number = 0;
    int first = 0;
    // Drain the pipe: signals that came together are handled as one.
    while (::read(wakeFds[1], &number, 1) == 1) {
        if (first == 0)
            first = number;
    }
    if (first == 0)
        return;
    restoreActions();
    qCInfo(lcPlatform).noquote() << QStringLiteral("received %1; quitting").arg(name(first));
    if (m_onSignal)
        m_onSignal(first);
}
