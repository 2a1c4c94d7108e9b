#include "ambient/IdleScreensaver.h"
#include "app/AppInfo.h"
#include "app/AppStripServices.h"
#include "app/PersonalFeedItemsSource.h"
#include "app/TickerWindowController.h"
#include "app/TidewireApp.h"
#include "personal/PersonalFeedStore.h"
#include "platform/Clock.h"
#include "platform/Defaults.h"
#include "platform/MemoryRelief.h"
#include "ticker/TickerView.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char** argv)
{
    // The strip is an X11 dock window: run on xcb (XWayland on Wayland sessions).
    qputenv("QT_QPA_PLATFORM", "xcb");
    // Window contents reach the X server through the socket, not shared
    // memory: the strip paints the same small areas (the row's new edge and
    // what lies under its fades) every frame, and with shared memory each of
    // those paints would first wait on a round trip until the server has read
    // the previous frame. The user's own choice stands.
    if (!qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM"))
        qputenv("QT_XCB_NO_MITSHM", "1");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tidewire"));
    QApplication::setApplicationDisplayName(QStringLiteral("Tidewire"));
    QApplication::setApplicationVersion(appVersion());
    QApplication::setDesktopFileName(QStringLiteral("tidewire"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/tidewire/tidewire.svg")));
    // Closing a window never ends the app; quitting is explicit.
    app.setQuitOnLastWindowClosed(false);
    // Closed settings, search and board windows give their memory back.
    MemoryRelief memoryRelief(Scheduler::system());

    AppStripServices stripServices(TickerWindowController::shared());
    StripServices::install(&stripServices);
    PersonalFeedItemsSource personal(PersonalFeedStore::shared());
    TidewireApp tidewire({
        .defaults = Defaults::standard(),
        .clock = Clock::system(),
        .scheduler = Scheduler::system(),
        .windows = TickerWindowController::shared(),
        .personal = &personal,
        .makeStrip = [](FeedStore& store) { return new TickerView(store); },
        .openSettings = {},
        .startIdleWatcher = [](FeedStore& store) { IdleScreensaver::shared().start(store); },
        .apiBase = {},
    });
    tidewire.launch();
    const int status = app.exec();
    StripServices::install(nullptr);
    Defaults::standard().flush();
    return status;
}
