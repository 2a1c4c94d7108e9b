#pragma once

#include <QWidget>

// A top-level window that takes keyboard focus and activation even when it
// has no frame, so a borderless full-screen board still gets its keys. The
// flags are the base window's own.
class KeyableFullScreenWindow : public QWidget {
    Q_OBJECT
public:
    explicit KeyableFullScreenWindow(Qt::WindowFlags flags = Qt::Window | Qt::FramelessWindowHint,
                                     QWidget* parent = nullptr);

    bool canBecomeKeyWindow() const { return true; }
    bool canBecomeMainWindow() const { return true; }
};
