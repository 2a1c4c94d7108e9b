#include "platform/WindowPlacement.h"

#include <QRegion>
#include <QScreen>
#include <QWindow>

namespace {

// Placement without a window manager protocol: the screens' own available
// areas, no reservation, no window kinds.
class PlainWindowPlacement final : public WindowPlacement {
public:
    QRect availableGeometry(const QScreen* screen, const QWindow*) const override
    {
        return screen ? screen->availableGeometry() : QRect();
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
