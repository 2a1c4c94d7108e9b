// Shared main of every test executable: an offscreen QApplication with
// private XDG config, cache and data folders, removed when the run ends.
// (QStandardPaths' test mode is not used: it ignores these folders and
// keeps one settings file under the home folder for every run.)
#include <QApplication>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/config")).toUtf8());
    qputenv("XDG_CACHE_HOME", (home.path() + QStringLiteral("/cache")).toUtf8());
    qputenv("XDG_DATA_HOME", (home.path() + QStringLiteral("/data")).toUtf8());
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    ::testing::InitGoogleMock(&argc, argv);
    const int result = RUN_ALL_TESTS();
    // Work the last test queued (a stopped coroutine resumes through the
    // event loop to finish) runs before exit, as the next test would run it.
    QCoreApplication::sendPostedEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return result;
}
