#include "TabHarness.h"

#include "LogCapture.h"
#include "LoopbackServer.h"
#include "markets/Keychain.h"
#include "platform/UrlOpener.h"
#include "settings/MarketsTab.h"
#include "settings/WatchlistEditor.h"
#include "ticker/StripConfig.h"

#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLoggingCategory>
#include <QPushButton>
#include <QSignalSpy>

namespace {

using KeyKind = MarketsStore::KeyStatus::Kind;

class MarketsTabTest : public TabTest {
protected:
    void SetUp() override { UrlOpener::setSystem(&opener); }
    void TearDown() override { UrlOpener::setSystem(nullptr); }

    void typeKey(MarketsTab& tab, const QString& key)
    {
        tab.keyField()->setFocus();
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

    const WatchSymbol* entry(const QString& symbol)
    {
        for (const WatchSymbol& w : markets().watchlist())
            if (w.symbol == symbol)
                return &w;
        return nullptr;
    }

    FakeUrlOpener opener;
};

TEST_F(MarketsTabTest, KeyIsSavedTrimmedIntoTheKeyringAndItsStateShowsLive)
{
    MarketsTab tab(feedStore(), nullptr, &markets(), defaults.get());
    EXPECT_EQ(tab.keyField()->echoMode(), QLineEdit::Password);
    EXPECT_EQ(tab.keyStatusLabel()->text(), QStringLiteral("No key stored"));
    EXPECT_FALSE(tab.saveKeyButton()->isEnabled());
    EXPECT_FALSE(tab.removeKeyButton()->isEnabled());

    typeKey(tab, QStringLiteral("  sample-key "));
    EXPECT_EQ(storedKey(), QStringLiteral("sample-key"));
    EXPECT_TRUE(tab.keyField()->text().isEmpty()) << "the field lets go of the key";
    EXPECT_EQ(tab.keyStatusLabel()->text(), QStringLiteral("Checking the key…"));
    ASSERT_TRUE(waitUntil([&] { return tab.keyStatusLabel()->text() == QStringLiteral("Key accepted"); }));
    EXPECT_TRUE(tab.removeKeyButton()->isEnabled());
    EXPECT_EQ(tab.keyField()->placeholderText(), QStringLiteral("A key is stored; paste another to replace it"));

    // The next refresh finds the key refused or failing: the tab shows it.
    markets().setKeyStatus(MarketsStore::KeyStatus::rejected());
    EXPECT_EQ(tab.keyStatusLabel()->text(), QStringLiteral("Finnhub rejected this key"));
    markets().setKeyStatus(MarketsStore::KeyStatus::error(QStringLiteral("Finnhub rate limit hit, retrying next minute")));
    EXPECT_EQ(tab.keyStatusLabel()->text(), QStringLiteral("Finnhub rate limit hit, retrying next minute"));

    QTest::mouseClick(tab.removeKeyButton(), Qt::LeftButton);
    EXPECT_EQ(storedKey(), std::nullopt);
    EXPECT_EQ(tab.keyStatusLabel()->text(), QStringLiteral("No key stored"));
    EXPECT_FALSE(tab.removeKeyButton()->isEnabled());

    QTest::mouseClick(tab.registerButton(), Qt::LeftButton);
    EXPECT_EQ(opener.opened, QList<QUrl>{MarketsStore::finnhubRegisterURL()});
}

TEST_F(MarketsTabTest, ShowOnSecondTickerSwitchesItOnWithTheMixAndReplacesTheStrip)
{
    defaults->set(QStringLiteral("scrollSpeed"), 1.5);
    defaults->set(QStringLiteral("themeBackground"), QStringLiteral("Teal"));
    MarketsTab tab(feedStore(), nullptr, &markets(), defaults.get());
    EXPECT_EQ(tab.secondTickerLabel()->text(), QStringLiteral("The second ticker is off"));

    QTest::mouseClick(tab.secondTickerButton(), Qt::LeftButton);
    EXPECT_EQ(stored(StripConfig::enabledKey), QJsonValue(true));
    const QJsonArray strips = QJsonDocument::fromJson(defaults->stringValue(StripConfig::stripsKey).toUtf8()).array();
    ASSERT_EQ(strips.size(), 1);
    EXPECT_EQ(strips[0].toObject(), (QJsonObject{{"mix", "markets"}, {"speed", 1.5}, {"size", 2}, {"background", "Teal"}}))
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
    EXPECT_EQ(services.repositions, 1);
}

TEST_F(MarketsTabTest, EachAddShowsItsOutcomeAndOnlyAddedSymbolsAreStored)
{
    MarketsTab tab(feedStore(), nullptr, &markets(), defaults.get());
    WatchlistEditor& editor = *tab.watchlist();
    QSignalSpy finished(&editor, &WatchlistEditor::addFinished);

    struct Add {
        bool coin;
        QString input;
        QString outcome;
        QStringList symbols;
    };
    const auto run = [&](const Add& add) {
        SCOPED_TRACE(add.input.toStdString());
        QLineEdit* field = add.coin ? editor.coinField() : editor.stockField();
        field->setText(add.input);
        QTest::mouseClick(add.coin ? editor.addCoinButton() : editor.addStockButton(), Qt::LeftButton);
        if (editor.isAdding()) {
            EXPECT_FALSE(editor.addStockButton()->isEnabled());
            EXPECT_FALSE(editor.addCoinButton()->isEnabled());
        }
        ASSERT_TRUE(finished.count() == 1 || finished.wait(10000));
        finished.clear();
        EXPECT_EQ(editor.outcomeLabel()->text(), add.outcome);
        EXPECT_EQ(editor.shownSymbols(), add.symbols);
        EXPECT_EQ(storedWatchlist(), add.symbols);
        EXPECT_EQ(field->text().isEmpty(), add.outcome.startsWith(QStringLiteral("Added"))) << "a failed add keeps the input";
        EXPECT_TRUE(editor.addStockButton()->isEnabled());
    };

    run({false, QStringLiteral("nwnd"), QStringLiteral("Save a Finnhub key above to add stocks"), {}});
    typeKey(tab, QStringLiteral("sample-key"));
    const QList<Add> adds = {
        {false, QStringLiteral(" $nwnd "), QStringLiteral("Added NWND (Northwind Systems Inc)"), {"NWND"}},
        {false, QStringLiteral("NWND"), QStringLiteral("Already on your watchlist"), {"NWND"}},
        {false, QStringLiteral("spy"), QStringLiteral("Already on your watchlist"), {"NWND"}},
        {false, QStringLiteral("NWND.L"), QStringLiteral("Your Finnhub plan does not include that symbol"), {"NWND"}},
        {false, QStringLiteral("ZZZZ"), QStringLiteral("Finnhub has no price for that symbol"), {"NWND"}},
        {true, QStringLiteral("sol"), QStringLiteral("Added SOL (Solana)"), {"NWND", "SOL"}},
        {true, QStringLiteral("zzqqxx"), QStringLiteral("CoinGecko found no such coin"), {"NWND", "SOL"}},
    };
    for (const Add& add : adds)
        run(add);

    // A picked suggestion is added under the name it was shown with.
    QSignalSpy shown(&editor, &WatchlistEditor::suggestionsShown);
    editor.stockField()->clear();
    editor.stockField()->setFocus();
    QTest::keyClicks(editor.stockField(), QStringLiteral("kest"));
    ASSERT_TRUE(waitUntil([&] { return editor.suggestions()->count() > 0; }));
    QListWidgetItem* kestrel = editor.suggestions()->item(0);
    EXPECT_EQ(kestrel->data(Qt::UserRole).toString(), QStringLiteral("KSTL"));
    editor.suggestions()->itemClicked(kestrel);
    ASSERT_TRUE(finished.wait(10000));
    EXPECT_EQ(editor.outcomeLabel()->text(), QStringLiteral("Added KSTL (KESTREL AEROSPACE INC)"));
    EXPECT_EQ(storedWatchlist(), (QStringList{"NWND", "SOL", "KSTL"}));
    EXPECT_EQ(editor.suggestions()->count(), 0);
}

TEST_F(MarketsTabTest, HoldingsAndRemovalGoThroughTheStoreAndFollowIt)
{
    QJsonArray list;
    list.append(QJsonObject{{"symbol", "NWND"}, {"kind", "stock"}, {"name", "Northwind"}});
    list.append(QJsonObject{{"symbol", "SOL"}, {"kind", "coin"}, {"name", "Solana"}, {"coinId", "solana"}});
    defaults->set(MarketsStore::kWatchlistKey, list);
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
        QLineEdit* cost = editor.costField(QStringLiteral("NWND"));
        cost->setText(edit.cost);
        QTest::keyClick(cost, Qt::Key_Return);
        ASSERT_NE(entry(QStringLiteral("NWND")), nullptr);
        EXPECT_EQ(entry(QStringLiteral("NWND"))->units, edit.storedUnits);
        EXPECT_EQ(entry(QStringLiteral("NWND"))->cost, edit.storedCost);
        const QJsonObject stored = defaults->arrayValue(MarketsStore::kWatchlistKey)[0].toObject();
        EXPECT_EQ(stored.contains(QStringLiteral("units")), edit.storedUnits.has_value());
        EXPECT_EQ(editor.holdingNote()->isVisibleTo(&tab), !edit.note.isEmpty());
        if (!edit.note.isEmpty()) {
            EXPECT_EQ(editor.holdingNote()->text(), edit.note);
        }
    }

