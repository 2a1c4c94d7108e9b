#include "app/SearchResultsView.h"

#include "app/TitleParagraph.h"

#include "api/Color.h"
#include "api/ReadableText.h"
#include "api/SourceTypeBadge.h"
#include "widgets/PlainText.h"
#include "platform/session/UrlOpener.h"
#include "store/ReadStore.h"
#include "ticker/PaintedRowsAccessible.h"
#include "ticker/TickerIconView.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <cmath>

namespace {

constexpr double padX = 16;
constexpr double headerTop = 14;
constexpr double headerBottom = 6;
constexpr double headerSpacing = 8;
constexpr double headlinePadY = 8;
constexpr double headlineSpacing = 10;
constexpr double columnSpacing = 3;
constexpr double metaSpacing = 6;
constexpr double feedPadY = 7;
constexpr double feedSpacing = 10;
constexpr double dotSide = 6;
constexpr double bottomPadding = 12;
constexpr int iconSize = 1;  // TickerIconView's compact size

QFont systemFont(int pixels, QFont::Weight weight)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPixelSize(pixels);
    font.setWeight(weight);
    return font;
}

QFont monospacedFont(int pixels, QFont::Weight weight)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setStyleHint(QFont::Monospace);
    font.setPixelSize(pixels);
    font.setWeight(weight);
    return font;
}

// Line breaks and tabs inside a title are shown as spaces.
QString oneParagraph(QString text)
{
    for (QChar& c : text) {
        if (c == u'\n' || c == u'\r' || c == u'\t' || c == QChar::LineSeparator || c == QChar::ParagraphSeparator)
            c = u' ';
    }
    return text;
}

QColor withAlpha(QColor color, double alpha)
{
    color.setAlphaF(float(color.alphaF() * alpha));
    return color;
}

const QString& orEmpty(const std::optional<QString>& text)
{
    static const QString empty;
    return text ? *text : empty;
}

QString categoryTag(const FeedIndexItem& feed)
{
    return feed.category ? orEmpty(feed.category->name).toUpper() : QString();
}

std::optional<SourceTypeBadgeLayout> badgeFor(const FeedItem& item)
{
    if (!item.source || !item.source->sourceType)
        return std::nullopt;
    SourceTypeBadgeLayout layout = SourceTypeBadge(*item.source->sourceType, true).layout();
    if (layout.isEmpty)
        return std::nullopt;
    return layout;
}

} // namespace

SearchResultRow::SearchResultRow(FeedItem item, std::function<void()> onOpen, TickerRowContext context)
    : m_item(std::move(item)), m_onOpen(std::move(onOpen)), m_context(context)
{
}

std::optional<QUrl> SearchResultRow::targetURL(const FeedItem& item)
{
    // Parsed as the strip parses links, so a result opens what its headline
    // opens there.
    if (!item.url)
        return std::nullopt;
    return webUrl(*item.url);
}

QString SearchResultRow::toolTip() const
{
    return targetURL() ? QStringLiteral("Open ") + ReadableText::headline(m_item) : QString();
}

void SearchResultRow::open() const
{
    const std::optional<QUrl> target = targetURL();
    if (!target)
        return;
    // Everything needed is copied first: onOpen closes the window this row
    // belongs to.
    UrlOpener* opener = m_context.opener;
    m_context.readStore->markRead(m_item.stableId);
    if (m_onOpen)
        m_onOpen();
    opener->open(*target);
}

SearchResultsView::SearchResultsView(TickerRowContext context, std::function<void()> onOpen, QWidget* parent)
    : QWidget(parent),
      m_context(context),
      m_onOpen(std::move(onOpen)),
      m_headerFont(monospacedFont(10, QFont::Bold)),
      m_countFont(monospacedFont(10, QFont::Normal)),
      m_titleFont(systemFont(13, QFont::Medium)),
      m_metaFont(monospacedFont(10, QFont::Normal)),
      m_feedTitleFont(systemFont(13, QFont::Normal)),
      m_feedTagFont(monospacedFont(9, QFont::Bold)),
      m_stateFont(monospacedFont(9, QFont::Black))
{
    setMouseTracking(true);
    PaintedRowsAccessible::installFactory();
}

