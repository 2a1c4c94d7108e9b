// The front application from the window manager's _NET_ACTIVE_WINDOW, read
// on an xcb connection of our own so that selecting property changes on the
// root window cannot disturb the event mask Qt keeps there.
#include "platform/x11/FrontAppMonitor.h"

#include "platform/base/Logging.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QSocketNotifier>
#include <QWindow>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

class NoFrontAppMonitor final : public FrontAppMonitor {
public:
    std::optional<QString> frontApp() const override { return std::nullopt; }
    QList<RunningApp> runningApps() const override { return {}; }
};

// Frees an xcb reply when it goes out of scope.
template <class T>
struct Reply {
    T* p = nullptr;
    explicit Reply(T* reply) : p(reply) {}
    ~Reply() { std::free(p); }
    Reply(const Reply&) = delete;
    Reply& operator=(const Reply&) = delete;
    T* operator->() const { return p; }
    explicit operator bool() const { return p != nullptr; }
};

// What the input focus names for "whichever window the pointer is in".
constexpr xcb_window_t kPointerRoot = 1;

class X11FrontAppMonitor final : public FrontAppMonitor {
public:
    X11FrontAppMonitor(xcb_connection_t* connection, xcb_window_t root) : m_connection(connection), m_root(root)
    {
        m_activeWindow = atom("_NET_ACTIVE_WINDOW");
        m_clientList = atom("_NET_CLIENT_LIST");
        m_wmName = atom("_NET_WM_NAME");
        m_utf8 = atom("UTF8_STRING");
        const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_change_window_attributes(m_connection, m_root, XCB_CW_EVENT_MASK, &mask);
        xcb_flush(m_connection);
        m_notifier = new QSocketNotifier(xcb_get_file_descriptor(m_connection), QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, [this] { drain(); });
    }
    ~X11FrontAppMonitor() override { xcb_disconnect(m_connection); }

