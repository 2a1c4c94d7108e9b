#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QWidget>
#include <optional>

class Defaults;
class QScreen;
class WindowPlacement;

// The one place that decides the ticker window's level, height, screen and
// frame, always from the current settings. It also keeps the list of
// attached screens for the monitor pickers and places the window again when
// screens are added, removed or change size, and when other panels or the
// window manager change the edges they reserve. Main thread only.
class TickerWindowController : public QObject {
    Q_OBJECT
public:
    TickerWindowController(Defaults& defaults, WindowPlacement& placement, QObject* parent = nullptr);

    // The process's controller over the standard settings and the system
    // placement, created on first use and never destroyed.
    static TickerWindowController& shared();

    QWidget* window() const { return m_window; }
    // The window is held weakly: once it is gone reposition() does nothing.
    void setWindow(QWidget* window) { m_window = window; }
    // Whether the strip's window can be see-through (tickerOpacity, mini
    // mode) on this desktop; an opaque window is cheaper where it cannot.
    bool translucentWindow() const;

    // Places the window from the settings: level at once, then height,
    // screen and frame when there is a screen.
    void reposition();
    // Takes the window off the screen (its reserved edge goes with it) until
    // told otherwise, also through a placement under way; or shows it again,
    // raised and placed from the settings.
    void setHidden(bool hidden);

    // The attached screens in Qt's order, as of the last screen change.
    const QList<QScreen*>& availableScreens() const { return m_screens; }

    // Limits pointer input to `region` (window coordinates), as the strip's
    // mini mode needs; none gives the whole window back.
    void setInputRegion(const std::optional<QRect>& region);

Q_SIGNALS:
    void availableScreensChanged();

private:
    void watch(QScreen* screen);
    void scheduleScreenUpdate();
    void updateScreens();

    Defaults& m_defaults;
    WindowPlacement& m_placement;
    QPointer<QWidget> m_window;
    QList<QScreen*> m_screens;
    bool m_updatePending = false;
};
