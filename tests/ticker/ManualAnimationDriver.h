#pragma once

#include <QAnimationDriver>

// Moves Qt's animations only when the test says so: while installed, running
// animations advance by exactly the milliseconds given to advanceBy().
class ManualAnimationDriver final : public QAnimationDriver {
public:
    ManualAnimationDriver() { install(); }
    ~ManualAnimationDriver() override { uninstall(); }
    qint64 elapsed() const override { return m_ms; }
    // Nothing moves while no animation runs; advancing then would also start
    // the driver behind the unified timer's back.
    void advanceBy(qint64 ms)
    {
        m_ms += ms;
        if (isRunning())
            advance();
    }

protected:
    // The unified timer takes its start time afresh each time it restarts
    // the driver: counting from zero keeps its deltas ours.
    void start() override
    {
        m_ms = 0;
        QAnimationDriver::start();
    }

private:
    qint64 m_ms = 0;
};
