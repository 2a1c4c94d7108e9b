#pragma once

#include <QObject>
#include <memory>
#include <optional>

// How long the user has been away, and whether the screensaver runs or the
// screen is locked. On Linux: the X screensaver extension's idle time,
// org.freedesktop.ScreenSaver ActiveChanged on the session bus, and logind's
// Lock/Unlock signals for this session on the system bus.
// Main thread only.
class IdleSource : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // Seconds since the last keyboard or pointer input; none when this
    // display cannot tell (not X11, no screensaver extension).
    virtual std::optional<double> idleSeconds() const = 0;
    // Begins delivering the screensaver and lock signals. Idempotent.
    virtual void start() = 0;

    static std::unique_ptr<IdleSource> createSystem();

Q_SIGNALS:
    void screensaverChanged(bool active);
    void lockChanged(bool locked);
};

// Test double: the idle time is set by the test; the setters emit.
class FakeIdleSource final : public IdleSource {
    Q_OBJECT
public:
    using IdleSource::IdleSource;
    std::optional<double> idleSeconds() const override { return m_idle; }
    void start() override { ++starts; }
    void setIdleSeconds(std::optional<double> seconds) { m_idle = seconds; }
    void setScreensaver(bool active) { Q_EMIT screensaverChanged(active); }
    void setLocked(bool locked) { Q_EMIT lockChanged(locked); }
    int starts = 0;

private:
    std::optional<double> m_idle;
};
