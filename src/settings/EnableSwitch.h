#pragma once

#include <QCheckBox>

// The on/off switch of a feed row: a check box (drawn by SignalSwitchStyle)
// whose accessible value names its state, "Enabled" or "Disabled", beside
// its role, its name (the feed's title) and its checked state.
class EnableSwitch final : public QCheckBox {
    Q_OBJECT
public:
    explicit EnableSwitch(QWidget* parent = nullptr);

    // "Enabled" while checked, else "Disabled".
    QString accessibleValue() const;
};
