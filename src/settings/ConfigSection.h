#pragma once

#include <QString>
#include <QWidget>

class QLabel;
class QVBoxLayout;

// A titled group of settings rows: a small accent-blue caption above a
// rounded panel in which the rows sit flush on top of each other inside a
// one-pixel hairline frame.
class ConfigSection : public QWidget {
    Q_OBJECT
public:
    explicit ConfigSection(const QString& title, QWidget* parent = nullptr);

    // Appends `row` (usually a ConfigRow) to the panel, which takes it over.
    void addRow(QWidget* row);
    QLabel* titleLabel() const { return m_title; }
    QWidget* panel() const { return m_panel; }

private:
    QLabel* m_title;
    QWidget* m_panel;
    QVBoxLayout* m_rows;
};
