#include "X11Probe.h"

#include <QByteArray>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

// After Qt: Xlib's macros (None, Bool, Status…) clash with Qt's names.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/shape.h>

namespace X11Probe {
namespace {

QString run(const QString& program, const QStringList& arguments, bool* ok = nullptr)
{
    QProcess process;
    process.start(program, arguments);
    // As long as waitFor(): a read done once must not fail on a loaded machine.
    const bool finished = process.waitForFinished(30000);
    if (ok)
        *ok = finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    return QString::fromUtf8(process.readAllStandardOutput());
}

// "NAME(TYPE) = a, b, c" → {a, b, c}; none for "NAME:  not found."
std::optional<QStringList> propertyValues(const QStringList& target, const QString& property)
{
    const QString out = run(QStringLiteral("xprop"), target + QStringList{property}).trimmed();
    const qsizetype eq = out.indexOf(QLatin1String(" = "));
    if (!out.startsWith(property + QLatin1Char('(')) || eq < 0)
        return std::nullopt;
    QStringList values = out.mid(eq + 3).split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (QString& v : values)
        v = v.trimmed();
    return values;
}

std::optional<QList<qint64>> toNumbers(const std::optional<QStringList>& values)
{
    if (!values)
        return std::nullopt;
    QList<qint64> numbers;
    for (const QString& v : *values)
        numbers.append(v.toLongLong());
    return numbers;
}

QStringList idTarget(WId window)
{
    return {QStringLiteral("-id"), QString::number(window)};
}

int field(const QString& text, const QString& label)
{
    const QRegularExpression re(QRegularExpression::escape(label) + QStringLiteral(":\\s*(-?\\d+)"));
    const auto match = re.match(text);
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}

} // namespace

QStringList atoms(WId window, const QString& property)
{
    return propertyValues(idTarget(window), property).value_or(QStringList{});
}

std::optional<QList<qint64>> cardinals(WId window, const QString& property)
{
    return toNumbers(propertyValues(idTarget(window), property));
}

std::optional<QList<qint64>> rootCardinals(const QString& property)
{
    return toNumbers(propertyValues({QStringLiteral("-root")}, property));
}

QRect workArea()
{
    const auto area = rootCardinals(QStringLiteral("_NET_WORKAREA")).value_or(QList<qint64>{});
    return area.size() >= 4 ? QRect(int(area[0]), int(area[1]), int(area[2]), int(area[3])) : QRect();
}

namespace {

// "NAME(WINDOW): window id # 0x1a00004"
WId windowIn(const QStringList& target, const QString& property)
{
    const QString out = run(QStringLiteral("xprop"), target + QStringList{property});
    static const QRegularExpression id(QStringLiteral("window id # (0x[0-9a-fA-F]+)"));
    const auto match = id.match(out);
    return match.hasMatch() ? WId(match.captured(1).toULongLong(nullptr, 16)) : 0;
}

} // namespace

WId activeWindow()
{
    return windowIn({QStringLiteral("-root")}, QStringLiteral("_NET_ACTIVE_WINDOW"));
}

WId windowValue(WId window, const QString& property)
{
    return windowIn(idTarget(window), property);
}

WId rootWindow()
{
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return 0;
    const WId root = DefaultRootWindow(display);
    XCloseDisplay(display);
    return root;
}

void setInputFocus(WId window)
{
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return;
    XSetInputFocus(display, Window(window), RevertToPointerRoot, CurrentTime);
    XSync(display, False);
    XCloseDisplay(display);
}

void nameActiveWindow(WId window)
{
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return;
    const Window value = Window(window);
    XChangeProperty(display, DefaultRootWindow(display), XInternAtom(display, "_NET_ACTIVE_WINDOW", False), XA_WINDOW,
                    32, PropModeReplace, reinterpret_cast<const unsigned char*>(&value), 1);
    XSync(display, False);
    XCloseDisplay(display);
}

WId inputFocus()
{
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return 0;
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(display, &focus, &revert);
    const Window root = DefaultRootWindow(display);
    XCloseDisplay(display);
    return focus == root || focus == PointerRoot ? 0 : WId(focus);
}

bool managed(WId window)
{
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return false;
    const Atom wmState = XInternAtom(display, "WM_STATE", False);
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    bool normal = false;
    if (XGetWindowProperty(display, Window(window), wmState, 0, 2, False, wmState, &type, &format, &count, &after,
                           &data) == Success && data) {
        normal = format == 32 && count >= 1 && reinterpret_cast<const long*>(data)[0] == NormalState;
        XFree(data);
    }
    XCloseDisplay(display);
    return normal;
}

QStringList protocols(WId window)
{
    QStringList names;
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return names;
    Atom* atoms = nullptr;
    int count = 0;
    if (XGetWMProtocols(display, Window(window), &atoms, &count)) {
        for (int i = 0; i < count; ++i) {
            char* name = XGetAtomName(display, atoms[i]);
            names.append(QString::fromLatin1(name));
            XFree(name);
        }
        XFree(atoms);
    }
    XCloseDisplay(display);
    return names;
}

bool viewable(WId window)
{
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return false;
    XWindowAttributes attributes{};
    const bool shown = XGetWindowAttributes(display, Window(window), &attributes) &&
                       attributes.map_state == IsViewable;
    XCloseDisplay(display);
    return shown;
}

namespace {

// The root window's child that holds `window`: the window manager's frame
// around it, or the window itself when it has none.
Window topLevel(Display* display, Window window)
{
    for (;;) {
        Window root = 0, parent = 0, *children = nullptr;
        unsigned int count = 0;
        if (!XQueryTree(display, window, &root, &parent, &children, &count))
            return 0;
        if (children)
            XFree(children);
        if (parent == root || parent == 0)
            return window;
        window = parent;
    }
}

} // namespace

std::optional<bool> stackedAbove(WId upper, WId lower)
{
    if (!viewable(upper) || !viewable(lower))
        return std::nullopt;
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return std::nullopt;
    const Window upperTop = topLevel(display, Window(upper));
    const Window lowerTop = topLevel(display, Window(lower));
    Window root = 0, parent = 0, *children = nullptr;
    unsigned int count = 0;
    std::optional<bool> above;
    // XQueryTree lists the root's children bottom first.
    if (XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count)) {
        int upperAt = -1, lowerAt = -1;
        for (unsigned int i = 0; i < count; ++i) {
            if (children[i] == upperTop)
                upperAt = int(i);
            if (children[i] == lowerTop)
                lowerAt = int(i);
        }
        if (upperAt >= 0 && lowerAt >= 0 && upperAt != lowerAt)
            above = upperAt > lowerAt;
        if (children)
            XFree(children);
    }
    XCloseDisplay(display);
    return above;
}

