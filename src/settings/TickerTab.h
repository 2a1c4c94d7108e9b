#pragma once

#include <QWidget>

class Defaults;
class FeedStore;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QSlider;

// The main strip's preferences: speed, size, position, monitor, background,
// opacity, mix, always on top, dimming of read items and the weather city.
// A change of position, size, monitor or level places the strip again.
class TickerTab : public QWidget {
    Q_OBJECT
public:
    // `defaults` defaults to Defaults::standard().
    explicit TickerTab(FeedStore& store, QWidget* parent = nullptr, Defaults* defaults = nullptr);

    QComboBox* speedPicker() const { return m_speed; }
    QComboBox* sizePicker() const { return m_size; }
    QComboBox* positionPicker() const { return m_position; }
    QComboBox* monitorPicker() const { return m_monitor; }
    QComboBox* backgroundPicker() const { return m_background; }
    QComboBox* mixPicker() const { return m_mix; }
    QSlider* opacitySlider() const { return m_opacity; }
    QCheckBox* alwaysOnTopSwitch() const { return m_alwaysOnTop; }
    QCheckBox* dimReadSwitch() const { return m_dimRead; }
    QLineEdit* weatherCityField() const { return m_city; }

private:
    void fillMonitors();
    void showMonitor();

    FeedStore& m_store;
    Defaults& m_defaults;
    QComboBox* m_speed;
    QComboBox* m_size;
    QComboBox* m_position;
    QComboBox* m_monitor;
    QComboBox* m_background;
    QComboBox* m_mix;
    QSlider* m_opacity;
    QCheckBox* m_alwaysOnTop;
    QCheckBox* m_dimRead;
    QLineEdit* m_city;
};
