#pragma once

#include "Await.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QApplication>
#include <QContextMenuEvent>
#include <QImage>
#include <QMenu>
#include <QTimer>
#include "FakeTime.h"
#include <functional>
#include <ostream>

// Readable QString values in assertion messages.
inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

// Runs the event loop until `done` holds or `timeoutMs` of real time pass
// (for replies from the loopback server). Returns whether it held.
inline bool runUntil(const std::function<bool()>& done, int timeoutMs = 30000)
{
    return waitUntil(done, timeoutMs);
}

inline QByteArray pngBytes(int w, int h, QColor color = Qt::red)
{
    QImage image(w, h, QImage::Format_ARGB32);
    image.fill(color);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// Opens the menu for a secondary click at `pos` of `target` and returns the
// texts of the menu that showed (closed again at once), or nothing.
inline QStringList menuOpenedBy(QWidget* target, QPoint pos)
{
    QStringList texts;
    QTimer::singleShot(0, [&texts] {
        if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            for (QAction* a : menu->actions())
                texts << (a->isSeparator() ? QStringLiteral("-") : a->text());
            menu->close();
        }
    });
    QContextMenuEvent event(QContextMenuEvent::Mouse, pos, target->mapToGlobal(pos));
    QApplication::sendEvent(target, &event);
    FakeTime::settle();
    return texts;
}