    std::optional<QString> frontApp() const override
    {
        const std::optional<QString> front = appClassOf(frontWindow());
        drainSoon();
        return front;
    }
    QList<RunningApp> runningApps() const override;

private:
    xcb_atom_t atom(const char* name) const
    {
        Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
            m_connection, xcb_intern_atom(m_connection, 0, uint16_t(std::strlen(name)), name), nullptr));
        return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    }
    QByteArray property(xcb_window_t window, xcb_atom_t property, xcb_atom_t type, uint32_t longs = 1024) const
    {
        Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
            m_connection, xcb_get_property(m_connection, 0, window, property, type, 0, longs), nullptr));
        if (!reply || reply->type == XCB_ATOM_NONE)
            return {};
        return QByteArray(static_cast<const char*>(xcb_get_property_value(reply.p)),
                          xcb_get_property_value_length(reply.p));
    }
    xcb_window_t activeWindow() const
    {
        const QByteArray value = property(m_root, m_activeWindow, XCB_ATOM_WINDOW, 1);
        return value.size() >= 4 ? *reinterpret_cast<const xcb_window_t*>(value.constData()) : xcb_window_t(XCB_WINDOW_NONE);
    }
    // The active window while it is shown. Some window managers leave a
    // closed or minimised window named as active when nothing takes its
    // place, so the window itself is watched: its unmapping or end is told
    // like a change of the active window.
    // With no shown window named, the window holding the keyboard focus is
    // in front: window managers (openbox among them) name none for a moment
    // while the focus moves from one window to the next, and on a loaded
    // machine that moment is seen. Only with the focus on no window of an
    // application is the desktop in front.
    xcb_window_t frontWindow() const
    {
        const xcb_window_t active = activeWindow();
        if (active != XCB_WINDOW_NONE && isViewable(active)) {
            watch(active);
            return active;
        }
        const xcb_window_t focused = focusedClient();
        watch(active != XCB_WINDOW_NONE ? active : focused);
        return focused;
    }
    // The shown application window that holds the keyboard focus, or one of
    // whose windows does; none when the focus is on nothing, on the root
    // window or on a window of the window manager's own.
    xcb_window_t focusedClient() const
    {
        Reply<xcb_get_input_focus_reply_t> focus(
            xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr));
        if (!focus)
            return XCB_WINDOW_NONE;
        const QByteArray list = property(m_root, m_clientList, XCB_ATOM_WINDOW, 4096);
        const auto* first = reinterpret_cast<const xcb_window_t*>(list.constData());
        const auto* last = first + list.size() / qsizetype(sizeof(xcb_window_t));
        // The focus may sit in a window inside the application's own; a
        // bounded walk up, as trees can change while they are read.
        xcb_window_t window = focus->focus;
        for (int depth = 0; depth < 32 && window > kPointerRoot && window != m_root; ++depth) {
            if (std::find(first, last, window) != last)
                return isViewable(window) ? window : xcb_window_t(XCB_WINDOW_NONE);
            Reply<xcb_query_tree_reply_t> tree(
                xcb_query_tree_reply(m_connection, xcb_query_tree(m_connection, window), nullptr));
            window = tree ? tree->parent : xcb_window_t(XCB_WINDOW_NONE);
        }
        return XCB_WINDOW_NONE;
    }
    void watch(xcb_window_t window) const
    {
        if (window == m_watched)
            return;
        // Masks are per connection: this one's never touch Qt's or others'.
        // A window gone meanwhile only makes these requests fail, quietly.
        if (m_watched != XCB_WINDOW_NONE)
            selectEvents(m_watched, XCB_EVENT_MASK_NO_EVENT);
        if (window != XCB_WINDOW_NONE)
            selectEvents(window, XCB_EVENT_MASK_STRUCTURE_NOTIFY);
        m_watched = window;
    }
    void selectEvents(xcb_window_t window, uint32_t mask) const
    {
        const xcb_void_cookie_t cookie =
            xcb_change_window_attributes_checked(m_connection, window, XCB_CW_EVENT_MASK, &mask);
        xcb_discard_reply(m_connection, cookie.sequence);
    }
    // Mapped with every ancestor (the window manager's frame) mapped too;
    // a window that no longer exists is not.
    bool isViewable(xcb_window_t window) const
    {
        Reply<xcb_get_window_attributes_reply_t> attributes(xcb_get_window_attributes_reply(
            m_connection, xcb_get_window_attributes(m_connection, window), nullptr));
        return attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
    }
    static bool isOwn(xcb_window_t window)
    {
        const QWindowList windows = QGuiApplication::allWindows();
        return std::any_of(windows.cbegin(), windows.cend(),
                           [window](QWindow* w) { return w->handle() && xcb_window_t(w->winId()) == window; });
    }
    // The class of WM_CLASS ("instance\0class\0").
    QString wmClass(xcb_window_t window) const
    {
        const QList<QByteArray> parts = property(window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING).split('\0');
        return parts.size() >= 2 ? QString::fromLocal8Bit(parts[1]) : QString();
    }
    std::optional<QString> appClassOf(xcb_window_t window) const
    {
        if (window == XCB_WINDOW_NONE)
            return QString();
        if (isOwn(window))
            return ownAppClass();
        const QString appClass = wmClass(window);
        return appClass.isEmpty() ? std::nullopt : std::optional<QString>(appClass);
    }
    QString title(xcb_window_t window) const
    {
        const QByteArray name = property(window, m_wmName, m_utf8);
        return !name.isEmpty() ? QString::fromUtf8(name)
                               : QString::fromLocal8Bit(property(window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING));
    }

    // Waiting for a reply reads whatever events came before it off the
    // socket into xcb's queue, and the socket then has nothing to signal:
    // look at that queue once control is back in the event loop.
    void drainSoon() const
    {
        if (m_drainPending)
            return;
        m_drainPending = true;
        auto* self = const_cast<X11FrontAppMonitor*>(this);
        QMetaObject::invokeMethod(self, [self] { self->drain(); }, Qt::QueuedConnection);
    }

    // A new active window, or the watched one unmapped, mapped again or gone.
    bool changesFront(const xcb_generic_event_t* event) const
    {
        switch (event->response_type & 0x7f) {
        case XCB_PROPERTY_NOTIFY: {
            const auto* notify = reinterpret_cast<const xcb_property_notify_event_t*>(event);
            return notify->window == m_root && notify->atom == m_activeWindow;
        }
        case XCB_UNMAP_NOTIFY:
            return reinterpret_cast<const xcb_unmap_notify_event_t*>(event)->window == m_watched;
        case XCB_MAP_NOTIFY:
            return reinterpret_cast<const xcb_map_notify_event_t*>(event)->window == m_watched;
        case XCB_DESTROY_NOTIFY: {
            const auto* notify = reinterpret_cast<const xcb_destroy_notify_event_t*>(event);
            if (notify->window != m_watched)
                return false;
            m_watched = XCB_WINDOW_NONE;  // nothing left to unselect
            return true;
        }
        default:
            return false;
        }
    }

    // Reads every event there is; the replies read while handling them can
    // queue further events without the socket signalling again.
    void drain()
    {
        m_drainPending = false;
        for (;;) {
            bool activeChanged = false;
            while (xcb_generic_event_t* event = xcb_poll_for_event(m_connection)) {
                activeChanged |= changesFront(event);
                std::free(event);
            }
            if (xcb_connection_has_error(m_connection)) {
                qCWarning(lcPlatform) << "The connection for the front application was lost";
                m_notifier->setEnabled(false);
                return;
            }
            if (!activeChanged)
                return;
            // Reported even when the active window looks unchanged: others
            // may have read the window in between (frontApp()).
            Q_EMIT frontAppChanged(appClassOf(frontWindow()));
        }
    }

    xcb_connection_t* m_connection;
    xcb_window_t m_root;
    xcb_atom_t m_activeWindow = XCB_ATOM_NONE;
    xcb_atom_t m_clientList = XCB_ATOM_NONE;
    xcb_atom_t m_wmName = XCB_ATOM_NONE;
    xcb_atom_t m_utf8 = XCB_ATOM_NONE;
    mutable xcb_window_t m_watched = XCB_WINDOW_NONE;  // the active window, for its unmapping or end
    mutable bool m_drainPending = false;
    QSocketNotifier* m_notifier = nullptr;
};

