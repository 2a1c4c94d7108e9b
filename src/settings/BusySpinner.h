#pragma once

#include <QColor>
#include <QTimer>
#include <QWidget>

// A small indeterminate progress indicator: an arc that turns while the
// spinner is visible and rests while it is hidden.
class BusySpinner : public QWidget {
    Q_OBJECT
public:
    explicit BusySpinner(QColor color, QWidget* parent = nullptr);

    bool isSpinning() const { return m_timer.isActive(); }
    QSize sizeHint() const override { return {16, 16}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QColor m_color;
    QTimer m_timer;
    int m_angle = 0;
};
