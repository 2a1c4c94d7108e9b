// EWMH placement of the ticker strip: a dock window at either level, sticky
// on every desktop, out of the task bar and pager, never focused, and, while
// docked, a _NET_WM_STRUT_PARTIAL reserving its edge. Uses Qt's own xcb
// connection so our requests are ordered with Qt's.
//
// Why a dock at either level, and never _NET_WM_STATE_ABOVE: window managers
// stack docks over ordinary windows yet under the full-screen window in
// front, and some (xfwm4, kwin) stack a window kept above over that one too.
// Not on top, the dock is kept below (_NET_WM_STATE_BELOW), where ordinary
// windows cover it, and still docked on its edge by the window managers that
// place every other kind of window themselves (i3 floats a normal window of
// fixed size in the middle of the screen). Some window managers (fluxbox)
// take a dock whose BELOW state is taken away for an ordinary window, so a
// change of level maps the window again, as a change of kind would; a dock
// that accepts no input is focused by none of them on that map.
#include "platform/base/Logging.h"
#include "platform/x11/DevicePixels.h"
#include "platform/x11/Struts.h"
#include "platform/x11/WindowPlacement.h"
#include "platform/x11/X11ReservationWatcher.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QHash>
#include <QPointer>
#include <QRegion>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <xcb/xcb.h>
#include <xcb/xcb_ewmh.h>
#include <X11/Xlib.h>

#include <cstdlib>
#include <cstring>
#include <optional>
#include <utility>

namespace {

ScreenScale scaleOf(const QScreen* screen)
{
    return screen ? ScreenScale{screen->geometry().topLeft(), screen->devicePixelRatio()} : ScreenScale{};
}

PartialStrut toStrut(const xcb_ewmh_wm_strut_partial_t& s)
{
    return {s.left, s.right, s.top, s.bottom, s.left_start_y, s.left_end_y, s.right_start_y, s.right_end_y,
            s.top_start_x, s.top_end_x, s.bottom_start_x, s.bottom_end_x};
}

class X11WindowPlacement final : public WindowPlacement, public QAbstractNativeEventFilter {
public:
    explicit X11WindowPlacement(xcb_connection_t* connection) : m_connection(connection)
    {
        QCoreApplication::instance()->installNativeEventFilter(this);
        m_ready = xcb_ewmh_init_atoms_replies(&m_ewmh, xcb_ewmh_init_atoms(connection, &m_ewmh), nullptr);
        if (!m_ready)
            qCWarning(lcPlatform) << "EWMH atoms unavailable; the strip is placed without a dock";
        m_wmState = internAtom("WM_STATE");
        m_takeFocus = internAtom("WM_TAKE_FOCUS");
        m_lookDeadline.setSingleShot(true);
        m_lookDeadline.setInterval(1000);
        QObject::connect(&m_lookDeadline, &QTimer::timeout, &m_context, [this] { endLook(); });
    }
    ~X11WindowPlacement() override
    {
        if (auto* app = QCoreApplication::instance())
            app->removeNativeEventFilter(this);
        if (m_ready)
            xcb_ewmh_connection_wipe(&m_ewmh);
    }

    QRect availablePixels(const QScreen* screen, const QWindow* own) const override;
    void watchReservations(QObject* context, std::function<void()> changed) override;
    void place(QWindow* window, const std::optional<QRect>& frame, Edge edge, bool docked) override;
    void setHidden(QWindow* window, bool hidden) override;
    void setInputRegion(QWindow* window, const std::optional<QRect>& region) override
    {
        window->setMask(region ? QRegion(*region) : QRegion());
    }
    bool showsTranslucency() const override;
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    // A placement waiting for the window manager to let go of its window.
    struct Pending {
        QPointer<QWindow> window;
        std::optional<QRect> frame;
        Edge edge = Edge::Top;
        bool docked = true;
        bool remap = false;  // shown again once placed
        std::shared_ptr<QTimer> deadline;
    };

