// The settings window's tabs on the real settings file and stores that
// reach the sample catalogue server: what each shows, what each control
// writes (and asks of the rest of the application), and that each follows a
// change made elsewhere while open.
#include "SettingsHarness.h"

#include "LogCapture.h"
#include "LoopbackServer.h"
#include "SampleCatalogue.h"
#include "markets/Keychain.h"
#include "platform/net/Endpoints.h"
#include "platform/x11/HiddenAppsController.h"
#include "platform/session/LaunchAtLogin.h"
#include "platform/session/NotificationCenter.h"
#include "platform/x11/ScreenNumbers.h"
#include "platform/storage/SettingsCatalogue.h"
#include "platform/session/UrlOpener.h"
#include "settings/AboutTab.h"
#include "settings/CatalogueFeedList.h"
#include "settings/CatalogueFeedRow.h"
#include "settings/CuratedTab.h"
#include "settings/DiagnosticsTab.h"
#include "settings/FeedFilterField.h"
#include "settings/ConfigRow.h"
#include "settings/FiltersTab.h"
#include "settings/FullScreenTab.h"
#include "settings/GeneralTab.h"
#include "settings/HomeTab.h"
#include "settings/MarketsTab.h"
#include "settings/MusicTab.h"
#include "settings/PersonalFeedsSection.h"
#include "settings/RSSTab.h"
#include "settings/SecondTickerTab.h"
#include "settings/SettingsView.h"
#include "settings/SourcesTab.h"
#include "settings/TickerTab.h"
#include "settings/WatchlistEditor.h"
#include "ticker/OrbPhraseLabel.h"
#include "ticker/StripConfig.h"
#include "ticker/StripOptions.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPointer>
#include <QLoggingCategory>
#include <QPushButton>
#include <QScreen>
#include <QSet>
#include <QSignalSpy>
#include <QSlider>
#include <algorithm>

