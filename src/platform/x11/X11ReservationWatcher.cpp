// Other clients' struts and the work area, followed on a connection of our
// own: the event masks it selects on other clients' windows and on the root
// are this connection's alone and never replace Qt's.
#include "platform/x11/X11ReservationWatcher.h"

#include "platform/base/Logging.h"

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QSocketNotifier>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

namespace {

class ReservationWatcher final : public QObject {
public:
    ReservationWatcher(xcb_connection_t* connection, std::function<void()> changed, QObject* parent)
        : QObject(parent), m_connection(connection), m_changed(std::move(changed))
    {
        m_root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
        m_clientList = atom("_NET_CLIENT_LIST");
        m_workArea = atom("_NET_WORKAREA");
        m_currentDesktop = atom("_NET_CURRENT_DESKTOP");
        m_strut = atom("_NET_WM_STRUT");
        m_strutPartial = atom("_NET_WM_STRUT_PARTIAL");
        selectProperties(m_root);
        m_workAreaValue = workAreaValue();
        updateClients();
        xcb_flush(m_connection);
        auto* notifier = new QSocketNotifier(xcb_get_file_descriptor(m_connection), QSocketNotifier::Read, this);
        connect(notifier, &QSocketNotifier::activated, this, [this] { drain(); });
        // Events read along with the replies above wait in xcb's queue, where
        // the socket no longer tells of them.
        QMetaObject::invokeMethod(this, [this] { drain(); }, Qt::QueuedConnection);
    }
    ~ReservationWatcher() override { xcb_disconnect(m_connection); }

private:
    xcb_atom_t atom(const char* name) const
    {
        auto* reply = xcb_intern_atom_reply(
            m_connection, xcb_intern_atom(m_connection, 0, uint16_t(std::strlen(name)), name), nullptr);
        const xcb_atom_t value = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        std::free(reply);
        return value;
    }
    QByteArray property(xcb_window_t window, xcb_atom_t name) const
    {
        auto* reply = xcb_get_property_reply(
            m_connection, xcb_get_property(m_connection, 0, window, name, XCB_ATOM_ANY, 0, 1024), nullptr);
        QByteArray value;
        if (reply && reply->type != XCB_ATOM_NONE)
            value = QByteArray(static_cast<const char*>(xcb_get_property_value(reply)),
                               xcb_get_property_value_length(reply));
        std::free(reply);
        return value;
    }
    // A window gone meanwhile only makes the request fail, quietly.
    void selectProperties(xcb_window_t window) const
    {
        const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
        const xcb_void_cookie_t cookie =
            xcb_change_window_attributes_checked(m_connection, window, XCB_CW_EVENT_MASK, &mask);
        xcb_discard_reply(m_connection, cookie.sequence);
    }
    QByteArray reservation(xcb_window_t window) const
    {
        return property(window, m_strutPartial) + '|' + property(window, m_strut);
    }
    static bool reserves(const QByteArray& value) { return value != "|"; }
    QByteArray workAreaValue() const { return property(m_root, m_workArea) + '|' + property(m_root, m_currentDesktop); }

    void updateClients()
    {
        const QByteArray list = property(m_root, m_clientList);
        QSet<xcb_window_t> now;
        for (qsizetype i = 0; i + 4 <= list.size(); i += 4) {
            xcb_window_t window = 0;
            std::memcpy(&window, list.constData() + i, 4);
            now.insert(window);
        }
        bool changed = false;
        for (auto it = m_reservations.begin(); it != m_reservations.end();) {
            if (now.contains(it.key())) {
                ++it;
                continue;
            }
            changed = changed || reserves(it.value());
            it = m_reservations.erase(it);
        }
        for (const xcb_window_t window : now) {
            if (m_reservations.contains(window))
                continue;
            selectProperties(window);
            const QByteArray value = reservation(window);
            m_reservations.insert(window, value);
            changed = changed || reserves(value);
        }
        if (changed)
            m_changed();
    }

    void reservationChanged(xcb_window_t window)
    {
        const auto it = m_reservations.find(window);
        if (it == m_reservations.end())
            return;
        const QByteArray value = reservation(window);
        if (value == it.value())
            return;
        it.value() = value;
        m_changed();
    }

    void workAreaChanged()
    {
        const QByteArray value = workAreaValue();
        if (value == m_workAreaValue)
            return;
        m_workAreaValue = value;
        m_changed();
    }

    void drain()
    {
        if (xcb_connection_has_error(m_connection)) {
            // The server went away: nothing more will come.
            deleteLater();
            return;
        }
        while (xcb_generic_event_t* event = xcb_poll_for_event(m_connection)) {
            if ((event->response_type & 0x7f) == XCB_PROPERTY_NOTIFY) {
                const auto* change = reinterpret_cast<const xcb_property_notify_event_t*>(event);
                if (change->window == m_root && change->atom == m_clientList)
                    updateClients();
                else if (change->window == m_root && (change->atom == m_workArea || change->atom == m_currentDesktop))
                    workAreaChanged();
                else if (change->atom == m_strut || change->atom == m_strutPartial)
                    reservationChanged(change->window);
            }
            std::free(event);
        }
        xcb_flush(m_connection);
    }

    xcb_connection_t* m_connection;
    std::function<void()> m_changed;
    xcb_window_t m_root = XCB_WINDOW_NONE;
    xcb_atom_t m_clientList = XCB_ATOM_NONE;
    xcb_atom_t m_workArea = XCB_ATOM_NONE;
    xcb_atom_t m_currentDesktop = XCB_ATOM_NONE;
    xcb_atom_t m_strut = XCB_ATOM_NONE;
    xcb_atom_t m_strutPartial = XCB_ATOM_NONE;
    QByteArray m_workAreaValue;
    QHash<xcb_window_t, QByteArray> m_reservations;  // every client, with its struts as last read
};

} // namespace

bool watchX11Reservations(const char* display, QObject* context, std::function<void()> changed)
{
    xcb_connection_t* connection = xcb_connect(display && *display ? display : nullptr, nullptr);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        qCWarning(lcPlatform) << "cannot watch other panels' reserved edges: no X connection";
        return false;
    }
    new ReservationWatcher(connection, std::move(changed), context);
    return true;
}
