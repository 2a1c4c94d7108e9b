#pragma once

#include <QObject>
#include <QString>
#include <memory>
#include <optional>

// Which application is in front: the class of the active window's WM_CLASS
// (its second string, e.g. "firefox"), from the window manager's
// _NET_ACTIVE_WINDOW. Windows of this process report ownAppClass(). With no
// window active, or the one named there closed or minimised, the
// application window holding the keyboard focus is in front; with none, the
// desktop itself is: an empty class, which names no application. Under
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

    // The application in front now: empty for the desktop; none when the
    // window in front has no class.
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
    // Another window became active, or the active one went away; `appClass`
    // as frontApp() gives it.
    void frontAppChanged(const std::optional<QString>& appClass);
};