namespace {


using SettingsViewTest = SettingsTest;

void postSelectTab(const QVariantMap& userInfo, const QString& name = QStringLiteral("tidewire.settings.selectTab"))
{
    NotificationCenter::shared().post(name, userInfo);
}

TEST_F(SettingsViewTest, SidebarListsTheTabsTheNotificationSwitchesOnlyToANamedOneAndDiagnosticsFollowsItsSetting)
{
    SettingsView view(*store, SettingsTab::Ticker);
    QStringList titles;
    for (int row = 0; row < view.sidebar()->count(); ++row)
        if (!view.sidebar()->isRowHidden(row))
            titles << view.sidebar()->item(row)->text();
    EXPECT_EQ(titles, (QStringList{"Home", "Ticker", "Second Ticker", "Full Screen", "Markets", "Music", "Curated",
                                   "Sources", "RSS", "Filters", "General", "About"}));
    EXPECT_EQ(view.selectedTab(), SettingsTab::Ticker);
    EXPECT_EQ(view.page(SettingsTab::Home), nullptr) << "pages are built when first selected";

    struct Post { const char* what; QVariantMap userInfo; QString name; SettingsTab expected; };
    const QString selectTab = QStringLiteral("tidewire.settings.selectTab");
    const QList<Post> posts = {
        {"a tab's title", {{"tab", "Markets"}}, selectTab, SettingsTab::Markets},
        {"no value", {}, selectTab, SettingsTab::Markets},
        {"a value that is not text", {{"tab", 4}}, selectTab, SettingsTab::Markets},
        {"a title in other case", {{"tab", "second ticker"}}, selectTab, SettingsTab::Markets},
        {"another key", {{"title", "About"}}, selectTab, SettingsTab::Markets},
        {"another notification", {{"tab", "About"}}, QStringLiteral("tidewire.settings.other"), SettingsTab::Markets},
        {"a hidden tab", {{"tab", "Diagnostics"}}, selectTab, SettingsTab::Markets},
        {"a two-word title", {{"tab", "Second Ticker"}}, selectTab, SettingsTab::SecondTicker},
    };
    for (const Post& p : posts) {
        SCOPED_TRACE(p.what);
        postSelectTab(p.userInfo, p.name);
        EXPECT_EQ(view.selectedTab(), p.expected);
        EXPECT_EQ(view.sidebar()->currentItem()->text(), SettingsTabs::title(p.expected));
        ASSERT_NE(view.page(p.expected), nullptr);
        EXPECT_TRUE(view.page(p.expected)->isVisibleTo(&view));
    }

    // Picking in the sidebar shows that page.
    view.sidebar()->setCurrentRow(10);
    EXPECT_EQ(view.selectedTab(), SettingsTab::General);
    EXPECT_NE(view.page(SettingsTab::General)->findChild<QPushButton*>(), nullptr);

    // Diagnostics is listed, and can be the first, only while showDebugTab is on.
    SettingsView debug(*store, SettingsTab::Debug);
    EXPECT_EQ(debug.selectedTab(), SettingsTab::Home) << "a hidden tab cannot be the first";
    EXPECT_FALSE(debug.isListed(SettingsTab::Debug));
    defaults->set("showDebugTab", true);
    EXPECT_TRUE(debug.isListed(SettingsTab::Debug));
    postSelectTab({{"tab", "Diagnostics"}});
    EXPECT_EQ(debug.selectedTab(), SettingsTab::Debug);
    defaults->set("showDebugTab", false);
    EXPECT_FALSE(debug.isListed(SettingsTab::Debug));
    EXPECT_EQ(debug.selectedTab(), SettingsTab::Home);
}

// What "Reset to Defaults" puts back: every setting of the main strip, of
// the second strip (with the older settings it falls back to), the board's
// monitor and the settings window at start-up, each with its documented
// default. Everything else the catalogue lists is kept: the user's data,
// the launch-at-login registration, first-run and move markers.
TEST_F(SettingsViewTest, ResetRestoresEveryPreferenceDefaultThenPlacesTheStrip)
{
    const QList<std::pair<QString, QJsonValue>> preferences = {
        {"scrollSpeed", 1.0}, {"tickerOpacity", 1.0}, {"tickerSize", 2}, {"tickerPosition", "top"},
        {"alwaysOnTop", true}, {"feedMix", "shuffle"}, {"nowPlayingEnabled", true}, {"musicBlendWithFeeds", false},
        {"themeBackground", "Black"}, {"roomListenEnabled", false}, {"secondTickerEnabled", false},
        {"stackedStripsJSON", ""}, {"stackedTickersSpike", false}, {"extraStripMixes", "latest"},
        {"dimReadItems", true}, {"weatherCity", "Dublin"}, {"preferredMonitor", ""},
        {"showSettingsAtStartup", false},
    };
    auto other = [](const QJsonValue& v) -> QJsonValue {
        if (v.isBool())
            return !v.toBool();
        if (v.isDouble())
            return v.toDouble() == 2 ? 4 : 0.25;
        return QStringLiteral("changed");
    };
    QHash<QString, QJsonValue> reset;
    for (const auto& [key, value] : preferences) {
        reset.insert(key, value);
        defaults->set(key, other(value));
    }
    // Every other key away from its default too.
    using SettingsCatalogue::Type;
    QHash<QString, QJsonValue> kept;
    for (const SettingsCatalogue::Entry& e : SettingsCatalogue::entries()) {
        if (reset.contains(e.key))
            continue;
        const QJsonValue changed = e.type == Type::Stored ? QJsonArray{QStringLiteral("kept")} : other(e.fallback);
        defaults->set(e.key, changed);
        kept.insert(e.key, changed);
    }
    for (const char* key : {"moveToApplicationsDeclined", "moveToApplicationsReassertLogin", "launchAtLogin", "hasLaunchedBefore",
                            "tickerMiniModeTransient", "personalFeeds.v1", "marketsWatchlist.v1", "disabledFeedIDs"})
        EXPECT_TRUE(kept.contains(QString::fromLatin1(key))) << key << " is in the catalogue and kept";

    // The strip is placed again only once everything is back.
    QStringList wrongWhenPlaced;
    services.onCall = [&](const QString& call) {
        for (const auto& [key, value] : preferences)
            if (call == QStringLiteral("reposition") && defaults->value(key) != value)
                wrongWhenPlaced << key;
    };
    GeneralTab tab(*store);
    click(tab.resetButton());
    EXPECT_EQ(services.calls, QStringList{QStringLiteral("reposition")});
    EXPECT_TRUE(wrongWhenPlaced.isEmpty()) << wrongWhenPlaced.join(", ").toStdString();

    ASSERT_TRUE(defaults->flush());
    const auto nextRun = Defaults::openFile(defaults->filePath());
    for (const auto& [key, value] : preferences)
        EXPECT_EQ(nextRun->value(key), value) << key.toStdString();
    for (auto it = kept.cbegin(); it != kept.cend(); ++it)
        EXPECT_EQ(nextRun->value(it.key()), it.value()) << it.key().toStdString() << ": not a preference";
    // The second strip is back to its own defaults, not to an older
    // setting's mix.
    EXPECT_EQ(StripConfig::load(*nextRun).first(), (StripConfig{"latest", 1.0, 2, "Black"}));
}

// The strip shows the weather of the stored city: once the reset puts the
// city back, the reading follows at once, as after the Ticker tab's field,
// not at the next five-minute refresh.
TEST_F(SettingsViewTest, ResetShowsTheWeatherOfTheDefaultCityAtOnce)
{
    auto city = [&] { return store->currentWeather() ? store->currentWeather()->city : QString(); };
    defaults->set("weatherCity", "Cork");
    startStore();
    ASSERT_TRUE(waitUntil([&] { return city() == QStringLiteral("Cork"); }));
    GeneralTab tab(*store);
    click(tab.resetButton());
    EXPECT_EQ(defaults->stringValue("weatherCity"), QStringLiteral("Dublin"));
    EXPECT_TRUE(waitUntil([&] { return city() == QStringLiteral("Dublin"); }, 3000)) << city().toStdString();
}

using ContentTabs = SettingsTest;

// Home, About and Diagnostics over one store that runs an older release.
TEST_F(ContentTabs, HomeAboutAndDiagnosticsShowTheStoreAndFollowIt)
{
    HomeTab booting(*store);
    EXPECT_EQ(booting.phaseLabel()->text(), QStringLiteral("Starting…"));
    EXPECT_EQ(booting.lastRefreshLabel()->text(), QStringLiteral("Not yet"));

    startStore(QStringLiteral("0.0.1"));
    HomeTab tab(*store);
    EXPECT_EQ(tab.phaseLabel()->text(), QStringLiteral("Running"));
    EXPECT_EQ(tab.statusLabel()->text(), QStringLiteral("Live"));
    EXPECT_EQ(tab.connectionLabel()->text(), QStringLiteral("Online"));
    EXPECT_EQ(tab.headlinesLabel()->text(), QString::number(store->items().size()));
    EXPECT_NE(tab.lastRefreshLabel()->text(), QStringLiteral("Not yet"));
    for (const auto& [label, call] : {std::pair{"Search…", "showSearch"}, {"Full Screen", "showFullScreen"}}) {
        services.calls.clear();
        const auto buttons = tab.findChildren<QPushButton*>();
        const auto b = std::find_if(buttons.cbegin(), buttons.cend(), [&](QPushButton* b) { return b->text() == QString::fromUtf8(label); });
        ASSERT_NE(b, buttons.cend()) << label;
        click(*b);
        EXPECT_EQ(services.calls, QStringList{QString::fromLatin1(call)});
    }

    Endpoints endpoints = Endpoints::builtIn();
    endpoints.apiBase = catalogue.baseUrl();
    Endpoints::setCurrent(endpoints);
    DiagnosticsTab diagnostics(*store);
    const QString report = diagnostics.reportLabel()->text();
    for (const QString& line : {QStringLiteral("Server API: ") + catalogue.baseUrl().toString(), QStringLiteral("Phase: Running"),
                                QStringLiteral("Catalogue feeds: ") + QString::number(store->feeds().size()),
                                QStringLiteral("Catalogue items: ") + QString::number(store->items().size()), QStringLiteral("Personal items: 0"),
                                QStringLiteral("Music lane items: 0"), QStringLiteral("Last refresh: ") + store->lastUpdated()->toUTC().toString(Qt::ISODate)})
        EXPECT_TRUE(report.split(QLatin1Char('\n')).contains(line)) << line.toStdString() << "\n" << report.toStdString();
    click(diagnostics.copyButton());
    EXPECT_EQ(clipboard.text(), report);
    Endpoints::setCurrent(Endpoints::fromEnvironment());

    // About offers the newer release until it is dismissed.
    ASSERT_TRUE(store->availableUpdate().has_value()) << "the sample catalogue offers a newer release";
    const ClientRelease release = *store->availableUpdate();
    AboutTab about(*store);
    EXPECT_EQ(about.updateLabel()->text(), QStringLiteral("Version ") + release.version + QStringLiteral(" is available"));
    EXPECT_FALSE(about.dismissButton()->isHidden());
    services.calls.clear();
    click(about.downloadButton());
    EXPECT_EQ(services.calls, QStringList{QStringLiteral("update:") + release.version + QLatin1Char(' ') + release.downloadURL()->toString()});
    click(about.dismissButton());
    EXPECT_EQ(defaults->stringValue("dismissedReleaseVersion"), release.version);
    EXPECT_EQ(about.updateLabel()->text(), QStringLiteral("You are up to date"));
    EXPECT_TRUE(about.dismissButton()->isHidden());
    EXPECT_TRUE(about.downloadButton()->isHidden());

    // Going offline shows at once, as do feeds switched off.
    ASSERT_NE(monitor, nullptr);
    monitor->setOnline(false);
    EXPECT_TRUE(waitUntil([&] { return tab.connectionLabel()->text() == QStringLiteral("Offline"); }));
    monitor->setOnline(true);
    const QString dropped = store->items().first().source->id;
    const auto fromDropped = [&] { return std::count_if(store->items().cbegin(), store->items().cend(), [&](const FeedItem& i) { return i.source && i.source->id == dropped; }); };
    ASSERT_GT(fromDropped(), 0);
    store->toggleFeed(dropped);
    time.advanceSeconds(0.3);
    ASSERT_TRUE(waitUntil([&] { return fromDropped() == 0; }));
    EXPECT_EQ(tab.headlinesLabel()->text(), QString::number(store->items().size()));
    store->setFeeds(store->activeFeedIDs(), false);
    time.advanceSeconds(0.3);
    EXPECT_TRUE(waitUntil([&] { return diagnostics.reportLabel()->text().contains(QStringLiteral("Catalogue items: 0")); }));
    EXPECT_EQ(tab.headlinesLabel()->text(), QStringLiteral("0"));
}

// One user action on a tab and what it must leave behind.
struct ControlCase { const char* what; std::function<void()> act; QString key; QJsonValue stored; bool repositions; };

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
        {"monitor", [&] { choose(tab.monitorPicker(), tab.monitorPicker()->itemText(monitorIndex)); }, "preferredMonitor", screenID, true},
        {"automatic monitor", [&] { choose(tab.monitorPicker(), QStringLiteral("Automatic")); }, "preferredMonitor", "", true},
        {"background", [&] { choose(tab.backgroundPicker(), QStringLiteral("Teal")); }, "themeBackground", "Teal", false},
        {"mix", [&] { choose(tab.mixPicker(), QStringLiteral("Latest")); }, "feedMix", "latest", false},
        {"opacity", [&] { tab.opacitySlider()->setValue(40); }, "tickerOpacity", 0.4, false},
        {"always on top", [&] { click(tab.alwaysOnTopSwitch()); }, "alwaysOnTop", false, true},
        {"dim read items", [&] { click(tab.dimReadSwitch()); }, "dimReadItems", false, false},
        {"weather city", [&] { tab.weatherCityField()->setText(QStringLiteral("  Cork ")); Q_EMIT tab.weatherCityField()->editingFinished(); }, "weatherCity", "Cork", false},
        {"weather city emptied", [&] { tab.weatherCityField()->clear(); Q_EMIT tab.weatherCityField()->editingFinished(); }, "weatherCity", "Dublin", false},
    });

    // The strip's menu (or another window) changes the settings: the tab,
    // still open, shows the new values.
    Defaults& d = Defaults::standard();
    for (const auto& [key, value] : {std::pair<const char*, QJsonValue>{"tickerSize", 1}, {"tickerPosition", "top"}, {"preferredMonitor", screenID},
                                     {"scrollSpeed", 0.5}, {"tickerOpacity", 0.75}, {"alwaysOnTop", true}, {"weatherCity", "Oslo"}})
        d.set(QString::fromLatin1(key), value);
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
        {"mix", [&] { choose(tab.mixPicker(), QStringLiteral("Market Quotes")); }, "stackedStripsJSON", R"([{"background":"Black","mix":"markets","size":2,"speed":2}])", false},
        {"speed", [&] { choose(tab.speedPicker(), QStringLiteral("Turbo (10×)")); }, "stackedStripsJSON", R"([{"background":"Black","mix":"markets","size":2,"speed":10}])", false},
        {"size", [&] { choose(tab.sizePicker(), QStringLiteral("Compact")); }, "stackedStripsJSON", R"([{"background":"Black","mix":"markets","size":1,"speed":10}])", true},
        {"background", [&] { choose(tab.backgroundPicker(), QStringLiteral("Purple")); }, "stackedStripsJSON", R"([{"background":"Purple","mix":"markets","size":1,"speed":10}])", false},
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