    xcb_atom_t internAtom(const char* name) const
    {
        const auto cookie = xcb_intern_atom(m_connection, 0, uint16_t(std::strlen(name)), name);
        xcb_atom_t atom = XCB_ATOM_NONE;
        if (auto* reply = xcb_intern_atom_reply(m_connection, cookie, nullptr)) {
            atom = reply->atom;
            std::free(reply);
        }
        return atom;
    }
    xcb_screen_t* rootScreen() const { return m_ewmh.screens[0]; }
    QSize rootSize() const { return QSize(rootScreen()->width_in_pixels, rootScreen()->height_in_pixels); }
    // The reservations the windows that set one make, in no particular order.
    QList<PartialStrut> strutsOf(const QList<xcb_window_t>& windows) const;
    QRect workArea() const;
    // Where the window manager's own windows that are shown lie (root
    // pixels, borders included): its bars among them.
    QList<QRect> windowManagerWindows() const;
    QList<xcb_atom_t> states(xcb_window_t window) const;
    // Whether the window is already the dock of the level asked for.
    bool hasKindAndLevel(xcb_window_t window, bool docked) const;
    bool isManaged(xcb_window_t window) const;
    void finish(xcb_window_t id);
    void setKindAndState(xcb_window_t window, bool docked, bool mapped);
    void refuseFocus(xcb_window_t window);
    void setStrut(xcb_window_t window, const QRect& native, Edge edge);
    void reserveOrLook(QWindow* window, const QRect& native, Edge edge);
    void endLook();
    void clearStrut(xcb_window_t window);