void SearchResultsView::setResults(const QList<FeedItem>& headlines, qsizetype headlineCount,
                                   const QList<FeedIndexItem>& feeds, qsizetype feedCount)
{
    m_headlineCount = headlineCount;
    m_feedCount = feedCount;
    m_headlines = headlines.mid(0, maxHeadlineRows);
    m_feeds = feeds.mid(0, maxFeedRows);
    m_hovered.reset();
    m_pressed.reset();
    relayout();
}

void SearchResultsView::setDisabledIDs(const QSet<QString>& ids)
{
    if (ids == m_disabled)
        return;
    m_disabled = ids;
    update();
}

void SearchResultsView::setLayoutWidth(int width)
{
    if (width == m_layoutWidth)
        return;
    m_layoutWidth = width;
    relayout();
}

QList<SearchResultsView::Section> SearchResultsView::sections() const
{
    QList<Section> shown;
    if (m_headlineCount > 0)
        shown.append({QStringLiteral("HEADLINES"), m_headlineCount});
    if (m_feedCount > 0)
        shown.append({QStringLiteral("FEEDS"), m_feedCount});
    return shown;
}

QRect SearchResultsView::headlineRect(qsizetype row) const
{
    for (const Block& block : m_blocks)
        if (block.kind == Kind::Headline && block.index == row)
            return block.rect.toAlignedRect();
    return {};
}

QRectF SearchResultsView::headlineTitleRect(qsizetype row) const
{
    for (const Block& block : m_blocks)
        if (block.kind == Kind::Headline && block.index == row) {
            const double x = padX + TickerIconView::side(iconSize) + headlineSpacing;
            return {x, block.rect.top() + headlinePadY, block.rect.width() - x - padX, block.title.height()};
        }
    return {};
}

QRect SearchResultsView::feedRect(qsizetype row) const
{
    for (const Block& block : m_blocks)
        if (block.kind == Kind::Feed && block.index == row)
            return block.rect.toAlignedRect();
    return {};
}

void SearchResultsView::relayout()
{
    const double width = m_layoutWidth;
    const QFontMetricsF header(m_headerFont);
    const QFontMetricsF meta(m_metaFont);
    const QFontMetricsF feedTitle(m_feedTitleFont);
    const QFontMetricsF feedTag(m_feedTagFont);
    const QFontMetricsF state(m_stateFont);
    const double iconSide = TickerIconView::side(iconSize);
    const double textX = padX + iconSide + headlineSpacing;
    const double textWidth = std::max(1.0, width - textX - padX);
    const MetaLineContext now = MetaLineContext::current();

    // Rows start and end on whole pixels.
    m_blocks.clear();
    double y = 0;
    auto addHeader = [&](Kind kind) {
        const double height = std::ceil(headerTop + header.height() + headerBottom);
        m_blocks.append({kind, 0, QRectF(0, y, width, height), {}, {}});
        y += height;
    };
    if (!m_headlines.isEmpty()) {
        addHeader(Kind::HeadlinesHeader);
        for (qsizetype i = 0; i < m_headlines.size(); ++i) {
            const FeedItem& item = m_headlines[i];
            Block block{Kind::Headline, i, {},
                        TitleParagraph(oneParagraph(ReadableText::headline(item)), m_titleFont, textWidth, 2), {}};
            const std::optional<SourceTypeBadgeLayout> badge = badgeFor(item);
            const double metaWidth = textWidth - (badge ? badge->size.width() + metaSpacing : 0);
            // The source's name gives way to the time.
            block.meta = meta.elidedText(ReadableText::metaLine(item, now, m_metaFont, metaWidth), Qt::ElideRight,
                                         std::max(1.0, metaWidth));
            const double metaHeight = std::max(meta.height(), badge ? badge->size.height() : 0.0);
            const double column = block.title.height() + columnSpacing + metaHeight;
            const double height = std::ceil(2 * headlinePadY + std::max(iconSide, column));
            block.rect = QRectF(0, y, width, height);
            m_blocks.append(block);
            y += height;
        }
    }
    if (!m_feeds.isEmpty()) {
        addHeader(Kind::FeedsHeader);
        const double stateWidth = std::max(state.horizontalAdvance(QStringLiteral("OFF")),
                                           state.horizontalAdvance(QStringLiteral("ON")));
        const double room = width - 2 * padX - dotSide - feedSpacing - feedSpacing - stateWidth;
        for (qsizetype i = 0; i < m_feeds.size(); ++i) {
            const FeedIndexItem& feed = m_feeds[i];
            // A category name too long for the row is cut to a third of it,
            // leaving the rest to the title.
            const QString tag = feedTag.elidedText(categoryTag(feed), Qt::ElideRight, std::max(0.0, room / 3));
            const double tagWidth = tag.isEmpty() ? 0 : feedTag.horizontalAdvance(tag) + feedSpacing;
            const double titleWidth = room - tagWidth;
            Block block{Kind::Feed, i, {}, TitleParagraph(oneParagraph(ReadableText::capped(feed.title, ReadableText::headlineLength)), m_feedTitleFont, titleWidth, 1),
                        tag};
            const double height =
                std::ceil(2 * feedPadY + std::max({feedTitle.height(), feedTag.height(), state.height()}));
            block.rect = QRectF(0, y, width, height);
            m_blocks.append(block);
            y += height;
        }
    }
    y += bottomPadding;
    setFixedHeight(int(std::ceil(y)));
    if (m_layoutWidth > 0 && this->width() != m_layoutWidth)
        setFixedWidth(m_layoutWidth);
    update();
}

