// The settings window by keyboard, on a private X server managed by openbox
// and in the window's own palette: in every tab, Tab goes round controls the
// user can see, and each of them shows that it holds the focus.
#include "Await.h"
#include "CatalogueServer.h"
#include "Contrast.h"
#include "X11Probe.h"
#include "XvfbDisplay.h"
#include "app/SettingsWindowManager.h"
#include "markets/MarketsStore.h"
#include "personal/PersonalFeed.h"
#include "personal/PersonalFeedStore.h"
#include "platform/base/Clock.h"
#include "platform/storage/Defaults.h"
#include "settings/PersonalFeedsSection.h"
#include "settings/PillButton.h"
#include "settings/SettingsTabs.h"
#include "settings/SettingsView.h"
#include "store/FeedStore.h"
#include "store/FilterStore.h"

#include <QApplication>
#include <QCheckBox>
#include <QJsonArray>
#include <QListWidget>
#include <QNetworkAccessManager>
#include <QStyleHints>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

// Where `w` lies in its window, cut to what every widget around it leaves
// in view (a scroll area's viewport, above all).
QRect shownPart(const QWidget* w)
{
    const QWidget* window = w->window();
    QRect shown(w->mapTo(window, QPoint(0, 0)), w->size());
    for (const QWidget* p = w->parentWidget(); p && p != window; p = p->parentWidget())
        shown &= QRect(p->mapTo(window, QPoint(0, 0)), p->size());
    return shown;
}

std::string describe(const QWidget* w)
{
    QString text = QString::fromLatin1(w->metaObject()->className());
    if (!w->accessibleName().isEmpty())
        text += QStringLiteral(" \"") + w->accessibleName() + QLatin1Char('"');
    if (const auto* button = qobject_cast<const QAbstractButton*>(w); button && !button->text().isEmpty())
        text += QStringLiteral(" \"") + button->text() + QLatin1Char('"');
    return text.toStdString();
}

class SettingsKeyboardTest : public ::testing::Test {
protected:
    // One settings file for the whole run: the stores the tabs share are
    // made on first use over the standard settings, and keep them.
    static Defaults& settings()
    {
        static QTemporaryDir* dir = new QTemporaryDir;
        static Defaults* defaults = Defaults::openFile(dir->path() + QStringLiteral("/defaults.json")).release();
        return *defaults;
    }

    void SetUp() override
    {
        TIDEWIRE_REQUIRE_XVFB();
        Defaults& d = settings();
        Defaults::setStandard(&d);
        d.set(QStringLiteral("showDebugTab"), true);
        // Two private feeds (rows with a remove button and a switch), never
        // reachable, so they stay as they are.
        QJsonArray feeds;
        for (int i = 1; i <= 2; ++i) {
            PersonalFeed f;
            f.id = QStringLiteral("pf-%1").arg(i);
            f.url = QStringLiteral("http://127.0.0.1:9/feed%1.xml").arg(i);
            f.title = QStringLiteral("Private feed %1").arg(i);
            f.isEnabled = i == 1;
            f.addedAt = QDateTime(QDate(2026, 1, 1), QTime(9, 0), Qt::UTC);
            feeds.append(f.toJson(JsonOptions{DateCoding::iso8601()}));
        }
        d.set(PersonalFeedStore::kFeedsKey, feeds);
        FilterStore::shared().setMuted({QStringLiteral("transfer rumours")});
        FilterStore::shared().setFollowed({QStringLiteral("tidal power")});
        WatchSymbol stock;
        stock.symbol = QStringLiteral("AAPL");
        stock.name = QStringLiteral("Apple");
        WatchSymbol coin;
        coin.symbol = QStringLiteral("BTC");
        coin.kind = WatchSymbol::Kind::Coin;
        coin.name = QStringLiteral("Bitcoin");
        coin.coinId = QStringLiteral("bitcoin");
        MarketsStore::shared().setWatchlist({stock, coin});

        ASSERT_TRUE(catalogue.start().has_value());
        const QUrl base = catalogue.baseUrl();
        store = std::make_unique<FeedStore>(FeedStore::Services{d, Clock::system(), Scheduler::system(), &network,
                                                                nullptr, {}, base, std::nullopt, base, "0.1"});
        store->start();
        ASSERT_TRUE(waitUntil([this] { return store->phase().isRunning() && !store->feeds().isEmpty(); }));
        manager = std::make_unique<SettingsWindowManager>(d, []() -> QWidget* { return nullptr; });
        // The caret of a text field stays drawn instead of blinking.
        QGuiApplication::styleHints()->setCursorFlashTime(0);
    }

    void TearDown() override
    {
        if (manager && manager->window())
            manager->window()->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        manager.reset();
        if (store)
            store->stop();
        store.reset();
        catalogue.stop();
        Defaults::setStandard(nullptr);
    }

