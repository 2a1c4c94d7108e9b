// _NET_FRAME_EXTENTS of a managed window, read on Qt's own xcb connection.
#include "platform/x11/FrameExtents.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QWindow>

#include <xcb/xcb.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

xcb_connection_t* connection()
{
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

xcb_atom_t frameExtentsAtom(xcb_connection_t* c)
{
    static const char name[] = "_NET_FRAME_EXTENTS";
    xcb_atom_t atom = XCB_ATOM_NONE;
    if (auto* reply = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(std::strlen(name)), name), nullptr)) {
        atom = reply->atom;
        std::free(reply);
    }
    return atom;
}

} // namespace

FrameExtents::FrameExtents(QWindow* window) : QObject(window), m_window(window)
{
    if (xcb_connection_t* c = connection()) {
        m_atom = frameExtentsAtom(c);
        QCoreApplication::instance()->installNativeEventFilter(this);
    }
}

FrameExtents::~FrameExtents()
{
    if (m_atom != XCB_ATOM_NONE && QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(this);
}

std::optional<QMargins> FrameExtents::read(const QWindow* window)
{
    xcb_connection_t* c = connection();
    if (!c || !window || !window->handle())
        return std::nullopt;
    const xcb_atom_t atom = frameExtentsAtom(c);
    if (atom == XCB_ATOM_NONE)
        return std::nullopt;
    auto* reply = xcb_get_property_reply(
        c, xcb_get_property(c, 0, xcb_window_t(window->winId()), atom, XCB_ATOM_CARDINAL, 0, 4), nullptr);
    if (!reply)
        return std::nullopt;
    std::optional<QMargins> margins;
    if (reply->type == XCB_ATOM_CARDINAL && reply->format == 32 && xcb_get_property_value_length(reply) == 16) {
        // left, right, top, bottom in the server's pixels
        const auto* v = static_cast<const uint32_t*>(xcb_get_property_value(reply));
        const double ratio = window->devicePixelRatio() > 0 ? window->devicePixelRatio() : 1.0;
        const auto logical = [ratio](uint32_t pixels) { return int(std::ceil(pixels / ratio - 1e-9)); };
        margins = QMargins(logical(v[0]), logical(v[2]), logical(v[1]), logical(v[3]));
    }
    std::free(reply);
    return margins;
}

bool FrameExtents::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    if (!m_window || eventType != "xcb_generic_event_t")
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7f) != XCB_PROPERTY_NOTIFY)
        return false;
    const auto* change = reinterpret_cast<const xcb_property_notify_event_t*>(event);
    if (change->atom == m_atom && m_window->handle() && change->window == xcb_window_t(m_window->winId()))
        // Queued: this runs inside Qt's event processing.
        QMetaObject::invokeMethod(this, &FrameExtents::changed, Qt::QueuedConnection);
    return false;
}