void SearchResultsView::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing | QPainter::SmoothPixmapTransform);
    for (const Block& block : m_blocks) {
        if (!block.rect.intersects(event->rect()))
            continue;
        switch (block.kind) {
        case Kind::HeadlinesHeader:
            paintHeader(painter, block, QStringLiteral("HEADLINES"), m_headlineCount);
            break;
        case Kind::FeedsHeader:
            paintHeader(painter, block, QStringLiteral("FEEDS"), m_feedCount);
            break;
        case Kind::Headline:
            paintHeadline(painter, block);
            break;
        case Kind::Feed:
            paintFeed(painter, block);
            break;
        }
    }
}

void SearchResultsView::paintHeader(QPainter& painter, const Block& block, const QString& title,
                                    qsizetype count) const
{
    const QFontMetricsF metrics(m_headerFont);
    const double baseline = block.rect.top() + headerTop + metrics.ascent();
    painter.setFont(m_headerFont);
    painter.setPen(Color::accentBlue());
    painter.drawText(QPointF(padX, baseline), title);
    painter.setFont(m_countFont);
    painter.setPen(Color::mutedText());
    painter.drawText(QPointF(padX + metrics.horizontalAdvance(title) + headerSpacing, baseline),
                     QString::number(count));
}

void SearchResultsView::paintHeadline(QPainter& painter, const Block& block) const
{
    const FeedItem& item = m_headlines[block.index];
    const QRectF& r = block.rect;
    if (m_hovered == block.index)
        painter.fillRect(r, QColor(255, 255, 255, 13));

    const double iconSide = TickerIconView::side(iconSize);
    TickerIconView::paint(painter, QRectF(padX, r.top() + headlinePadY, iconSide, iconSide), item, iconSize,
                          *m_context.favicons);

    const double textX = padX + iconSide + headlineSpacing;
    painter.setPen(Qt::white);
    block.title.draw(painter, QPointF(textX, r.top() + headlinePadY));
    const double y = metaOrigin(block).y();

    const QFontMetricsF meta(m_metaFont);
    const std::optional<SourceTypeBadgeLayout> badge = badgeFor(item);
    const double metaHeight = std::max(meta.height(), badge ? badge->size.height() : 0.0);
    double x = textX;
    if (badge) {
        SourceTypeBadge::paint(painter, QPointF(x, y + (metaHeight - badge->size.height()) / 2), *badge);
        x += badge->size.width() + metaSpacing;
    }
    painter.setFont(m_metaFont);
    painter.setPen(Color::mutedText());
    // The source, then the time, from the badge on: the row's order, whatever
    // the direction of either.
    painter.save();
    painter.setLayoutDirection(Qt::LeftToRight);
    painter.drawText(QPointF(x, y + (metaHeight - meta.height()) / 2 + meta.ascent()), block.meta);
    painter.restore();
}

QPointF SearchResultsView::metaOrigin(const Block& block) const
{
    return {padX + TickerIconView::side(iconSize) + headlineSpacing,
            block.rect.top() + headlinePadY + block.title.height() + columnSpacing};
}