    xcb_connection_t* m_connection;
    mutable xcb_ewmh_connection_t m_ewmh{};
    bool m_ready = false;
    xcb_atom_t m_wmState = XCB_ATOM_NONE;
    xcb_atom_t m_takeFocus = XCB_ATOM_NONE;
    QHash<xcb_window_t, Pending> m_pending;
    // The edge each window was last placed on.
    QHash<xcb_window_t, Edge> m_edges;
    mutable WindowManagerEdges m_windowManagerEdges;
    // The reservation held back while the strip looks at the work area.
    struct Withheld {
        QPointer<QWindow> window;
        QRect native;
        Edge edge = Edge::Top;
    };
    std::optional<Withheld> m_withheld;
    QTimer m_lookDeadline;
    QObject m_context;  // ends queued work with this object
};

QList<PartialStrut> X11WindowPlacement::strutsOf(const QList<xcb_window_t>& windows) const
{
    // Every request first, then every answer: one round trip for them all.
    QList<std::pair<xcb_get_property_cookie_t, xcb_get_property_cookie_t>> cookies;
    for (const xcb_window_t window : windows)
        cookies.append({xcb_ewmh_get_wm_strut_partial(&m_ewmh, window), xcb_ewmh_get_wm_strut(&m_ewmh, window)});
    QList<PartialStrut> struts;
    for (const auto& [partialCookie, plainCookie] : cookies) {
        xcb_ewmh_wm_strut_partial_t strut{};
        xcb_ewmh_get_extents_reply_t plain{};
        const bool hasPartial = xcb_ewmh_get_wm_strut_partial_reply(&m_ewmh, partialCookie, &strut, nullptr);
        const bool hasPlain = xcb_ewmh_get_wm_strut_reply(&m_ewmh, plainCookie, &plain, nullptr);
        if (hasPartial) {
            struts.append(toStrut(strut));
        } else if (hasPlain) {
            PartialStrut thicknesses;
            thicknesses.left = plain.left;
            thicknesses.right = plain.right;
            thicknesses.top = plain.top;
            thicknesses.bottom = plain.bottom;
            struts.append(thicknesses);
        }
    }
    return struts;
}

// The window manager's work area for the desktop shown; none when it
// publishes none.
QRect X11WindowPlacement::workArea() const
{
    uint32_t desktop = 0;
    if (!xcb_ewmh_get_current_desktop_reply(&m_ewmh, xcb_ewmh_get_current_desktop(&m_ewmh, 0), &desktop, nullptr))
        desktop = 0;
    xcb_ewmh_get_workarea_reply_t areas;
    if (!xcb_ewmh_get_workarea_reply(&m_ewmh, xcb_ewmh_get_workarea(&m_ewmh, 0), &areas, nullptr))
        return {};
    QRect area;
    if (areas.workarea_len > 0) {
        const xcb_ewmh_geometry_t& g = areas.workarea[desktop < areas.workarea_len ? desktop : 0];
        area = QRect(int(g.x), int(g.y), int(g.width), int(g.height));
    }
    xcb_ewmh_get_workarea_reply_wipe(&areas);
    return area;
}

QList<QRect> X11WindowPlacement::windowManagerWindows() const
{
    QList<QRect> found;
    const xcb_window_t root = rootScreen()->root;
    xcb_window_t check = XCB_WINDOW_NONE;
    if (!xcb_ewmh_get_supporting_wm_check_reply(&m_ewmh, xcb_ewmh_get_supporting_wm_check(&m_ewmh, root), &check,
                                                nullptr) ||
        check == XCB_WINDOW_NONE)
        return found;
    auto* tree = xcb_query_tree_reply(m_connection, xcb_query_tree(m_connection, root), nullptr);
    if (!tree)
        return found;
    // The server gives each client's windows ids from a range of its own:
    // the window manager's are those in the range of its check window's.
    const uint32_t mask = xcb_get_setup(m_connection)->resource_id_mask;
    const xcb_window_t* children = xcb_query_tree_children(tree);
    QList<std::pair<xcb_get_window_attributes_cookie_t, xcb_get_geometry_cookie_t>> cookies;
    for (int i = 0; i < xcb_query_tree_children_length(tree); ++i) {
        if ((children[i] & ~mask) == (check & ~mask))
            cookies.append({xcb_get_window_attributes(m_connection, children[i]),
                            xcb_get_geometry(m_connection, children[i])});
    }
    std::free(tree);
    for (const auto& [attributesCookie, geometryCookie] : cookies) {
        auto* attributes = xcb_get_window_attributes_reply(m_connection, attributesCookie, nullptr);
        auto* geometry = xcb_get_geometry_reply(m_connection, geometryCookie, nullptr);
        if (attributes && geometry && attributes->map_state == XCB_MAP_STATE_VIEWABLE) {
            const int border = geometry->border_width;
            found.append(QRect(geometry->x, geometry->y, geometry->width + 2 * border,
                               geometry->height + 2 * border));
        }
        std::free(attributes);
        std::free(geometry);
    }
    return found;
}

QRect X11WindowPlacement::availablePixels(const QScreen* screen, const QWindow* own) const
{
    if (!screen)
        return {};
    if (!m_ready)
        return scaleOf(screen).toNative(screen->geometry());
    const QSize root = rootSize();
    QRect area = nativeGeometry(screen, root);
    // handle() is checked first: winId() would create a native window.
    const xcb_window_t ownId = own && own->handle() ? xcb_window_t(own->winId()) : xcb_window_t(XCB_WINDOW_NONE);

    xcb_ewmh_get_windows_reply_t clients;
    if (!xcb_ewmh_get_client_list_reply(&m_ewmh, xcb_ewmh_get_client_list(&m_ewmh, 0), &clients, nullptr))
        return area;
    QList<xcb_window_t> others;
    for (uint32_t i = 0; i < clients.windows_len; ++i) {
        if (clients.windows[i] != ownId)
            others.append(clients.windows[i]);
    }
    xcb_ewmh_get_windows_reply_wipe(&clients);

    const QList<PartialStrut> struts = strutsOf(others);
    for (const PartialStrut& strut : struts)
        area = subtractStrut(area, strut, root);
    const QList<PartialStrut> ownStrut = ownId != XCB_WINDOW_NONE ? strutsOf({ownId}) : QList<PartialStrut>();
    m_windowManagerEdges.learnStruts(workArea(), root, struts, ownStrut);
    // Where its bars lie is asked only of a window manager that keeps any.
    const EdgeInsets kept = m_windowManagerEdges.insets();
    const bool keepsAny = kept.left > 0 || kept.right > 0 || kept.top > 0 || kept.bottom > 0;
    return m_windowManagerEdges.apply(area, root, keepsAny ? windowManagerWindows() : QList<QRect>());
}

void X11WindowPlacement::watchReservations(QObject* context, std::function<void()> changed)
{
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    watchX11Reservations(x11 && x11->display() ? DisplayString(x11->display()) : nullptr, context,
                         std::move(changed));
}

QList<xcb_atom_t> X11WindowPlacement::states(xcb_window_t window) const
{
    QList<xcb_atom_t> found;
    xcb_ewmh_get_atoms_reply_t reply;
    if (!xcb_ewmh_get_wm_state_reply(&m_ewmh, xcb_ewmh_get_wm_state(&m_ewmh, window), &reply, nullptr))
        return found;
    for (uint32_t i = 0; i < reply.atoms_len; ++i)
        found.append(reply.atoms[i]);
    xcb_ewmh_get_atoms_reply_wipe(&reply);
    return found;
}

bool X11WindowPlacement::hasKindAndLevel(xcb_window_t window, bool docked) const
{
    xcb_ewmh_get_atoms_reply_t types;
    if (!xcb_ewmh_get_wm_window_type_reply(&m_ewmh, xcb_ewmh_get_wm_window_type(&m_ewmh, window), &types, nullptr))
        return false;
    const bool dock = types.atoms_len > 0 && types.atoms[0] == m_ewmh._NET_WM_WINDOW_TYPE_DOCK;
    xcb_ewmh_get_atoms_reply_wipe(&types);
    return dock && states(window).contains(m_ewmh._NET_WM_STATE_BELOW) != docked;
}

bool X11WindowPlacement::isManaged(xcb_window_t window) const
{
    if (m_wmState == XCB_ATOM_NONE)
        return false;
    auto* reply = xcb_get_property_reply(
        m_connection, xcb_get_property(m_connection, 0, window, m_wmState, m_wmState, 0, 1), nullptr);
    if (!reply)
        return false;
    bool managed = false;
    if (reply->format == 32 && xcb_get_property_value_length(reply) >= 4)
        managed = *static_cast<const uint32_t*>(xcb_get_property_value(reply)) != 0;  // 0 = Withdrawn
    std::free(reply);
    return managed;
}

void X11WindowPlacement::setKindAndState(xcb_window_t window, bool docked, bool mapped)
{
    xcb_atom_t type = m_ewmh._NET_WM_WINDOW_TYPE_DOCK;
    xcb_ewmh_set_wm_window_type(&m_ewmh, window, 1, &type);
    refuseFocus(window);
    QList<xcb_atom_t> wanted{m_ewmh._NET_WM_STATE_STICKY, m_ewmh._NET_WM_STATE_SKIP_TASKBAR,
                             m_ewmh._NET_WM_STATE_SKIP_PAGER};
    if (!docked)
        wanted.append(m_ewmh._NET_WM_STATE_BELOW);
    constexpr uint32_t allDesktops = 0xFFFFFFFF;
    if (!mapped) {
        xcb_ewmh_set_wm_state(&m_ewmh, window, uint32_t(wanted.size()), wanted.data());
        xcb_ewmh_set_wm_desktop(&m_ewmh, window, allDesktops);
        return;
    }
    // A managed window's state is the window manager's: ask it, for what
    // it lacks only (i3 lists a state once more for every request).
    const QList<xcb_atom_t> present = states(window);
    for (const xcb_atom_t state : wanted) {
        if (!present.contains(state))
            xcb_ewmh_request_change_wm_state(&m_ewmh, 0, window, XCB_EWMH_WM_STATE_ADD, state, XCB_ATOM_NONE,
                                             XCB_EWMH_CLIENT_SOURCE_TYPE_NORMAL);
    }
    xcb_ewmh_request_change_wm_desktop(&m_ewmh, 0, window, allDesktops, XCB_EWMH_CLIENT_SOURCE_TYPE_NORMAL);
}

// A window that takes no input (WM_HINTS, from Qt::WindowDoesNotAcceptFocus)
// but lists WM_TAKE_FOCUS is still offered the focus by window managers
// (xfwm4, metacity mark it focused); without the protocol none does.
void X11WindowPlacement::refuseFocus(xcb_window_t window)
{
    if (m_takeFocus == XCB_ATOM_NONE)
        return;
    const xcb_atom_t name = m_ewmh.WM_PROTOCOLS;
    auto* reply = xcb_get_property_reply(
        m_connection, xcb_get_property(m_connection, 0, window, name, XCB_ATOM_ATOM, 0, 64), nullptr);
    if (!reply)
        return;
    QList<xcb_atom_t> kept;
    bool listed = false;
    if (reply->format == 32) {
        const auto* atoms = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply));
        const int count = xcb_get_property_value_length(reply) / int(sizeof(xcb_atom_t));
        for (int i = 0; i < count; ++i) {
            if (atoms[i] == m_takeFocus)
                listed = true;
            else
                kept.append(atoms[i]);
        }
    }
    std::free(reply);
    if (listed)
        xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, window, name, XCB_ATOM_ATOM, 32,
                            uint32_t(kept.size()), kept.data());
}

