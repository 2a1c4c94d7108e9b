#include "app/WindowFrame.h"

#include "platform/x11/FrameExtents.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>
#include <algorithm>

namespace WindowFrame {

QRect workArea(const QScreen* screen)
{
    return screen->availableGeometry();
}

QRect currentGeometry(const QWidget* window)
{
    const QWindow* handle = window->windowHandle();
    return window->isVisible() && handle ? handle->geometry() : window->geometry();
}

void applyGeometry(QWidget* window, const QRect& rect)
{
    QWindow* handle = window->windowHandle();
    if (window->isVisible() && handle)
        handle->setGeometry(rect);
    else
        window->setGeometry(rect);
}

void fitInsideWorkArea(QWidget* window)
{
    // The screen under the window's centre: Qt's idea of a shown window's
    // screen may still lag behind a move or a change of the screens.
    const QRect shown = currentGeometry(window);
    QScreen* screen = QGuiApplication::screenAt(shown.center());
    if (!screen && window->isVisible())
        screen = window->screen();
    if (!screen || !QGuiApplication::screens().contains(screen))
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    // The window manager's title bar and borders lie outside the window:
    // the whole frame has to fit, or the window cannot be moved or closed.
    const QMargins decoration =
        window->windowHandle() ? FrameExtents::read(window->windowHandle()).value_or(QMargins()) : QMargins();
    const QRect visible = workArea(screen).marginsRemoved(decoration);
    const int width = std::max(1, std::min(shown.width(), visible.width()));
    const int height = std::max(1, std::min(shown.height(), visible.height()));
    const int x = std::min(std::max(shown.x(), visible.x()), visible.x() + visible.width() - width);
    const int y = std::min(std::max(shown.y(), visible.y()), visible.y() + visible.height() - height);
    // The window manager keeps a window at least as large as its minimum.
    if (window->minimumWidth() > width || window->minimumHeight() > height)
        window->setMinimumSize(std::min(window->minimumWidth(), width), std::min(window->minimumHeight(), height));
    const QRect fitted(x, y, width, height);
    if (fitted != shown)
        applyGeometry(window, fitted);
}

void keepInsideWorkArea(QWidget* window)
{
    window->winId();
    fitInsideWorkArea(window);
    const auto refit = [window] { fitInsideWorkArea(window); };
    QObject::connect(new FrameExtents(window->windowHandle()), &FrameExtents::changed, window, refit);
    const auto watch = [window, refit](QScreen* screen) {
        QObject::connect(screen, &QScreen::geometryChanged, window, refit);
        QObject::connect(screen, &QScreen::availableGeometryChanged, window, refit);
    };
    for (QScreen* screen : QGuiApplication::screens())
        watch(screen);
    QObject::connect(qApp, &QGuiApplication::screenAdded, window, watch);
    QObject::connect(qApp, &QGuiApplication::screenRemoved, window, refit, Qt::QueuedConnection);
}

} // namespace WindowFrame
