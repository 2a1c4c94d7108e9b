#pragma once

#include "api/ItemModels.h"
#include "ticker/TickerRow.h"

#include <QList>
#include <QPointer>
#include <QWidget>

class BoardCard;
#include "store/FeedStore.h"
class FilterStore;
class QGridLayout;
class QToolButton;

// The board's content: a grid of headline cards from the store's current
// ticker items, muted ones left out, as many as fit the board, refreshed
// when the items or the muted phrases change.
class AmbientBoardView : public QWidget {
    Q_OBJECT
public:
    static constexpr int cardWidth = 380;
    static constexpr int cardHeight = 250;
    static constexpr int spacing = 24;
    static constexpr int margin = 48;

    AmbientBoardView(FeedStore& store, TickerRowContext context, FilterStore& filters, QWidget* parent = nullptr);

    // The items the cards show, in order.
    const QList<FeedItem>& shownItems() const { return m_shown; }
    QList<BoardCard*> cards() const;
    // The gear in the top-right corner that opens the settings window.
    QToolButton* settingsButton() const { return m_settings; }
    // Columns and rows that fit `size`; at least one of each.
    static QSize gridFor(const QSize& size);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void rebuild();

    QPointer<FeedStore> m_store;
    TickerRowContext m_context;
    FilterStore& m_filters;
    QGridLayout* m_grid;
    QList<FeedItem> m_shown;
    QSize m_gridSize;
    QToolButton* m_settings;
};
