// Home, About and Diagnostics against a store that reached the sample
// catalogue server: what they show, the operations their buttons call, and
// that they follow the store while open.
#include "SettingsHarness.h"
#include "platform/Endpoints.h"
#include "settings/AboutTab.h"
#include "settings/DiagnosticsTab.h"
#include "settings/HomeTab.h"

#include <QLabel>
#include <QPushButton>

namespace {

using ContentTabs = SettingsTest;

QPushButton* buttonLabelled(QWidget& tab, const QString& text)
{
    for (QPushButton* b : tab.findChildren<QPushButton*>())
        if (b->text() == text)
            return b;
    ADD_FAILURE() << "no button " << text.toStdString();
    return nullptr;
}

TEST_F(ContentTabs, HomeShowsTheStoreAndOpensTheOtherWindows)
{
    HomeTab booting(*store);
    EXPECT_EQ(booting.phaseLabel()->text(), QStringLiteral("Starting…"));
    EXPECT_EQ(booting.lastRefreshLabel()->text(), QStringLiteral("Not yet"));

    startStore();
    HomeTab tab(*store);
    EXPECT_EQ(tab.phaseLabel()->text(), QStringLiteral("Running"));
    EXPECT_EQ(tab.statusLabel()->text(), QStringLiteral("Live"));
    EXPECT_EQ(tab.connectionLabel()->text(), QStringLiteral("Online"));
    EXPECT_EQ(tab.headlinesLabel()->text(), QString::number(store->items().size()));
    EXPECT_NE(tab.lastRefreshLabel()->text(), QStringLiteral("Not yet"));

    struct Press {
        QString button;
        QString call;
    };
    for (const Press& p : QList<Press>{{"Search…", "showSearch"}, {"Full Screen", "showFullScreen"}}) {
        services.calls.clear();
        QPushButton* b = buttonLabelled(tab, p.button);
        ASSERT_NE(b, nullptr);
        click(b);
        EXPECT_EQ(services.calls, QStringList{p.call});
    }

    // Going offline shows at once, as does a feed switched off.
    ASSERT_NE(monitor, nullptr);
    monitor->setOnline(false);
    EXPECT_TRUE(waitUntil([&] { return tab.connectionLabel()->text() == QStringLiteral("Offline"); }));
    monitor->setOnline(true);
    const QString dropped = store->items().first().source->id;
    const auto fromDropped = [&] {
        return std::count_if(store->items().cbegin(), store->items().cend(),
                             [&](const FeedItem& i) { return i.source && i.source->id == dropped; });
    };
    ASSERT_GT(fromDropped(), 0);
    store->toggleFeed(dropped);
    time.advanceSeconds(0.3);
    ASSERT_TRUE(waitUntil([&] { return fromDropped() == 0; }));
    EXPECT_EQ(tab.headlinesLabel()->text(), QString::number(store->items().size()));
}

TEST_F(ContentTabs, AboutOffersTheReleaseUntilDismissed)
{
    startStore(QStringLiteral("0.0.1"));
    ASSERT_TRUE(store->availableUpdate().has_value()) << "the sample catalogue offers a newer release";
    const ClientRelease release = *store->availableUpdate();
    AboutTab tab(*store);
    EXPECT_EQ(tab.updateLabel()->text(), QStringLiteral("Version ") + release.version + QStringLiteral(" is available"));
    EXPECT_FALSE(tab.dismissButton()->isHidden());

    click(tab.downloadButton());
    EXPECT_EQ(services.calls,
              QStringList{QStringLiteral("update:") + release.version + QLatin1Char(' ') +
                          release.downloadURL()->toString()});
    click(tab.dismissButton());
    EXPECT_EQ(defaults->stringValue("dismissedReleaseVersion"), release.version);
    EXPECT_EQ(tab.updateLabel()->text(), QStringLiteral("You are up to date"));
    EXPECT_TRUE(tab.dismissButton()->isHidden());
    EXPECT_TRUE(tab.downloadButton()->isHidden());
}

TEST_F(ContentTabs, DiagnosticsReportsWhatIsInUseAndCopiesIt)
{
    Endpoints endpoints = Endpoints::builtIn();
    startStore();
    endpoints.apiBase = catalogue.baseUrl();
    Endpoints::setCurrent(endpoints);
    DiagnosticsTab tab(*store);
    const QString report = tab.reportLabel()->text();
    for (const QString& line :
         {QStringLiteral("Server API: ") + catalogue.baseUrl().toString(), QStringLiteral("Phase: Running"),
          QStringLiteral("Catalogue feeds: ") + QString::number(store->feeds().size()),
          QStringLiteral("Catalogue items: ") + QString::number(store->items().size()),
          QStringLiteral("Personal items: 0"), QStringLiteral("Music lane items: 0"),
          QStringLiteral("Last refresh: ") + store->lastUpdated()->toUTC().toString(Qt::ISODate)})
        EXPECT_TRUE(report.split(QLatin1Char('\n')).contains(line)) << line.toStdString() << "\n" << report.toStdString();

    click(tab.copyButton());
    EXPECT_EQ(clipboard.text(), report);

    store->setFeeds(store->activeFeedIDs(), false);
    time.advanceSeconds(0.3);
    EXPECT_TRUE(waitUntil([&] { return tab.reportLabel()->text().contains(QStringLiteral("Catalogue items: 0")); }));
    Endpoints::setCurrent(Endpoints::fromEnvironment());
}

} // namespace
