#include "settings/RunningAppsPicker.h"

#include "platform/x11/HiddenAppsController.h"

RunningAppsPicker::RunningAppsPicker(HiddenAppsController& hiddenApps, QWidget* parent)
    : QComboBox(parent), m_hiddenApps(hiddenApps)
{
    connect(this, &QComboBox::activated, this, [this](int index) {
        const QString appClass = itemData(index).toString();
        if (!appClass.isEmpty())
            m_hiddenApps.add(appClass);
        setCurrentIndex(0);
    });
    refill();
}

void RunningAppsPicker::refill()
{
    clear();
    addItem(QStringLiteral("Choose…"), QString());
    for (const auto& app : m_hiddenApps.runningApps())
        addItem(app.title.isEmpty() ? app.appClass : app.appClass + QStringLiteral(" — ") + app.title, app.appClass);
}

void RunningAppsPicker::showPopup()
{
    // Windows open and close all the time: what was read when the tab was
    // shown can be long out of date.
    refill();
    QComboBox::showPopup();
}
