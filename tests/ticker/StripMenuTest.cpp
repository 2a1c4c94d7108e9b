#include "LoopbackServer.h"
#include "StripFixture.h"
#include "TickerTestUtil.h"
#include "ticker/StripConfig.h"
#include "ticker/StripContextMenu.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QMenu>
#include <gtest/gtest.h>

namespace {

// One line per entry: "-" for a separator, "text" with " [x]"/" [ ]" for a
// checkable entry and " (off)" when disabled, "text >" for a submenu.
QStringList entries(const QMenu& menu)
{
    QStringList out;
    for (QAction* a : menu.actions()) {
        if (a->isSeparator()) {
            out << "-";
            continue;
        }
        QString line = a->text();
        if (a->menu())
            line += " >";
        if (a->isCheckable())
            line += a->isChecked() ? " [x]" : " [ ]";
        if (!a->isEnabled())
            line += " (off)";
        out << line;
    }
    return out;
}

QAction* find(const QMenu& menu, const QString& path)
{
    const QStringList parts = path.split(u'/');
    const QMenu* current = &menu;
    QAction* found = nullptr;
    for (const QString& part : parts) {
        found = nullptr;
        for (QAction* a : current->actions()) {
            if (a->text() == part) {
                found = a;
                break;
            }
        }
        if (!found)
            return nullptr;
        current = found->menu();
    }
    return found;
}

QStringList checked(const QMenu& menu, const QString& submenu)
{
    QStringList out;
    QAction* sub = find(menu, submenu);
    if (!sub || !sub->menu())
        return {"<no submenu>"};
    for (QAction* a : sub->menu()->actions()) {
        if (a->isChecked())
            out << a->text();
    }
    return out;
}

class StripMenuTest : public ::testing::Test {
protected:
    StripFixture f;
    std::unique_ptr<TickerView> view = f.makeView();

