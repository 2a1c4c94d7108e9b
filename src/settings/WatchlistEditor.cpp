#include "settings/WatchlistEditor.h"

#include "api/Color.h"
#include "markets/MarketsStore.h"
#include "widgets/ParagraphLabel.h"
#include "settings/ConfigRow.h"
#include "settings/ConfigSection.h"
#include "settings/FocusRing.h"
#include "settings/ListCutNotice.h"
#include "settings/SettingsKit.h"
#include "settings/SettingsLook.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

using namespace SettingsKit;

namespace {

const QColor kProblem(0xF8, 0x71, 0x71);

enum class Parsed { Empty, Number, Invalid };

// A number as the user may type it: in their own locale or with a point.
Parsed parseNumber(const QString& text, double& value)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return Parsed::Empty;
    bool ok = false;
    value = QLocale().toDouble(trimmed, &ok);
    if (!ok)
        value = QLocale::c().toDouble(trimmed, &ok);
    return ok ? Parsed::Number : Parsed::Invalid;
}

QString numberText(const std::optional<double>& value)
{
    return value ? QLocale().toString(*value, 'g', 15) : QString();
}

QLineEdit* numberField(const QString& placeholder, QWidget* parent)
{
    auto* field = new QLineEdit(parent);
    field->setPlaceholderText(placeholder);
    field->setFixedWidth(90);
    return field;
}

} // namespace

WatchlistEditor::WatchlistEditor(MarketsStore& markets, QWidget* parent) : QWidget(parent), m_markets(markets)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(18);

    auto* list = new ConfigSection(QStringLiteral("WATCHLIST"), this);
    m_count = textLabel(QString(), this, Color::mutedText());
    list->addRow(new ConfigRow(QStringLiteral("Symbols"), m_count));
    auto* rows = new QWidget(this);
    m_rowsLayout = new QVBoxLayout(rows);
    m_rowsLayout->setContentsMargins(0, 0, 0, 0);
    m_rowsLayout->setSpacing(0);
    list->addRow(rows);
    m_cut = new ListCutNotice(m_markets.storedWatchlist(), QStringLiteral("symbol"), QStringLiteral("symbols"), this);
    list->addRow(m_cut);
    m_holdingNote = textLabel(QString(), this, kProblem, true);
    m_holdingNote->hide();
    list->addRow(m_holdingNote);
    layout->addWidget(list);

    auto* add = new ConfigSection(QStringLiteral("ADD TO WATCHLIST"), this);
    m_stockField = new QLineEdit(this);
    m_stockField->setPlaceholderText(QStringLiteral("Symbol or company, e.g. AAPL"));
    m_stockField->setMinimumWidth(240);
    m_addStock = button(QStringLiteral("Add stock"), this);
    add->addRow(new ConfigRow(QStringLiteral("Stock or ETF"), line(this, {m_stockField, m_addStock})));
    m_suggestions = new QListWidget(this);
    m_suggestions->setMaximumHeight(150);
    FocusRing::attach(m_suggestions, 0);
    m_suggestionsRow = new ConfigRow(QString(), m_suggestions);
    m_suggestionsRow->hide();
    add->addRow(m_suggestionsRow);
    m_coinField = new QLineEdit(this);
    m_coinField->setPlaceholderText(QStringLiteral("Coin name or symbol, e.g. bitcoin"));
    m_coinField->setMinimumWidth(240);
    m_addCoin = button(QStringLiteral("Add coin"), this);
    add->addRow(new ConfigRow(QStringLiteral("Coin"), line(this, {m_coinField, m_addCoin})));
    m_outcome = textLabel(QString(), this, Color::mutedText(), true);
    m_outcome->setMinimumWidth(300);
    m_outcomeRow = new ConfigRow(QStringLiteral("Last add"), m_outcome);
    m_outcomeRow->hide();
    add->addRow(m_outcomeRow);
    layout->addWidget(add);

    connect(m_addStock, &QPushButton::clicked, this,
            [this] { startAdd(false, m_stockField->text(), std::nullopt); });
    connect(m_stockField, &QLineEdit::returnPressed, this,
            [this] { startAdd(false, m_stockField->text(), std::nullopt); });
    connect(m_stockField, &QLineEdit::textEdited, this, &WatchlistEditor::searchFor);
    connect(m_suggestions, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) {
        startAdd(false, item->data(Qt::UserRole).toString(), item->data(Qt::UserRole + 1).toString());
    });
    connect(m_suggestions, &QListWidget::itemClicked, m_suggestions, &QListWidget::itemActivated);
    connect(m_addCoin, &QPushButton::clicked, this, [this] { startAdd(true, m_coinField->text(), std::nullopt); });
    connect(m_coinField, &QLineEdit::returnPressed, this,
            [this] { startAdd(true, m_coinField->text(), std::nullopt); });
    connect(&m_markets, &MarketsStore::watchlistChanged, this, &WatchlistEditor::showWatchlist);

    buildRows();
}

