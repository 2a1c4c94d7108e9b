#pragma once

#include <QWidget>

class Defaults;
class FeedStore;
class HiddenAppsController;
class LaunchAtLogin;
class ListCutNotice;
class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class RunningAppsPicker;

// Start-up and desktop preferences: the settings window at start-up, launch
// at login, the applications during whose use the strip steps aside, and
// "Reset to Defaults".
class GeneralTab : public QWidget {
    Q_OBJECT
public:
    // `defaults` defaults to Defaults::standard() and `hiddenApps` to the
    // shared controller; launch at login is the shared one.
    explicit GeneralTab(FeedStore& store, QWidget* parent = nullptr, Defaults* defaults = nullptr,
                        HiddenAppsController* hiddenApps = nullptr);

    QCheckBox* startupSwitch() const { return m_startup; }
    QCheckBox* loginSwitch() const { return m_login; }
    QLabel* loginError() const { return m_loginError; }
    QListWidget* hiddenList() const { return m_hidden; }
    // The line telling of applications past the limit left out as the list
    // was read.
    ListCutNotice* hiddenCutNotice() const { return m_hiddenCut; }
    QLineEdit* appField() const { return m_appField; }
    RunningAppsPicker* runningPicker() const { return m_running; }
    QPushButton* addButton() const { return m_add; }
    QPushButton* removeButton() const { return m_remove; }
    QPushButton* resetButton() const { return m_reset; }

    // Writes the default of every strip, board and start-up preference,
    // places the strip again and, when the weather city changed, fetches
    // the new city's weather.
    void resetToDefaults();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void showLoginState();
    void setLogin(bool on);
    void showHiddenApps();
    void addTyped();

    FeedStore& m_store;
    Defaults& m_defaults;
    LaunchAtLogin& m_launch;
    HiddenAppsController& m_hiddenApps;
    QCheckBox* m_startup;
    QCheckBox* m_login;
    QLabel* m_loginError;
    QListWidget* m_hidden;
    ListCutNotice* m_hiddenCut;
    QLineEdit* m_appField;
    RunningAppsPicker* m_running;
    QPushButton* m_add;
    QPushButton* m_remove;
    QPushButton* m_reset;
};