void X11WindowPlacement::setStrut(xcb_window_t window, const QRect& native, Edge edge)
{
    const int rootHeight = rootScreen()->height_in_pixels;
    xcb_ewmh_wm_strut_partial_t strut{};
    if (edge == Edge::Top) {
        strut.top = uint32_t(std::max(0, native.y() + native.height()));
        strut.top_start_x = uint32_t(std::max(0, native.x()));
        strut.top_end_x = uint32_t(std::max(0, native.x() + native.width() - 1));
    } else {
        strut.bottom = uint32_t(std::max(0, rootHeight - native.y()));
        strut.bottom_start_x = uint32_t(std::max(0, native.x()));
        strut.bottom_end_x = uint32_t(std::max(0, native.x() + native.width() - 1));
    }
    m_windowManagerEdges.reserved({0, 0, int(strut.top), int(strut.bottom)});
    xcb_ewmh_set_wm_strut_partial(&m_ewmh, window, strut);
    xcb_ewmh_set_wm_strut(&m_ewmh, window, 0, 0, strut.top, strut.bottom);
}

// The window manager's own reservation on the strip's edge, never seen
// because a deeper panel covered it, is seen once that panel has gone and
// the strip's reservation does not cover it either: the strip takes its
// reservation back until the work area answers (the reservation watcher then
// has the strip placed again), or for a second at most.
void X11WindowPlacement::reserveOrLook(QWindow* window, const QRect& native, Edge edge)
{
    const auto id = xcb_window_t(window->winId());
    const RootEdge side = edge == Edge::Top ? RootEdge::Top : RootEdge::Bottom;
    if (!m_windowManagerEdges.looking() && m_windowManagerEdges.wantsLook(side)) {
        m_windowManagerEdges.startLook(side);
        m_lookDeadline.start();
    }
    if (!m_windowManagerEdges.looking()) {
        m_lookDeadline.stop();
        m_withheld.reset();
        setStrut(id, native, edge);
        return;
    }
    // A reservation of nothing rather than none: fluxbox keeps a deleted one.
    m_withheld = Withheld{window, native, edge};
    xcb_ewmh_set_wm_strut_partial(&m_ewmh, id, xcb_ewmh_wm_strut_partial_t{});
    xcb_ewmh_set_wm_strut(&m_ewmh, id, 0, 0, 0, 0);
}

