#include "widgets/ParagraphLabel.h"

#include "widgets/ParagraphLayout.h"
#include "widgets/PlainText.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace {

bool isLineBreak(QChar c)
{
    return c == u'\n' || c == u'\r' || c == QChar::LineSeparator || c == QChar::ParagraphSeparator;
}

// What is laid out: a line break in the text as a line separator when the
// label wraps, as a space when it keeps to one line.
QString laidOutText(const QString& text, bool wrap)
{
    QString out = text;
    out.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    for (QChar& c : out) {
        if (isLineBreak(c))
            c = wrap ? QChar(QChar::LineSeparator) : QChar(u' ');
    }
    return out;
}

// The layouts a label keeps: its size hints, its height for the width it
// is given and what it draws there.
constexpr qsizetype keptLayouts = 6;

} // namespace

ParagraphLabel::ParagraphLabel(const QString& text, QWidget* parent) : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
    setText(text);
}

void ParagraphLabel::setDirection(Direction direction)
{
    m_direction = direction;
    updateGeometry();
    update();
}

Qt::LayoutDirection ParagraphLabel::paragraphDirection() const
{
    if (m_direction == Direction::OfWidget)
        return layoutDirection();
    return text().isRightToLeft() ? Qt::RightToLeft : Qt::LeftToRight;
}

void ParagraphLabel::setHeightFromLayout(bool on)
{
    m_heightFromLayout = on;
    updateGeometry();
}

bool ParagraphLabel::hasHeightForWidth() const
{
    return wordWrap() && !m_heightFromLayout;
}

QSize ParagraphLabel::extra() const
{
    const QMargins margins = contentsMargins();
    return QSize(margins.left() + margins.right() + 2 * margin(), margins.top() + margins.bottom() + 2 * margin());
}

QRect ParagraphLabel::textRect() const
{
    return contentsRect().adjusted(margin(), margin(), -margin(), -margin());
}

int ParagraphLabel::linesFitting(int height) const
{
    const QFontMetricsF metrics(font());
    return 1 + std::max(0, int(std::floor((height - metrics.height()) / metrics.lineSpacing())));
}

const ParagraphLayout& ParagraphLabel::paragraph(bool wrap, qreal width, int maxLines) const
{
    const Source source{text(), font(), paragraphDirection(), alignment() & Qt::AlignHorizontal_Mask};
    if (!(source == m_laidSource)) {
        m_laid.clear();
        m_laidSource = source;
    }
    width = std::max<qreal>(1, width);
    const auto found = std::find_if(m_laid.begin(), m_laid.end(), [&](const Laid& laid) {
        if (laid.wrap != wrap || laid.width != width)
            return false;
        // The whole text fits in fewer lines than asked for: it is what
        // those lines show.
        return laid.maxLines == maxLines ||
               (!laid.paragraph.isCut() && (maxLines == 0 || laid.paragraph.lineCount() <= maxLines));
    });
    if (found != m_laid.end()) {
        if (found != m_laid.begin())
            std::rotate(m_laid.begin(), found, found + 1);
        return m_laid.front().paragraph;
    }
    ++m_layoutCount;
    ParagraphLayout laidOut(laidOutText(source.text, wrap), source.font, width,
                            ParagraphLayout::Options{.direction = source.direction,
                                                     .wrap = wrap,
                                                     .maxLines = maxLines,
                                                     .alignment = source.alignment,
                                                     .againstWidest = false});
    if (m_laid.size() == keptLayouts)
        m_laid.removeLast();
    m_laid.prepend(Laid{wrap, width, maxLines, std::move(laidOut)});
    return m_laid.front().paragraph;
}

qreal ParagraphLabel::heightOf(const ParagraphLayout& paragraph) const
{
    const int lines = paragraph.lineCount();
    return lines == 0 ? 0 : (lines - 1) * paragraph.lineSpacing() + QFontMetricsF(font()).height();
}

QSize ParagraphLabel::sizeOf(const ParagraphLayout& paragraph) const
{
    return QSize(int(std::ceil(paragraph.width())), int(std::ceil(heightOf(paragraph))));
}

QSize ParagraphLabel::sizeHint() const
{
    const auto sizeAt = [this](qreal width) {
        return sizeOf(paragraph(wordWrap(), width, wordWrap() ? 0 : 1));
    };
    if (!wordWrap())
        return sizeAt(QWIDGETSIZE_MAX) + extra();
    // As a word-wrapped QLabel picks its width: at most 80 average
    // characters, narrower while that leaves the text only a few lines.
    const QFontMetricsF metrics(font());
    const qreal width = std::min<qreal>(metrics.averageCharWidth() * 80, maximumWidth() - extra().width());
    QSize size = sizeAt(width);
    if (size.height() < 4 * metrics.lineSpacing() && size.width() > width / 2)
        size = sizeAt(width / 2);
    if (size.height() < 2 * metrics.lineSpacing() && size.width() > width / 4)
        size = sizeAt(width / 4);
    return size + extra();
}

QSize ParagraphLabel::minimumSizeHint() const
{
    const QFontMetricsF metrics(font());
    const QSize natural = sizeOf(paragraph(false, QWIDGETSIZE_MAX, 1));
    const int width = std::min(natural.width(), int(std::ceil(metrics.averageCharWidth() * minimumCharacters)));
    return QSize(width, int(std::ceil(metrics.height()))) + extra();
}

int ParagraphLabel::heightForWidth(int width) const
{
    if (!wordWrap())
        return minimumSizeHint().height();
    return sizeOf(paragraph(true, width - extra().width(), 0)).height() + extra().height();
}

const ParagraphLayout& ParagraphLabel::shownParagraph() const
{
    const QRect rect = textRect();
    return paragraph(wordWrap(), rect.width(), wordWrap() ? linesFitting(rect.height()) : 1);
}

void ParagraphLabel::setWholeTextToolTip(bool on)
{
    m_wholeTextToolTip = on;
    if (!on)
        setToolTip(QString());
    showWholeTextToolTip();
}

void ParagraphLabel::showWholeTextToolTip()
{
    if (!m_wholeTextToolTip)
        return;
    const QString tip = shownParagraph().isCut() ? PlainText::toolTip(text()) : QString();
    if (tip != toolTip())
        setToolTip(tip);
}

bool ParagraphLabel::event(QEvent* event)
{
    // The text may have changed since the last resize.
    if (event->type() == QEvent::ToolTip)
        showWholeTextToolTip();
    return QLabel::event(event);
}

void ParagraphLabel::resizeEvent(QResizeEvent* event)
{
    QLabel::resizeEvent(event);
    showWholeTextToolTip();
}

QStringList ParagraphLabel::shownLines() const
{
    const ParagraphLayout& shown = shownParagraph();
    QStringList lines;
    for (int i = 0; i < shown.lineCount(); ++i)
        lines.append(shown.lineText(i));
    return lines;
}

void ParagraphLabel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    drawFrame(&painter);
    const QRect rect = textRect();
    // A copy: what it draws stays alive whatever the painting asks of the
    // label.
    const ParagraphLayout shown = shownParagraph();
    const qreal height = heightOf(shown);
    qreal top = rect.top();
    if (alignment() & Qt::AlignBottom)
        top = rect.bottom() + 1 - height;
    else if (!(alignment() & Qt::AlignTop))
        top = rect.top() + std::round((rect.height() - height) / 2);
    painter.setClipRect(contentsRect());
    painter.setPen(palette().color(isEnabled() ? palette().currentColorGroup() : QPalette::Disabled, foregroundRole()));
    shown.draw(painter, QPointF(rect.left(), top));
}
