#pragma once

#include <QWidget>

class Defaults;
class OutcomeLine;

// The settings window's line for settings that cannot be kept: shown in
// orange with a warning sign while the settings file cannot be written, so
// no change made meanwhile looks saved; gone after the next good save.
class SaveNotice : public QWidget {
    Q_OBJECT
public:
    explicit SaveNotice(Defaults& defaults, QWidget* parent = nullptr);

    // What the notice says; empty while saves succeed.
    QString text() const;

private:
    void refresh();

    Defaults& m_defaults;
    OutcomeLine* m_line;
};