QList<FrontAppMonitor::RunningApp> X11FrontAppMonitor::runningApps() const
{
    const QByteArray list = property(m_root, m_clientList, XCB_ATOM_WINDOW, 4096);
    const auto* windows = reinterpret_cast<const xcb_window_t*>(list.constData());
    QList<RunningApp> apps;
    for (qsizetype i = 0; i < list.size() / qsizetype(sizeof(xcb_window_t)); ++i) {
        if (isOwn(windows[i]))
            continue;
        const QString appClass = wmClass(windows[i]);
        if (!appClass.isEmpty())
            apps.append({appClass, title(windows[i])});
    }
    drainSoon();
    return apps;
}

} // namespace

QString FrontAppMonitor::ownAppClass()
{
    return QCoreApplication::applicationName();
}

std::unique_ptr<FrontAppMonitor> FrontAppMonitor::createX11()
{
    int screenNumber = 0;
    xcb_connection_t* connection = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        return nullptr;
    }
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < screenNumber && it.rem > 0; ++i)
        xcb_screen_next(&it);
    if (it.rem == 0) {
        xcb_disconnect(connection);
        return nullptr;
    }
    return std::make_unique<X11FrontAppMonitor>(connection, it.data->root);
}

FrontAppMonitor& FrontAppMonitor::system()
{
    static FrontAppMonitor* monitor = []() -> FrontAppMonitor* {
        if (QGuiApplication::platformName() == QLatin1String("xcb")) {
            if (auto x11 = createX11())
                return x11.release();
            qCWarning(lcPlatform) << "No X display: applications in front are not seen";
        }
        return new NoFrontAppMonitor;
    }();
    return *monitor;
}