// New headlines arrive all the time; the Mix picker is the same control
// throughout, changes its options only when the set of categories changes,
// never while its list is open, and keeps the stored choice.
TEST_F(PreferenceTabs, SecondTickerMixPickerChangesOnlyWithItsOptionsAndNeverWhileOpen)
{
    startStore();
    SecondTickerTab tab(*store);
    tab.show();
    const QPointer<QComboBox> picker = tab.mixPicker();
    auto labels = [&] {
        QStringList out;
        for (int i = 0; i < picker->count(); ++i)
            out << picker->itemText(i);
        return out;
    };
    auto offered = [](const QList<FeedItem>& items) {
        QStringList out;
        for (const auto& option : StripOptions::stripMixOptions(items))
            out << option.label;
        return out;
    };
    auto without = [&](const QSet<QString>& sources) {
        QList<FeedItem> kept;
        for (const FeedItem& item : store->items())
            if (!item.source || !sources.contains(item.source->id))
                kept << item;
        return kept;
    };
    auto switchOff = [&](const QSet<QString>& sources) {
        store->setFeeds(QStringList(sources.cbegin(), sources.cend()), false);
        time.advanceSeconds(0.3);
        ASSERT_TRUE(waitUntil([&] { return without(sources).size() == store->items().size(); }));
    };
    const QStringList before = labels();
    ASSERT_GE(before.size(), 6) << "at least two categories";
    ASSERT_EQ(before, offered(store->items()));
    const QString chosen = before.at(4);
    choose(picker, chosen);

    // A source whose category others share, and every source of the last category.
    QSet<QString> sharing, lastCategory;
    auto findSources = [&] {
        sharing.clear();
        lastCategory.clear();
        for (const FeedItem& item : store->items()) {
            if (!item.source)
                continue;
            if (item.source->category && item.source->category->name == before.last())
                lastCategory << item.source->id;
            else if (sharing.isEmpty() && offered(without({item.source->id})) == before)
                sharing << item.source->id;
        }
        ASSERT_FALSE(sharing.isEmpty());
        ASSERT_FALSE(lastCategory.isEmpty());
    };
    ASSERT_NO_FATAL_FAILURE(findSources());

    // With the list closed, headlines that change but keep the categories
    // leave the entries as they are.
    QSignalSpy removed(picker->model(), &QAbstractItemModel::rowsRemoved);
    QSignalSpy reset(picker->model(), &QAbstractItemModel::modelReset);
    ASSERT_NO_FATAL_FAILURE(switchOff(sharing));
    EXPECT_EQ(removed.count() + reset.count(), 0) << "the entries were built again";
    EXPECT_EQ(labels(), before);
    EXPECT_EQ(picker->currentText(), chosen);
    ASSERT_NO_FATAL_FAILURE(findSources());

    picker->showPopup();
    ASSERT_TRUE(picker->view()->isVisible());
    switchOff(sharing);
    EXPECT_EQ(tab.mixPicker(), picker.data()) << "the same control";
    ASSERT_TRUE(picker);
    EXPECT_TRUE(picker->view()->isVisible()) << "the open list stays open";
    EXPECT_EQ(picker->currentText(), chosen);

    switchOff(lastCategory);
    EXPECT_EQ(labels(), before) << "nothing changes while the list is open";
    EXPECT_TRUE(picker->view()->isVisible());
    picker->hidePopup();
    QStringList after = before;
    after.removeLast();
    EXPECT_TRUE(waitUntil([&] { return labels() == after; })) << "the new set once the list is closed";
    EXPECT_EQ(picker->currentText(), chosen) << "the choice is kept";
    EXPECT_EQ(tab.mixPicker(), picker.data());
    EXPECT_TRUE(StripConfig::load(Defaults::standard()).first().mix.startsWith(QStringLiteral("cat:")));
}

TEST_F(PreferenceTabs, MusicTabWritesItsSwitchesAndFullScreenTabOpensTheBoard)
{
    MusicTab tab(*store);
    EXPECT_TRUE(tab.nowPlayingSwitch()->isChecked()) << "tuning to the music is on by default";
    EXPECT_FALSE(tab.blendSwitch()->isChecked());
    runCases({
        {"now playing", [&] { click(tab.nowPlayingSwitch()); }, "nowPlayingEnabled", false, false},
        {"blend", [&] { click(tab.blendSwitch()); }, "musicBlendWithFeeds", true, false},
    });
    Defaults::standard().set("musicBlendWithFeeds", false);
    EXPECT_FALSE(tab.blendSwitch()->isChecked());

    FullScreenTab fullScreen(*store);
    services.calls.clear();
    click(fullScreen.openButton());
    EXPECT_EQ(services.calls, QStringList{QStringLiteral("showFullScreen")});
    // A monitor that is not attached: the board opens on the primary screen.
    Defaults::standard().set("preferredMonitor", "4242");
    EXPECT_EQ(fullScreen.monitorLabel()->text(), QGuiApplication::primaryScreen()->name());
}

// The room switch shows "roomListenEnabled" as it is stored, whoever wrote
// it. Where music cannot be recognised it can only turn listening off:
// greyed out while off, with the reason beside it.
TEST_F(PreferenceTabs, MusicTabRoomSwitchShowsTheSettingAndOnlyTurnsItOffWithoutRecognition)
{
    Defaults& d = Defaults::standard();
    const QString reason = QStringLiteral("Room music recognition is not available on Linux.");
    struct Shown { bool checked; bool enabled; bool reasonShown; };
    auto shown = [](const MusicTab& tab) {
        return Shown{tab.roomSwitch()->isChecked(), tab.roomSwitch()->isEnabled(), !tab.roomReason()->isHidden()};
    };
    auto expect = [&](const MusicTab& tab, Shown want, const char* when) {
        SCOPED_TRACE(when);
        const Shown got = shown(tab);
        EXPECT_EQ(got.checked, want.checked);
        EXPECT_EQ(got.enabled, want.enabled);
        EXPECT_EQ(got.reasonShown, want.reasonShown);
    };

    services.roomListenerAvailable = false;
    MusicTab unavailable(*store);
    EXPECT_EQ(unavailable.roomReason()->text(), reason);
    expect(unavailable, {false, false, true}, "unavailable, off");
    d.set("roomListenEnabled", true);  // the strip's menu, or an earlier run
    expect(unavailable, {true, true, true}, "unavailable, switched on elsewhere");
    runCases({{"room off", [&] { click(unavailable.roomSwitch()); }, "roomListenEnabled", false, false}});
    expect(unavailable, {false, false, true}, "unavailable, switched off here");

    services.roomListenerAvailable = true;
    MusicTab available(*store);
    expect(available, {false, true, false}, "available, off");
    runCases({{"room on", [&] { click(available.roomSwitch()); }, "roomListenEnabled", true, false}});
    expect(available, {true, true, false}, "available, switched on here");
    d.set("roomListenEnabled", false);
    expect(available, {false, true, false}, "available, switched off elsewhere");
}

