#include "platform/TerminationSignals.h"

#include <QTest>
#include <csignal>
#include <gtest/gtest.h>

namespace {

volatile sig_atomic_t earlierHandlerRuns = 0;

extern "C" void earlierHandler(int)
{
    earlierHandlerRuns = earlierHandlerRuns + 1;
}

// Puts `handler` in place for `signal` for the life of the object.
class Disposition {
public:
    Disposition(int signal, void (*handler)(int)) : m_signal(signal)
    {
        struct sigaction action = {};
        action.sa_handler = handler;
        sigemptyset(&action.sa_mask);
        ::sigaction(signal, &action, &m_previous);
    }
    ~Disposition() { ::sigaction(m_signal, &m_previous, nullptr); }

private:
    int m_signal;
    struct sigaction m_previous = {};
};

TEST(TerminationSignals, EachSignalReachesTheEventLoopOnceThenTheEarlierActionIsBack)
{
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(TerminationSignals::name(signal).toStdString());
        Disposition earlier(signal, earlierHandler);
        earlierHandlerRuns = 0;
        QList<int> received;
        {
            TerminationSignals watcher([&received](int number) { received << number; });
            ASSERT_TRUE(watcher.isActive());
            ::raise(signal);
            EXPECT_TRUE(received.isEmpty()) << "not from inside the handler";
            EXPECT_TRUE(QTest::qWaitFor([&] { return !received.isEmpty(); }, 5000));
            EXPECT_EQ(received, QList<int>{signal});
            EXPECT_EQ(earlierHandlerRuns, 0);

            // A second signal, should quitting hang, gets the earlier action.
            ::raise(signal);
            EXPECT_EQ(earlierHandlerRuns, 1);
            QTest::qWait(0);
            EXPECT_EQ(received.size(), 1);
        }
        ::raise(signal);
        EXPECT_EQ(earlierHandlerRuns, 2) << "gone with the object";
    }
}

TEST(TerminationSignals, ASignalIgnoredAtStartStaysIgnored)
{
    Disposition ignored(SIGHUP, SIG_IGN);
    QList<int> received;
    TerminationSignals watcher([&received](int number) { received << number; });
    ::raise(SIGHUP);
    ::raise(SIGTERM);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !received.isEmpty(); }, 5000));
    QTest::qWait(0);
    EXPECT_EQ(received, QList<int>{SIGTERM});
}

} // namespace
