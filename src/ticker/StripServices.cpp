#include "ticker/StripServices.h"

#include "platform/base/Logging.h"
#include "platform/session/MusicRecognizer.h"

namespace {

// Used before the application installs its services (and in previews).
class UnwiredStripServices final : public StripServices {
public:
    void reposition() override { ignored("reposition"); }
    void setInputRegion(const std::optional<QRect>&) override { ignored("setInputRegion"); }
    void showSettings(FeedStore&, const std::optional<QString>&) override { ignored("showSettings"); }
    void showSearch(FeedStore&) override { ignored("showSearch"); }
    void showFullScreen(FeedStore&) override { ignored("showFullScreen"); }
    void presentUpdatePrompt(const QString&, const QUrl&) override { ignored("presentUpdatePrompt"); }
    void quit() override { ignored("quit"); }
    void startNowPlaying(FeedStore&) override { ignored("startNowPlaying"); }
    void startRoomListener(FeedStore&) override { ignored("startRoomListener"); }

private:
    static void ignored(const char* what) { qCDebug(lcTicker, "strip services not installed: %s ignored", what); }
};

StripServices* g_installed = nullptr;

} // namespace

bool StripServices::canListenToRoom() const
{
    return MusicRecognizer::isSystemAvailable();
}

StripServices& StripServices::installed()
{
    static UnwiredStripServices* const unwired = new UnwiredStripServices;
    return g_installed ? *g_installed : *unwired;
}

void StripServices::install(StripServices* services)
{
    g_installed = services;
}
