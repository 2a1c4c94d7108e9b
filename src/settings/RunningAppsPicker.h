#pragma once

#include <QComboBox>

class HiddenAppsController;

// "Choose…" and then the applications with a window open now, each offered
// by its class. The windows are read again every time the list opens, so an
// application started while the settings were open is there too. Picking
// one adds it to the hidden applications; the box then shows "Choose…"
// again.
class RunningAppsPicker : public QComboBox {
    Q_OBJECT
public:
    explicit RunningAppsPicker(HiddenAppsController& hiddenApps, QWidget* parent = nullptr);

    // Reads the open windows into the list.
    void refill();
    void showPopup() override;

private:
    HiddenAppsController& m_hiddenApps;
};
