#pragma once

#include "platform/storage/SettingsCatalogue.h"
#include "ticker/TickerRow.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QWidget>

class Defaults;
class FeedStore;
class FilterStore;
class KeyableFullScreenWindow;
class QScreen;

// Opens and closes the ambient board: one full-screen window on the screen
// named by "preferredMonitor", else the primary screen, else the first one.
// While it is open, Escape anywhere in the application closes it.
// Main thread only.
class FullScreenWindowManager : public QObject {
    Q_OBJECT
public:
    static inline const QString PreferredMonitorKey = Settings::preferredMonitor.key.toString();

    // Reads "preferredMonitor" from `defaults`; the cards act through
    // `context` and hide what `filters` mutes.
    FullScreenWindowManager(Defaults& defaults, TickerRowContext context, FilterStore& filters,
                            QObject* parent = nullptr);
    ~FullScreenWindowManager() override;

    // The process-wide manager on the standard settings; created on first
    // use, never destroyed.
    static FullScreenWindowManager& shared();

    // Opens the board with `store` full screen and activates it. Does
    // nothing while the board is open, or when there is no screen.
    void show(FeedStore& store);
    // Closes the board: the Escape monitor goes, the window is hidden and
    // deleted, and the board no longer counts as opened by idleness.
    void close();

    // The board window; null while the board is closed.
    QWidget* window() const;
    bool isOpenedByIdle() const { return m_openedByIdle; }

Q_SIGNALS:
    void opened();
    void closed();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The screen the board opens on, or nullptr when there is none.
    QScreen* boardScreen() const;

    Defaults& m_defaults;
    TickerRowContext m_context;
    FilterStore& m_filters;
    QPointer<KeyableFullScreenWindow> m_window;
    bool m_monitoringEscape = false;
    bool m_openedByIdle = false;
};
