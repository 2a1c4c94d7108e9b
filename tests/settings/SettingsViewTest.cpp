// The settings view: the sidebar, the select-tab notification, the live
// Diagnostics entry, and "Reset to Defaults" over the one settings catalogue.
#include "SettingsHarness.h"
#include "platform/NotificationCenter.h"
#include "platform/SettingsCatalogue.h"
#include "settings/GeneralTab.h"
#include "settings/SettingsView.h"
#include "ticker/StripConfig.h"

#include <QListWidget>
#include <QPushButton>

namespace {

using SettingsViewTest = SettingsTest;

void postSelectTab(const QVariantMap& userInfo, const QString& name = QStringLiteral("tidewire.settings.selectTab"))
{
    NotificationCenter::shared().post(name, userInfo);
}

TEST_F(SettingsViewTest, SidebarListsTheTabsAndTheNotificationSwitchesOnlyToANamedOne)
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

    struct Post {
        const char* what;
        QVariantMap userInfo;
        QString name;
        SettingsTab expected;
    };
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
}

TEST_F(SettingsViewTest, DiagnosticsFollowsShowDebugTabLive)
{
    SettingsView view(*store, SettingsTab::Debug);
    EXPECT_EQ(view.selectedTab(), SettingsTab::Home) << "a hidden tab cannot be the first";
    EXPECT_FALSE(view.isListed(SettingsTab::Debug));

    defaults->set("showDebugTab", true);
    EXPECT_TRUE(view.isListed(SettingsTab::Debug));
    postSelectTab({{"tab", "Diagnostics"}});
    EXPECT_EQ(view.selectedTab(), SettingsTab::Debug);

    defaults->set("showDebugTab", false);
    EXPECT_FALSE(view.isListed(SettingsTab::Debug));
    EXPECT_EQ(view.selectedTab(), SettingsTab::Home);
}

TEST_F(SettingsViewTest, ResetRestoresEveryPreferenceDefaultThenPlacesTheStrip)
{
    using SettingsCatalogue::Type;
    // Every preference away from its default, and user data beside them.
    QHash<QString, QJsonValue> userData;
    for (const SettingsCatalogue::Entry& e : SettingsCatalogue::entries()) {
        QJsonValue changed;
        switch (e.type) {
        case Type::Bool: changed = !e.fallback.toBool(); break;
        case Type::Int: changed = 4; break;
        case Type::Double: changed = 0.25; break;
        case Type::String: changed = QStringLiteral("changed"); break;
        case Type::Stored: changed = QJsonArray{QStringLiteral("kept")}; break;
        }
        defaults->set(e.key, changed);
        if (!e.resettable)
            userData.insert(e.key, changed);
    }
    StripConfig::setField(*defaults, 0, &StripConfig::mix, QStringLiteral("music"));

    // The strip is placed again only once everything is back.
    QStringList wrongWhenPlaced;
    services.onCall = [&](const QString& call) {
        if (call != QStringLiteral("reposition"))
            return;
        for (const SettingsCatalogue::Entry& e : SettingsCatalogue::entries())
            if (e.resettable && defaults->value(e.key) != e.fallback)
                wrongWhenPlaced << e.key;
    };
    GeneralTab tab(*store);
    click(tab.resetButton());
    EXPECT_EQ(services.calls, QStringList{QStringLiteral("reposition")});
    EXPECT_TRUE(wrongWhenPlaced.isEmpty()) << wrongWhenPlaced.join(", ").toStdString();

    ASSERT_TRUE(defaults->flush());
    const auto nextRun = Defaults::openFile(defaults->filePath());
    for (const SettingsCatalogue::Entry& e : SettingsCatalogue::entries()) {
        SCOPED_TRACE(e.key.toStdString());
        if (e.resettable)
            EXPECT_EQ(nextRun->value(e.key), e.fallback);
        else
            EXPECT_EQ(nextRun->value(e.key), userData.value(e.key)) << "user data is not a preference";
    }
    // The readers agree with the catalogue: the main strip's values are what
    // the second strip falls back to.
    const StripConfig second = StripConfig::load(*nextRun).first();
    EXPECT_EQ(second.size, 2);
    EXPECT_EQ(second.speed, 1.0);
    EXPECT_EQ(second.background, QStringLiteral("Black"));
}

} // namespace
