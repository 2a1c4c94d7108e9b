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
    window->setAttribute(Qt::WA_TranslucentBackground);
    window->setAttribute(Qt::WA_QuitOnClose, false);
    controller.setWindow(window);
    controller.reposition();
}