    // Changes from elsewhere show in the rows.
    markets().setHolding(QStringLiteral("SOL"), 2, 50);
    EXPECT_EQ(editor.unitsField(QStringLiteral("SOL"))->text(), QStringLiteral("2"));
    EXPECT_EQ(editor.costField(QStringLiteral("SOL"))->text(), QStringLiteral("50"));

    QTest::mouseClick(editor.removeButton(QStringLiteral("NWND")), Qt::LeftButton);
    EXPECT_EQ(storedWatchlist(), QStringList{"SOL"});
    EXPECT_EQ(editor.shownSymbols(), QStringList{"SOL"});
    markets().remove(QStringLiteral("SOL"));
    EXPECT_TRUE(editor.shownSymbols().isEmpty());
    EXPECT_EQ(editor.countLabel()->text(), QStringLiteral("0 of 10"));
}

// Every road the key travels, failures included: none of them leaves it in
// the settings file, the log or a text on screen.
TEST_F(MarketsTabTest, FinnhubKeyNeverReachesTheSettingsFileTheLogOrTheScreen)
{
    const QString key = QStringLiteral("tw-private-KEY-4711");
    LoopbackServer finnhub;
    finnhub.route(QStringLiteral("/api/v1/quote"), [] {
        LoopbackServer::Response cut = LoopbackServer::Response::json(R"({"c":101.5,"d":1,"dp":1,"t":1715976000})");
        cut.cutAfter = 8;
        return cut;
    }());
    finnhub.route(QStringLiteral("/api/v1/search"), LoopbackServer::Response::withStatus(502));
    finnhub.route(QStringLiteral("/api/v1/stock/profile2"), LoopbackServer::Response::withStatus(500));
    Endpoints e = Endpoints::builtIn();
    e.apiBase = finnhub.baseUrl();
    e.finnhubBase = finnhub.baseUrl();
    e.coingeckoBase = finnhub.baseUrl();
    MarketsStore store(*defaults, secrets, time, time, e);

    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=true"));
    LogCapture log;
    {
        MarketsTab tab(feedStore(), nullptr, &store, defaults.get());
        typeKey(tab, key);
        ASSERT_TRUE(waitUntil([&] { return store.keyStatus().kind != KeyKind::Checking; }));
        EXPECT_EQ(store.keyStatus().kind, KeyKind::Error);

        WatchlistEditor& editor = *tab.watchlist();
        QSignalSpy finished(&editor, &WatchlistEditor::addFinished);
        editor.stockField()->setText(QStringLiteral("AAPL"));
        QTest::mouseClick(editor.addStockButton(), Qt::LeftButton);
        ASSERT_TRUE(finished.wait(10000));
        EXPECT_TRUE(editor.outcomeLabel()->text().startsWith(QStringLiteral("Could not reach Finnhub: ")))
            << editor.outcomeLabel()->text().toStdString();
        QTest::keyClicks(editor.stockField(), QStringLiteral("x"));
        ASSERT_TRUE(waitUntil([&] { return finnhub.requestCount(QStringLiteral("/api/v1/search")) > 0; }));
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
    EXPECT_FALSE(log.lines().isEmpty()) << "the failures were logged";
    for (const LogCapture::Line& line : log.lines())
        EXPECT_FALSE(line.message.contains(key)) << line.message.toStdString();
    const QByteArray file = settingsFile();
    EXPECT_FALSE(file.isEmpty());
    EXPECT_FALSE(file.contains(key.toUtf8()));
    EXPECT_FALSE(file.contains("4711"));
    FakeTime::settle();
}

} // namespace
