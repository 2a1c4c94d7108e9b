#pragma once

#include "api/ItemModels.h"
#include "api/ManifestModels.h"
#include "app/TitleParagraph.h"
#include "ticker/PaintedRows.h"
#include "ticker/TickerRow.h"

#include <QFont>
#include <QSet>
#include <QWidget>
#include <functional>
#include <optional>

// One headline of the search results: what a click on it does.
class SearchResultRow {
public:
    SearchResultRow(FeedItem item, std::function<void()> onOpen, TickerRowContext context);

    const FeedItem& item() const { return m_item; }
    // The item's url exactly as stored, when it parses as an http or https
    // address with a host; none otherwise.
    static std::optional<QUrl> targetURL(const FeedItem& item);
    std::optional<QUrl> targetURL() const { return targetURL(m_item); }
    // "Open " and the clean title; empty without a target.
    QString toolTip() const;
    // Without a target nothing happens. Otherwise the item is marked read,
    // onOpen runs (it closes the window), and the link goes to the opener.
    void open() const;

private:
    FeedItem m_item;
    std::function<void()> m_onOpen;
    TickerRowContext m_context;
};

// The results body of the search panel as one painted list: the
// "HEADLINES" section with its rows, then the "FEEDS" section. Headline rows
// highlight under the pointer and open on a click; feed rows only inform.
// Its height follows its rows; the panel scrolls it.
class SearchResultsView : public QWidget, public PaintedRowsSource {
    Q_OBJECT
public:
    static constexpr int maxHeadlineRows = 40;
    static constexpr int maxFeedRows = 20;

    SearchResultsView(TickerRowContext context, std::function<void()> onOpen, QWidget* parent = nullptr);

    // Shows the first rows of each list under headers carrying the full
    // counts; a section without matches is left out.
    void setResults(const QList<FeedItem>& headlines, qsizetype headlineCount, const QList<FeedIndexItem>& feeds,
                    qsizetype feedCount);
    void setDisabledIDs(const QSet<QString>& ids);
    // Lays the rows out for `width` and takes the height they need.
    void setLayoutWidth(int width);

    // What is shown, for the panel and its tests.
    struct Section {
        QString title;  // "HEADLINES" or "FEEDS"
        qsizetype count;
    };
    QList<Section> sections() const;
    qsizetype headlineRowCount() const { return m_headlines.size(); }
    qsizetype feedRowCount() const { return m_feeds.size(); }
    const FeedItem& headlineAt(qsizetype row) const { return m_headlines.at(row); }
    const FeedIndexItem& feedAt(qsizetype row) const { return m_feeds.at(row); }
    QRect headlineRect(qsizetype row) const;
    QRect feedRect(qsizetype row) const;
    // Where a headline's title lines go: the text column's width, their height.
    QRectF headlineTitleRect(qsizetype row) const;
    const QFont& titleFont() const { return m_titleFont; }
    std::optional<qsizetype> hoveredHeadline() const { return m_hovered; }
    // For assistive technologies: each headline (its title, and its source
    // badge named after the source kind) and each feed (its title).
    QList<PaintedRow> accessibleRows() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    bool event(QEvent* event) override;

private:
    enum class Kind { HeadlinesHeader, FeedsHeader, Headline, Feed };
    struct Block {
        Kind kind;
        qsizetype index = 0;  // row within its section
        QRectF rect;
        TitleParagraph title;  // headline: up to two lines; feed: one
        QString meta;            // headline meta line, feed category in capitals
    };

    void relayout();
    std::optional<qsizetype> headlineAtPoint(const QPointF& point) const;
    void setHovered(std::optional<qsizetype> row);
    void paintHeader(QPainter& painter, const Block& block, const QString& title, qsizetype count) const;
    void paintHeadline(QPainter& painter, const Block& block) const;
    // Where a headline's meta line starts: left of the badge, under the title.
    QPointF metaOrigin(const Block& block) const;
    void paintFeed(QPainter& painter, const Block& block) const;

    TickerRowContext m_context;
    std::function<void()> m_onOpen;
    QList<FeedItem> m_headlines;  // the shown ones
    QList<FeedIndexItem> m_feeds;
    qsizetype m_headlineCount = 0;
    qsizetype m_feedCount = 0;
    QSet<QString> m_disabled;
    QList<Block> m_blocks;
    int m_layoutWidth = 0;
    std::optional<qsizetype> m_hovered;
    std::optional<qsizetype> m_pressed;
    QFont m_headerFont, m_countFont, m_titleFont, m_metaFont, m_feedTitleFont, m_feedTagFont, m_stateFont;
};
