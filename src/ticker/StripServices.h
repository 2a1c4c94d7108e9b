#pragma once

#include <QRect>
#include <QString>
#include <QUrl>
#include <optional>

class FeedStore;

// What the strip asks of the rest of the application: placing the ticker
// window, the settings, search and board windows, the update prompt, quitting,
// and starting the music listeners. The application installs its
// implementation at start-up; until then every call is logged and ignored.
// Main thread only.
class StripServices {
public:
    virtual ~StripServices() = default;

    // Places the ticker window again from the stored settings.
    virtual void reposition() = 0;
    // Limits pointer input to `region` of the ticker window (mini mode shows
    // only the brand block; clicks elsewhere belong to what lies beneath);
    // none gives the whole window back.
    virtual void setInputRegion(const std::optional<QRect>& region) = 0;
    // Opens the settings window, or raises it; no tab keeps the one shown.
    virtual void showSettings(FeedStore& store, const std::optional<QString>& tab) = 0;
    virtual void showSearch(FeedStore& store) = 0;
    // The full-screen board; nothing while one is open.
    virtual void showFullScreen(FeedStore& store) = 0;
    // Offers the release at `downloadUrl` (http or https).
    virtual void presentUpdatePrompt(const QString& version, const QUrl& downloadUrl) = 0;
    virtual void quit() = 0;
    // The now-playing listener and the room listener; each acts only on its
    // first call in the process.
    virtual void startNowPlaying(FeedStore& store) = 0;
    virtual void startRoomListener(FeedStore& store) = 0;
    // Whether the room listener can listen at all; by default the system
    // recogniser's answer.
    virtual bool canListenToRoom() const;

    // The installed services, or the logging stand-in.
    static StripServices& installed();
    // Not owned; nullptr restores the stand-in.
    static void install(StripServices* services);
};
