#include "app/SearchPanel.h"

#include "api/Color.h"
#include "api/Palette.h"
#include "app/SearchResultsView.h"
#include "platform/storage/Defaults.h"
#include "widgets/ParagraphLabel.h"
#include "store/FeedStore.h"

#include <QApplication>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QScrollArea>
#include <QScrollBar>
#include <QStackedLayout>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWindow>

namespace {

constexpr int symbolSide = 16;

QFont sizedFont(int pixels, QFont::Weight weight, bool monospaced = false)
{
    QFont font = QFontDatabase::systemFont(monospaced ? QFontDatabase::FixedFont : QFontDatabase::GeneralFont);
    if (monospaced)
        font.setStyleHint(QFont::Monospace);
    font.setPixelSize(pixels);
    font.setWeight(weight);
    return font;
}

enum class Symbol { Magnifier, ClearCircle };

// The panel's two symbols, drawn in `color` on a transparent square.
QPixmap symbolPixmap(Symbol symbol, const QColor& color, qreal dpr)
{
    QPixmap pixmap(QSize(symbolSide, symbolSide) * dpr);
    pixmap.setDevicePixelRatio(dpr);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const double s = symbolSide;
    if (symbol == Symbol::Magnifier) {
        QPen pen(color, 1.8, Qt::SolidLine, Qt::RoundCap);
        p.setPen(pen);
        p.drawEllipse(QRectF(s * 0.12, s * 0.12, s * 0.56, s * 0.56));
        p.drawLine(QPointF(s * 0.62, s * 0.62), QPointF(s * 0.9, s * 0.9));
    } else {
        QPainterPath disc;
        disc.addEllipse(QRectF(s * 0.06, s * 0.06, s * 0.88, s * 0.88));
        QPainterPath cross;
        QPainterPathStroker stroker;
        stroker.setWidth(1.6);
        stroker.setCapStyle(Qt::RoundCap);
        QPainterPath lines;
        lines.moveTo(s * 0.34, s * 0.34);
        lines.lineTo(s * 0.66, s * 0.66);
        lines.moveTo(s * 0.66, s * 0.34);
        lines.lineTo(s * 0.34, s * 0.66);
        cross = stroker.createStroke(lines);
        p.fillPath(disc.subtracted(cross), color);
    }
    return pixmap;
}

// A centred line of ours, which may quote what the user typed: a word too
// long for the panel breaks inside it.
QLabel* textLabel(const QString& text, const QFont& font, const QColor& color, QWidget* parent)
{
    auto* label = new ParagraphLabel(text, parent);
    label->setDirection(ParagraphLabel::Direction::OfWidget);
    label->setFont(font);
    label->setAlignment(Qt::AlignCenter);
    label->setWordWrap(true);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
    return label;
}

QToolButton* borderlessButton(const QString& accessibleName, QWidget* parent)
{
    auto* button = new QToolButton(parent);
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    button->setCursor(Qt::ArrowCursor);
    button->setAccessibleName(accessibleName);
    button->setStyleSheet(QStringLiteral("QToolButton { border: none; background: transparent; padding: 0; }"));
    return button;
}

// A body that takes the remaining room and centres its lines in it.
QWidget* centredStack(const QList<QLabel*>& labels, int spacing, int sideMargin, QWidget* parent)
{
    auto* body = new QWidget(parent);
    auto* layout = new QVBoxLayout(body);
    layout->setContentsMargins(sideMargin, 0, sideMargin, 0);
    layout->setSpacing(spacing);
    layout->addStretch(1);
    for (QLabel* label : labels) {
        label->setParent(body);
        layout->addWidget(label);
    }
    layout->addStretch(1);
    return body;
}

} // namespace

