#pragma once

#include <QAbstractNativeEventFilter>
#include <QMargins>
#include <QObject>
#include <QPointer>
#include <optional>

class QWindow;

// How far the window manager's frame (title bar and borders) reaches beyond a
// top-level window on each side, as the window manager announces it once it
// has taken the window on (_NET_FRAME_EXTENTS on X11). Margins are in the
// window's logical pixels, rounded up so a frame placed by them never reaches
// further than announced. An object of this class reports each new
// announcement for one window.
class FrameExtents : public QObject, public QAbstractNativeEventFilter {
    Q_OBJECT
public:
    // Watches `window`, whose native window must exist; lives as its child.
    explicit FrameExtents(QWindow* window);
    ~FrameExtents() override;

    // The window's frame as last announced; none before the window manager
    // has taken it on, and on a platform without one.
    static std::optional<QMargins> read(const QWindow* window);

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

Q_SIGNALS:
    // The window manager announced new extents; emitted from the event loop.
    void changed();

private:
    QPointer<QWindow> m_window;
    quint32 m_atom = 0;
};
