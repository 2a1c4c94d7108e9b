#include "app/TitleParagraph.h"

#include "api/ReadableText.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QTextBoundaryFinder>
#include <QTextLayout>
#include <algorithm>
#include <cmath>
#include <optional>

namespace {

constexpr char16_t ellipsis = 0x2026;

QTextOption paragraphOption(const QString& text)
{
    // The direction of the whole title, also for a last line that starts
    // with words of the other direction.
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    option.setTextDirection(ReadableText::direction(text));
    return option;
}

// Where the last of `maxLines` lines starts when the whole of `text` wraps
// in `width`; none when it fits in them.
std::optional<int> lastLineStart(const QString& text, const QFont& font, const QTextOption& option, double width,
                                 int maxLines)
{
    QTextLayout layout(text, font);
    layout.setTextOption(option);
    std::optional<int> start;
    int lines = 0;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        if (++lines == maxLines)
            start = line.textStart();
        else if (lines > maxLines)
            break;
    }
    layout.endLayout();
    return lines > maxLines ? start : std::nullopt;
}

// `text` with the part from `from` on cut between two graphemes so that
// what is kept of it, the closers of what the kept text leaves open and "…"
// fit in `width`: the ellipsis stands at the paragraph's logical end, outside
// every embedding. At least the ellipsis is kept.
QString elidedFrom(const QString& text, int from, const QFont& font, double width)
{
    const QFontMetricsF metrics(font);
    auto shown = [&](qsizetype end) {
        const QStringView kept = QStringView(text).first(end);
        return kept.toString() + ReadableText::closingScopes(kept) + QChar(ellipsis);
    };
    auto fits = [&](qsizetype end) { return metrics.horizontalAdvance(shown(end).mid(from)) <= width; };

    QList<qsizetype> ends;  // grapheme boundaries after `from`
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, text);
    graphemes.setPosition(from);
    for (qsizetype at = graphemes.toNextBoundary(); at > 0; at = graphemes.toNextBoundary())
        ends.append(at);
    // The most graphemes that fit; a wider text never fits better.
    qsizetype low = 0, high = ends.size();
    while (low < high) {
        const qsizetype middle = (low + high + 1) / 2;
        if (fits(ends[middle - 1]))
            low = middle;
        else
            high = middle - 1;
    }
    qsizetype end = low > 0 ? ends[low - 1] : from;
    while (end > from && text.at(end - 1).isSpace())
        --end;
    return shown(end);
}

} // namespace

TitleParagraph::TitleParagraph(const QString& text, const QFont& font, double width, int maxLines)
{
    width = std::max(1.0, width);
    maxLines = std::max(1, maxLines);
    const QTextOption option = paragraphOption(text);
    // The breaks are the whole title's: the lines before the last hold what
    // they hold when the title wraps whole, and only the last one that fits
    // ends early, in an ellipsis, when more would follow.
    const std::optional<int> lastStart = lastLineStart(text, font, option, width, maxLines);
    const QString shown = lastStart ? elidedFrom(text, *lastStart, font, width) : text;

    m_layout = std::make_shared<QTextLayout>(shown, font);
    m_layout->setTextOption(option);
    m_layout->setCacheEnabled(true);
    const double spacing = QFontMetricsF(font).lineSpacing();
    m_layout->beginLayout();
    for (QTextLine line = m_layout->createLine(); line.isValid() && m_lineCount < maxLines;
         line = m_layout->createLine()) {
        line.setLineWidth(width);
        // The last line takes what is left, however its measure rounds.
        if (m_lineCount + 1 == maxLines && line.textStart() + line.textLength() < shown.size())
            line.setLineWidth(1e6);
        line.setPosition(QPointF(0, std::round(m_lineCount * spacing)));
        ++m_lineCount;
    }
    m_layout->endLayout();
    m_height = m_lineCount * spacing;

    // Lines start on whole pixels; right-to-left ones end at the same edge.
    double& widest = m_width;
    for (int i = 0; i < m_lineCount; ++i)
        widest = std::max(widest, m_layout->lineAt(i).naturalTextWidth());
    for (int i = 0; i < m_lineCount; ++i) {
        QTextLine line = m_layout->lineAt(i);
        const double x = option.textDirection() == Qt::RightToLeft ? std::round(widest - line.naturalTextWidth()) : 0;
        line.setPosition(QPointF(x, line.position().y()));
    }
}

QString TitleParagraph::lineText(int line) const
{
    if (!m_layout || line < 0 || line >= m_lineCount)
        return {};
    const QTextLine shown = m_layout->lineAt(line);
    return m_layout->text().mid(shown.textStart(), shown.textLength());
}

void TitleParagraph::draw(QPainter& painter, const QPointF& topLeft) const
{
    if (m_layout)
        m_layout->draw(&painter, topLeft);
}
