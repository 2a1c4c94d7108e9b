#include "ticker/WindowExposure.h"

#include <QEvent>
#include <QWidget>
#include <QWindow>

WindowExposure::WindowExposure(QWidget* widget, std::function<void()> changed)
    : QObject(widget), m_widget(widget), m_changed(std::move(changed))
{
}

void WindowExposure::follow()
{
    QWindow* handle = m_widget->window()->windowHandle();
    if (handle == m_window)
        return;
    if (m_window)
        m_window->removeEventFilter(this);
    m_window = handle;
    const bool was = m_exposed;
    m_exposed = true;
    if (handle)
        handle->installEventFilter(this);
    if (was != m_exposed && m_changed)
        m_changed();
}

bool WindowExposure::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_window && event->type() == QEvent::Expose) {
        const bool exposed = m_window->isExposed();
        if (exposed != m_exposed) {
            m_exposed = exposed;
            if (m_changed)
                m_changed();
        }
    }
    return QObject::eventFilter(watched, event);
}
