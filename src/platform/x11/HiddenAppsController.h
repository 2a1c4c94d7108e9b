#pragma once

#include "platform/x11/FrontAppMonitor.h"
#include "platform/storage/StoredList.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

class Defaults;

// The applications (by WM_CLASS class) during whose use the ticker strip
// steps aside, kept under "hiddenForBundleIDs" (written to the settings file
// at every change, before the call returns). Watches the active window and
// calls the installed hook with true to hide the strip and false to show and
// re-place it. The desktop in front (no window active) is an unlisted
// application; this application's own windows change nothing. Main thread
// only.
class HiddenAppsController : public QObject {
    Q_OBJECT
public:
    using RunningApp = FrontAppMonitor::RunningApp;
    // The classes read from the settings, at most; each is a row of the
    // General tab (bench/settings_bench.cpp).
    static constexpr qsizetype kMaxApps = 1000;

    // Reads the stored list and looks at the application in front at once.
    HiddenAppsController(Defaults& defaults, FrontAppMonitor& monitor, QObject* parent = nullptr);

    // Over the standard settings and the system's front application;
    // created on first use and never destroyed.
    static HiddenAppsController& shared();

    QStringList bundleIDs() const { return m_bundleIDs; }
    // The stored list the classes were read from: what its reading left out.
    const StoredList& storedList() const { return m_stored; }
    bool isSuppressed() const { return m_suppressed; }

    // Adds a class not yet listed (empty text, or a list of kMaxApps:
    // nothing) and looks again.
    void add(const QString& appClass);
    // Removes every entry equal to `appClass` and looks again.
    void remove(const QString& appClass);
    // The classes of the windows open now, with their titles.
    QList<RunningApp> runningApps() const;

    // What hides (true) or shows and re-places (false) the strip window.
    // Installed while the strip is already meant to be hidden, it is told so
    // at once.
    void setStripHook(std::function<void(bool hidden)> hook);

Q_SIGNALS:
    void bundleIDsChanged();

private:
    void evaluate(const std::optional<QString>& appClass);
    void save();

    Defaults& m_defaults;
    StoredList m_stored;
    FrontAppMonitor& m_monitor;
    QStringList m_bundleIDs;
    bool m_suppressed = false;
    std::function<void(bool)> m_hook;
};
