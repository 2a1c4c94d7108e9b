#pragma once

#include <QString>
#include <QWidget>
#include <functional>

// The capsule shown while the room listener listens: "Listening…" with a
// close button that switches listening off.
class ListeningChip : public QWidget {
    Q_OBJECT
public:
    static inline const QString Text = QStringLiteral("Listening…");

    explicit ListeningChip(std::function<void()> onExit, QWidget* parent = nullptr);

    QString text() const { return Text; }
    QRectF closeButtonRect() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    std::function<void()> m_onExit;
};
