#include "app/TickerWindowSetup.h"

#include "app/TickerWindowController.h"

#include <QWidget>

void configureTickerWindow(QWidget* window, TickerWindowController& controller)
{
    if (!window)
        return;
    const Qt::WindowFlags flags = Qt::Window | Qt::FramelessWindowHint | Qt::NoDropShadowWindowHint;
    if (window->windowFlags() != flags)
        window->setWindowFlags(flags);
    // Chosen before the native window exists: it decides the window's visual.
    // Opaque, mini mode still shows only the brand block: the window's shape
    // follows its input region.
    window->setAttribute(Qt::WA_TranslucentBackground, controller.translucentWindow());
    window->setAttribute(Qt::WA_QuitOnClose, false);
    controller.setWindow(window);
    controller.reposition();
}
