#include "platform/session/SystemIdleSource.h"

#include "platform/base/Logging.h"

#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QGuiApplication>
#include <unistd.h>

#include <X11/Xlib.h>
#include <X11/extensions/scrnsaver.h>

namespace {

const QString loginService = QStringLiteral("org.freedesktop.login1");
const QString sessionInterface = QStringLiteral("org.freedesktop.login1.Session");
const QString screenSaverInterface = QStringLiteral("org.freedesktop.ScreenSaver");

Display* x11Display()
{
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->display() : nullptr;
}

} // namespace

std::unique_ptr<IdleSource> IdleSource::createSystem()
{
    return std::make_unique<SystemIdleSource>(QDBusConnection::sessionBus(), QDBusConnection::systemBus());
}

SystemIdleSource::SystemIdleSource(QDBusConnection session, QDBusConnection system, QObject* parent)
    : IdleSource(parent), m_session(std::move(session)), m_system(std::move(system))
{
}

SystemIdleSource::~SystemIdleSource() = default;

std::optional<double> SystemIdleSource::idleSeconds() const
{
    Display* display = x11Display();
    if (!display)
        return std::nullopt;
    int eventBase = 0;
    int errorBase = 0;
    if (!XScreenSaverQueryExtension(display, &eventBase, &errorBase))
        return std::nullopt;
    // Filled in place, so nothing is allocated by Xlib.
    XScreenSaverInfo info{};
    if (!XScreenSaverQueryInfo(display, DefaultRootWindow(display), &info))
        return std::nullopt;
    return double(info.idle) / 1000.0;
}

void SystemIdleSource::start()
{
    if (m_started)
        return;
    m_started = true;
    if (m_session.isConnected()) {
        // Desktops publish the screensaver under either path.
        for (const auto& path : {QStringLiteral("/org/freedesktop/ScreenSaver"), QStringLiteral("/ScreenSaver")})
            m_session.connect(QString(), path, screenSaverInterface, QStringLiteral("ActiveChanged"), this,
                              SLOT(onActiveChanged(bool)));
    }
    if (m_system.isConnected())
        followSession();
}

void SystemIdleSource::followSession()
{
    QDBusMessage call = QDBusMessage::createMethodCall(loginService, QStringLiteral("/org/freedesktop/login1"),
                                                       QStringLiteral("org.freedesktop.login1.Manager"),
                                                       QStringLiteral("GetSessionByPID"));
    call << quint32(::getpid());
    auto* watcher = new QDBusPendingCallWatcher(m_system.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QDBusPendingReply<QDBusObjectPath> reply = *w;
        if (reply.isError()) {
            qCDebug(lcPlatform).noquote() << "no login session to follow:" << reply.error().message();
            return;
        }
        const QString path = reply.value().path();
        m_system.connect(loginService, path, sessionInterface, QStringLiteral("Lock"), this, SLOT(onLock()));
        m_system.connect(loginService, path, sessionInterface, QStringLiteral("Unlock"), this, SLOT(onUnlock()));
    });
}

void SystemIdleSource::onActiveChanged(bool active)
{
    Q_EMIT screensaverChanged(active);
}

void SystemIdleSource::onLock()
{
    Q_EMIT lockChanged(true);
}

void SystemIdleSource::onUnlock()
{
    Q_EMIT lockChanged(false);
}
