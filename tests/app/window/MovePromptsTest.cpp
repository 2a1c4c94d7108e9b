// The move offer's dialogs on a private X server managed by openbox, while
// the user works in another application's window: each dialog comes to the
// front and is the active window.
#include "XvfbDisplay.h"
#include "X11Probe.h"
#include "app/MoveToApplications.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>
#include <gtest/gtest.h>

namespace {

// Starts another application's window and makes it the active one; its id.
WId startActiveApp(QProcess& app)
{
    app.start(QStringLiteral(FOREIGN_WINDOW), {"firefox", "News – Browser"});
    const WId id = app.waitForReadyRead(30000) ? app.readLine().trimmed().toULongLong() : 0;
    if (id)
        waitFor([id] {
            QProcess::execute("xdotool", {"windowactivate", "--sync", QString::number(id)});
            return X11Probe::activeWindow() == id;
        });
    return id;
}

// Closes the next modal dialog once the window manager has made it the
// active window, or after thirty seconds regardless; `active` says which.
void closeNextModalOnceActive(bool& active)
{
    auto* poll = new QTimer;
    auto limit = std::make_shared<QElapsedTimer>();
    limit->start();
    QObject::connect(poll, &QTimer::timeout, poll, [poll, limit, &active] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible())
            return;
        active = X11Probe::activeWindow() == modal->winId();
        if (!active && limit->elapsed() < 30000)
            return;
        poll->stop();
        poll->deleteLater();
        qobject_cast<QDialog*>(modal)->reject();
    });
    poll->start(20);
}

TEST(MovePrompts, EachDialogComesToTheFrontOverTheActiveApplication)
{
    TIDEWIRE_REQUIRE_XVFB();
    QProcess app;
    const WId other = startActiveApp(app);
    ASSERT_NE(other, WId(0));
    ASSERT_EQ(X11Probe::activeWindow(), other);
    QTemporaryDir folder;
    MoveToApplications::Prompts& prompts = MoveToApplications::Prompts::dialogs();
    bool closed = false;
    const std::pair<const char*, std::function<void()>> dialogs[] = {
        {"the offer", [&] { prompts.offer("Move Tidewire to your Applications folder?", "Tidewire is running from Downloads.",
                                          [&closed](bool) { closed = true; }); }},
        {"the folder chooser", [&] { prompts.chooseFolder(folder.path(), [&closed](auto) { closed = true; }); }},
        {"an alert", [&] { prompts.alert("Couldn't move Tidewire", "No space left on device", [&closed] { closed = true; }); }},
    };
    for (const auto& [name, show] : dialogs) {
        SCOPED_TRACE(name);
        QProcess::execute("xdotool", {"windowactivate", "--sync", QString::number(other)});
        ASSERT_TRUE(waitFor([other] { return X11Probe::activeWindow() == other; }));
        // The user works in it: a click, later than anything this app saw.
        QProcess::execute("xdotool", {"mousemove", "--window", QString::number(other), "20", "20", "click", "1"});
        bool active = false;
        closeNextModalOnceActive(active);
        closed = false;
        show();
        // Closed at the latest thirty seconds after it showed.
        ASSERT_TRUE(QTest::qWaitFor([&closed] { return closed; }, 60000)) << "never closed";
        EXPECT_TRUE(active) << "opened behind the active application";
    }
    app.kill();
    app.waitForFinished();
}

} // namespace
