#include "platform/x11/WindowPlacement.h"

#include "platform/x11/DevicePixels.h"

#include <QGuiApplication>

#include <QRegion>
#include <QScreen>
#include <QWindow>

namespace {

// Placement without a window manager protocol: the screens' own available
// areas, no reservation, no window kinds.
class PlainWindowPlacement final : public WindowPlacement {
public:
    QRect availablePixels(const QScreen* screen, const QWindow*) const override
    {
        if (!screen)
            return {};
        const QRect desktop = ScreenScale{{}, screen->devicePixelRatio()}.toNative(screen->virtualGeometry());
        const QRect whole = nativeGeometry(screen, QSize(desktop.right() + 1, desktop.bottom() + 1));
        return ScreenScale{screen->geometry().topLeft(), screen->devicePixelRatio()}
            .toNative(screen->availableGeometry())
            .intersected(whole);
    }
    void place(QWindow*, const std::optional<QRect>&, Edge, bool) override {}
    void setInputRegion(QWindow* window, const std::optional<QRect>& region) override
    {
        if (window)
            window->setMask(region ? QRegion(*region) : QRegion());
    }
};

} // namespace

void WindowPlacement::setHidden(QWindow* window, bool hidden)
{
    if (window)
        window->setVisible(!hidden);
}

void WindowPlacement::watchReservations(QObject*, std::function<void()>) {}

QRect WindowPlacement::nativeGeometry(const QScreen* screen, const QSize& root)
{
    if (!screen)
        return {};
    auto approximate = [](const QScreen* s) {
        return ScreenScale{s->geometry().topLeft(), s->devicePixelRatio()}.toNative(s->geometry());
    };
    QList<QRect> others;
    for (const QScreen* other : QGuiApplication::screens()) {
        if (other != screen)
            others.append(approximate(other));
    }
    const ScreenScale scale{screen->geometry().topLeft(), screen->devicePixelRatio()};
    return scale.nativeScreen(screen->geometry(), screenLimit(approximate(screen), others, root));
}

std::unique_ptr<WindowPlacement> WindowPlacement::createPlain()
{
    return std::make_unique<PlainWindowPlacement>();
}

WindowPlacement& WindowPlacement::system()
{
    // Created on first use and never destroyed: it outlives every window.
    static WindowPlacement* placement = [] {
        std::unique_ptr<WindowPlacement> chosen = createX11();
        if (!chosen)
            chosen = createPlain();
        return chosen.release();
    }();
    return *placement;
}
