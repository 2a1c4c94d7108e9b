#include "ambient/KeyableFullScreenWindow.h"

KeyableFullScreenWindow::KeyableFullScreenWindow(Qt::WindowFlags flags, QWidget* parent)
    : QWidget(parent, flags)
{
    setFocusPolicy(Qt::StrongFocus);
}
