#pragma once

#include "app/SearchMatching.h"
#include "ticker/TickerRow.h"

#include <QWidget>
#include <functional>

class FeedStore;
class QLabel;
class QLineEdit;
class QScrollArea;
class QStackedLayout;
class QToolButton;
class SearchResultsView;

// The whole content of the search window: the query field with its clear and
// "ESC" buttons over a hairline, then the prompt, the nothing-found notice or
// the results. Searches the store's loaded headlines and its catalogue of
// feeds as the user types, and follows the store while it is shown. Escape
// and "ESC" run `onDismiss`; so does opening a headline. A press on the
// background moves the window.
class SearchPanel : public QWidget {
    Q_OBJECT
public:
    enum class Body { Prompt, NothingFound, Results };

    static inline const QString themeKey = QStringLiteral("themeBackground");
    static constexpr int panelWidth = 620;
    static constexpr int panelHeight = 520;

    SearchPanel(FeedStore& store, std::function<void()> onDismiss,
                TickerRowContext context = TickerRowContext::standard(), QWidget* parent = nullptr);

    // Gives the query field the keyboard focus.
    void focusQuery();

    QString query() const;
    Body body() const { return m_body; }
    // Uncapped results of the current query (empty below two characters).
    QList<FeedItem> headlineResults() const;
    QList<FeedIndexItem> feedResults() const;

    QLineEdit* queryField() const { return m_field; }
    QToolButton* clearButton() const { return m_clear; }
    QToolButton* closeButton() const { return m_close; }
    SearchResultsView* resultsView() const { return m_results; }
    // The two lines of the nothing-found notice.
    QString nothingFoundTitle() const;
    QString nothingFoundDetail() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* makeHeader();
    QWidget* makePrompt();
    QWidget* makeNothingFound();
    void prepareIndex();
    void refresh();
    void showBody(Body body);

    FeedStore& m_store;
    std::function<void()> m_onDismiss;
    TickerRowContext m_context;
    SearchIndex m_index;
    bool m_itemsStale = true;
    bool m_feedsStale = true;
    QList<qsizetype> m_headlineMatches;  // positions in the index
    QList<qsizetype> m_feedMatches;
    Body m_body = Body::Prompt;

    QLineEdit* m_field = nullptr;
    QToolButton* m_clear = nullptr;
    QToolButton* m_close = nullptr;
    QWidget* m_hairline = nullptr;
    QStackedLayout* m_bodies = nullptr;
    QLabel* m_nothingTitle = nullptr;
    QLabel* m_nothingDetail = nullptr;
    QScrollArea* m_scroll = nullptr;
    SearchResultsView* m_results = nullptr;
};
