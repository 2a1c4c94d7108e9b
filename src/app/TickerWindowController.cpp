#include "app/TickerWindowController.h"

#include "app/Screens.h"
#include "app/TickerPlacement.h"
#include "platform/storage/Defaults.h"
#include "platform/x11/WindowPlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWindow>

TickerWindowController::TickerWindowController(Defaults& defaults, WindowPlacement& placement, QObject* parent)
    : QObject(parent), m_defaults(defaults), m_placement(placement), m_screens(QGuiApplication::screens())
{
    for (QScreen* screen : m_screens)
        watch(screen);
    connect(qGuiApp, &QGuiApplication::screenAdded, this, [this](QScreen* screen) {
        watch(screen);
        scheduleScreenUpdate();
    });
    connect(qGuiApp, &QGuiApplication::screenRemoved, this, [this] { scheduleScreenUpdate(); });
    connect(qGuiApp, &QGuiApplication::primaryScreenChanged, this, [this] { scheduleScreenUpdate(); });
    // A panel no thicker than the strip on the strip's own edge leaves the
    // work area, and with it the screens, as they were.
    m_placement.watchReservations(this, [this] { scheduleScreenUpdate(); });
}

TickerWindowController& TickerWindowController::shared()
{
    static auto* controller = new TickerWindowController(Defaults::standard(), WindowPlacement::system());
    return *controller;
}

void TickerWindowController::watch(QScreen* screen)
{
    connect(screen, &QScreen::geometryChanged, this, [this] { scheduleScreenUpdate(); });
    connect(screen, &QScreen::availableGeometryChanged, this, [this] { scheduleScreenUpdate(); });
}

// Screen signals come in bursts (a removal moves windows and changes the
// primary screen); the list is refreshed and the window placed once, after
// Qt has finished the change.
void TickerWindowController::scheduleScreenUpdate()
{
    if (m_updatePending)
        return;
    m_updatePending = true;
    QMetaObject::invokeMethod(this, [this] { updateScreens(); }, Qt::QueuedConnection);
}

void TickerWindowController::updateScreens()
{
    m_updatePending = false;
    const QList<QScreen*> screens = QGuiApplication::screens();
    if (screens != m_screens) {
        m_screens = screens;
        Q_EMIT availableScreensChanged();
    }
    reposition();
}

void TickerWindowController::reposition()
{
    QWidget* window = m_window;
    if (!window)
        return;
    const PlacementSettings settings = PlacementSettings::read(m_defaults);
    window->winId();  // the native window must exist before its kind is set
    QWindow* handle = window->windowHandle();

    const QList<QScreen*> screens = QGuiApplication::screens();
    QList<ScreenInfo> infos;
    infos.reserve(screens.size());
    for (QScreen* screen : screens)
        infos.append({screen->geometry(), m_placement.availablePixels(screen, handle), Screens::screenNumber(screen),
                      screen->devicePixelRatio()});
    auto indexOf = [&screens](QScreen* screen) -> std::optional<qsizetype> {
        const qsizetype i = screens.indexOf(screen);
        return i < 0 ? std::nullopt : std::optional<qsizetype>(i);
    };
    const TickerPlacement placement =
        TickerPlacement::compute(settings, infos, indexOf(handle->screen()), indexOf(QGuiApplication::primaryScreen()));

    const auto edge = placement.edge == StripEdge::Bottom ? WindowPlacement::Edge::Bottom : WindowPlacement::Edge::Top;
    if (placement.frame) {
        window->setFixedSize(placement.frame->size());
        // A shown window is moved through its handle: after a move by the
        // window manager the widget's own geometry may lag the handle's, and
        // a widget that believes it is already where it is asked to go sends
        // nothing.
        if (window->isVisible())
            handle->setGeometry(*placement.frame);
        else
            window->setGeometry(*placement.frame);
    }
    m_placement.place(handle, placement.frame, edge, placement.onTop);
    window->update();
}

void TickerWindowController::setHidden(bool hidden)
{
    QWidget* window = m_window;
    if (!window)
        return;
    window->winId();
    m_placement.setHidden(window->windowHandle(), hidden);
    if (hidden)
        return;
    window->raise();
    reposition();
}

bool TickerWindowController::translucentWindow() const
{
    return m_placement.showsTranslucency();
}

void TickerWindowController::setInputRegion(const std::optional<QRect>& region)
{
    if (QWidget* window = m_window) {
        window->winId();
        m_placement.setInputRegion(window->windowHandle(), region);
    }
}
