#include "X11Probe.h"

#include <QProcess>
#include <QTest>

// After Qt: Xlib's macros (None, Bool, Status…) clash with Qt's names.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/shape.h>

namespace X11Probe {
namespace {

// The probe's own connection, kept for the process. A window that is gone
// makes a request fail; that reads as "not set", not as the end of the test.
Display* display()
{
    static Display* const connection = [] {
        XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
        return XOpenDisplay(nullptr);
    }();
    return connection;
}

// The 32-bit items of `property` on `window` (as longs, Xlib's way), with their type.
std::optional<QList<qint64>> property32(Window window, const QString& property, Atom* type = nullptr)
{
    Atom actualType = 0;
    int format = 0;
    unsigned long count = 0;
    unsigned long remaining = 0;
    unsigned char* data = nullptr;
    const Atom name = XInternAtom(display(), property.toLatin1().constData(), False);
    if (XGetWindowProperty(display(), window, name, 0, 1024, False, AnyPropertyType, &actualType, &format, &count,
                           &remaining, &data) != Success || actualType == 0 || format != 32) {
        if (data)
            XFree(data);
        return std::nullopt;
    }
    QList<qint64> values;
    for (unsigned long i = 0; i < count; ++i)
        values.append(qint64(quint32(reinterpret_cast<unsigned long*>(data)[i])));
    XFree(data);
    if (type)
        *type = actualType;
    return values;
}

bool run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    return process.waitForFinished(10000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

} // namespace

QStringList atoms(WId window, const QString& property)
{
    Atom type = 0;
    QStringList names;
    for (qint64 atom : property32(Window(window), property, &type).value_or(QList<qint64>{})) {
        char* name = XGetAtomName(display(), Atom(atom));
        names.append(QString::fromLatin1(name));
        XFree(name);
    }
    return type == XA_ATOM ? names : QStringList{};
}

std::optional<QList<qint64>> cardinals(WId window, const QString& property)
{
    return property32(Window(window), property);
}

std::optional<QList<qint64>> rootCardinals(const QString& property)
{
    return property32(DefaultRootWindow(display()), property);
}

QRect workArea()
{
    const auto area = rootCardinals(QStringLiteral("_NET_WORKAREA")).value_or(QList<qint64>{});
    return area.size() >= 4 ? QRect(int(area[0]), int(area[1]), int(area[2]), int(area[3])) : QRect();
}

QRect geometry(WId window)
{
    XWindowAttributes attributes{};
    int x = -1;
    int y = -1;
    Window child = 0;
    if (!XGetWindowAttributes(display(), Window(window), &attributes)
        || !XTranslateCoordinates(display(), Window(window), attributes.root, 0, 0, &x, &y, &child))
        return QRect(-1, -1, -1, -1);
    return QRect(x, y, attributes.width, attributes.height);
}

QList<QRect> boundingRectangles(WId window)
{
    QList<QRect> rects;
    int count = 0;
    int ordering = 0;
    XRectangle* list = XShapeGetRectangles(display(), Window(window), ShapeBounding, &count, &ordering);
    for (int i = 0; i < count; ++i)
        rects.append(QRect(list[i].x, list[i].y, list[i].width, list[i].height));
    if (list)
        XFree(list);
    return rects;
}

int depth(WId window)
{
    XWindowAttributes attributes{};
    return XGetWindowAttributes(display(), Window(window), &attributes) ? attributes.depth : -1;
}

bool setMonitor(const QString& name, const QRect& rect, const QString& output)
{
    // Physical size in millimetres is required; any value will do.
    const QString geometry = QStringLiteral("%1/300x%2/200+%3+%4")
                                 .arg(rect.width()).arg(rect.height()).arg(rect.x()).arg(rect.y());
    return run(QStringLiteral("xrandr"), {QStringLiteral("--setmonitor"), name, geometry, output});
}

bool deleteMonitor(const QString& name)
{
    return run(QStringLiteral("xrandr"), {QStringLiteral("--delmonitor"), name});
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

} // namespace X11Probe

bool waitFor(const std::function<bool()>& condition)
{
    return QTest::qWaitFor(condition, 10000);
}
