// A real X11 window under tests/support/run-with-xvfb.sh: proves the runner
// gives tests a working X server and window manager that outside tools see.
#include <QGuiApplication>
#include <QProcess>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>

namespace {

QString mode()
{
    return qEnvironmentVariable("TIDEWIRE_DISPLAY_TEST");
}

QString run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(10000) || process.exitStatus() != QProcess::NormalExit) {
        ADD_FAILURE() << qPrintable(program) << " did not finish";
        return {};
    }
    return QString::fromUtf8(process.readAllStandardOutput());
}

class WindowSystem : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (mode().startsWith(QLatin1String("missing:")))
            GTEST_SKIP() << "no X server to test against: " << qPrintable(mode().mid(8));
        ASSERT_EQ(mode(), QStringLiteral("xvfb"))
            << "run through ctest: these tests need the X server of run-with-xvfb.sh";
        ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
    }
};

TEST_F(WindowSystem, AShownWidgetIsARealManagedX11Window)
{
    QWidget window;
    window.setWindowTitle(QStringLiteral("Tidewire window check"));
    window.resize(320, 40);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    const WId id = window.winId();
    ASSERT_NE(id, WId(0));
    const QString hexId = QStringLiteral("0x%1").arg(id, 0, 16);

    // The window manager lists it among its clients once it manages it.
    EXPECT_TRUE(QTest::qWaitFor([&] {
        return run(QStringLiteral("xprop"), {QStringLiteral("-root"), QStringLiteral("_NET_CLIENT_LIST")})
            .contains(hexId);
    })) << "openbox does not manage " << qPrintable(hexId);

    const QString name = run(QStringLiteral("xprop"), {QStringLiteral("-id"), hexId, QStringLiteral("_NET_WM_NAME")});
    EXPECT_TRUE(name.contains(QStringLiteral("\"Tidewire window check\""))) << qPrintable(name);

    const QString found = run(QStringLiteral("xdotool"),
                              {QStringLiteral("search"), QStringLiteral("--name"), QStringLiteral("^Tidewire window check$")});
    EXPECT_TRUE(found.split(QLatin1Char('\n'), Qt::SkipEmptyParts).contains(QString::number(id))) << qPrintable(found);
}

}  // namespace
