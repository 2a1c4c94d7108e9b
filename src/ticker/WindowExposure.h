#pragma once

#include <QObject>
#include <QPointer>
#include <functional>

class QWidget;
class QWindow;

// Follows whether the window a widget sits in is exposed: an unmapped or
// minimised window is not, so whatever animates in it can rest. Call
// follow() when the widget is shown (its window may have changed since);
// `changed` runs when the answer changes. Until the window says otherwise
// it counts as exposed.
class WindowExposure final : public QObject {
    Q_OBJECT
public:
    WindowExposure(QWidget* widget, std::function<void()> changed);

    void follow();
    bool isExposed() const { return m_exposed; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* m_widget;
    std::function<void()> m_changed;
    QPointer<QWindow> m_window;
    bool m_exposed = true;
};
