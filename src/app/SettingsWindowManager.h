#pragma once

#include "settings/SettingsTabs.h"

#include <QObject>
#include <QPointer>
#include <QRect>
#include <QSize>
#include <functional>
#include <optional>

class Defaults;
class FeedStore;
class QScreen;
class QWidget;

// Opens the settings window: builds it on the first request and brings it
// forward on later ones, at a given tab if asked. A tab asked for while the
// window is open travels as the select-tab notification and is also
// remembered for the next new window. Closing the window deletes it with its
// views; its frame is saved and restored for the next one. Main thread only.
class SettingsWindowManager : public QObject {
    Q_OBJECT
public:
    // `tickerWindow` answers the strip's window (null when there is none).
    SettingsWindowManager(Defaults& defaults, std::function<QWidget*()> tickerWindow, QObject* parent = nullptr);

    // Over the standard settings and the ticker window controller's window;
    // created on first use, never destroyed.
    static SettingsWindowManager& shared();

    void show(FeedStore& store, std::optional<SettingsTab> tab);

    QWidget* window() const { return m_window; }
    SettingsTab initialTab() const { return m_initialTab; }

    // The strip's screen, the "preferredMonitor" screen, the primary screen,
    // the first screen; null without any.
    QScreen* targetScreen() const;

    // A new window's size for a work area (none: no screen): width − 100 in
    // 820…1240, height − 40 in 620…900; 1240 × 740 without a screen.
    static QSize windowSize(const std::optional<QRect>& visibleFrame);

Q_SIGNALS:
    void windowClosed();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* build(FeedStore& store);
    void centre(QWidget* window) const;
    void activate(QWidget* window) const;
    void saveFrame(const QWidget* window) const;
    std::optional<QRect> savedFrame() const;

    Defaults& m_defaults;
    std::function<QWidget*()> m_tickerWindow;
    QPointer<QWidget> m_window;
    SettingsTab m_initialTab = SettingsTab::Home;
};