void X11WindowPlacement::endLook()
{
    m_windowManagerEdges.endLook();
    const std::optional<Withheld> withheld = std::exchange(m_withheld, std::nullopt);
    if (!withheld || !withheld->window)
        return;
    setStrut(xcb_window_t(withheld->window->winId()), withheld->native, withheld->edge);
    xcb_flush(m_connection);
}

void X11WindowPlacement::clearStrut(xcb_window_t window)
{
    xcb_delete_property(m_connection, window, m_ewmh._NET_WM_STRUT_PARTIAL);
    xcb_delete_property(m_connection, window, m_ewmh._NET_WM_STRUT);
}

void X11WindowPlacement::place(QWindow* window, const std::optional<QRect>& frame, Edge edge, bool docked)
{
    if (!window || !m_ready)
        return;
    const auto id = xcb_window_t(window->winId());
    if (auto it = m_pending.find(id); it != m_pending.end()) {
        // Still waiting for the window manager: the newest placement wins.
        it->frame = frame;
        it->edge = edge;
        it->docked = docked;
        return;
    }
    const bool visible = window->isVisible();
    // Window managers read the window type, and some the level a dock keeps,
    // only when they take a window on, so a change of either maps the
    // window again. So does a change of edge without a reservation to tell
    // of it: i3 keeps a dock where it was first docked unless its strut
    // moves.
    const bool movedUnreserved = !docked && m_edges.value(id, edge) != edge;
    const bool remap = visible && (!hasKindAndLevel(id, docked) || movedUnreserved);
    if (remap) {
        window->setVisible(false);
        xcb_flush(m_connection);
    }
    m_pending.insert(id, Pending{window, frame, edge, docked, remap, nullptr});
    // A shown window keeps its kind and takes its new state as requests;
    // a hidden one is written directly once the window manager let go of it.
    if ((visible && !remap) || !isManaged(id)) {
        finish(id);
        return;
    }
    // The window manager clears a window's EWMH state when it lets go of it,
    // so state written before then would be lost: go on once its WM_STATE
    // says withdrawn (nativeEventFilter), or after half a second regardless.
    auto deadline = std::make_shared<QTimer>();
    deadline->setSingleShot(true);
    QObject::connect(deadline.get(), &QTimer::timeout, deadline.get(), [this, id] { finish(id); });
    deadline->start(500);
    m_pending[id].deadline = std::move(deadline);
}

