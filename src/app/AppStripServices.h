#pragma once

#include "ticker/StripServices.h"

#include <functional>

class TickerWindowController;

// The application's side of what the strip asks for: window placement and
// input region through the ticker window controller, the settings and search
// windows, the board, the update prompt, the music listeners, and quitting.
class AppStripServices final : public StripServices {
public:
    // `quit` defaults to ending the application's event loop.
    explicit AppStripServices(TickerWindowController& windows, std::function<void()> quit = {});

    void reposition() override;
    void setInputRegion(const std::optional<QRect>& region) override;
    void showSettings(FeedStore& store, const std::optional<QString>& tab) override;
    void showSearch(FeedStore& store) override;
    void showFullScreen(FeedStore& store) override;
    void presentUpdatePrompt(const QString& version, const QUrl& downloadUrl) override;
    void quit() override;
    void startNowPlaying(FeedStore& store) override;
    void startRoomListener(FeedStore& store) override;
    bool canListenToRoom() const override;

private:
    TickerWindowController& m_windows;
    std::function<void()> m_quit;
};
