#include "ticker/MarqueeMotion.h"

#include <algorithm>
#include <cmath>

double MarqueeMotion::wrap(double x, double period, bool reversed)
{
    if (!(period > 0) || !std::isfinite(x))
        return 0;
    const double r = std::fmod(x, period);  // truncated: keeps the sign of x
    if (reversed)
        return r < 0 ? r + period : r;
    return r > 0 ? r - period : r;
}

double MarqueeMotion::sanitizedSpeed(double speed)
{
    return std::isfinite(speed) ? speed : 1.0;
}

double MarqueeMotion::pointsPerSecond() const
{
    return std::max(m_speed * pointsPerSpeedUnit, 1.0);
}

double MarqueeMotion::phaseAt(double now) const
{
    if (!m_anchor)
        return m_modelTx;
    const double travelled = pointsPerSecond() * std::max(0.0, now - *m_anchor);
    return wrap(m_reversed ? m_modelTx + travelled : m_modelTx - travelled);
}

void MarqueeMotion::start(double now, double from)
{
    if (!(m_period > 0))
        return;
    m_modelTx = wrap(from);
    m_anchor = now;
}

void MarqueeMotion::freeze(double now)
{
    if (m_anchor)
        m_modelTx = phaseAt(now);
    m_anchor.reset();
}

void MarqueeMotion::setSpeed(double now, double speed)
{
    speed = sanitizedSpeed(speed);
    if (speed == m_speed)
        return;
    if (m_anchor) {
        const double here = phaseAt(now);
        m_speed = speed;
        start(now, here);
    } else {
        m_speed = speed;
    }
}