TEST_F(PreferenceTabs, GeneralTabWritesStartUpAndEditsTheHiddenApps)
{
    // A controller over this test's settings: the shared one keeps the
    // settings of whichever test made it first.
    HiddenAppsController hidden(Defaults::standard(), FrontAppMonitor::system());
    GeneralTab tab(*store, nullptr, nullptr, &hidden);
    runCases({{"settings at start-up", [&] { click(tab.startupSwitch()); }, "showSettingsAtStartup", true, false}});
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


class CuratedTabTest : public SettingsTest {
protected:
    // The feeds a set stands for, read from the server's own catalogue: the
    // active ones that published in the last hour, or of the pillar.
    QStringList sampleSet(const QString& set) const
    {
        const SampleCatalogue& c = catalogue.catalogue();
        const QDateTime now(QDate(2026, 1, 15), QTime(12, 0), Qt::UTC);
        QStringList ids;
        for (int i = 0; i < c.feeds().size(); ++i) {
            const bool member = set == CuratedTab::pulseID ? c.countWithin(i, now, 3600) > 0 : c.categoryOf(c.feeds()[i]).pillar == set;
            if (member && c.feeds()[i].state != FeedState::Inactive)
                ids.append(c.feeds()[i].id);
        }
        return ids;
    }
};

QSet<QString> setOf(const QStringList& list) { return QSet<QString>(list.cbegin(), list.cend()); }

QSet<QString> enabledFeeds(const FeedStore& store)
{
    QSet<QString> on;
    for (const FeedIndexItem& feed : store.feeds())
        if (!store.disabledIDs().contains(feed.id))
            on.insert(feed.id);
    return on;
}

TEST_F(CuratedTabTest, SwitchesPickTheUnionOfTheirSetsAndFollowTheStore)
{
    makeStore(serverBase());
    FeedStore& s = *store;
    CuratedTab tab(s);
    EXPECT_EQ(tab.setSwitch(CuratedTab::pulseID), nullptr) << "nothing to pick before the catalogue loads";
    s.start();
    ASSERT_TRUE(waitUntil([&] { return s.phase().isRunning() && s.pillars().size() >= 2; }));

    const QString first = s.pillars()[0].slug;
    const QString second = s.pillars()[1].slug;
    const QStringList pulse = sampleSet(CuratedTab::pulseID);
    const QStringList firstFeeds = sampleSet(first);
    const QStringList secondFeeds = sampleSet(second);
    ASSERT_FALSE(pulse.isEmpty());
    ASSERT_FALSE(firstFeeds.isEmpty());
    ASSERT_FALSE(secondFeeds.isEmpty());
    ASSERT_NE(setOf(firstFeeds), setOf(pulse));
    const QSet<QString> bestRanked = setOf(s.defaultFeedIDs(s.feeds(), FeedStore::MaxRequestedFeeds));
    EXPECT_EQ(tab.currentLabel()->text(), QStringLiteral("Feeds chosen one by one · %1 feeds active").arg(s.activeFeedCount()));

    // "stored" is "activeCuratedIDs"; empty: removed.
    struct Step { const char* what; QString set; bool on; QSet<QString> sets, feeds; QString stored; };
    const QString both = std::min(first, second) + QLatin1Char(',') + std::max(first, second);
    const QList<Step> steps = {
        {"pulse alone", CuratedTab::pulseID, true, {CuratedTab::pulseID}, setOf(pulse), QStringLiteral("pulse")},
        {"a pillar added", first, true, {CuratedTab::pulseID, first}, setOf(pulse) | setOf(firstFeeds), first < QStringLiteral("pulse") ? first + QStringLiteral(",pulse") : QStringLiteral("pulse,") + first},
        {"pulse let go", CuratedTab::pulseID, false, {first}, setOf(firstFeeds), first},
        {"two pillars", second, true, {first, second}, setOf(firstFeeds) | setOf(secondFeeds), both},
        {"the second pillar let go", second, false, {first}, setOf(firstFeeds), first},
        {"none left: the best-ranked feeds", first, false, {}, bestRanked, QString()},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        QCheckBox* box = tab.setSwitch(step.set);
        ASSERT_NE(box, nullptr);
        ASSERT_NE(box->isChecked(), step.on);
        QTest::mouseClick(box, Qt::LeftButton);
        EXPECT_EQ(s.activeCuratedIDs(), step.sets);
        EXPECT_EQ(enabledFeeds(s), step.feeds);
        EXPECT_EQ(defaults->value(QStringLiteral("activeCuratedIDs")), step.stored.isEmpty() ? QJsonValue() : QJsonValue(step.stored));
        for (const QString& id : {CuratedTab::pulseID, first, second})
            EXPECT_EQ(tab.setSwitch(id)->isChecked(), step.sets.contains(id)) << id.toStdString();
    }

    // A set picked and shown by name; then a feed switched by hand in Sources
    // ends the curated selection, and the tab says so.
    QTest::mouseClick(tab.setSwitch(first), Qt::LeftButton);
    EXPECT_EQ(tab.currentLabel()->text(), QStringLiteral("%1 · %2 feeds active").arg(s.pillars()[0].name).arg(firstFeeds.size()));
    s.toggleFeed(firstFeeds.first());
    EXPECT_FALSE(tab.setSwitch(first)->isChecked());
    EXPECT_EQ(tab.currentLabel()->text(), QStringLiteral("Feeds chosen one by one · %1 feeds active").arg(firstFeeds.size() - 1));
}


using FiltersTabTest = SettingsTest;

TEST_F(FiltersTabTest, PhrasesAreAddedTrimmedMovedBetweenListsAndRemoved)
{
    FiltersTab tab(*store, nullptr, filters.get(), reads.get(), defaults.get());
    struct Step { const char* what; bool mutedList, remove; QString text; QStringList muted, followed; };
    const QList<Step> steps = {
        {"trimmed, case kept", true, false, QStringLiteral("  Apple \n"), {"Apple"}, {}},
        {"same phrase in another case", true, false, QStringLiteral("apple"), {"Apple"}, {}},
        {"blank", true, false, QStringLiteral("   "), {"Apple"}, {}},
        {"following moves it over", false, false, QStringLiteral("APPLE"), {}, {"APPLE"}},
        {"second muted phrase", true, false, QStringLiteral("Mars rover"), {"Mars rover"}, {"APPLE"}},
        {"third muted phrase", true, false, QStringLiteral("storm"), {"Mars rover", "storm"}, {"APPLE"}},
        {"removal keeps the order of the rest", true, true, QStringLiteral("Mars rover"), {"storm"}, {"APPLE"}},
        {"removal of the followed one", false, true, QStringLiteral("APPLE"), {"storm"}, {}},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        if (step.remove) {
            QPushButton* remove = tab.removeButton(step.mutedList, step.text);
            ASSERT_NE(remove, nullptr);
            QTest::mouseClick(remove, Qt::LeftButton);
        } else {
            QLineEdit* field = step.mutedList ? tab.muteField() : tab.followField();
            field->setText(step.text);
            QTest::keyClick(field, Qt::Key_Return);
            EXPECT_TRUE(field->text().trimmed().isEmpty());
        }
        EXPECT_EQ(filters->muted(), step.muted);
        EXPECT_EQ(filters->followed(), step.followed);
        EXPECT_EQ(tab.shownMuted(), step.muted);
        EXPECT_EQ(tab.shownFollowed(), step.followed);
        EXPECT_EQ(defaults->stringList(FilterStore::MutedKey), step.muted);
        EXPECT_EQ(defaults->stringList(FilterStore::FollowedKey), step.followed);
    }

    // The strip's keyword menu mutes a word: the tab lists it at once.
    filters->mute(QStringLiteral("Eclipse"));
    EXPECT_EQ(tab.shownMuted(), (QStringList{"storm", "Eclipse"}));
    FakeTime::settle();  // removed rows go
    EXPECT_EQ(tab.shownMuted(), (QStringList{"storm", "Eclipse"}));
}

TEST_F(FiltersTabTest, AFullListSaysSoWhereThePhraseWasGivenAndKeepsIt)
{
    QStringList mutedFull, followedFull;
    for (qsizetype i = 0; i < FilterStore::kMaxPhrases; ++i) {
        mutedFull.append(QStringLiteral("muted %1").arg(i));
        followedFull.append(QStringLiteral("followed %1").arg(i));
    }
    filters->setMuted(mutedFull);
    filters->setFollowed(followedFull);
    filters->save();
    FiltersTab tab(*store, nullptr, filters.get(), reads.get(), defaults.get());
    FakeUrlOpener opener;
    OrbPhraseLabel keyword(QStringLiteral("NEW"), std::nullopt, 12, QStringLiteral("New phrase"), *filters, opener);

    struct Case { const char* what; bool muted; QString line; };
    const Case cases[] = {
        {"muted", true, QStringLiteral("You're at 200 muted phrases. Remove one to add another.")},
        {"followed", false, QStringLiteral("You're at 200 followed phrases. Remove one to add another.")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QLineEdit* field = c.muted ? tab.muteField() : tab.followField();
        field->setText(QStringLiteral("  New phrase"));
        QTest::keyClick(field, Qt::Key_Return);
        EXPECT_EQ(field->text(), QStringLiteral("  New phrase")) << "what was typed stays";
        EXPECT_EQ(tab.fullListLine(c.muted), c.line);
        EXPECT_EQ(c.muted ? filters->muted() : filters->followed(), c.muted ? mutedFull : followedFull);

        // The keyword menu greys out the entry that would add, the line under it.
        const auto menu = keyword.contextMenu();
        const QList<QAction*> entries = menu->actions();
        const qsizetype at = c.muted ? 0 : 2;
        ASSERT_EQ(entries.size(), 4);
        EXPECT_EQ(entries[at]->text(), (c.muted ? QStringLiteral("Mute “") : QStringLiteral("Follow “"))
                      + QStringLiteral("New phrase”"));
        EXPECT_FALSE(entries[at]->isEnabled());
        EXPECT_EQ(entries[at + 1]->text(), c.line);
        EXPECT_FALSE(entries[at + 1]->isEnabled());
    }

    // Room again: the line goes, and the kept phrase goes in with the next Enter.
    QTest::mouseClick(tab.removeButton(true, QStringLiteral("muted 0")), Qt::LeftButton);
    EXPECT_TRUE(tab.fullListLine(true).isEmpty());
    QTest::keyClick(tab.muteField(), Qt::Key_Return);
    EXPECT_EQ(filters->muted().last(), QStringLiteral("New phrase"));
    EXPECT_TRUE(tab.muteField()->text().isEmpty());
    EXPECT_TRUE(keyword.contextMenu()->actions().at(0)->isEnabled());
}

// A phrase too long for its row is cut with "…" and can be read whole in
// the row's tool tip; one that fits has none.
TEST_F(FiltersTabTest, APhraseCutInItsRowShowsWholeInItsToolTip)
{
    const QString longPhrase =
        QStringLiteral("central bank interest rate decision announcement and press conference coverage");
    const QString shortPhrase = QStringLiteral("storm");
    filters->mute(longPhrase);
    filters->mute(shortPhrase);
    filters->follow(longPhrase + QStringLiteral(" live"));
    FiltersTab tab(*store, nullptr, filters.get(), reads.get(), defaults.get());
    tab.resize(900, 700);
    tab.show();
    // {muted list, phrase, tool tip}
    const std::tuple<bool, QString, QString> rows[] = {
        {true, longPhrase, longPhrase},
        {true, shortPhrase, QString()},
        {false, longPhrase + QStringLiteral(" live"), longPhrase + QStringLiteral(" live")},
    };
    for (const auto& [muted, phrase, tip] : rows) {
        SCOPED_TRACE(phrase.toStdString());
        QPushButton* remove = tab.removeButton(muted, phrase);
        ASSERT_NE(remove, nullptr);
        auto* row = qobject_cast<ConfigRow*>(remove->parentWidget());
        ASSERT_NE(row, nullptr);
        EXPECT_EQ(row->label()->toolTip(), tip);
    }
}

TEST_F(FiltersTabTest, DimSwitchAndReadHistoryFollowTheSettingsBothWays)
{
    reads->markRead(QStringLiteral("a"));
    reads->markRead(QStringLiteral("b"));
    FiltersTab tab(*store, nullptr, filters.get(), reads.get(), defaults.get());

    // Dimming is on when never set; the switch writes the key.
    EXPECT_TRUE(tab.dimSwitch()->isChecked());
    QTest::mouseClick(tab.dimSwitch(), Qt::LeftButton);
    EXPECT_EQ(defaults->value(QStringLiteral("dimReadItems")), QJsonValue(false));
    defaults->set(QStringLiteral("dimReadItems"), true);
    EXPECT_TRUE(tab.dimSwitch()->isChecked());
    EXPECT_EQ(defaults->value(QStringLiteral("dimReadItems")), QJsonValue(true)) << "showing a change writes nothing back";

    EXPECT_EQ(tab.historyLabel()->text(), QStringLiteral("2 headlines remembered"));
    reads->markRead(QStringLiteral("c"));
    EXPECT_EQ(tab.historyLabel()->text(), QStringLiteral("3 headlines remembered"));
    ASSERT_TRUE(tab.clearHistoryButton()->isEnabled());
    QTest::mouseClick(tab.clearHistoryButton(), Qt::LeftButton);
    EXPECT_TRUE(reads->order().isEmpty());
    EXPECT_FALSE(reads->isRead(QStringLiteral("a")));
    EXPECT_EQ(defaults->value(ReadStore::StorageKey), QJsonValue(QJsonArray()));
    EXPECT_EQ(tab.historyLabel()->text(), QStringLiteral("0 headlines remembered"));
    EXPECT_FALSE(tab.clearHistoryButton()->isEnabled());

    // All of it is in the file a restart reads.
    const QJsonObject file = QJsonDocument::fromJson(settingsFile()).object();
    EXPECT_EQ(file.value(QStringLiteral("dimReadItems")), QJsonValue(true));
    EXPECT_EQ(file.value(ReadStore::StorageKey), QJsonValue(QJsonArray()));
}


class MarketsTabTest : public SettingsTest {
protected:
    static void typeKey(MarketsTab& tab, const QString& key) { QTest::keyClicks(tab.keyField(), key); QTest::mouseClick(tab.saveKeyButton(), Qt::LeftButton); }
    std::optional<QString> storedKey() { return secrets.read(Keychain::kService, Keychain::kFinnhubAccount); }
    QStringList storedWatchlist() const
    {
        QStringList out;
        for (const QJsonValue& entry : defaults->arrayValue(MarketsStore::kWatchlistKey))
            out.append(entry[QStringLiteral("symbol")].toString());
        return out;
    }
};

TEST_F(MarketsTabTest, KeyIsSavedTrimmedIntoTheKeyringAndItsStateShowsLive)
{
    FakeUrlOpener opener;
    UrlOpener::setSystem(&opener);
    MarketsTab tab(*store, nullptr, &markets(), defaults.get());
    EXPECT_EQ(tab.keyField()->echoMode(), QLineEdit::Password);
    EXPECT_EQ(tab.keyStatusLabel()->text(), QStringLiteral("No key stored"));
    EXPECT_FALSE(tab.removeKeyButton()->isEnabled());

    typeKey(tab, QStringLiteral("  sample-key "));
    EXPECT_EQ(storedKey(), QStringLiteral("sample-key"));
    EXPECT_TRUE(tab.keyField()->text().isEmpty()) << "the field lets go of the key";
    EXPECT_EQ(tab.keyStatusLabel()->text(), QStringLiteral("Checking the key…"));
    ASSERT_TRUE(waitUntil([&] { return tab.keyStatusLabel()->text() == QStringLiteral("Key accepted"); }));
    EXPECT_TRUE(tab.removeKeyButton()->isEnabled());
    // A later refresh finds the key refused.
    markets().setKeyStatus(MarketsStore::KeyStatus::rejected());
    EXPECT_EQ(tab.keyStatusLabel()->text(), QStringLiteral("Finnhub rejected this key"));

    QTest::mouseClick(tab.removeKeyButton(), Qt::LeftButton);
    EXPECT_EQ(storedKey(), std::nullopt);
    EXPECT_EQ(tab.keyStatusLabel()->text(), QStringLiteral("No key stored"));
    EXPECT_FALSE(tab.removeKeyButton()->isEnabled());

    QTest::mouseClick(tab.registerButton(), Qt::LeftButton);
    EXPECT_EQ(opener.opened, QList<QUrl>{MarketsStore::finnhubRegisterURL()});
    UrlOpener::setSystem(nullptr);
}

// The keyring answers after the tab opened: the tab follows what the store
// learns, and a read that fails shows why instead of "No key stored".
TEST_F(MarketsTabTest, TheKeyringsLateAnswerAndAFailedReadShow)
{
    ASSERT_TRUE(secrets.write(Keychain::kService, Keychain::kFinnhubAccount, QStringLiteral("stored-key")).has_value());
    secrets.holdReads = true;
    MarketsTab tab(*store, nullptr, &markets(), defaults.get());
    EXPECT_EQ(tab.keyStatusLabel()->text(), QStringLiteral("Checking the key…"));
    EXPECT_FALSE(tab.removeKeyButton()->isEnabled());
    secrets.holdReads = false;
    secrets.release();
    ASSERT_TRUE(waitUntil([&] { return tab.removeKeyButton()->isEnabled(); }));
    EXPECT_EQ(tab.keyField()->placeholderText(), QStringLiteral("A key is stored; paste another to replace it"));

    secrets.failReads = true;  // reading back after the removal fails
    QTest::mouseClick(tab.removeKeyButton(), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return tab.keyStatusLabel()->text().startsWith(QStringLiteral("Could not read the Finnhub key: ")); }))
        << tab.keyStatusLabel()->text().toStdString();
    EXPECT_EQ(storedKey(), std::nullopt);
    EXPECT_FALSE(tab.removeKeyButton()->isEnabled());
    EXPECT_FALSE(tab.keyStatusLabel()->text().contains(QStringLiteral("stored-key")));
}

