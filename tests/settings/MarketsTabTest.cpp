#include "TabHarness.h"

#include "LogCapture.h"
#include "LoopbackServer.h"
#include "markets/Keychain.h"
#include "platform/UrlOpener.h"
#include "settings/MarketsTab.h"
#include "settings/WatchlistEditor.h"
#include "ticker/StripConfig.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLoggingCategory>
#include <QPushButton>
#include <QSignalSpy>

namespace {

class MarketsTabTest : public TabTest {
protected:
    static void typeKey(MarketsTab& tab, const QString& key)
    {
        QTest::keyClicks(tab.keyField(), key);
        QTest::mouseClick(tab.saveKeyButton(), Qt::LeftButton);
    }
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
    MarketsTab tab(feedStore(), nullptr, &markets(), defaults.get());
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

TEST_F(MarketsTabTest, ShowOnSecondTickerSwitchesItOnWithTheMixAndPlacesTheStripsAgain)
{
    defaults->set(QStringLiteral("scrollSpeed"), 1.5);
    defaults->set(QStringLiteral("themeBackground"), QStringLiteral("Teal"));
    MarketsTab tab(feedStore(), nullptr, &markets(), defaults.get());
    EXPECT_EQ(tab.secondTickerLabel()->text(), QStringLiteral("The second ticker is off"));

    QTest::mouseClick(tab.secondTickerButton(), Qt::LeftButton);
    EXPECT_EQ(defaults->value(StripConfig::enabledKey), QJsonValue(true));
    const QJsonArray strips = QJsonDocument::fromJson(defaults->stringValue(StripConfig::stripsKey).toUtf8()).array();
    EXPECT_EQ(strips, (QJsonArray{QJsonObject{{"mix", "markets"}, {"speed", 1.5}, {"size", 2}, {"background", "Teal"}}}))
        << "only the mix changes";
    EXPECT_EQ(services.repositions, 1);
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
    MarketsTab tab(feedStore(), nullptr, &markets(), defaults.get());
    WatchlistEditor& editor = *tab.watchlist();
    QSignalSpy finished(&editor, &WatchlistEditor::addFinished);
    struct Add {
        bool coin;
        QString input, outcome;
        QStringList symbols;
    };
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
    defaults->set(MarketsStore::kWatchlistKey,
                  QJsonArray{QJsonObject{{"symbol", "NWND"}, {"kind", "stock"}, {"name", "Northwind"}},
                             QJsonObject{{"symbol", "SOL"}, {"kind", "coin"}, {"name", "Solana"}, {"coinId", "solana"}}});
    MarketsTab tab(feedStore(), nullptr, &markets(), defaults.get());
    WatchlistEditor& editor = *tab.watchlist();
    ASSERT_EQ(editor.shownSymbols(), (QStringList{"NWND", "SOL"}));

    struct Edit {
        const char* what;
        QString units, cost;
        std::optional<double> storedUnits, storedCost;
        QString note;  // empty: none shown
    };
    const QList<Edit> edits = {
        {"a holding", "10", "100", 10, 100, {}},
        {"half a holding waits", "12", "", 10, 100, "NWND: enter both units and buy price"},
        {"not a number", "x", "100", 10, 100, "NWND: units and buy price must be numbers"},
        {"no units", "0", "5", std::nullopt, std::nullopt,
         "NWND: units must be above 0 and the buy price 0 or more; the holding was cleared"},
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
    while (!(next->focusPolicy() & Qt::TabFocus))
        next = next->nextInFocusChain();
    EXPECT_EQ(next, editor.stockField()) << next->metaObject()->className();
    markets().remove(QStringLiteral("SOL"));
    EXPECT_TRUE(editor.shownSymbols().isEmpty());
    EXPECT_EQ(editor.countLabel()->text(), QStringLiteral("0 of 10"));
}

// Every road the key travels, failures included, logging at every level:
// none leaves it in the settings file, the log or a text on screen.
TEST_F(MarketsTabTest, FinnhubKeyNeverReachesTheSettingsFileTheLogOrTheScreen)
{
    const QString key = QStringLiteral("tw-private-KEY-4711");
    LoopbackServer finnhub;
    LoopbackServer::Response cut = LoopbackServer::Response::json(R"({"c":101.5,"d":1,"dp":1,"t":1715976000})");
    cut.cutAfter = 8;
    finnhub.route(QStringLiteral("/api/v1/quote"), cut);
    finnhub.route(QStringLiteral("/api/v1/search"), LoopbackServer::Response::withStatus(502));
    Endpoints e = Endpoints::builtIn();
    e.apiBase = e.finnhubBase = e.coingeckoBase = finnhub.baseUrl();
    MarketsStore store(*defaults, secrets, time, time, e);

    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=true"));
    LogCapture log;
    {
        MarketsTab tab(feedStore(), nullptr, &store, defaults.get());
        typeKey(tab, key);
        ASSERT_TRUE(waitUntil([&] { return store.keyStatus().kind == MarketsStore::KeyStatus::Kind::Error; }));
        WatchlistEditor& editor = *tab.watchlist();
        QSignalSpy finished(&editor, &WatchlistEditor::addFinished);
        QTest::keyClicks(editor.stockField(), QStringLiteral("AAPL"));
        QTest::mouseClick(editor.addStockButton(), Qt::LeftButton);
        ASSERT_TRUE(finished.wait(10000));
        EXPECT_TRUE(editor.outcomeLabel()->text().startsWith(QStringLiteral("Could not reach Finnhub: ")));
        store.stripAppeared();
        ASSERT_TRUE(waitUntil([&] { return store.lastUpdated().has_value(); }));
        store.stripDisappeared();
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

} // namespace
