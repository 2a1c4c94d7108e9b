#pragma once

#include <QObject>
#include <QPointer>
#include <functional>

class QWidget;

// Calls back once, after the first paint of `widget` at which `ready()`
// holds (on the next turn of the event loop, so the frame is complete),
// then removes itself. Paints while `ready()` is false are passed over.
// `ready` is asked only while the widget is alive, from its Paint events.
// Used to time start-up.
class FirstFrameProbe : public QObject {
    Q_OBJECT
public:
    static void watch(QWidget* widget, std::function<bool()> ready, std::function<void()> painted);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    FirstFrameProbe(QWidget* widget, std::function<bool()> ready, std::function<void()> painted);

    QPointer<QWidget> m_widget;
    std::function<bool()> m_ready;
    std::function<void()> m_painted;
    bool m_fired = false;
};