// Save and Remove return at once while the keyring takes its time (it may be
// asking the user to unlock it); the status shows the outcome when it comes.
TEST_F(MarketsTabTest, TheKeyringsAnswerToASaveOrRemovalShowsWhenItComes)
{
    MarketsTab tab(*store, nullptr, &markets(), defaults.get());
    secrets.holdWrites = true;
    typeKey(tab, QStringLiteral("sample-key"));
    EXPECT_EQ(storedKey(), std::nullopt) << "still with the keyring";
    EXPECT_TRUE(tab.keyField()->text().isEmpty());
    EXPECT_EQ(tab.keyStatusLabel()->text(), QStringLiteral("Checking the key…"));
    EXPECT_FALSE(tab.removeKeyButton()->isEnabled());
    secrets.release();
    ASSERT_TRUE(waitUntil([&] { return tab.keyStatusLabel()->text() == QStringLiteral("Key accepted"); }));
    EXPECT_EQ(storedKey(), QStringLiteral("sample-key"));
    EXPECT_TRUE(tab.removeKeyButton()->isEnabled());

    secrets.failWrites = true;
    QTest::mouseClick(tab.removeKeyButton(), Qt::LeftButton);
    EXPECT_EQ(tab.keyStatusLabel()->text(), QStringLiteral("Key accepted")) << "nothing is known yet";
    secrets.release();
    ASSERT_TRUE(waitUntil([&] { return tab.keyStatusLabel()->text().startsWith(QStringLiteral("Could not remove the Finnhub key: ")); }))
        << tab.keyStatusLabel()->text().toStdString();
    EXPECT_EQ(storedKey(), QStringLiteral("sample-key"));
    EXPECT_TRUE(tab.removeKeyButton()->isEnabled());

    secrets.failWrites = false;
    QTest::mouseClick(tab.removeKeyButton(), Qt::LeftButton);
    secrets.release();
    ASSERT_TRUE(waitUntil([&] { return tab.keyStatusLabel()->text() == QStringLiteral("No key stored"); }));
    EXPECT_EQ(storedKey(), std::nullopt);
    EXPECT_FALSE(tab.removeKeyButton()->isEnabled());
    secrets.holdWrites = false;
}

