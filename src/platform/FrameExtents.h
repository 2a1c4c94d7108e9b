#pragma once

#include <QAbstractNativeEventFilter>
#include <QMargins>
#include <QObject>
#include <QPointer>
#include <optional>

class QWindow;

// How far the window manager's frame (title bar and borders) reaches beyond a
// top-level window on each side, as the window manager announces it once it
// has taken the window on. Margins are in the window's logical pixels,
// rounded up so a frame placed by them never reaches further than measured.
class FrameExtents : public QObject, public QAbstractNativeEventFilter {
    Q_OBJECT
public:
    // Watches `window`, whose native window must exist; lives as its child.
    explicit FrameExtents(QWindow* window);
    ~FrameExtents() override;

    // None before the window manager has announced the frame, and on a
    // platform without one.
    std::optional<QMargins> margins() const;

    // The announced frame of any top-level window, read once.
    static std::optional<QMargins> read(const QWindow* window);

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

Q_SIGNALS:
    // The window manager announced new extents; emitted from the event loop.
    void changed();

private:
    QPointer<QWindow> m_window;
    quint32 m_atom = 0;
};
