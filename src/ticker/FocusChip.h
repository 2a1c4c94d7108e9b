#pragma once

#include <QWidget>
#include <functional>

// The capsule naming the topic the strip is focused on, with a close button
// that leaves the focus.
class FocusChip : public QWidget {
    Q_OBJECT
public:
    FocusChip(QString label, std::function<void()> onExit, QWidget* parent = nullptr);

    // The label as shown: upper-cased.
    QString text() const { return m_label.toUpper(); }
    // Where the close button sits, in widget coordinates.
    QRectF closeButtonRect() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QString m_label;
    std::function<void()> m_onExit;
};