TEST_F(MarketsTabTest, ShowOnSecondTickerSwitchesItOnWithTheMixAndPlacesTheStripsAgain)
{
    defaults->set(QStringLiteral("scrollSpeed"), 1.5);
    defaults->set(QStringLiteral("themeBackground"), QStringLiteral("Teal"));
    MarketsTab tab(*store, nullptr, &markets(), defaults.get());
    EXPECT_EQ(tab.secondTickerLabel()->text(), QStringLiteral("The second ticker is off"));

    QTest::mouseClick(tab.secondTickerButton(), Qt::LeftButton);
    EXPECT_EQ(defaults->value(StripConfig::enabledKey), QJsonValue(true));
    const QJsonArray strips = QJsonDocument::fromJson(defaults->stringValue(StripConfig::stripsKey).toUtf8()).array();
    EXPECT_EQ(strips, (QJsonArray{QJsonObject{{"mix", "markets"}, {"speed", 1.5}, {"size", 2}, {"background", "Teal"}}})) << "only the mix changes";
    EXPECT_EQ(services.calls.count(QStringLiteral("reposition")), 1);
    EXPECT_EQ(tab.secondTickerLabel()->text(), QStringLiteral("Shown on the second ticker"));
    EXPECT_FALSE(tab.secondTickerButton()->isEnabled());

    // The strip's menu picks another mix, then switches the strip off.
    StripConfig::setField(*defaults, 0, &StripConfig::mix, QStringLiteral("latest"));
    EXPECT_EQ(tab.secondTickerLabel()->text(), QStringLiteral("The second ticker shows another mix"));
    EXPECT_TRUE(tab.secondTickerButton()->isEnabled());
    defaults->set(StripConfig::enabledKey, false);
    EXPECT_EQ(tab.secondTickerLabel()->text(), QStringLiteral("The second ticker is off"));
}

TEST_F(MarketsTabTest, EachAddShowsItsOutcomeAndOnlyAddedSymbolsAreStored)
{
    MarketsTab tab(*store, nullptr, &markets(), defaults.get());
    WatchlistEditor& editor = *tab.watchlist();
    QSignalSpy finished(&editor, &WatchlistEditor::addFinished);
    struct Add { bool coin; QString input, outcome; QStringList symbols; };
    const auto run = [&](const Add& add) {
        SCOPED_TRACE(add.input.toStdString());
        QLineEdit* field = add.coin ? editor.coinField() : editor.stockField();
        field->setText(add.input);
        QTest::keyClick(field, Qt::Key_Return);
        EXPECT_FALSE(editor.isAdding() && editor.addCoinButton()->isEnabled()) << "one add at a time";
        ASSERT_TRUE(finished.count() == 1 || finished.wait(10000));
        finished.clear();
        EXPECT_EQ(editor.outcomeLabel()->text(), add.outcome);
        EXPECT_EQ(editor.shownSymbols(), add.symbols);
        EXPECT_EQ(storedWatchlist(), add.symbols);
        EXPECT_EQ(field->text().isEmpty(), add.outcome.startsWith(QStringLiteral("Added"))) << "a failed add keeps the input";
    };

    run({false, QStringLiteral("nwnd"), QStringLiteral("Save a Finnhub key above to add stocks"), {}});
    typeKey(tab, QStringLiteral("sample-key"));
    const QList<Add> adds = {
        {false, QStringLiteral(" $nwnd "), QStringLiteral("Added NWND (Northwind Systems Inc)"), {"NWND"}},
        {false, QStringLiteral("NWND"), QStringLiteral("Already on your watchlist"), {"NWND"}},
        {false, QStringLiteral("NWND.L"), QStringLiteral("Your Finnhub plan does not include that symbol"), {"NWND"}},
        {false, QStringLiteral("ZZZZ"), QStringLiteral("Finnhub has no price for that symbol"), {"NWND"}},
        {true, QStringLiteral("sol"), QStringLiteral("Added SOL (Solana)"), {"NWND", "SOL"}},
        {true, QStringLiteral("zzqqxx"), QStringLiteral("CoinGecko found no such coin"), {"NWND", "SOL"}},
    };
    for (const Add& add : adds)
        run(add);

    // A picked suggestion is added under the name it was shown with.
    editor.stockField()->clear();
    QTest::keyClicks(editor.stockField(), QStringLiteral("kest"));
    ASSERT_TRUE(waitUntil([&] { return editor.suggestions()->count() > 0; }));
    QListWidgetItem* kestrel = editor.suggestions()->item(0);
    EXPECT_EQ(kestrel->data(Qt::UserRole).toString(), QStringLiteral("KSTL"));
    Q_EMIT editor.suggestions()->itemClicked(kestrel);
    ASSERT_TRUE(finished.wait(10000));
    EXPECT_EQ(editor.outcomeLabel()->text(), QStringLiteral("Added KSTL (KESTREL AEROSPACE INC)"));
    EXPECT_EQ(storedWatchlist(), (QStringList{"NWND", "SOL", "KSTL"}));
    EXPECT_EQ(editor.suggestions()->count(), 0);
}

