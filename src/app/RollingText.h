#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

class QVariantAnimation;

// One line of text in a monospaced font whose changes count up: each
// character that differs from the one before it at the same place rolls up
// out of sight while its successor rises from below, fading as they go;
// characters that stay the same stay put. The first text, and any text set
// while hidden, shows at once. Colour: the palette's WindowText.
class RollingText : public QWidget {
    Q_OBJECT
public:
    static constexpr int transitionMs = 350;

    explicit RollingText(QWidget* parent = nullptr);

    QString text() const { return m_text; }
    void setText(const QString& text);
    // The running change, or null when none runs (tests drive it by hand).
    QVariantAnimation* transition() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_text;
    QString m_previous;  // what rolls away while a change runs
    double m_progress = 1.0;
    QPointer<QVariantAnimation> m_transition;
};
