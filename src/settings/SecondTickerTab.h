#pragma once

#include <QWidget>

class Defaults;
class FeedStore;
class QCheckBox;
class QComboBox;

// The strip stacked under the main one: on or off, and its own mix, speed,
// size and background (the first entry of "stackedStripsJSON"). Switching it
// or changing its size places the strip window again.
class SecondTickerTab : public QWidget {
    Q_OBJECT
public:
    // `defaults` defaults to Defaults::standard().
    explicit SecondTickerTab(FeedStore& store, QWidget* parent = nullptr, Defaults* defaults = nullptr);

    QCheckBox* enabledSwitch() const { return m_enabled; }
    QComboBox* mixPicker() const { return m_mix; }
    QComboBox* speedPicker() const { return m_speed; }
    QComboBox* sizePicker() const { return m_size; }
    QComboBox* backgroundPicker() const { return m_background; }

private:
    void rebuildMixes();

    FeedStore& m_store;
    Defaults& m_defaults;
    QCheckBox* m_enabled;
    QComboBox* m_mix = nullptr;
    QComboBox* m_speed;
    QComboBox* m_size;
    QComboBox* m_background;
    QWidget* m_mixSlot;
};
