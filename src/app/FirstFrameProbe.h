#pragma once

#include <QObject>
#include <QPointer>
#include <functional>

class QWidget;

// Calls back once, after `widget` has painted for the first time (on the
// next turn of the event loop, so the frame is complete), then removes
// itself. Used to time start-up.
class FirstFrameProbe : public QObject {
    Q_OBJECT
public:
    static void watch(QWidget* widget, std::function<void()> painted);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    FirstFrameProbe(QWidget* widget, std::function<void()> painted);

    QPointer<QWidget> m_widget;
    std::function<void()> m_painted;
    bool m_fired = false;
};
