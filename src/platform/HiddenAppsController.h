#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

// The applications (by WM_CLASS class) during whose use the ticker strip
// steps aside, kept under "hiddenForBundleIDs". Watches the active window and
// calls the installed hook with true to hide the strip and false to show and
// re-place it. Main thread only.
class HiddenAppsController : public QObject {
    Q_OBJECT
public:
    // A window open now, for picking an application instead of typing it.
    struct RunningApp {
        QString appClass;
        QString title;
    };

    static HiddenAppsController& shared();

    QStringList bundleIDs() const { return m_bundleIDs; }
    bool isSuppressed() const { return m_suppressed; }

    void add(const QString& appClass);
    void remove(const QString& appClass);
    // The classes of the windows open now, with their titles.
    QList<RunningApp> runningApps() const;

    // What hides (true) or shows and re-places (false) the strip window.
    void setStripHook(std::function<void(bool hidden)> hook) { m_hook = std::move(hook); }

Q_SIGNALS:
    void bundleIDsChanged();

private:
    HiddenAppsController();

    QStringList m_bundleIDs;
    bool m_suppressed = false;
    std::function<void(bool)> m_hook;
};