SearchPanel::SearchPanel(FeedStore& store, std::function<void()> onDismiss, TickerRowContext context,
                         QWidget* parent)
    : QWidget(parent), m_store(store), m_onDismiss(std::move(onDismiss)), m_context(context)
{
    // As tall as the window is: a window on a screen too short for the
    // panel gives up height (its results scroll) rather than its title bar.
    setFixedWidth(panelWidth);
    setMaximumHeight(panelHeight);
    resize(panelWidth, panelHeight);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(makeHeader());
    m_hairline = new QWidget(this);  // painted by the panel
    m_hairline->setFixedHeight(1);
    m_hairline->setAttribute(Qt::WA_TransparentForMouseEvents);
    layout->addWidget(m_hairline);

    m_bodies = new QStackedLayout;
    m_bodies->addWidget(makePrompt());
    m_bodies->addWidget(makeNothingFound());
    m_scroll = new QScrollArea(this);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setWidgetResizable(false);
    m_scroll->setStyleSheet(QStringLiteral(
        "QScrollArea { background: transparent; }"
        "QScrollBar:vertical { background: transparent; width: 10px; }"
        "QScrollBar::handle:vertical { background: rgba(255, 255, 255, 60); border-radius: 3px;"
        " min-height: 24px; margin: 2px; }"
        "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0; }"
        "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: none; }"));
    m_scroll->viewport()->setAutoFillBackground(false);
    m_results = new SearchResultsView(m_context, m_onDismiss);
    m_scroll->setWidget(m_results);
    m_results->setAutoFillBackground(false);  // the panel's theme shows through
    m_scroll->viewport()->installEventFilter(this);
    m_bodies->addWidget(m_scroll);
    layout->addLayout(m_bodies, 1);

    connect(m_field, &QLineEdit::textChanged, this, [this](const QString& text) {
        m_clear->setVisible(!text.isEmpty());
        refresh();
        m_scroll->verticalScrollBar()->setValue(0);
    });
    connect(&m_store, &FeedStore::itemsChanged, this, [this] {
        m_itemsStale = true;
        refresh();
    });
    connect(&m_store, &FeedStore::feedsChanged, this, [this] {
        m_feedsStale = true;
        refresh();
    });
    connect(&m_store, &FeedStore::disabledIDsChanged, this,
            [this] { m_results->setDisabledIDs(m_store.disabledIDs()); });
    m_results->setDisabledIDs(m_store.disabledIDs());
    refresh();
    // Fold the store's texts once the window is up, so the first query the
    // user types only scans.
    QTimer::singleShot(0, this, [this] { prepareIndex(); });
}

void SearchPanel::prepareIndex()
{
    if (m_itemsStale) {
        m_index.setItems(m_store.items());
        m_itemsStale = false;
    }
    if (m_feedsStale) {
        m_index.setFeeds(m_store.feeds());
        m_feedsStale = false;
    }
}

QWidget* SearchPanel::makeHeader()
{
    auto* header = new QWidget(this);
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(16, 16, 16, 16);
    row->setSpacing(10);
    const qreal dpr = devicePixelRatioF();

    auto* magnifier = new QLabel(header);
    magnifier->setPixmap(symbolPixmap(Symbol::Magnifier, Color::mutedText(), dpr));
    magnifier->setAttribute(Qt::WA_TransparentForMouseEvents);
    row->addWidget(magnifier);

    m_field = new QLineEdit(header);
    m_field->setPlaceholderText(QStringLiteral("Search headlines and feeds…"));
    m_field->setFrame(false);
    m_field->setFont(sizedFont(15, QFont::Normal));
    QPalette palette = m_field->palette();
    palette.setColor(QPalette::Base, Qt::transparent);
    palette.setColor(QPalette::Text, Qt::white);
    palette.setColor(QPalette::PlaceholderText, Color::mutedText());
    m_field->setPalette(palette);
    m_field->setAttribute(Qt::WA_MacShowFocusRect, false);
    row->addWidget(m_field, 1);

    m_clear = borderlessButton(QStringLiteral("Clear search"), header);
    m_clear->setIcon(QIcon(symbolPixmap(Symbol::ClearCircle, Color::mutedText(), dpr)));
    m_clear->setIconSize(QSize(symbolSide, symbolSide));
    m_clear->setVisible(false);
    connect(m_clear, &QToolButton::clicked, this, [this] {
        m_field->clear();
        focusQuery();
    });
    row->addWidget(m_clear);

    m_close = borderlessButton(QStringLiteral("Close search"), header);
    m_close->setText(QStringLiteral("ESC"));
    m_close->setFont(sizedFont(10, QFont::Black, true));
    m_close->setStyleSheet(m_close->styleSheet() + QStringLiteral(" QToolButton { color: %1; }")
                                                         .arg(Color::mutedText().name()));
    connect(m_close, &QToolButton::clicked, this, [this] {
        if (m_onDismiss)
            m_onDismiss();
    });
    row->addWidget(m_close);
    return header;
}

