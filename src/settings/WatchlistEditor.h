#pragma once

#include "markets/WatchModels.h"

#include <QWidget>
#include <optional>
#include <stop_token>

#include <qcoro/qcorotask.h>

class ListCutNotice;
class MarketsStore;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QVBoxLayout;

// The Markets tab's watchlist: the symbols with their holding (units and buy
// price) and a remove button, adding a stock (typed, or picked from the
// Finnhub suggestions) or a coin (found by the CoinGecko search), and the
// outcome of the last add. Every change goes through the market store's
// watchlist operations; the list follows the store, so a change made
// elsewhere shows at once. One add runs at a time.
class WatchlistEditor : public QWidget {
    Q_OBJECT
public:
    explicit WatchlistEditor(MarketsStore& markets, QWidget* parent = nullptr);
    ~WatchlistEditor() override;

    // What the user reads after an add. `coin` tells which service answered.
    static QString outcomeText(const WatchAddResult& result, bool coin);

    QLineEdit* stockField() const { return m_stockField; }
    QPushButton* addStockButton() const { return m_addStock; }
    QListWidget* suggestions() const { return m_suggestions; }
    QLineEdit* coinField() const { return m_coinField; }
    QPushButton* addCoinButton() const { return m_addCoin; }
    QLabel* outcomeLabel() const { return m_outcome; }
    QLabel* holdingNote() const { return m_holdingNote; }
    QLabel* countLabel() const { return m_count; }
    // The line telling of symbols past the limit left out as the list was read.
    ListCutNotice* cutNotice() const { return m_cut; }
    bool isAdding() const { return m_adding; }

    // The symbols listed, in order, and the controls of one of them.
    QStringList shownSymbols() const;
    QLineEdit* unitsField(const QString& symbol) const;
    QLineEdit* costField(const QString& symbol) const;
    QPushButton* removeButton(const QString& symbol) const;

Q_SIGNALS:
    // An add finished and its outcome is shown.
    void addFinished();
    // A suggestion search finished and its rows are shown.
    void suggestionsShown();

private:
    struct Row {
        QString symbol;
        QLineEdit* units;
        QLineEdit* cost;
        QPushButton* remove;
    };

    void buildRows();
    void showWatchlist();
    void showHolding(const Row& row, const WatchSymbol& entry);
    void applyHolding(const QString& symbol);
    void searchFor(const QString& text);
    void startAdd(bool coin, QString input, std::optional<QString> name);
    QCoro::Task<void> runAdd(bool coin, QString input, std::optional<QString> name);
    QCoro::Task<void> runSearch(QString text, std::stop_token stop);
    void setAdding(bool adding);
    const Row* rowOf(const QString& symbol) const;

    MarketsStore& m_markets;
    QVBoxLayout* m_rowsLayout = nullptr;
    QList<Row> m_rows;
    QLabel* m_count = nullptr;
    QLabel* m_holdingNote = nullptr;
    ListCutNotice* m_cut = nullptr;
    QLineEdit* m_stockField = nullptr;
    QPushButton* m_addStock = nullptr;
    QListWidget* m_suggestions = nullptr;
    QWidget* m_suggestionsRow = nullptr;
    QLineEdit* m_coinField = nullptr;
    QPushButton* m_addCoin = nullptr;
    QLabel* m_outcome = nullptr;
    QWidget* m_outcomeRow = nullptr;
    bool m_adding = false;
    bool m_rebuilding = false;
    std::optional<std::stop_source> m_search;  // the running suggestion search
};