void X11WindowPlacement::setHidden(QWindow* window, bool hidden)
{
    if (!window)
        return;
    const auto id = xcb_window_t(window->winId());
    // The window manager may have let go of the window already, its notice
    // still unread: then the placement ends now and the window shows at once.
    if (!hidden && m_pending.contains(id) && !isManaged(id))
        finish(id);
    if (auto it = m_pending.find(id); it != m_pending.end()) {
        // Waiting for the window manager: the placement's end shows the
        // window (once its new kind is written) only when it is wanted then.
        it->remap = !hidden;
        if (hidden)
            window->setVisible(false);
        return;
    }
    window->setVisible(!hidden);
}

void X11WindowPlacement::finish(xcb_window_t id)
{
    const auto it = m_pending.find(id);
    if (it == m_pending.end())
        return;
    const Pending pending = *it;
    m_pending.erase(it);
    if (pending.deadline)
        pending.deadline->stop();
    QWindow* window = pending.window;
    if (!window)
        return;
    const bool mapped = !pending.remap && window->isVisible();
    setKindAndState(id, pending.docked, mapped);
    m_edges.insert(id, pending.edge);
    std::optional<QRect> native;
    if (pending.frame) {
        const QScreen* screen = QGuiApplication::screenAt(pending.frame->center());
        if (!screen)
            screen = window->screen();
        // Never past the screen's last pixel, which would reach onto the next.
        native = scaleOf(screen).toNative(*pending.frame);
        if (screen)
            native = native->intersected(nativeGeometry(screen, rootSize()));
    }
    if (!pending.docked) {
        if (m_withheld && m_withheld->window == window)
            m_withheld.reset();
        clearStrut(id);
    } else if (native) {
        reserveOrLook(window, *native, pending.edge);
    }
    xcb_flush(m_connection);
    if (!pending.remap)
        return;
    // Where the window manager finds it when it takes it on again: a move
    // asked for while it was managed may have been refused (i3 keeps a dock
    // where it docked it), and the window's own idea of its place with it.
    // A widget's window is shown where the widget believes it is.
    if (pending.frame) {
        QWidget* widget = QWidget::find(WId(id));
        if (widget && widget->windowHandle() == window)
            widget->setGeometry(*pending.frame);
        else
            window->setGeometry(*pending.frame);
    }
    window->setVisible(true);
}

bool X11WindowPlacement::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    if (m_pending.isEmpty() || eventType != "xcb_generic_event_t")
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7f) != XCB_PROPERTY_NOTIFY)
        return false;
    const auto* change = reinterpret_cast<const xcb_property_notify_event_t*>(event);
    if (change->atom == m_wmState && m_pending.contains(change->window) && !isManaged(change->window)) {
        // Queued: this runs inside Qt's event processing.
        QTimer::singleShot(0, &m_context, [this, id = change->window] { finish(id); });
    }
    return false;
}

} // namespace

bool X11WindowPlacement::showsTranslucency() const
{
    // A compositing manager owns the _NET_WM_CM_S<screen> selection.
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    const int screen = x11 && x11->display() ? DefaultScreen(x11->display()) : 0;
    const QByteArray name = "_NET_WM_CM_S" + QByteArray::number(screen);
    xcb_atom_t atom = XCB_ATOM_NONE;
    if (auto* reply = xcb_intern_atom_reply(
            m_connection, xcb_intern_atom(m_connection, 0, uint16_t(name.size()), name.constData()), nullptr)) {
        atom = reply->atom;
        std::free(reply);
    }
    if (atom == XCB_ATOM_NONE)
        return false;
    xcb_window_t owner = XCB_WINDOW_NONE;
    if (auto* reply = xcb_get_selection_owner_reply(m_connection, xcb_get_selection_owner(m_connection, atom),
                                                    nullptr)) {
        owner = reply->owner;
        std::free(reply);
    }
    return owner != XCB_WINDOW_NONE;
}

std::unique_ptr<WindowPlacement> WindowPlacement::createX11()
{
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection())
        return nullptr;
    return std::make_unique<X11WindowPlacement>(x11->connection());
}
