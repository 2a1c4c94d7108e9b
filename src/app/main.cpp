#include "ambient/IdleScreensaver.h"
#include "app/AppInfo.h"
#include "app/AppStripServices.h"
#include "app/HiddenStripHook.h"
#include "app/MenuBarController.h"
#include "app/MoveToApplications.h"
#include "app/PendingWork.h"
#include "app/PersonalFeedItemsSource.h"
#include "app/SettingsWindowManager.h"
#include "app/StartupDecisions.h"
#include "app/TickerWindowController.h"
#include "app/TidewireApp.h"
#include "personal/PersonalFeedStore.h"
#include "platform/base/Clock.h"
#include "platform/storage/Defaults.h"
#include "platform/x11/HiddenAppsController.h"
#include "platform/storage/HomeFolder.h"
#include "platform/session/MemoryRelief.h"
#include "platform/session/SecretStore.h"
#include "platform/session/SingleInstance.h"
#include "platform/session/TerminationSignals.h"
#include "platform/base/TestPause.h"
#include "platform/session/WakeSource.h"
#include "ticker/TickerView.h"

#include <QApplication>
#include <QDBusConnection>
#include <QIcon>
#include <QScopeGuard>
#include <QSessionManager>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>

namespace {

// Set while the app runs: leaving the process then skips the normal quit
// path at the end of main().
std::atomic<bool> running = false;
QtMessageHandler previousMessageHandler = nullptr;
// The claim of the running copy, for the roads out that leave main() early.
SingleInstance* claim = nullptr;

// Settings, the feed snapshot and personal items still on the cache writer,
// then `letGo`, then a key the user saved that the keyring has not taken yet.
void writePending(const std::function<void()>& letGo = {})
{
    finishPendingWork(Defaults::standard(), SecretStore::system(), letGo);
}

// On the way out, once the files are written and before the keyring is
// waited for: a start made meanwhile becomes the running copy.
void letGoOfClaim()
{
    if (claim)
        claim->release();
}

// Qt and Xlib end the process with exit() when the connection to the X
// server breaks (the session is over): write what is pending on the way out.
void writePendingAtExit()
{
    if (running.exchange(false))
        writePending(letGoOfClaim);
}

// Qt says so just before it calls exit(). Writing here, on the main thread,
// comes before any exit handler: by the time ours would run, the handlers of
// Qt's later-created globals have already torn down what its network thread
// is still using, and that thread can bring the process down first.
void noticeBrokenDisplay(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type == QtWarningMsg && message.startsWith(QLatin1String("The X11 connection broke")))
        writePendingAtExit();
    if (previousMessageHandler)
        previousMessageHandler(type, context, message);
    else
        std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
}

} // namespace

int main(int argc, char** argv)
{
    // Started without HOME (by a service manager, `env -i`), the files go to
    // the home folder the password database names, or nowhere; set before
    // any thread could read the environment.
    HomeFolder::settle();
    // The app runs all day: large passing blocks must not fragment the heap.
    MemoryRelief::keepLargeBlocksOffTheHeap();
    // A write to a closed socket (the X server went away) fails with an
    // error instead of killing the app before it has saved.
    std::signal(SIGPIPE, SIG_IGN);
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
    // Work stopped as its owners go at the end of main() resumes from the
    // event loop (a stopped sleep returns there); give it that last turn
    // before the application goes, so nothing is left suspended.
    const auto finishStoppedWork = qScopeGuard([] { QCoreApplication::sendPostedEvents(); });
    applyAppIdentity();
    // One copy per session: a later start brings the running copy's settings
    // window forward and leaves before anything has read or written the
    // user's files.
    const std::unique_ptr<SingleInstance> singleInstance = SingleInstance::forSession();
    if (singleInstance->claim() == SingleInstance::Role::Secondary)
        return 0;
    claim = singleInstance.get();
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/tidewire/tidewire.svg")));
    // Closing a window never ends the app; quitting is explicit.
    app.setQuitOnLastWindowClosed(false);
    // Closed settings, search and board windows give their memory back.
    MemoryRelief memoryRelief(Scheduler::system());
    // Polls and heartbeats that fell due while the machine slept run as soon
    // as it wakes, not that much later.
    const std::unique_ptr<WakeSource> wakes = WakeSource::createLogind(QDBusConnection::systemBus());
    wakes->keepCaughtUp(TimerScheduler::system());

    StartupDecisions::moveCachesOutOfSettings(Defaults::standard());
    // From the moment quitting is asked for, a later start waits for this
    // copy to let go instead of handing over to a copy that is going.
    AppStripServices stripServices(TickerWindowController::shared(), [&singleInstance] {
        singleInstance->stopAnswering();
        QCoreApplication::quit();
    });
    StripServices::install(&stripServices);
    // A logout (SIGTERM), Ctrl+C or a closed terminal quits like the menu does.
    TerminationSignals termination([&stripServices](int) { stripServices.quit(); });
    // The session manager asks to save before the session ends.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &app, [](QSessionManager&) { writePending(); });
    std::atexit(writePendingAtExit);
    previousMessageHandler = qInstallMessageHandler(noticeBrokenDisplay);

    PersonalFeedItemsSource personal(PersonalFeedStore::shared());
    running = true;
    const auto openSettings = [](FeedStore& store) { SettingsWindowManager::shared().show(store, std::nullopt); };
    TidewireApp tidewire({
        .defaults = Defaults::standard(),
        .clock = Clock::system(),
        .scheduler = Scheduler::system(),
        .windows = TickerWindowController::shared(),
        .personal = &personal,
        .makeStrip = [](FeedStore& store) { return new TickerView(store); },
        .openSettings = openSettings,
        .startIdleWatcher = [](FeedStore& store) { IdleScreensaver::shared().start(store); },
        .apiBase = {},
        .installMenuBar = [](FeedStore& store) { MenuBarController::shared().install(store); },
        .offerMove =
            [&singleInstance](std::function<void(bool)> done) {
                // Without a home folder there is no Applications folder to move to.
                if (!HomeFolder::known()) {
                    done(false);
                    return;
                }
                const auto release = [&singleInstance] { singleInstance->release(); };
                MoveToApplications::system(Defaults::standard(), release).offerIfNeeded(std::move(done));
            },
    });
    // Connected before the start-up road, which may leave a dialog open.
    QObject::connect(singleInstance.get(), &SingleInstance::activationRequested, &tidewire,
                     [&tidewire, openSettings] { openSettings(tidewire.store()); });
    tidewire.launch();
    // Created at start-up, so a saved list works from the first moment; once
    // the strip window exists, so a listed application in front hides it.
    installHiddenStripHook(HiddenAppsController::shared(), TickerWindowController::shared());
    const int status = app.exec();
    testPause("quit");
    running = false;
    StripServices::install(nullptr);
    writePending(letGoOfClaim);
    claim = nullptr;
    return status;
}
