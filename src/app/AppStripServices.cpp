#include "app/AppStripServices.h"

#include "ambient/FullScreenWindowManager.h"
#include "app/SearchWindowManager.h"
#include "app/SettingsWindowManager.h"
#include "app/TickerWindowController.h"
#include "app/UpdatePrompt.h"
#include "music/NowPlayingController.h"
#include "music/RoomListener.h"
#include "platform/session/Clipboard.h"
#include "platform/base/Clock.h"
#include "platform/session/UrlOpener.h"

#include <QCoreApplication>

AppStripServices::AppStripServices(TickerWindowController& windows, std::function<void()> quit)
    : m_windows(windows), m_quit(std::move(quit))
{
    if (!m_quit)
        m_quit = [] { QCoreApplication::quit(); };
}

void AppStripServices::reposition()
{
    m_windows.reposition();
}

void AppStripServices::setInputRegion(const std::optional<QRect>& region)
{
    m_windows.setInputRegion(region);
}

void AppStripServices::showSettings(FeedStore& store, const std::optional<QString>& tab)
{
    // A title that names no tab asks for none.
    SettingsWindowManager::shared().show(store, tab ? SettingsTabs::fromTitle(*tab) : std::nullopt);
}

void AppStripServices::showSearch(FeedStore& store)
{
    SearchWindowManager::shared().show(store);
}

void AppStripServices::showFullScreen(FeedStore& store)
{
    FullScreenWindowManager::shared().show(store);
}

void AppStripServices::presentUpdatePrompt(const QString& version, const QUrl& downloadUrl)
{
    UpdatePrompt prompt({
        .opener = UrlOpener::system(),
        .scheduler = Scheduler::system(),
        .clipboard = Clipboard::system(),
        .quit = [this] { quit(); },
    });
    prompt.present(version, downloadUrl);
}

void AppStripServices::quit()
{
    m_quit();
}

void AppStripServices::startNowPlaying(FeedStore& store)
{
    NowPlayingController::shared().start(store);
}

void AppStripServices::startRoomListener(FeedStore& store)
{
    RoomListener::shared().start(store);
}

bool AppStripServices::canListenToRoom() const
{
    return RoomListener::shared().canListen();
}
