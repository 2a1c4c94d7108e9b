#pragma once

#include <QObject>
#include <QPointer>
#include <QUrl>

#include "app/RootContent.h"
#include <functional>
#include <memory>

class Clock;
class Defaults;
class FeedStore;
class PersonalItemsSource;
class QWidget;
class Scheduler;
class TickerWindowController;

// The application: owns the one feed store and the ticker window's content,
// and runs the start-up road (settings migration, window set-up, the store's
// start, the move offer, the settings window on the first launch). Main
// thread only.
class TidewireApp : public QObject {
    Q_OBJECT
public:
    struct Services {
        Defaults& defaults;
        Clock& clock;
        Scheduler& scheduler;
        TickerWindowController& windows;
        PersonalItemsSource* personal = nullptr;  // nullptr: no personal feeds
        // Builds the strip shown while the store runs; empty: the splash
        // stays up in every phase.
        std::function<QWidget*(FeedStore&)> makeStrip;
        // Opens the settings window; empty: there is none, and the first
        // launch is not recorded as seen.
        std::function<void(FeedStore&)> openSettings;
        // Starts the idle watcher before the store; empty: none.
        std::function<void(FeedStore&)> startIdleWatcher;
        // The store's server API base; empty: the configured endpoint.
        QUrl apiBase;
        // Puts the item in the desktop's tray, first thing when the ticker
        // window is set up; empty: none.
        std::function<void(FeedStore&)> installMenuBar = {};
        // Offers the move to the Applications folder after the store has
        // started, and calls back once the offer is over: true when the
        // process is quitting because it moved, and no settings window is
        // opened then. Empty: no offer.
        std::function<void(std::function<void(bool moved)>)> offerMove = {};
    };

    explicit TidewireApp(Services services, QObject* parent = nullptr);
    ~TidewireApp() override;

    FeedStore& store() const { return *m_store; }
    RootContent* rootContent() const { return m_root; }

    // Installs the tray item, makes the content window the ticker window,
    // shows it, and starts the idle watcher, the store, the move offer and
    // the launch-time settings window, in that order.
    void launch();

private:
    QWidget* makeSplash();
    void openSettingsAtLaunch();

    Services m_services;
    std::unique_ptr<FeedStore> m_store;
    QPointer<RootContent> m_root;
    bool m_firstStripFrameSeen = false;
};
