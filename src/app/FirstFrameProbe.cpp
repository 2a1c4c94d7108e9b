#include "app/FirstFrameProbe.h"

#include <QEvent>
#include <QTimer>
#include <QWidget>

void FirstFrameProbe::watch(QWidget* widget, std::function<bool()> ready, std::function<void()> painted)
{
    if (widget)
        new FirstFrameProbe(widget, std::move(ready), std::move(painted));  // owned by the widget
}

FirstFrameProbe::FirstFrameProbe(QWidget* widget, std::function<bool()> ready, std::function<void()> painted)
    : QObject(widget), m_widget(widget), m_ready(std::move(ready)), m_painted(std::move(painted))
{
    widget->installEventFilter(this);
}

bool FirstFrameProbe::eventFilter(QObject* watched, QEvent* event)
{
    if (!m_fired && watched == m_widget && event->type() == QEvent::Paint && m_ready()) {
        m_fired = true;
        QTimer::singleShot(0, this, [this] {
            if (m_widget)
                m_widget->removeEventFilter(this);
            m_painted();
            deleteLater();
        });
    }
    return QObject::eventFilter(watched, event);
}