    std::unique_ptr<QMenu> menu() { return view->contextMenu(); }
    void trigger(const QString& path)
    {
        auto m = menu();
        QAction* a = find(*m, path);
        ASSERT_TRUE(a) << path.toStdString();
        a->trigger();
    }
};

TEST_F(StripMenuTest, EntriesInOrderWithTheirTexts)
{
    const QStringList expected = {
        "Mini Mode [ ]",
        "Second Ticker >",
        "Full Screen",
        "-",
        "Search…",
        "Refresh Now",
        "-",
        "Position >",
        "Size >",
        "Speed >",
        "Feed Mix >",
        "Background >",
        "Always on Top [x]",
        "Tune to Music [x]",
        "Blend Music with My Feeds [ ]",
        "Listen to the Room [ ]",
        "-",
        "Settings...",
        "Quit Tidewire",
    };
    auto m = menu();
    EXPECT_EQ(entries(*m), expected);
    EXPECT_EQ(m->actions().size(), 19) << "no update on offer";

    EXPECT_EQ(entries(*find(*m, "Position")->menu()), (QStringList{"Top [x]", "Bottom [ ]"}));
    EXPECT_EQ(entries(*find(*m, "Size")->menu()), (QStringList{"Compact [ ]", "Standard [x]", "Large [ ]"}));
    EXPECT_EQ(entries(*find(*m, "Speed")->menu()),
              (QStringList{"Slow (0.5×) [ ]", "Normal (1×) [x]", "Quick (2×) [ ]", "Fast (5×) [ ]", "Turbo (10×) [ ]"}));
    EXPECT_EQ(entries(*find(*m, "Feed Mix")->menu()), (QStringList{"Shuffle [x]", "Latest [ ]"}));
    EXPECT_EQ(entries(*find(*m, "Background")->menu()),
              (QStringList{"Black [x]", "Red [ ]", "Blue [ ]", "Green [ ]", "Purple [ ]", "Teal [ ]"}));
    EXPECT_EQ(entries(*find(*m, "Second Ticker")->menu()), QStringList{"Second Ticker [ ]"});
}

TEST_F(StripMenuTest, CheckmarksFollowTheStoredValues)
{
    struct Case {
        QString key;
        QJsonValue value;
        QString submenu;
        QStringList checkedEntries;
    };
    const QList<Case> cases = {
        {TickerView::positionKey, "bottom", "Position", {"Bottom"}},
        {TickerView::positionKey, "left", "Position", {}},
        {TickerView::sizeKey, 4, "Size", {"Large"}},
        {TickerView::sizeKey, 3, "Size", {}},
        {TickerView::sizeKey, 0, "Size", {}},
        {TickerView::scrollSpeedKey, 2.0, "Speed", {"Quick (2×)"}},
        {TickerView::scrollSpeedKey, 3.0, "Speed", {}},
        {TickerView::feedMixKey, "latest", "Feed Mix", {"Latest"}},
        {TickerView::feedMixKey, "music", "Feed Mix", {}},
        {TickerView::feedMixKey, "cat:tech", "Feed Mix", {}},
        {TickerView::themeKey, "Teal", "Background", {"Teal"}},
        {TickerView::themeKey, "teal", "Background", {}},
    };
    for (const Case& c : cases) {
        f.defaults().set(c.key, c.value);
        EXPECT_EQ(checked(*menu(), c.submenu), c.checkedEntries) << c.key.toStdString();
    }
}

TEST_F(StripMenuTest, PickersAndTogglesWriteTheirSettings)
{
    struct Case {
        QString path;
        QString key;
        QJsonValue value;
    };
    const QList<Case> cases = {
        {"Position/Bottom", TickerView::positionKey, "bottom"},
        {"Position/Top", TickerView::positionKey, "top"},
        {"Size/Large", TickerView::sizeKey, 4},
        {"Size/Compact", TickerView::sizeKey, 1},
        {"Speed/Turbo (10×)", TickerView::scrollSpeedKey, 10.0},
        {"Speed/Slow (0.5×)", TickerView::scrollSpeedKey, 0.5},
        {"Feed Mix/Latest", TickerView::feedMixKey, "latest"},
        {"Background/Purple", TickerView::themeKey, "Purple"},
        {"Always on Top", TickerView::alwaysOnTopKey, false},
        {"Always on Top", TickerView::alwaysOnTopKey, true},
        {"Tune to Music", TickerView::tuneToMusicKey, false},
        {"Tune to Music", TickerView::tuneToMusicKey, true},
        {"Blend Music with My Feeds", TickerView::blendKey, true},
        {"Listen to the Room", TickerView::listenKey, true},
        {"Second Ticker/Second Ticker", TickerView::secondTickerKey, true},
        {"Second Ticker/Second Ticker", TickerView::secondTickerKey, false},
    };
    for (const Case& c : cases) {
        trigger(c.path);
        EXPECT_EQ(f.defaults().value(c.key), c.value) << c.path.toStdString();
    }
    // Choosing Large grows the strip and places the window again.
    f.services.calls.clear();
    trigger("Size/Large");
    EXPECT_EQ(view->height(), 108);
    EXPECT_EQ(f.services.count("reposition"), 1);
}

TEST_F(StripMenuTest, MusicSwitchesAreGreyedOutButKeepTheirChecksWithoutTuning)
{
    f.defaults().set(TickerView::blendKey, true);
    f.defaults().set(TickerView::tuneToMusicKey, false);
    auto m = menu();
    EXPECT_TRUE(entries(*m).contains("Blend Music with My Feeds [x] (off)"));
    EXPECT_TRUE(entries(*m).contains("Listen to the Room [ ] (off)"));
    EXPECT_TRUE(entries(*m).contains("Tune to Music [ ]"));
}

TEST_F(StripMenuTest, ServiceEntries)
{
    struct Case {
        QString path;
        QString call;
    };
    const QList<Case> cases = {
        {"Full Screen", "showFullScreen"},
        {"Search…", "showSearch"},
        {"Settings...", "showSettings:<none>"},
        {"Quit Tidewire", "quit"},
    };
    for (const Case& c : cases) {
        f.services.calls.clear();
        trigger(c.path);
        EXPECT_EQ(f.services.calls, QStringList{c.call}) << c.path.toStdString();
    }
}

TEST_F(StripMenuTest, MiniModeEntryToggles)
{
    view->show();
    f.services.calls.clear();
    trigger("Mini Mode");
    EXPECT_TRUE(view->isMiniMode());
    EXPECT_TRUE(entries(*menu()).contains("Mini Mode [x]"));
    EXPECT_EQ(f.services.count("reposition"), 1);
    trigger("Mini Mode");
    EXPECT_FALSE(view->isMiniMode());
}

TEST_F(StripMenuTest, SecondTickerSubmenu)
{
    f.load({categorised("a", "A", "tech", "Arts & Tech"), categorised("b", "B", "sci")});
    f.defaults().set(TickerView::secondTickerKey, true);
    f.defaults().set(StripConfig::legacyMixesKey, "music");
    auto m = menu();
    QMenu* sub = find(*m, "Second Ticker")->menu();
    EXPECT_EQ(entries(*sub), (QStringList{"Second Ticker [x]", "-", "Mix >", "Speed >", "Size >", "Background >"}));
    for (QAction* a : sub->actions())
        EXPECT_TRUE(a->icon().isNull()) << a->text().toStdString();
    EXPECT_EQ(entries(*find(*sub, "Mix")->menu()),
              (QStringList{"Latest [ ]", "Shuffle [ ]", "Music Lane [x]", "Market Quotes [ ]", "Arts && Tech [ ]",
                           "Sci [ ]"}))
        << "the loader's value from the older settings";

    trigger("Second Ticker/Mix/Market Quotes");
    EXPECT_EQ(f.defaults().stringValue(StripConfig::stripsKey),
              R"([{"background":"Black","mix":"markets","size":2,"speed":1}])");
    trigger("Second Ticker/Mix/Arts && Tech");
    EXPECT_EQ(StripConfig::load(f.defaults()).first().mix, "cat:tech");
    trigger("Second Ticker/Speed/Fast (5×)");
    trigger("Second Ticker/Size/Compact");
    trigger("Second Ticker/Background/Red");
    EXPECT_EQ(StripConfig::load(f.defaults()).first(), (StripConfig{"cat:tech", 5.0, 1, "Red"}));
    EXPECT_EQ(checked(*menu(), "Second Ticker/Size"), QStringList{"Compact"});

    // Switching it off hides the submenus but keeps the stored strip.
    trigger("Second Ticker/Second Ticker");
    EXPECT_EQ(entries(*find(*menu(), "Second Ticker")->menu()), QStringList{"Second Ticker [ ]"});
    EXPECT_EQ(StripConfig::load(f.defaults()).first(), (StripConfig{"cat:tech", 5.0, 1, "Red"}));
}

TEST_F(StripMenuTest, SecondStripMixWithoutItemsHasOnlyTheFixedOptions)
{
    f.defaults().set(TickerView::secondTickerKey, true);
    auto m = menu();
    EXPECT_EQ(entries(*find(*m, "Second Ticker/Mix")->menu()),
              (QStringList{"Latest [x]", "Shuffle [ ]", "Music Lane [ ]", "Market Quotes [ ]"}));
}

TEST(StripMenuUpdateTest, UpdateEntryOffersOnlyWebAddresses)
{
    struct Case {
        QString url;
        QStringList calls;  // empty: no update entry at all
    };
    const QList<Case> cases = {
        {"https://get.example/tw.AppImage", {"update:9.1 & more https://get.example/tw.AppImage"}},
        {"http://get.example/tw", {"update:9.1 & more http://get.example/tw"}},
        {"ftp://get.example/tw", {}},
    };
    for (const Case& c : cases) {
        LoopbackServer server;
        QJsonObject manifest{{"topics", QJsonArray{}},
                             {"feed_index", QJsonArray{}},
                             {"client_release", QJsonObject{{"version", "9.1 & more"}, {"download_url", c.url}}}};
        server.route("/v1_manifest", LoopbackServer::Response::json(QJsonDocument(manifest).toJson()));
        StripFixture f(server.baseUrl());
        auto view = f.makeView();
        f.store->start();
        ASSERT_TRUE(runUntil([&] { return server.requestCount("/v1_manifest") > 0 && f.store->phase().kind != FeedStore::AppPhase::Kind::Booting; }))
            << c.url.toStdString();
        runUntil([&] { return f.store->availableUpdate().has_value(); }, c.calls.isEmpty() ? 200 : 5000);
        auto m = view->contextMenu();
        const QStringList lines = entries(*m);
        if (c.calls.isEmpty()) {
            EXPECT_EQ(m->actions().size(), 19) << c.url.toStdString();
            EXPECT_EQ(lines.at(17), "Settings...");
            continue;
        }
        ASSERT_EQ(m->actions().size(), 20);
        EXPECT_EQ(lines.at(16), "-");
        EXPECT_EQ(lines.at(17), "Update to 9.1 && more…");
        EXPECT_EQ(lines.at(18), "Settings...");
        find(*m, "Update to 9.1 && more…")->trigger();
        EXPECT_EQ(f.services.calls.filter("update:"), c.calls) << c.url.toStdString();
        EXPECT_EQ(view->contextMenu()->actions().size(), 20) << "the entry stays";
    }
}

TEST(StripMenuUpdateTest, RefreshNowStartsARefresh)
{
    LoopbackServer server;
    StripFixture f(server.baseUrl());
    auto view = f.makeView();
    const int before = server.requestCount("/v1_manifest");
    auto m = view->contextMenu();
    find(*m, "Refresh Now")->trigger();
    EXPECT_TRUE(runUntil([&] { return server.requestCount("/v1_manifest") > before; }));
}

} // namespace