WatchlistEditor::~WatchlistEditor()
{
    if (m_search)
        m_search->request_stop();
}

QString WatchlistEditor::outcomeText(const WatchAddResult& result, bool coin)
{
    using Kind = WatchAddResult::Kind;
    switch (result.kind) {
    case Kind::Added:
        return QStringLiteral("Added %1 (%2)").arg(result.added->symbol, result.added->name);
    case Kind::Unreachable:
        return result.message;
    case Kind::Duplicate:
        return QStringLiteral("Already on your watchlist");
    case Kind::Full:
        return QStringLiteral("You're at %1 symbols. Remove one to add another.").arg(MarketsStore::kWatchlistLimit);
    case Kind::NeedsKey:
        return QStringLiteral("Save a Finnhub key above to add stocks");
    case Kind::UnknownSymbol:
        return coin ? QStringLiteral("CoinGecko found no such coin")
                    : QStringLiteral("Finnhub has no price for that symbol");
    case Kind::NotOnPlan:
        return QStringLiteral("Your Finnhub plan does not include that symbol");
    case Kind::RejectedKey:
        return QStringLiteral("Finnhub rejected your key");
    }
    return {};
}

void WatchlistEditor::buildRows()
{
    m_rebuilding = true;  // fields losing focus while they go must not apply anything
    clearLayout(m_rowsLayout);
    m_rows.clear();
    m_rebuilding = false;

    const QList<WatchSymbol>& watchlist = m_markets.watchlist();
    m_count->setText(QStringLiteral("%1 of %2").arg(watchlist.size()).arg(MarketsStore::kWatchlistLimit));
    if (watchlist.isEmpty()) {
        m_rowsLayout->addWidget(new ConfigRow(
            QString(), textLabel(QStringLiteral("No symbols yet: add a stock or a coin below."), this,
                                Color::mutedText())));
        return;
    }
    for (const WatchSymbol& entry : watchlist) {
        // The provider's name for the symbol, cut with an ellipsis when it is
        // too long for its column.
        auto* name = new ParagraphLabel(
            entry.kind == WatchSymbol::Kind::Coin ? entry.name + QStringLiteral(" · coin") : entry.name, this);
        SettingsLook::setTextColor(name, Color::mutedText());
        name->setDirection(ParagraphLabel::Direction::OfWidget);
        name->setFixedWidth(200);
        Row row{entry.symbol, numberField(QStringLiteral("Units"), this), numberField(QStringLiteral("Buy price"), this),
                button(QStringLiteral("Remove"), this)};
        showHolding(row, entry);
        const QString symbol = entry.symbol;
        connect(row.units, &QLineEdit::editingFinished, this, [this, symbol] { applyHolding(symbol); });
        connect(row.cost, &QLineEdit::editingFinished, this, [this, symbol] { applyHolding(symbol); });
        connect(row.remove, &QPushButton::clicked, this, [this, symbol] {
            m_holdingNote->hide();
            m_markets.remove(symbol);
        });
        m_rowsLayout->addWidget(new ConfigRow(entry.symbol, line(this, {name, row.units, row.cost, row.remove})));
        m_rows.append(row);
    }
    QList<QWidget*> controls;
    for (const Row& row : m_rows)
        controls << row.units << row.cost << row.remove;
    chainFocusAfter(m_rowsLayout->parentWidget(), controls);
}

void WatchlistEditor::showWatchlist()
{
    const QList<WatchSymbol>& watchlist = m_markets.watchlist();
    bool sameSymbols = watchlist.size() == m_rows.size();
    for (qsizetype i = 0; sameSymbols && i < watchlist.size(); ++i)
        sameSymbols = watchlist[i].symbol == m_rows[i].symbol;
    if (!sameSymbols) {
        buildRows();
        return;
    }
    // Same rows: only the holdings can differ. A field being typed in keeps
    // what the user typed.
    for (qsizetype i = 0; i < watchlist.size(); ++i)
        showHolding(m_rows[i], watchlist[i]);
}

void WatchlistEditor::showHolding(const Row& row, const WatchSymbol& entry)
{
    if (!row.units->hasFocus())
        row.units->setText(numberText(entry.units));
    if (!row.cost->hasFocus())
        row.cost->setText(numberText(entry.cost));
}

