// The preference tabs on the real settings file: each control writes its
// key (and asks for the strip to be placed again where placement changes),
// and each shows a change made elsewhere without being rebuilt.
#include "SettingsHarness.h"
#include "platform/HiddenAppsController.h"
#include "platform/LaunchAtLogin.h"
#include "platform/ScreenNumbers.h"
#include "settings/FullScreenTab.h"
#include "settings/GeneralTab.h"
#include "settings/MusicTab.h"
#include "settings/SecondTickerTab.h"
#include "settings/TickerTab.h"
#include "ticker/StripConfig.h"

#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QSlider>

namespace {

// One user action on a tab and what it must leave behind.
struct ControlCase {
    const char* what;
    std::function<void()> act;
    QString key;
    QJsonValue stored;
    bool repositions;
};

class PreferenceTabs : public SettingsTest {
protected:
    void runCases(const QList<ControlCase>& cases)
    {
        for (const ControlCase& c : cases) {
            SCOPED_TRACE(c.what);
            services.calls.clear();
            c.act();
            EXPECT_EQ(defaults->value(c.key), c.stored);
            EXPECT_EQ(services.calls.count(QStringLiteral("reposition")), c.repositions ? 1 : 0);
        }
        // Everything written is in the settings file for the next run.
        ASSERT_TRUE(defaults->flush());
        const auto nextRun = Defaults::openFile(defaults->filePath());
        for (const ControlCase& c : cases)
            EXPECT_EQ(nextRun->value(c.key), defaults->value(c.key)) << c.key.toStdString();
    }
};

TEST_F(PreferenceTabs, TickerTabWritesTheStripSettingsAndFollowsTheMenu)
{
    TickerTab tab(*store);
    QScreen* screen = QGuiApplication::primaryScreen();
    ASSERT_NE(screen, nullptr);
    const QString screenID = QString::number(ScreenNumbers::screenNumber(screen));
    const int monitorIndex = tab.monitorPicker()->findData(screenID);
    ASSERT_GE(monitorIndex, 1) << "the picker lists the attached screen after Automatic";
    EXPECT_EQ(tab.monitorPicker()->currentText(), QStringLiteral("Automatic"));

    runCases({
        {"speed", [&] { choose(tab.speedPicker(), QStringLiteral("Fast (5×)")); }, "scrollSpeed", 5.0, false},
        {"size", [&] { choose(tab.sizePicker(), QStringLiteral("Large")); }, "tickerSize", 4, true},
        {"position", [&] { choose(tab.positionPicker(), QStringLiteral("Bottom")); }, "tickerPosition", "bottom", true},
        {"monitor",
         [&] { choose(tab.monitorPicker(), tab.monitorPicker()->itemText(monitorIndex)); },
         "preferredMonitor", screenID, true},
        {"automatic monitor", [&] { choose(tab.monitorPicker(), QStringLiteral("Automatic")); }, "preferredMonitor",
         "", true},
        {"background", [&] { choose(tab.backgroundPicker(), QStringLiteral("Teal")); }, "themeBackground", "Teal", false},
        {"mix", [&] { choose(tab.mixPicker(), QStringLiteral("Latest")); }, "feedMix", "latest", false},
        {"opacity", [&] { tab.opacitySlider()->setValue(40); }, "tickerOpacity", 0.4, false},
        {"always on top", [&] { click(tab.alwaysOnTopSwitch()); }, "alwaysOnTop", false, true},
        {"dim read items", [&] { click(tab.dimReadSwitch()); }, "dimReadItems", false, false},
        {"weather city",
         [&] {
             tab.weatherCityField()->setText(QStringLiteral("  Cork "));
             Q_EMIT tab.weatherCityField()->editingFinished();
         },
         "weatherCity", "Cork", false},
        {"weather city emptied",
         [&] {
             tab.weatherCityField()->clear();
             Q_EMIT tab.weatherCityField()->editingFinished();
         },
         "weatherCity", "Dublin", false},
    });

    // The strip's menu (or another window) changes the settings: the tab,
    // still open, shows the new values.
    Defaults& d = Defaults::standard();
    d.set("tickerSize", 1);
    d.set("tickerPosition", "top");
    d.set("preferredMonitor", screenID);
    d.set("scrollSpeed", 0.5);
    d.set("tickerOpacity", 0.75);
    d.set("alwaysOnTop", true);
    d.set("weatherCity", "Oslo");
    EXPECT_EQ(tab.sizePicker()->currentText(), QStringLiteral("Compact"));
    EXPECT_EQ(tab.positionPicker()->currentText(), QStringLiteral("Top"));
    EXPECT_EQ(tab.monitorPicker()->currentIndex(), monitorIndex);
    EXPECT_EQ(tab.speedPicker()->currentText(), QStringLiteral("Slow (0.5×)"));
    EXPECT_EQ(tab.opacitySlider()->value(), 75);
    EXPECT_TRUE(tab.alwaysOnTopSwitch()->isChecked());
    EXPECT_EQ(tab.weatherCityField()->text(), QStringLiteral("Oslo"));
    // A stored size of 0 and an unplugged monitor read as their defaults.
    d.set("tickerSize", 0);
    d.set("preferredMonitor", "4242");
    EXPECT_EQ(tab.sizePicker()->currentText(), QStringLiteral("Standard"));
    EXPECT_EQ(tab.monitorPicker()->currentText(), QStringLiteral("Automatic"));
    EXPECT_EQ(d.stringValue("preferredMonitor"), QStringLiteral("4242")) << "the choice is kept for its return";
}

TEST_F(PreferenceTabs, SecondTickerTabKeepsItsOwnStripConfiguration)
{
    startStore();
    SecondTickerTab tab(*store);
    Defaults& d = Defaults::standard();
    // Until the second strip has a configuration of its own it shows the
    // main strip's settings.
    d.set("scrollSpeed", 2.0);
    EXPECT_EQ(tab.speedPicker()->currentText(), QStringLiteral("Quick (2×)"));

    auto strip = [&] { return StripConfig::load(d).first(); };
    const int categories = tab.mixPicker()->count() - 4;
    EXPECT_GT(categories, 0) << "the catalogue's categories are offered as mixes";
    const QString category = tab.mixPicker()->itemText(4);

    runCases({
        {"switch on", [&] { click(tab.enabledSwitch()); }, "secondTickerEnabled", true, true},
        {"mix", [&] { choose(tab.mixPicker(), QStringLiteral("Market Quotes")); }, "stackedStripsJSON",
         R"([{"background":"Black","mix":"markets","size":2,"speed":2}])", false},
        {"speed", [&] { choose(tab.speedPicker(), QStringLiteral("Turbo (10×)")); }, "stackedStripsJSON",
         R"([{"background":"Black","mix":"markets","size":2,"speed":10}])", false},
        {"size", [&] { choose(tab.sizePicker(), QStringLiteral("Compact")); }, "stackedStripsJSON",
         R"([{"background":"Black","mix":"markets","size":1,"speed":10}])", true},
        {"background", [&] { choose(tab.backgroundPicker(), QStringLiteral("Purple")); }, "stackedStripsJSON",
         R"([{"background":"Purple","mix":"markets","size":1,"speed":10}])", false},
        {"switch off", [&] { click(tab.enabledSwitch()); }, "secondTickerEnabled", false, true},
    });
    // The main strip's own settings were never touched.
    EXPECT_EQ(d.doubleValue("scrollSpeed", 0), 2.0);
    EXPECT_FALSE(d.contains("tickerSize"));

    choose(tab.mixPicker(), category);
    EXPECT_TRUE(strip().mix.startsWith(QStringLiteral("cat:"))) << strip().mix.toStdString();

    // The strip's menu edits the same configuration.
    StripConfig::setField(d, 0, &StripConfig::size, 4);
    StripConfig::setField(d, 0, &StripConfig::mix, QStringLiteral("music"));
    d.set("secondTickerEnabled", true);
    EXPECT_EQ(tab.sizePicker()->currentText(), QStringLiteral("Large"));
    EXPECT_EQ(tab.mixPicker()->currentText(), QStringLiteral("Music Lane"));
    EXPECT_TRUE(tab.enabledSwitch()->isChecked());
}

TEST_F(PreferenceTabs, MusicTabWritesItsSwitchesAndShowsRoomListeningUnavailable)
{
    MusicTab tab(*store);
    EXPECT_TRUE(tab.nowPlayingSwitch()->isChecked()) << "tuning to the music is on by default";
    EXPECT_FALSE(tab.blendSwitch()->isChecked());
    runCases({
        {"now playing", [&] { click(tab.nowPlayingSwitch()); }, "nowPlayingEnabled", false, false},
        {"blend", [&] { click(tab.blendSwitch()); }, "musicBlendWithFeeds", true, false},
    });
    Defaults::standard().set("musicBlendWithFeeds", false);
    Defaults::standard().set("roomListenEnabled", true);
    EXPECT_FALSE(tab.blendSwitch()->isChecked());
    EXPECT_FALSE(tab.roomSwitch()->isChecked());
    EXPECT_FALSE(tab.roomSwitch()->isEnabled());
    EXPECT_EQ(tab.roomReason()->text(), QStringLiteral("Room music recognition is not available on Linux."));
}

TEST_F(PreferenceTabs, FullScreenTabOpensTheBoardAndNamesItsMonitor)
{
    FullScreenTab tab(*store);
    click(tab.openButton());
    EXPECT_EQ(services.calls, QStringList{QStringLiteral("showFullScreen")});

    // A monitor that is not attached: the board opens on the primary screen.
    Defaults::standard().set("preferredMonitor", "4242");
    EXPECT_EQ(tab.monitorLabel()->text(), QGuiApplication::primaryScreen()->name());
}

TEST_F(PreferenceTabs, GeneralTabWritesStartUpAndEditsTheHiddenApps)
{
    GeneralTab tab(*store);
    runCases({
        {"settings at start-up", [&] { click(tab.startupSwitch()); }, "showSettingsAtStartup", true, false},
    });
    Defaults::standard().set("showSettingsAtStartup", false);
    EXPECT_FALSE(tab.startupSwitch()->isChecked());

    // Launch at login: the switch shows the registration's real state, and a
    // failed change says why instead of pretending.
    LaunchAtLogin& login = LaunchAtLogin::shared();
    const bool before = login.isEnabled();
    EXPECT_EQ(tab.loginSwitch()->isChecked(), before);
    click(tab.loginSwitch());
    const bool after = login.isEnabled();
    EXPECT_EQ(tab.loginSwitch()->isChecked(), after);
    if (after == before) {
        EXPECT_FALSE(tab.loginError()->isHidden());
        EXPECT_EQ(tab.loginError()->text(), QStringLiteral("Could not change launch at login: ") + login.lastError());
        EXPECT_FALSE(Defaults::standard().contains("launchAtLogin"));
    } else {
        EXPECT_TRUE(tab.loginError()->isHidden());
        EXPECT_EQ(Defaults::standard().value("launchAtLogin"), QJsonValue(after));
        login.setEnabled(before);
    }

    // Hidden apps: typed names are trimmed, duplicates and blanks ignored,
    // removal takes the selected one; the list follows the controller.
    HiddenAppsController& hidden = HiddenAppsController::shared();
    for (const QString& app : hidden.bundleIDs())
        hidden.remove(app);
    for (const char* typed : {"  zoom ", "zoom", "   ", "vlc"}) {
        tab.appField()->setText(QString::fromUtf8(typed));
        click(tab.addButton());
    }
    EXPECT_EQ(hidden.bundleIDs(), (QStringList{"zoom", "vlc"}));
    EXPECT_EQ(tab.hiddenList()->count(), 2);
    tab.hiddenList()->setCurrentRow(0);
    click(tab.removeButton());
    EXPECT_EQ(hidden.bundleIDs(), QStringList{"vlc"});
    hidden.add(QStringLiteral("obs"));
    ASSERT_EQ(tab.hiddenList()->count(), 2);
    EXPECT_EQ(tab.hiddenList()->item(1)->text(), QStringLiteral("obs"));
    hidden.remove(QStringLiteral("vlc"));
    hidden.remove(QStringLiteral("obs"));
}

} // namespace
