#pragma once

#include <QAbstractButton>
#include <QColor>

class BusySpinner;
class QLabel;

// A flat button drawn as a rounded pill: white monospaced bold text on the
// accent colour, at 40 % of it while disabled. It can show a spinner before
// its text while work runs.
class PillButton : public QAbstractButton {
    Q_OBJECT
public:
    // `padding` is horizontal, then vertical.
    PillButton(const QString& text, int fontSize, QSize padding, QWidget* parent = nullptr);

    void setLabel(const QString& text);
    QString label() const;
    void setBusy(bool busy);
    bool isBusy() const;
    // The colour the pill is filled with now.
    QColor fillColor() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QLabel* m_text;
    BusySpinner* m_spinner;
};
