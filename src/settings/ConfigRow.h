#pragma once

#include <QString>
#include <QWidget>

class QLabel;

// One settings row: a white label in a 200-pixel column, then the control,
// then free space, on the shared row background. The label may be a phrase,
// a symbol or a set's name from outside: one too long for the column ends in
// an ellipsis, its beginning where its direction starts it, and shows its
// whole text in its tool tip.
class ConfigRow : public QWidget {
    Q_OBJECT
public:
    // The row takes `content` over; it may be null for a label-only row.
    ConfigRow(const QString& label, QWidget* content, QWidget* parent = nullptr);

    QLabel* label() const { return m_label; }
    QWidget* content() const { return m_content; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QLabel* m_label;
    QWidget* m_content;
};
