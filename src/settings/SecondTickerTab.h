#pragma once

#include "ticker/StripOptions.h"

#include <QList>
#include <QWidget>

class Defaults;
class FeedStore;
class QCheckBox;
class QComboBox;

// The strip stacked under the main one: on or off, and its own mix, speed,
// size and background (the first entry of "stackedStripsJSON"). Switching it
// or changing its size places the strip window again. The Mix picker offers
// the news categories of the loaded headlines; its options change only when
// that set changes, and never while its list is open.
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

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void updateMixOptions();
    void showMix();

    FeedStore& m_store;
    Defaults& m_defaults;
    QCheckBox* m_enabled;
    QComboBox* m_mix;
    QComboBox* m_speed;
    QComboBox* m_size;
    QComboBox* m_background;
    QList<StripOption<QString>> m_mixOptions;  // as the picker lists them
};
