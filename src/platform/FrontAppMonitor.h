#pragma once

#include <QObject>
#include <QString>
#include <memory>
#include <optional>

// Which application is in front: the class of the active window's WM_CLASS
// (its second string, e.g. "firefox"), from the window manager's
// _NET_ACTIVE_WINDOW. Windows of this process report ownAppClass(). Under
// Wayland only X11 (XWayland) applications are seen. Main thread only.
class FrontAppMonitor : public QObject {
    Q_OBJECT
public:
    // A window open now, for picking an application instead of typing it.
    struct RunningApp {
        QString appClass;
        QString title;
    };

    using QObject::QObject;

    // The application in front now; none when no window is active or it has
    // no class.
    virtual std::optional<QString> frontApp() const = 0;
    // The other applications' windows open now, in the window manager's
    // order, with their titles.
    virtual QList<RunningApp> runningApps() const = 0;

    // What this application's own windows are reported as.
    static QString ownAppClass();

    // The X11 monitor on a connection of its own when there is a display;
    // otherwise one that never sees an application. Created on first use.
    static FrontAppMonitor& system();
    static std::unique_ptr<FrontAppMonitor> createX11();

Q_SIGNALS:
    // Another window became active; `appClass` as frontApp() gives it.
    void frontAppChanged(const std::optional<QString>& appClass);
};
