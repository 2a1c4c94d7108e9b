#pragma once

#include <QList>
#include <QRect>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <optional>

struct _XDisplay;

// Runs the event loop until `condition` holds, for at most thirty seconds.
bool waitFor(const std::function<bool()>& condition);

// Reads what the X server itself holds about a window, through the standard
// X11 command-line tools or a connection of its own, so the checks do not
// share code or a connection with what they check.
namespace X11Probe {

// The atom names of an ATOM property; empty when it is not set.
QStringList atoms(WId window, const QString& property);
// The values of a CARDINAL property; none when it is not set.
std::optional<QList<qint64>> cardinals(WId window, const QString& property);
std::optional<QList<qint64>> rootCardinals(const QString& property);
// The work area the window manager computed from every client's strut.
QRect workArea();
// The window the window manager made active (_NET_ACTIVE_WINDOW); 0 for none.
WId activeWindow();
// The window that has the keyboard focus, as the X server holds it; 0 for
// none (or the root).
WId inputFocus();
// Whether the window manager manages the window and shows it: WM_STATE
// Normal.
bool managed(WId window);
// The names of the window's WM_PROTOCOLS.
QStringList protocols(WId window);
// Whether the window and all its ancestors are mapped.
bool viewable(WId window);
// Whether `upper` is stacked above `lower`, comparing the root window's
// children that hold them (their frames); none when either is not shown.
std::optional<bool> stackedAbove(WId upper, WId lower);
// The value of a WINDOW property of `window`; 0 when it is not set.
WId windowValue(WId window, const QString& property);
// The window's position on the root window and its size.
QRect geometry(WId window);
// Where the window manager's frame around the window (title bar and
// borders included) is on the root window; the window's own geometry when
// it has no frame.
QRect frameGeometry(WId window);
// The rectangles of the window's bounding shape, in window coordinates, as
// the server lists them; an unshaped window has one: the whole window.
QList<QRect> boundingRectangles(WId window);
// The depth of the window's visual: 24 opaque, 32 with an alpha channel.
int depth(WId window);
// The root window of the default screen.
WId rootWindow();
// Gives `window` the keyboard focus directly, as a client can, without the
// window manager; returns once the server has done it.
void setInputFocus(WId window);
// Names `window` (0 for none) in _NET_ACTIVE_WINDOW as the window manager
// does; returns once the server holds it.
void nameActiveWindow(WId window);
// Asks the window manager to close the window, as a panel's or a pager's
// close action does (_NET_CLOSE_WINDOW).
void requestClose(WId window);
// Sends the window WM_DELETE_WINDOW, as a window manager closing it does.
void sendDeleteWindow(WId window);
// Returns once the window manager has handled everything that reached it
// before this call: it asks it to state the frame of a window of its own
// (_NET_REQUEST_FRAME_EXTENTS) and waits for the answer. False when none
// came.
bool windowManagerRoundTrip();
// Adds, replaces or removes a monitor of the X server (RandR 1.5).
bool setMonitor(const QString& name, const QRect& rect, const QString& output);
bool deleteMonitor(const QString& name);

// Stands in for a compositing manager while it lives: owns the
// _NET_WM_CM_S<screen> selection of the default screen from a connection of
// its own, through a small unmapped window. Letting go (release() or the
// destructor) leaves the selection without an owner again.
class CompositingManager {
public:
    CompositingManager();
    ~CompositingManager();
    CompositingManager(const CompositingManager&) = delete;
    CompositingManager& operator=(const CompositingManager&) = delete;

    // Whether the selection was taken.
    bool owns() const;
    void release();

private:
    _XDisplay* m_display = nullptr;
    unsigned long m_selection = 0;
    unsigned long m_window = 0;
};

// A dock along the top edge of the X screen, as a desktop panel or the
// strip is to the window manager, reserving `height` pixels of it while it
// lives; drawn from a connection of its own.
class TopPanel {
public:
    explicit TopPanel(int height);
    ~TopPanel();
    TopPanel(const TopPanel&) = delete;
    TopPanel& operator=(const TopPanel&) = delete;

private:
    _XDisplay* m_display = nullptr;
    unsigned long m_window = 0;
};

} // namespace X11Probe
