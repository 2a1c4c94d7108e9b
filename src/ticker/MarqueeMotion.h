#pragma once

#include <optional>

// The scroller's phase as a pure value: the row's horizontal offset, moving
// at speed × 60 points per second (at least 1) from an anchored start, so
// the phase at any moment is start ∓ rate × elapsed, wrapped by the period.
// Nothing accumulates per frame, so frame timing never makes it drift.
class MarqueeMotion {
public:
    static constexpr double pointsPerSpeedUnit = 60.0;

    // Wrapped phase: 0 when period <= 0; otherwise the truncated remainder
    // of x by the period, moved into (-period, 0] for a forward row or into
    // [0, period) for a reversed one.
    static double wrap(double x, double period, bool reversed);
    // A speed that is not a finite number counts as 1.
    static double sanitizedSpeed(double speed);

    double wrap(double x) const { return wrap(x, m_period, m_reversed); }

    void setPeriod(double period) { m_period = period; }
    void setReversed(bool reversed) { m_reversed = reversed; }
    double period() const { return m_period; }
    bool reversed() const { return m_reversed; }

    double speed() const { return m_speed; }
    // speed × 60, never below 1 point per second.
    double pointsPerSecond() const;

    // The stored phase: the offset while stopped, the start while running.
    double modelTx() const { return m_modelTx; }
    void setModelTx(double x) { m_modelTx = x; }

    bool isRunning() const { return m_anchor.has_value(); }
    // The on-screen phase at time `now` (seconds).
    double phaseAt(double now) const;

    // Starts moving from wrap(from) at `now`. Nothing when the period is not
    // above 0.
    void start(double now, double from);
    // Stops where the row is at `now`; the phase becomes the stored one.
    void freeze(double now);
    // Keeps the on-screen phase: a running row continues from where it is.
    void setSpeed(double now, double speed);

private:
    double m_period = 0;
    bool m_reversed = false;
    double m_speed = 1.0;
    double m_modelTx = 0;
    std::optional<double> m_anchor;  // time the current run started
};
