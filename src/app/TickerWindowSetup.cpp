#include "app/TickerWindowSetup.h"

#include "app/TickerWindowController.h"

#include <QEvent>
#include <QWidget>

namespace {

const QString kCloseRefusalName = QStringLiteral("tidewire-close-refusal");

// The strip has no close control, and nothing would bring a closed strip
// back: the window manager's close (Alt+F4, a panel's close action) is
// refused. That close is the only spontaneous one; the app's own, such as
// quitting closing every window, passes.
class CloseRefusal final : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() != QEvent::Close || !event->spontaneous())
            return false;
        event->ignore();
        return true;
    }
};

} // namespace

void configureTickerWindow(QWidget* window, TickerWindowController& controller)
{
    if (!window)
        return;
    // The strip never takes the focus from where the user works: it asks
    // for no keyboard input (its menu takes the keyboard as a popup does).
    const Qt::WindowFlags flags =
        Qt::Window | Qt::FramelessWindowHint | Qt::NoDropShadowWindowHint | Qt::WindowDoesNotAcceptFocus;
    if (window->windowFlags() != flags)
        window->setWindowFlags(flags);
    // Chosen before the native window exists: it decides the window's visual.
    // Opaque, mini mode still shows only the brand block: the window's shape
    // follows its input region.
    window->setAttribute(Qt::WA_TranslucentBackground, controller.translucentWindow());
    window->setAttribute(Qt::WA_QuitOnClose, false);
    // Nor is it made active when a change of level maps it again
    // (_NET_WM_USER_TIME 0 on every map).
    window->setAttribute(Qt::WA_ShowWithoutActivating);
    if (!window->findChild<QObject*>(kCloseRefusalName, Qt::FindDirectChildrenOnly)) {
        auto* refusal = new CloseRefusal(window);
        refusal->setObjectName(kCloseRefusalName);
        window->installEventFilter(refusal);
    }
    controller.setWindow(window);
    controller.reposition();
}