QWidget* SearchPanel::makePrompt()
{
    QLabel* title = textLabel(QStringLiteral("Search what's in your ticker"), sizedFont(13, QFont::Bold), Qt::white,
                              this);
    QLabel* detail = textLabel(QStringLiteral("Headlines currently loaded, and every feed Tidewire carries.\n"
                                              "Type at least two characters."),
                               sizedFont(11, QFont::Normal), Color::mutedText(), this);
    return centredStack({title, detail}, 8, 0, this);
}

QWidget* SearchPanel::makeNothingFound()
{
    m_nothingTitle = textLabel(QString(), sizedFont(13, QFont::Bold), Qt::white, this);
    m_nothingDetail = textLabel(QString(), sizedFont(11, QFont::Normal), Color::mutedText(), this);
    return centredStack({m_nothingTitle, m_nothingDetail}, 6, 24, this);
}

void SearchPanel::focusQuery()
{
    m_field->setFocus(Qt::OtherFocusReason);
}

QString SearchPanel::query() const
{
    return m_field->text();
}

QString SearchPanel::nothingFoundTitle() const
{
    return m_nothingTitle->text();
}

QString SearchPanel::nothingFoundDetail() const
{
    return m_nothingDetail->text();
}

void SearchPanel::refresh()
{
    const std::optional<QString> query = SearchMatching::normalisedQuery(m_field->text());
    if (!query) {
        m_headlineMatches.clear();
        m_feedMatches.clear();
        m_results->setResults({}, 0, {}, 0);
        showBody(Body::Prompt);
        return;
    }
    // The folded texts are made again only after the store's lists changed.
    prepareIndex();
    m_headlineMatches = m_index.matchingItems(*query);
    m_feedMatches = m_index.matchingFeeds(*query);
    if (m_headlineMatches.isEmpty() && m_feedMatches.isEmpty()) {
        m_results->setResults({}, 0, {}, 0);
        m_nothingTitle->setText(QStringLiteral("Nothing for “") + m_field->text() + QStringLiteral("”"));
        m_nothingDetail->setText(QStringLiteral("Search covers the ") + QString::number(m_store.items().size())
                                 + QStringLiteral(" headlines currently loaded, not the whole archive."));
        showBody(Body::NothingFound);
        return;
    }
    QList<FeedItem> headlines;
    for (qsizetype position : m_headlineMatches.first(std::min<qsizetype>(m_headlineMatches.size(),
                                                                           SearchResultsView::maxHeadlineRows)))
        headlines.append(m_index.item(position));
    QList<FeedIndexItem> feeds;
    for (qsizetype position :
         m_feedMatches.first(std::min<qsizetype>(m_feedMatches.size(), SearchResultsView::maxFeedRows)))
        feeds.append(m_index.feed(position));
    m_results->setLayoutWidth(m_scroll->viewport()->width());
    m_results->setResults(headlines, m_headlineMatches.size(), feeds, m_feedMatches.size());
    showBody(Body::Results);
}

QList<FeedItem> SearchPanel::headlineResults() const
{
    QList<FeedItem> found;
    for (qsizetype position : m_headlineMatches)
        found.append(m_index.item(position));
    return found;
}

QList<FeedIndexItem> SearchPanel::feedResults() const
{
    QList<FeedIndexItem> found;
    for (qsizetype position : m_feedMatches)
        found.append(m_index.feed(position));
    return found;
}

void SearchPanel::showBody(Body body)
{
    m_body = body;
    m_bodies->setCurrentIndex(int(body));
}

bool SearchPanel::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_scroll->viewport() && event->type() == QEvent::Resize)
        m_results->setLayoutWidth(m_scroll->viewport()->width());
    return QWidget::eventFilter(watched, event);
}

void SearchPanel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    // Read at each paint: a theme change shows at the next redraw.
    const QString theme = m_context.defaults->stringValue(themeKey, QStringLiteral("Black"));
    painter.fillRect(rect(), themeBackgroundColor(theme));
    painter.fillRect(m_hairline->geometry(), Color::hairline());
}

void SearchPanel::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        if (QWindow* handle = window()->windowHandle()) {
            handle->startSystemMove();
            return;
        }
    }
    QWidget::mousePressEvent(event);
}

void SearchPanel::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        if (m_onDismiss)
            m_onDismiss();
        return;
    }
    QWidget::keyPressEvent(event);
}

void SearchPanel::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    focusQuery();
}
