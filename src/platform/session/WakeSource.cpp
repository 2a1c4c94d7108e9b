#include "platform/session/WakeSource.h"
#include "platform/base/Clock.h"

#include <QDBusConnection>

namespace {

// Listens for the manager's sleep signal, from logind's own name only.
class LogindWakeSource final : public WakeSource {
    Q_OBJECT
public:
    explicit LogindWakeSource(QDBusConnection bus) : m_bus(std::move(bus))
    {
        if (m_bus.isConnected())
            m_bus.connect(QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
                          QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PrepareForSleep"), this,
                          SLOT(onPrepareForSleep(bool)));
    }

private Q_SLOTS:
    // True before the machine sleeps, false once it has woken.
    void onPrepareForSleep(bool sleeping)
    {
        if (!sleeping)
            Q_EMIT woke();
    }

private:
    QDBusConnection m_bus;
};

} // namespace

std::unique_ptr<WakeSource> WakeSource::createLogind(const QDBusConnection& bus)
{
    return std::make_unique<LogindWakeSource>(bus);
}

void WakeSource::keepCaughtUp(TimerScheduler& timers)
{
    connect(this, &WakeSource::woke, this, [&timers] { timers.catchUp(); });
}

#include "WakeSource.moc"