TEST_F(MarketsTabTest, HoldingsAndRemovalGoThroughTheStoreAndFollowIt)
{
    defaults->set(MarketsStore::kWatchlistKey, QJsonArray{QJsonObject{{"symbol", "NWND"}, {"kind", "stock"}, {"name", "Northwind"}},
                                                          QJsonObject{{"symbol", "SOL"}, {"kind", "coin"}, {"name", "Solana"}, {"coinId", "solana"}}});
    MarketsTab tab(*store, nullptr, &markets(), defaults.get());
    WatchlistEditor& editor = *tab.watchlist();
    ASSERT_EQ(editor.shownSymbols(), (QStringList{"NWND", "SOL"}));

    struct Edit { const char* what; QString units, cost; std::optional<double> storedUnits, storedCost; QString note; };  // note empty: none shown
    const QList<Edit> edits = {
        {"a holding", "10", "100", 10, 100, {}},
        {"half a holding waits", "12", "", 10, 100, "NWND: enter both units and buy price"},
        {"not a number", "x", "100", 10, 100, "NWND: units and buy price must be numbers"},
        {"no units", "0", "5", std::nullopt, std::nullopt, "NWND: units must be above 0 and the buy price 0 or more; the holding was cleared"},
        {"free shares", "3", "0", 3, 0, {}},
        {"both emptied", "", "", std::nullopt, std::nullopt, {}},
    };
    for (const Edit& edit : edits) {
        SCOPED_TRACE(edit.what);
        editor.unitsField(QStringLiteral("NWND"))->setText(edit.units);
        editor.costField(QStringLiteral("NWND"))->setText(edit.cost);
        QTest::keyClick(editor.costField(QStringLiteral("NWND")), Qt::Key_Return);
        const WatchSymbol& nwnd = markets().watchlist().first();
        EXPECT_EQ(nwnd.units, edit.storedUnits);
        EXPECT_EQ(nwnd.cost, edit.storedCost);
        const QJsonObject stored = defaults->arrayValue(MarketsStore::kWatchlistKey)[0].toObject();
        EXPECT_EQ(stored.value(QStringLiteral("units")).toDouble(-1), edit.storedUnits.value_or(-1));
        EXPECT_EQ(editor.holdingNote()->isVisibleTo(&tab) ? editor.holdingNote()->text() : QString(), edit.note);
    }

    // Changes from elsewhere show in the rows.
    markets().setHolding(QStringLiteral("SOL"), 2, 50);
    EXPECT_EQ(editor.unitsField(QStringLiteral("SOL"))->text(), QStringLiteral("2"));
    EXPECT_EQ(editor.costField(QStringLiteral("SOL"))->text(), QStringLiteral("50"));
    QTest::mouseClick(editor.removeButton(QStringLiteral("NWND")), Qt::LeftButton);
    EXPECT_EQ(storedWatchlist(), QStringList{"SOL"});
    EXPECT_EQ(editor.shownSymbols(), QStringList{"SOL"});
    // The rebuilt row keeps its place in the keyboard order, above the add fields.
    QWidget* next = editor.removeButton(QStringLiteral("SOL"))->nextInFocusChain();
    while (!(next->focusPolicy() & Qt::TabFocus)) next = next->nextInFocusChain();
    EXPECT_EQ(next, editor.stockField()) << next->metaObject()->className();
    markets().remove(QStringLiteral("SOL"));
    EXPECT_TRUE(editor.shownSymbols().isEmpty());
    EXPECT_EQ(editor.countLabel()->text(), QStringLiteral("0 of 10"));
}

// With several rows, a holding shows in its own row only: typed into row k,
// cleared by the store without a change to announce, or set elsewhere.
TEST_F(MarketsTabTest, AHoldingShowsInItsOwnRowAndNoOther)
{
    QJsonArray list;
    for (const char* symbol : {"AAA", "BBB", "CCC", "DDD"})
        list.append(QJsonObject{{"symbol", symbol}, {"kind", "stock"}, {"name", symbol}});
    defaults->set(MarketsStore::kWatchlistKey, list);
    MarketsTab tab(*store, nullptr, &markets(), defaults.get());
    WatchlistEditor& editor = *tab.watchlist();
    ASSERT_EQ(editor.shownSymbols(), (QStringList{"AAA", "BBB", "CCC", "DDD"}));

    struct Edit { const char* what; QString symbol; bool typed; QString units, cost; QString shownUnits, shownCost; };
    const QList<Edit> edits = {
        {"typed into the first row", "AAA", true, "1", "10", "1", "10"},
        {"typed into a middle row", "CCC", true, "3", "30", "3", "30"},
        {"typed into the last row", "DDD", true, "4", "40", "4", "40"},
        {"an invalid pair where none was stored: the row is emptied", "BBB", true, "0", "5", "", ""},
        {"an invalid pair clears a stored one", "CCC", true, "-1", "5", "", ""},
        {"set elsewhere", "BBB", false, "2", "20", "2", "20"},
        {"cleared elsewhere", "AAA", false, "", "", "", ""},
    };
    QHash<QString, std::pair<QString, QString>> shown;
    for (const QString& symbol : editor.shownSymbols())
        shown.insert(symbol, {QString(), QString()});
    for (const Edit& edit : edits) {
        SCOPED_TRACE(edit.what);
        if (edit.typed) {
            editor.unitsField(edit.symbol)->setText(edit.units);
            editor.costField(edit.symbol)->setText(edit.cost);
            QTest::keyClick(editor.costField(edit.symbol), Qt::Key_Return);
        } else if (edit.units.isEmpty()) {
            markets().setHolding(edit.symbol, std::nullopt, std::nullopt);
        } else {
            markets().setHolding(edit.symbol, edit.units.toDouble(), edit.cost.toDouble());
        }
        shown[edit.symbol] = {edit.shownUnits, edit.shownCost};
        for (const QString& symbol : editor.shownSymbols()) {
            EXPECT_EQ(editor.unitsField(symbol)->text(), shown[symbol].first) << symbol.toStdString();
            EXPECT_EQ(editor.costField(symbol)->text(), shown[symbol].second) << symbol.toStdString();
        }
    }
}

// Every road the key travels, failures included, logging at every level:
// none leaves it in the settings file, the log or a text on screen.
TEST_F(MarketsTabTest, FinnhubKeyNeverReachesTheSettingsFileTheLogOrTheScreen)
{
    const QString key = QStringLiteral("tw-private-KEY-4711");
    LoopbackServer finnhub;
    auto cut = LoopbackServer::Response::json(R"({"c":101.5,"d":1,"dp":1,"t":1715976000})");
    cut.cutAfter = 8;
    finnhub.route(QStringLiteral("/api/v1/quote"), cut);
    finnhub.route(QStringLiteral("/api/v1/search"), LoopbackServer::Response::withStatus(502));
    Endpoints e = Endpoints::builtIn();
    e.apiBase = e.finnhubBase = e.coingeckoBase = finnhub.baseUrl();
    MarketsStore own(*defaults, secrets, time, time, e);

    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=true"));
    LogCapture log;
    {
        MarketsTab tab(*store, nullptr, &own, defaults.get());
        typeKey(tab, key);
        ASSERT_TRUE(waitUntil([&] { return own.keyStatus().kind == MarketsStore::KeyStatus::Kind::Error; }));
        WatchlistEditor& editor = *tab.watchlist();
        QSignalSpy finished(&editor, &WatchlistEditor::addFinished);
        QTest::keyClicks(editor.stockField(), QStringLiteral("AAPL"));
        QTest::mouseClick(editor.addStockButton(), Qt::LeftButton);
        ASSERT_TRUE(finished.wait(10000));
        EXPECT_TRUE(editor.outcomeLabel()->text().startsWith(QStringLiteral("Could not reach Finnhub: ")));
        own.stripAppeared();
        ASSERT_TRUE(waitUntil([&] { return own.lastUpdated().has_value(); }));
        own.stripDisappeared();
        QTest::mouseClick(tab.secondTickerButton(), Qt::LeftButton);  // the settings file gets written

        for (const QLabel* label : tab.findChildren<QLabel*>())
            EXPECT_FALSE(label->text().contains(key)) << label->text().toStdString();
        for (const QLineEdit* field : tab.findChildren<QLineEdit*>())
            EXPECT_FALSE(field->text().contains(key) || field->placeholderText().contains(key));
    }
    QLoggingCategory::setFilterRules(QString());

    EXPECT_EQ(storedKey(), key);
    EXPECT_GT(finnhub.requestCount(QStringLiteral("/api/v1/search")), 0);
    EXPECT_FALSE(log.lines().isEmpty()) << "the failures were logged";
    for (const LogCapture::Line& line : log.lines())
        EXPECT_FALSE(line.message.contains(key)) << line.message.toStdString();
    const QByteArray file = settingsFile();
    EXPECT_TRUE(file.contains("stackedStripsJSON"));
    EXPECT_FALSE(file.contains("4711"));
}


