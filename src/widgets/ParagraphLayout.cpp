#include "widgets/ParagraphLayout.h"

#include <QFontMetricsF>
#include <QList>
#include <QPainter>
#include <QTextBoundaryFinder>
#include <QTextLayout>
#include <algorithm>
#include <cmath>

namespace {

constexpr char16_t ellipsis = 0x2026;
constexpr char16_t pdf = 0x202C;
constexpr char16_t pdi = 0x2069;
// A line's width that nothing wraps in.
constexpr double unbounded = 1e6;

QTextOption textOption(const ParagraphLayout::Options& options)
{
    QTextOption option;
    option.setWrapMode(options.wrap ? QTextOption::WrapAtWordBoundaryOrAnywhere : QTextOption::NoWrap);
    // The direction of the whole text, also for a line that starts with
    // words of the other direction. The lines are placed by hand, so the
    // layout sets each one from the left of its line.
    option.setTextDirection(options.direction);
    option.setAlignment(Qt::AlignLeft | Qt::AlignAbsolute);
    return option;
}

// `text` with the part from `from` on cut between two graphemes so that what
// is kept of it, the closers of what the kept text leaves open and "…" fit
// in `width`: the ellipsis stands at the paragraph's logical end, outside
// every embedding. At least the ellipsis is kept.
QString cutFrom(const QString& text, qsizetype from, const QFont& font, double width)
{
    const QFontMetricsF metrics(font);
    const auto shown = [&](qsizetype end) {
        const QStringView kept = QStringView(text).first(end);
        return kept.toString() + ParagraphLayout::closingScopes(kept) + QChar(ellipsis);
    };
    return shown(ParagraphLayout::fittingEnd(text, from, [&](qsizetype end) {
        return metrics.horizontalAdvance(shown(end).mid(from)) <= width;
    }));
}

} // namespace

ParagraphLayout::ParagraphLayout(const QString& text, const QFont& font, double width, const Options& options)
    : m_spacing(QFontMetricsF(font).lineSpacing())
{
    width = std::max(1.0, width);
    const int maxLines = options.wrap ? std::max(0, options.maxLines) : 1;
    const QTextOption option = textOption(options);

    // The whole text at the real width, up to the first line that does not
    // fit: when nothing is cut, that is the paragraph.
    m_layout = std::make_shared<QTextLayout>(text, font);
    m_layout->setTextOption(option);
    m_layout->setCacheEnabled(true);
    qsizetype lastStart = 0;
    m_layout->beginLayout();
    for (QTextLine line = m_layout->createLine(); line.isValid(); line = m_layout->createLine()) {
        if (maxLines > 0 && m_lineCount == maxLines) {
            m_cut = true;
            break;
        }
        line.setLineWidth(width);
        lastStart = line.textStart();
        ++m_lineCount;
        if (!options.wrap && line.naturalTextWidth() > width)
            m_cut = true;
    }
    m_layout->endLayout();

    if (m_cut) {
        // The lines before the last keep the characters they hold above; the
        // last one takes what fits of the rest, in the same paragraph, so it
        // still reads in the text's direction.
        QString source = text;
        for (qsizetype i = lastStart; i < source.size(); ++i) {
            if (source.at(i) == QChar::LineSeparator)
                source[i] = u' ';
        }
        const QString shown = cutFrom(source, lastStart, font, width);
        const int lines = m_lineCount;
        m_lineCount = 0;
        m_layout = std::make_shared<QTextLayout>(shown, font);
        m_layout->setTextOption(option);
        m_layout->setCacheEnabled(true);
        m_layout->beginLayout();
        for (QTextLine line = m_layout->createLine(); line.isValid() && m_lineCount < lines;
             line = m_layout->createLine()) {
            line.setLineWidth(width);
            // The last line takes what is left, however its measure rounds.
            if (m_lineCount + 1 == lines && line.textStart() + line.textLength() < shown.size())
                line.setLineWidth(unbounded);
            ++m_lineCount;
        }
        m_layout->endLayout();
    }

    for (int i = 0; i < m_lineCount; ++i)
        m_width = std::max(m_width, m_layout->lineAt(i).naturalTextWidth());
    const double box = options.againstWidest ? m_width : width;
    Qt::Alignment alignment = options.alignment;
    if (!(alignment & Qt::AlignAbsolute) && options.direction == Qt::RightToLeft && (alignment & (Qt::AlignLeft | Qt::AlignRight)))
        alignment ^= Qt::AlignLeft | Qt::AlignRight;
    for (int i = 0; i < m_lineCount; ++i) {
        QTextLine line = m_layout->lineAt(i);
        const double room = box - line.naturalTextWidth();
        double x = 0;
        if (alignment & Qt::AlignRight)
            x = room;
        else if (alignment & Qt::AlignHCenter)
            x = room / 2;
        if (options.againstWidest)
            x = std::round(x);
        line.setPosition(QPointF(std::max(0.0, x), std::round(i * m_spacing)));
    }
}

QString ParagraphLayout::lineText(int line) const
{
    if (!m_layout || line < 0 || line >= m_lineCount)
        return {};
    const QTextLine shown = m_layout->lineAt(line);
    QString text = m_layout->text().mid(shown.textStart(), shown.textLength());
    text.removeIf([](QChar c) { return c == QChar::LineSeparator; });
    return text;
}

void ParagraphLayout::draw(QPainter& painter, const QPointF& topLeft) const
{
    if (m_layout)
        m_layout->draw(&painter, topLeft);
}

qsizetype ParagraphLayout::fittingEnd(const QString& text, qsizetype from,
                                      const std::function<bool(qsizetype end)>& fits)
{
    QList<qsizetype> ends;  // grapheme boundaries after `from`, found as needed
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, text);
    graphemes.setPosition(from);
    const auto reach = [&](qsizetype count) {
        while (ends.size() < count) {
            const qsizetype at = graphemes.toNextBoundary();
            if (at <= 0)
                return false;
            ends.append(at);
        }
        return true;
    };
    // `low` graphemes fit, more than `high` do not: first a count that does
    // not fit (doubling), so that only about as much as fits is measured,
    // then the most that do in between.
    qsizetype low = 0;
    qsizetype high = 0;
    for (qsizetype count = 16;; count *= 2) {
        const bool more = reach(count);
        const qsizetype n = std::min(count, ends.size());
        if (n == 0 || !fits(ends[n - 1])) {
            high = std::max(low, n - 1);
            break;
        }
        low = n;
        if (!more) {
            high = n;
            break;
        }
    }
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
    return end;
}

QString ParagraphLayout::closingScopes(QStringView text)
{
    QString closers;
    for (const QChar c : text) {
        switch (c.unicode()) {
        case 0x202A: case 0x202B: case 0x202D: case 0x202E:  // LRE, RLE, LRO, RLO
            closers.append(QChar(pdf));
            break;
        case 0x2066: case 0x2067: case 0x2068:  // LRI, RLI, FSI
            closers.append(QChar(pdi));
            break;
        case pdf:
            if (closers.endsWith(QChar(pdf)))
                closers.chop(1);
            break;
        case pdi:  // closes its isolate and every embedding opened inside it
            if (const qsizetype isolate = closers.lastIndexOf(QChar(pdi)); isolate >= 0)
                closers.truncate(isolate);
            break;
        default:
            break;
        }
    }
    std::reverse(closers.begin(), closers.end());
    return closers;
}