QRect geometry(WId window)
{
    const QString out = run(QStringLiteral("xwininfo"), idTarget(window));
    return QRect(field(out, QStringLiteral("Absolute upper-left X")), field(out, QStringLiteral("Absolute upper-left Y")),
                 field(out, QStringLiteral("Width")), field(out, QStringLiteral("Height")));
}

QList<QRect> boundingRectangles(WId window)
{
    QList<QRect> rects;
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return rects;
    int count = 0;
    int ordering = 0;
    XRectangle* list = XShapeGetRectangles(display, Window(window), ShapeBounding, &count, &ordering);
    for (int i = 0; i < count; ++i)
        rects.append(QRect(list[i].x, list[i].y, list[i].width, list[i].height));
    if (list)
        XFree(list);
    XCloseDisplay(display);
    return rects;
}

QRect frameGeometry(WId window)
{
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return {};
    // The window manager's frame is the window's ancestor that is a child of
    // the root window.
    Window current = Window(window);
    for (;;) {
        Window root = 0, parent = 0, *children = nullptr;
        unsigned int count = 0;
        if (!XQueryTree(display, current, &root, &parent, &children, &count))
            break;
        if (children)
            XFree(children);
        if (parent == root || parent == 0)
            break;
        current = parent;
    }
    Window root = 0;
    int x = 0, y = 0;
    unsigned int width = 0, height = 0, border = 0, depth = 0;
    QRect frame;
    if (XGetGeometry(display, current, &root, &x, &y, &width, &height, &border, &depth))
        frame = QRect(x, y, int(width + 2 * border), int(height + 2 * border));
    XCloseDisplay(display);
    return frame;
}