QList<PaintedRow> SearchResultsView::accessibleRows() const
{
    QList<PaintedRow> rows;
    const QFontMetricsF meta(m_metaFont);
    for (const Block& block : m_blocks) {
        if (block.kind == Kind::Headline) {
            const FeedItem& item = m_headlines[block.index];
            PaintedRow row{QAccessible::ListItem, oneParagraph(ReadableText::headline(item)), block.rect, {}};
            if (const std::optional<SourceTypeBadgeLayout> badge = badgeFor(item)) {
                const QPointF origin = metaOrigin(block);
                const double metaHeight = std::max(meta.height(), badge->size.height());
                row.parts.append({QAccessible::StaticText,
                                  SourceTypeBadge(*item.source->sourceType, true).accessibleName(),
                                  QRectF(QPointF(origin.x(), origin.y() + (metaHeight - badge->size.height()) / 2),
                                         badge->size)});
            }
            rows.append(row);
        } else if (block.kind == Kind::Feed) {
            rows.append({QAccessible::ListItem, oneParagraph(ReadableText::capped(m_feeds[block.index].title, ReadableText::headlineLength)), block.rect, {}});
        }
    }
    return rows;
}

void SearchResultsView::paintFeed(QPainter& painter, const Block& block) const
{
    const FeedIndexItem& feed = m_feeds[block.index];
    const QRectF& r = block.rect;
    const bool off = m_disabled.contains(feed.id);
    const double middle = r.center().y();

    painter.setPen(Qt::NoPen);
    painter.setBrush(off ? withAlpha(Color::mutedText(), 0.4) : Color::okGreen());
    painter.drawEllipse(QRectF(padX, middle - dotSide / 2, dotSide, dotSide));

    auto drawCentred = [&](const QFont& font, const QColor& color, double x, const QString& text) {
        const QFontMetricsF metrics(font);
        painter.setFont(font);
        painter.setPen(color);
        painter.drawText(QPointF(x, middle - metrics.height() / 2 + metrics.ascent()), text);
        return metrics.horizontalAdvance(text);
    };
    double x = padX + dotSide + feedSpacing;
    painter.setPen(Qt::white);
    block.title.draw(painter, QPointF(x, std::round(middle - block.title.height() / 2)));
    x += block.title.width() + feedSpacing;
    if (!block.meta.isEmpty())
        drawCentred(m_feedTagFont, Color::mutedText(), x, block.meta);
    const QString state = off ? QStringLiteral("OFF") : QStringLiteral("ON");
    const double stateX = r.right() - padX - QFontMetricsF(m_stateFont).horizontalAdvance(state);
    drawCentred(m_stateFont, off ? Color::mutedText() : Color::okGreen(), stateX, state);
}

std::optional<qsizetype> SearchResultsView::headlineAtPoint(const QPointF& point) const
{
    for (const Block& block : m_blocks)
        if (block.kind == Kind::Headline && block.rect.contains(point))
            return block.index;
    return std::nullopt;
}

void SearchResultsView::setHovered(std::optional<qsizetype> row)
{
    if (row == m_hovered)
        return;
    m_hovered = row;
    update();
}

void SearchResultsView::mouseMoveEvent(QMouseEvent* event)
{
    setHovered(headlineAtPoint(event->position()));
    QWidget::mouseMoveEvent(event);
}

void SearchResultsView::leaveEvent(QEvent* event)
{
    setHovered(std::nullopt);
    QWidget::leaveEvent(event);
}

void SearchResultsView::mousePressEvent(QMouseEvent* event)
{
    m_pressed = event->button() == Qt::LeftButton ? headlineAtPoint(event->position()) : std::nullopt;
    if (!m_pressed)
        event->ignore();  // the panel moves the window from here
}

void SearchResultsView::mouseReleaseEvent(QMouseEvent* event)
{
    const std::optional<qsizetype> pressed = std::exchange(m_pressed, std::nullopt);
    if (event->button() != Qt::LeftButton || !pressed || headlineAtPoint(event->position()) != pressed) {
        event->ignore();
        return;
    }
    SearchResultRow(m_headlines[*pressed], m_onOpen, m_context).open();
}

bool SearchResultsView::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const std::optional<qsizetype> row = headlineAtPoint(help->pos());
        const QString tip =
            row ? PlainText::toolTip(SearchResultRow(m_headlines[*row], {}, m_context).toolTip()) : QString();
        if (tip.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), tip, this, headlineRect(*row));
        return true;
    }
    return QWidget::event(event);
}