void WatchlistEditor::applyHolding(const QString& symbol)
{
    const Row* row = rowOf(symbol);
    if (m_rebuilding || !row)
        return;
    double units = 0;
    double cost = 0;
    const Parsed u = parseNumber(row->units->text(), units);
    const Parsed c = parseNumber(row->cost->text(), cost);
    if (u == Parsed::Invalid || c == Parsed::Invalid) {
        m_holdingNote->setText(QStringLiteral("%1: units and buy price must be numbers").arg(symbol));
        m_holdingNote->show();
        return;
    }
    if (u != c) {
        // Half a holding is never stored: wait for the other value.
        m_holdingNote->setText(QStringLiteral("%1: enter both units and buy price").arg(symbol));
        m_holdingNote->show();
        return;
    }
    if (u == Parsed::Empty) {
        m_holdingNote->hide();
        m_markets.setHolding(symbol, std::nullopt, std::nullopt);
        return;
    }
    if (!isValidHolding(units, cost)) {
        m_holdingNote->setText(
            QStringLiteral("%1: units must be above 0 and the buy price 0 or more; the holding was cleared").arg(symbol));
        m_holdingNote->show();
    } else {
        m_holdingNote->hide();
    }
    m_markets.setHolding(symbol, units, cost);
    // The store may have cleared the holding without a change to announce.
    if (const Row* shown = rowOf(symbol))
        for (const WatchSymbol& entry : m_markets.watchlist())
            if (entry.symbol == symbol) {
                shown->units->setText(numberText(entry.units));
                shown->cost->setText(numberText(entry.cost));
                break;
            }
}

void WatchlistEditor::searchFor(const QString& text)
{
    if (m_search)
        m_search->request_stop();
    m_search.emplace();
    m_suggestions->clear();
    m_suggestionsRow->hide();
    auto search = runSearch(text, m_search->get_token());  // runs on by itself
}

QCoro::Task<void> WatchlistEditor::runSearch(QString text, std::stop_token stop)
{
    QPointer<WatchlistEditor> self(this);
    const QList<StockSuggestion> found = co_await m_markets.searchStocks(text, stop);
    if (!self || stop.stop_requested())
        co_return;
    for (const StockSuggestion& s : found) {
        auto* item = new QListWidgetItem(s.symbol + QStringLiteral("  ") + s.name, m_suggestions);
        item->setData(Qt::UserRole, s.symbol);
        item->setData(Qt::UserRole + 1, s.name);
    }
    m_suggestionsRow->setVisible(!found.isEmpty());
    Q_EMIT suggestionsShown();
}

void WatchlistEditor::startAdd(bool coin, QString input, std::optional<QString> name)
{
    if (m_adding || input.trimmed().isEmpty())
        return;
    auto add = runAdd(coin, std::move(input), std::move(name));  // runs on by itself
}

QCoro::Task<void> WatchlistEditor::runAdd(bool coin, QString input, std::optional<QString> name)
{
    QPointer<WatchlistEditor> self(this);
    setAdding(true);
    m_outcomeRow->show();
    SettingsLook::setTextColor(m_outcome, Color::mutedText());
    m_outcome->setText(coin ? QStringLiteral("Looking for the coin…") : QStringLiteral("Checking the symbol…"));
    // Two plain awaits: g++ 12 mishandles temporaries of a co_await inside ?:.
    WatchAddResult result;
    if (coin)
        result = co_await m_markets.addCoin(std::move(input));
    else
        result = co_await m_markets.addStock(std::move(input), std::move(name));
    if (!self)
        co_return;
    setAdding(false);
    const bool added = result.kind == WatchAddResult::Kind::Added;
    SettingsLook::setTextColor(m_outcome, added ? Color::okGreen() : kProblem);
    m_outcome->setText(outcomeText(result, coin));
    if (added) {
        (coin ? m_coinField : m_stockField)->clear();
        if (!coin) {
            if (m_search)
                m_search->request_stop();
            m_suggestions->clear();
            m_suggestionsRow->hide();
        }
    }
    Q_EMIT addFinished();
}

void WatchlistEditor::setAdding(bool adding)
{
    m_adding = adding;
    m_addStock->setEnabled(!adding);
    m_addCoin->setEnabled(!adding);
    m_suggestions->setEnabled(!adding);
}

const WatchlistEditor::Row* WatchlistEditor::rowOf(const QString& symbol) const
{
    for (const Row& row : m_rows)
        if (row.symbol == symbol)
            return &row;
    return nullptr;
}

QStringList WatchlistEditor::shownSymbols() const
{
    QStringList out;
    for (const Row& row : m_rows)
        out.append(row.symbol);
    return out;
}

QLineEdit* WatchlistEditor::unitsField(const QString& symbol) const
{
    const Row* row = rowOf(symbol);
    return row ? row->units : nullptr;
}

QLineEdit* WatchlistEditor::costField(const QString& symbol) const
{
    const Row* row = rowOf(symbol);
    return row ? row->cost : nullptr;
}

QPushButton* WatchlistEditor::removeButton(const QString& symbol) const
{
    const Row* row = rowOf(symbol);
    return row ? row->remove : nullptr;
}