void requestClose(WId window)
{
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return;
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = Window(window);
    event.xclient.message_type = XInternAtom(display, "_NET_CLOSE_WINDOW", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = CurrentTime;
    event.xclient.data.l[1] = 2;  // from a pager or panel
    XSendEvent(display, DefaultRootWindow(display), False, SubstructureRedirectMask | SubstructureNotifyMask,
               &event);
    XSync(display, False);
    XCloseDisplay(display);
}

void sendDeleteWindow(WId window)
{
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return;
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = Window(window);
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = long(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, Window(window), False, NoEventMask, &event);
    XSync(display, False);
    XCloseDisplay(display);
}

bool windowManagerRoundTrip()
{
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return false;
    const Window probe = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 10, 10, 0, 0, 0);
    const Atom extents = XInternAtom(display, "_NET_FRAME_EXTENTS", False);
    XSelectInput(display, probe, PropertyChangeMask);
    XEvent request{};
    request.xclient.type = ClientMessage;
    request.xclient.window = probe;
    request.xclient.message_type = XInternAtom(display, "_NET_REQUEST_FRAME_EXTENTS", False);
    request.xclient.format = 32;
    XSendEvent(display, DefaultRootWindow(display), False, SubstructureRedirectMask | SubstructureNotifyMask,
               &request);
    XSync(display, False);
    const bool answered = QTest::qWaitFor(
        [&] {
            while (XPending(display) > 0) {
                XEvent event;
                XNextEvent(display, &event);
                if (event.type == PropertyNotify && event.xproperty.atom == extents)
                    return true;
            }
            return false;
        },
        30000);
    XDestroyWindow(display, probe);
    XCloseDisplay(display);
    return answered;
}

int depth(WId window)
{
    return field(run(QStringLiteral("xwininfo"), idTarget(window)), QStringLiteral("Depth"));
}

bool setMonitor(const QString& name, const QRect& rect, const QString& output)
{
    bool ok = false;
    // Physical size in millimetres is required; any value will do.
    const QString geometry = QStringLiteral("%1/300x%2/200+%3+%4")
                                 .arg(rect.width()).arg(rect.height()).arg(rect.x()).arg(rect.y());
    run(QStringLiteral("xrandr"), {QStringLiteral("--setmonitor"), name, geometry, output}, &ok);
    return ok;
}

bool deleteMonitor(const QString& name)
{
    bool ok = false;
    run(QStringLiteral("xrandr"), {QStringLiteral("--delmonitor"), name}, &ok);
    return ok;
}

CompositingManager::CompositingManager() : m_display(XOpenDisplay(nullptr))
{
    if (!m_display)
        return;
    const QByteArray name = "_NET_WM_CM_S" + QByteArray::number(DefaultScreen(m_display));
    m_selection = XInternAtom(m_display, name.constData(), False);
    m_window = XCreateSimpleWindow(m_display, DefaultRootWindow(m_display), -1, -1, 1, 1, 0, 0, 0);
    XSetSelectionOwner(m_display, m_selection, m_window, CurrentTime);
    // Held by the server before anyone else asks.
    XSync(m_display, False);
}

CompositingManager::~CompositingManager()
{
    release();
}

bool CompositingManager::owns() const
{
    return m_display && m_window != 0 && XGetSelectionOwner(m_display, m_selection) == m_window;
}

void CompositingManager::release()
{
    if (!m_display)
        return;
    XSetSelectionOwner(m_display, m_selection, None, CurrentTime);
    XDestroyWindow(m_display, m_window);
    XSync(m_display, False);
    XCloseDisplay(m_display);
    m_display = nullptr;
    m_window = 0;
}

TopPanel::TopPanel(int height) : m_display(XOpenDisplay(nullptr))
{
    if (!m_display)
        return;
    const int width = DisplayWidth(m_display, DefaultScreen(m_display));
    m_window = XCreateSimpleWindow(m_display, DefaultRootWindow(m_display), 0, 0, unsigned(width), unsigned(height), 0,
                                   0, 0);
    const Atom dock = XInternAtom(m_display, "_NET_WM_WINDOW_TYPE_DOCK", False);
    XChangeProperty(m_display, m_window, XInternAtom(m_display, "_NET_WM_WINDOW_TYPE", False), XA_ATOM, 32,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(&dock), 1);
    const long strut[12] = {0, 0, height, 0, 0, 0, 0, 0, 0, width - 1, 0, 0};
    XChangeProperty(m_display, m_window, XInternAtom(m_display, "_NET_WM_STRUT_PARTIAL", False), XA_CARDINAL, 32,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(strut), 12);
    XChangeProperty(m_display, m_window, XInternAtom(m_display, "_NET_WM_STRUT", False), XA_CARDINAL, 32,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(strut), 4);
    XMapWindow(m_display, m_window);
    XSync(m_display, False);
}

TopPanel::~TopPanel()
{
    if (!m_display)
        return;
    XDestroyWindow(m_display, m_window);
    XSync(m_display, False);
    XCloseDisplay(m_display);
}

} // namespace X11Probe

// Generous: each probe starts a process, and on a loaded machine the window
// manager can take seconds to take a window on. A wait that succeeds returns
// as soon as the condition holds, so the bound costs nothing when all is well.
bool waitFor(const std::function<bool()>& condition)
{
    return QTest::qWaitFor(condition, 30000);
}