    // Checks the stop the focus is on now: a control wholly in view that
    // looks different with the focus than without it.
    void expectShowsFocus(QWidget* stop)
    {
        QWidget* window = stop->window();
        SCOPED_TRACE(describe(stop));
        EXPECT_TRUE(stop->isVisible());
        ASSERT_FALSE(stop->size().isEmpty());
        const QRect place(stop->mapTo(window, QPoint(0, 0)), stop->size());
        EXPECT_EQ(shownPart(stop), place) << "wholly in view";
        const QImage focused = window->grab(place).toImage();
        stop->clearFocus();
        const QImage unfocused = window->grab(place).toImage();
        stop->setFocus(Qt::TabFocusReason);
        ASSERT_EQ(QApplication::focusWidget(), stop);
        // At least a line along the control's side stands out.
        EXPECT_GE(Contrast::changedPixels(focused, unfocused), std::min(stop->width(), stop->height()))
            << "too little shows the focus";
    }

    CatalogueServer catalogue{CatalogueServer::Options{
        .seed = 7, .now = [] { return QDateTime(QDate(2026, 1, 15), QTime(12, 0), Qt::UTC); }}};
    QNetworkAccessManager network;
    std::unique_ptr<FeedStore> store;
    std::unique_ptr<SettingsWindowManager> manager;
};

// Tab from the sidebar goes round the page's controls and back; every stop on
// the way is a control in view that shows the focus, and every switch of the
// page is one of them.
TEST_F(SettingsKeyboardTest, EveryTabStopOfEveryTabIsAControlInViewThatShowsTheFocus)
{
    manager->show(*store, SettingsTab::Home);
    QWidget* window = manager->window();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(waitFor([window] { return QApplication::activeWindow() == window; })) << "never active";
    auto* view = window->findChild<SettingsView*>();
    ASSERT_NE(view, nullptr);
    QListWidget* sidebar = view->sidebar();

    for (SettingsTab tab : SettingsTabs::all()) {
        SCOPED_TRACE(SettingsTabs::title(tab).toStdString());
        view->setSelectedTab(tab);
        ASSERT_EQ(view->selectedTab(), tab);
        QWidget* page = view->page(tab);
        ASSERT_TRUE(waitFor([page] { return page->isVisible(); }));
        QCoreApplication::processEvents();
        sidebar->setFocus(Qt::TabFocusReason);

        QList<QWidget*> stops;
        for (int step = 0; step < 300; ++step) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QWidget* stop = QApplication::focusWidget();
            ASSERT_NE(stop, nullptr);
            if (stop == sidebar || stops.contains(stop))
                break;
            stops.append(stop);
            expectShowsFocus(stop);
        }
        EXPECT_EQ(QApplication::focusWidget(), sidebar) << "Tab comes round to the sidebar";
        expectShowsFocus(sidebar);
        for (QCheckBox* box : page->findChildren<QCheckBox*>()) {
            if (box->isVisible() && box->isEnabled()) {
                EXPECT_TRUE(stops.contains(box)) << describe(box) << " is never reached by Tab";
            }
        }
    }
}

// The sheet that adds a feed is a window of its own over the settings: Tab
// goes round its controls, and each of them shows that it holds the focus.
TEST_F(SettingsKeyboardTest, TheAddFeedSheetShowsTheFocusOnEveryStop)
{
    manager->show(*store, SettingsTab::RSS);
    QWidget* window = manager->window();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(waitFor([window] { return QApplication::activeWindow() == window; })) << "never active";
    auto* section = window->findChild<PersonalFeedsSection*>();
    ASSERT_NE(section, nullptr);
    ASSERT_TRUE(waitFor([section] { return section->addButton()->isVisible(); }));
    section->addButton()->setFocus(Qt::TabFocusReason);
    QTest::keyClick(section->addButton(), Qt::Key_Space);
    AddPersonalFeedSheet* sheet = section->addSheet();
    ASSERT_NE(sheet, nullptr);
    ASSERT_TRUE(waitFor([sheet] { return sheet->isVisible() && QApplication::activeWindow() == sheet; }))
        << "the sheet never became active";

    QList<QWidget*> stops;
    for (int step = 0; step < 20; ++step) {
        QWidget* stop = QApplication::focusWidget();
        ASSERT_NE(stop, nullptr);
        ASSERT_EQ(stop->window(), sheet) << "the focus left the sheet";
        if (stops.contains(stop))
            break;
        stops.append(stop);
        expectShowsFocus(stop);
        QTest::keyClick(stop, Qt::Key_Tab);
    }
    EXPECT_GE(stops.size(), 3) << "the field, a way to close and the add button";
    sheet->reject();
}

} // namespace
