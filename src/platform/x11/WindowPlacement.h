#pragma once

#include <QRect>
#include <functional>
#include <memory>
#include <optional>

class QObject;
class QScreen;
class QWindow;

// How the ticker strip's window sits on the desktop: an edge strip that is on
// every desktop, kept out of the task bar and pager, never given the focus,
// and, while docked, kept above ordinary windows (yet under the full-screen
// window in front) with its edge reserved so maximised windows leave room
// for it. Rectangles are in Qt's logical (device-independent) top-left
// coordinates unless said otherwise. Main thread only.
class WindowPlacement {
public:
    enum class Edge { Top, Bottom };

    virtual ~WindowPlacement() = default;

    // The part of `screen` that the other clients' reserved edges (panels,
    // docks) and the window manager's own bars leave free, in the X
    // server's device pixels. The reservation of `own` is never counted, so
    // a strip placed below the panels does not push itself further down.
    virtual QRect availablePixels(const QScreen* screen, const QWindow* own) const = 0;

    // Calls `changed`, as long as `context` lives, whenever what
    // availablePixels() leaves free may have changed without the screens
    // changing: a client that reserves an edge came, went or changed its
    // reservation, or the window manager changed its work area. Calls come
    // as they are seen, several for one change; the caller coalesces.
    virtual void watchReservations(QObject* context, std::function<void()> changed);

    // Makes `window` an edge strip at `frame`, on its edge at either level.
    // Docked: above ordinary windows, under the full-screen window in front,
    // reserving `edge` for the frame's width and height. Not docked: under
    // ordinary windows, without any reservation. The frame itself is the
    // caller's to set (a change of level or edge may show the window again
    // there); without a frame only the window's kind and state change and
    // an existing reservation stays as it is.
    virtual void place(QWindow* window, const std::optional<QRect>& frame, Edge edge, bool docked) = 0;

    // Takes the window off the screen for its owner, or shows it again. A
    // window hidden so stays hidden through a placement under way, even one
    // that took it off the screen itself to change its kind; shown so while
    // such a placement is under way, it comes back once that is done.
    virtual void setHidden(QWindow* window, bool hidden);

    // Limits the window to `region` (window coordinates) for pointer input,
    // so clicks elsewhere reach the windows beneath; the window is drawn only
    // there too. None gives the whole window back.
    virtual void setInputRegion(QWindow* window, const std::optional<QRect>& region) = 0;

    // Whether a window's see-through pixels show what lies beneath it. On
    // X11 that takes a running compositing manager; without one a window
    // with an alpha channel only costs the server a blend of every update.
    virtual bool showsTranslucency() const { return true; }

    // X11 (EWMH) when the application runs on xcb, otherwise plain Qt, which
    // only knows the screens' own available areas and reserves nothing.
    static WindowPlacement& system();
    static std::unique_ptr<WindowPlacement> createX11();
    static std::unique_ptr<WindowPlacement> createPlain();

    // The screen's rectangle in device pixels, on a desktop of `root` device
    // pixels: Qt shows only the rounded logical size, which at a fractional
    // scale can stand for a pixel more than the screen has.
    static QRect nativeGeometry(const QScreen* screen, const QSize& root);
};
