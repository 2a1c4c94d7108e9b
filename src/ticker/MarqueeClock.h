#pragma once

#include <QElapsedTimer>

class Clock;

// The time source of the scroller's motion: seconds on a steady scale. The
// real one follows the monotonic clock; tests drive a platform Clock fake.
class MarqueeClock {
public:
    virtual ~MarqueeClock() = default;
    virtual double seconds() const = 0;

    // The process-wide monotonic source.
    static MarqueeClock& steady();
};

class SteadyMarqueeClock final : public MarqueeClock {
public:
    SteadyMarqueeClock() { m_timer.start(); }
    double seconds() const override { return double(m_timer.nsecsElapsed()) / 1e9; }

private:
    QElapsedTimer m_timer;
};

// Seconds of a platform Clock (for tests with FakeTime), counted from the
// clock's time at construction.
class ClockMarqueeClock final : public MarqueeClock {
public:
    explicit ClockMarqueeClock(const Clock& clock);
    double seconds() const override;

private:
    const Clock& m_clock;
    qint64 m_originMs;
};
