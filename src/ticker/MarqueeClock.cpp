#include "ticker/MarqueeClock.h"

#include "platform/base/Clock.h"

MarqueeClock& MarqueeClock::steady()
{
    static SteadyMarqueeClock* clock = new SteadyMarqueeClock;  // never destroyed
    return *clock;
}

ClockMarqueeClock::ClockMarqueeClock(const Clock& clock)
    : m_clock(clock), m_originMs(clock.now().toMSecsSinceEpoch())
{
}

double ClockMarqueeClock::seconds() const
{
    return double(m_clock.now().toMSecsSinceEpoch() - m_originMs) / 1000.0;
}
