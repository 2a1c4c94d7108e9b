#pragma once

#include <QNetworkInformation>
#include <QObject>
#include <memory>

// Online/offline state of the machine. The real monitor follows
// QNetworkInformation; with no backend, or an unknown state, it reads online.
class PathMonitor : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    virtual bool isOnline() const = 0;
    virtual void start() = 0;  // begins delivering onlineChanged; idempotent

    static std::unique_ptr<PathMonitor> createSystem();

Q_SIGNALS:
    void onlineChanged(bool online);  // only on a real change, on the main thread
};

// Test double: setOnline() emits onlineChanged when the value changes (after start()).
class FakePathMonitor final : public PathMonitor {
    Q_OBJECT
public:
    using PathMonitor::PathMonitor;
    bool isOnline() const override { return m_online; }
    void start() override { m_started = true; }
    bool isStarted() const { return m_started; }
    void setOnline(bool online);

private:
    bool m_online = true;
    bool m_started = false;
};

// Whether a QNetworkInformation reachability counts as online: everything but
// "disconnected" does, "local network only" and unknown included.
bool reachabilityIsOnline(QNetworkInformation::Reachability reachability);

// The monitor createSystem() returns. It loads QNetworkInformation's default
// backend on start(); without one it stays online.
class NetworkPathMonitor final : public PathMonitor {
    Q_OBJECT
public:
    using PathMonitor::PathMonitor;
    bool isOnline() const override { return m_online; }
    void start() override;
    // Takes a reachability report from any thread; the state changes, and
    // onlineChanged is emitted, on this object's thread.
    void reachabilityReported(QNetworkInformation::Reachability reachability);

private:
    void apply(bool online);

    bool m_online = true;
    bool m_started = false;
};