class FeedTabs : public SettingsTest {
protected:
    FeedTabs() : SettingsTest(3) {}
    void SetUp() override { startStore(); }

    QStringList idsWhere(const std::function<bool(const FeedIndexItem&)>& pick) const
    {
        QStringList ids;
        for (const FeedIndexItem& feed : store->feeds())
            if (pick(feed)) ids.append(feed.id);
        return ids;
    }
    static bool isActive(const FeedIndexItem& feed) { return feed.isActive.value_or(true); }

    // The selection as stored and as shown by every row of `list`.
    void expectSelection(const CatalogueFeedList& list, const QSet<QString>& off)
    {
        EXPECT_EQ(store->disabledIDs(), off);
        QStringList sorted(off.cbegin(), off.cend());
        sorted.sort();
        EXPECT_EQ(defaults->stringValue(QStringLiteral("disabledFeedIDs")), sorted.join(QLatin1Char(',')));
        for (const CatalogueFeedRow* row : list.rows()) {
            SCOPED_TRACE(row->feedId().toStdString());
            EXPECT_EQ(row->isOn(), row->isActive() && !off.contains(row->feedId()));
            EXPECT_EQ(row->enableSwitch()->isEnabled(), row->isActive());
        }
    }
};

struct Step { const char* what; std::function<void()> act; QSet<QString> off; };

TEST_F(FeedTabs, SourcesSwitchesWriteTheSelectionAndShowChangesMadeElsewhere)
{
    SourcesTab tab(*store);
    CatalogueFeedList& list = *tab.list();
    const QStringList all = idsWhere([](const FeedIndexItem&) { return true; });
    const QStringList active = idsWhere(isActive);
    ASSERT_EQ(list.rows().size(), all.size()) << "every catalogue feed is listed";
    ASSERT_LT(active.size(), all.size()) << "the sample catalogue has inactive feeds";
    // The store announces every write of its catalogue; the same catalogue
    // again keeps the rows (and the scroll position) as they are.
    const CatalogueFeedRow* firstRow = list.rows().first();
    Q_EMIT store->feedsChanged();
    EXPECT_EQ(list.rows().first(), firstRow);

    const QString first = active.first();
    const QString last = active.last();
    const CatalogueFeedList::Category category = *std::find_if(list.categories().cbegin(), list.categories().cend(), [&](const auto& c) { return c.feedIds.contains(first); });
    const QSet<QString> categoryIds(category.feedIds.cbegin(), category.feedIds.cend());
    ASSERT_GT(categoryIds.size(), 1);
    auto click = [](QWidget* w) { QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(w->width() / 2, w->height() / 2)); };

    const QList<Step> steps = {
        {"a feed's switch off", [&] { click(list.row(first)->enableSwitch()); }, {first}},
        {"the same switch on", [&] { click(list.row(first)->enableSwitch()); }, {}},
        {"its whole category off", [&] { click(category.toggle); }, categoryIds},
        {"its whole category on", [&] { click(category.toggle); }, {}},
        {"a feed switched off elsewhere", [&] { store->toggleFeed(last); }, {last}},
        {"a category switched off elsewhere", [&] { store->setFeeds(category.feedIds, false); }, categoryIds + QSet<QString>{last}},
        {"the category on again here", [&] { click(category.toggle); }, {last}},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        step.act();
        expectSelection(list, step.off);
        const auto offActive = std::count_if(active.cbegin(), active.cend(), [&](const QString& id) { return step.off.contains(id); });
        EXPECT_EQ(tab.countLine()->text(), QStringLiteral("%1 of %2 feeds on").arg(active.size() - offActive).arg(active.size()));
        const auto categoryActive = std::count_if(category.feedIds.cbegin(), category.feedIds.cend(), [&](const QString& id) { return list.row(id)->isActive(); });
        const auto categoryOn = std::count_if(category.feedIds.cbegin(), category.feedIds.cend(), [&](const QString& id) { return list.row(id)->isActive() && !step.off.contains(id); });
        EXPECT_EQ(category.count->text(), QStringLiteral("%1 of %2 on").arg(categoryOn).arg(categoryActive));
        EXPECT_EQ(category.toggle->isChecked(), categoryOn == categoryActive);
    }
}

struct FilterCase { QString text; std::function<bool(const FeedIndexItem&)> shows; };

TEST_F(FeedTabs, SourcesFilterShowsTheFeedsItNames)
{
    SourcesTab tab(*store);
    CatalogueFeedList& list = *tab.list();
    const QList<FilterCase> cases = {
        {QStringLiteral("orbital report"), [](const FeedIndexItem& f) { return f.title == QStringLiteral("Orbital Report"); }},
        {QStringLiteral(" YouTube "), [](const FeedIndexItem& f) { return f.sourceType == SourceType::YouTube; }},
        {QStringLiteral("no feed is called this"), [](const FeedIndexItem&) { return false; }},
        {QString(), [](const FeedIndexItem&) { return true; }},
    };
    for (const FilterCase& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        tab.filterField()->setText(c.text);
        QStringList shown;
        for (const CatalogueFeedRow* row : list.visibleRows())
            shown.append(row->feedId());
        const QStringList expected = idsWhere(c.shows);
        EXPECT_EQ(QSet<QString>(shown.cbegin(), shown.cend()), QSet<QString>(expected.cbegin(), expected.cend()));
        EXPECT_EQ(list.noMatchText()->isVisibleTo(&list), expected.isEmpty());
        for (const CatalogueFeedList::Category& category : list.categories()) {
            const bool anyShown = std::any_of(category.feedIds.cbegin(), category.feedIds.cend(), [&](const QString& id) { return shown.contains(id); });
            EXPECT_EQ(category.block->isVisibleTo(&list), anyShown) << category.name.toStdString();
        }
    }
}

TEST_F(FeedTabs, RssTabListsRssFeedsAndShowsOwnFeedsOnlyWithoutAFilter)
{
    PersonalStore personal({feed(QStringLiteral("Mine"), QStringLiteral("https://mine.example/rss"))});
    RSSTab tab(*store, nullptr, personal.store.get());
    CatalogueFeedList& list = *tab.list();
    QStringList listed;
    for (const CatalogueFeedRow* row : list.rows())
        listed.append(row->feedId());
    const QStringList rssFeeds = idsWhere([](const FeedIndexItem& f) { return f.sourceType.value_or(SourceType::Rss) == SourceType::Rss; });
    EXPECT_EQ(listed, rssFeeds);
    EXPECT_LT(rssFeeds.size(), store->feeds().size()) << "other kinds are left out";
    ASSERT_NE(tab.personalSection(), nullptr);
    EXPECT_TRUE(tab.showsPersonalFeeds());
    EXPECT_EQ(tab.personalSection()->countLine()->text(), QStringLiteral("1 of 1 on \u00B7 private to this computer"));

    const QString first = idsWhere([&](const FeedIndexItem& f) { return isActive(f) && rssFeeds.contains(f.id); }).first();
    const QStringList others = rssFeeds.mid(rssFeeds.indexOf(first) + 1, 2);
    const QList<Step> steps = {
        {"a feed's switch off", [&] { QTest::mouseClick(list.row(first)->enableSwitch(), Qt::LeftButton); }, {first}},
        {"two more switched off elsewhere", [&] { store->setFeeds(others, false); }, QSet<QString>{first} + setOf(others)},
        {"the first on again here", [&] { QTest::mouseClick(list.row(first)->enableSwitch(), Qt::LeftButton); }, setOf(others)},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        step.act();
        expectSelection(list, step.off);
    }

    tab.filterField()->setText(QStringLiteral("capitol"));
    EXPECT_FALSE(tab.showsPersonalFeeds());
    ASSERT_EQ(list.visibleRows().size(), 1);
    EXPECT_EQ(list.visibleRows().first()->titleLabel()->text(), QStringLiteral("Capitol Column"));
    tab.filterField()->clear();
    EXPECT_TRUE(tab.showsPersonalFeeds());
    EXPECT_EQ(list.visibleRows().size(), rssFeeds.size());
}

} // namespace
