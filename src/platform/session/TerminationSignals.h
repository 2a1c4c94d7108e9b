#pragma once

#include <QObject>
#include <functional>
#include <memory>

class QSocketNotifier;

// Turns SIGTERM, SIGINT and SIGHUP (a session logging out, Ctrl+C, a closed
// terminal) into a call on the main thread, so the application can end
// through its normal quit path and write what is pending. The handler itself
// only writes the signal's number to a pipe that the event loop watches.
// After the first signal the earlier actions are back (normally the
// defaults): a second one ends the process at once, should the quit path
// ever hang. A signal ignored at start (nohup) stays ignored.
// One instance at a time; create it on the main thread.
class TerminationSignals : public QObject {
    Q_OBJECT
public:
    // `onSignal` receives the signal's number, from the event loop.
    explicit TerminationSignals(std::function<void(int signal)> onSignal, QObject* parent = nullptr);
    // Restores the actions that were in place before.
    ~TerminationSignals() override;

    // Whether the handlers are in place (false when no pipe could be made).
    bool isActive() const { return m_active; }

    // Whether a signal has come that the event loop has not handled yet: the
    // application is about to quit. False without an instance.
    static bool pending();

    // "SIGTERM", "SIGINT", "SIGHUP", else "signal <n>".
    static QString name(int signal);

private:
    void deliver();
    void restoreActions();

    std::function<void(int)> m_onSignal;
    std::unique_ptr<QSocketNotifier> m_notifier;
    bool m_active = false;
};
