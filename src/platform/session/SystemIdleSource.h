#pragma once

#include "platform/session/IdleSource.h"

#include <QDBusConnection>

// The Linux idle source: the X screensaver extension on the application's
// own X connection (none on other platforms), org.freedesktop.ScreenSaver's
// ActiveChanged on the session bus, and logind's Lock and Unlock for this
// process's session on the system bus.
class SystemIdleSource final : public IdleSource {
    Q_OBJECT
public:
    SystemIdleSource(QDBusConnection session, QDBusConnection system, QObject* parent = nullptr);
    ~SystemIdleSource() override;

    std::optional<double> idleSeconds() const override;
    void start() override;

private Q_SLOTS:
    // String-based slots: QtDBus delivers bus signals only this way.
    void onActiveChanged(bool active);
    void onLock();
    void onUnlock();

private:
    void followSession();

    QDBusConnection m_session;
    QDBusConnection m_system;
    bool m_started = false;
};
