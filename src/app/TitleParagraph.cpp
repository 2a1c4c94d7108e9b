#include "app/TitleParagraph.h"

#include "api/ReadableText.h"

#include <QFontMetricsF>
#include <QList>
#include <QPainter>
#include <QTextLayout>
#include <algorithm>
#include <cmath>

namespace {

QTextOption paragraphOption(const QString& text)
{
    // The direction of the whole title, also for a last line that starts
    // with words of the other direction.
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    option.setTextDirection(ReadableText::direction(text));
    return option;
}

// Where each line starts when `text` wraps in `width`; one more than
// `maxLines` when the text does not fit.
QList<int> lineStarts(const QString& text, const QFont& font, double width, int maxLines)
{
    QTextLayout layout(text, font);
    layout.setTextOption(paragraphOption(text));
    QList<int> starts;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid() && starts.size() <= maxLines;
         line = layout.createLine()) {
        line.setLineWidth(width);
        starts.append(line.textStart());
    }
    layout.endLayout();
    return starts;
}

} // namespace

TitleParagraph::TitleParagraph(const QString& text, const QFont& font, double width, int maxLines)
{
    width = std::max(1.0, width);
    const QList<int> starts = lineStarts(text, font, width, maxLines);
    QString shown = text;
    if (starts.size() > maxLines) {
        // The last line keeps what fits of the rest and the ellipsis, in the
        // same paragraph, so both still read in the title's direction.
        const int last = starts.at(maxLines - 1);
        shown = text.left(last) + QFontMetricsF(font).elidedText(text.mid(last), Qt::ElideRight, width);
    }
    m_layout = std::make_shared<QTextLayout>(shown, font);
    m_layout->setTextOption(paragraphOption(text));
    m_layout->setCacheEnabled(true);
    const double spacing = QFontMetricsF(font).lineSpacing();
    m_layout->beginLayout();
    for (int i = 0; i < std::min<qsizetype>(maxLines, starts.size()); ++i) {
        QTextLine line = m_layout->createLine();
        if (!line.isValid())
            break;
        // The breaks found above; the last line takes all that is left.
        const bool last = i + 1 == maxLines || i + 1 == starts.size();
        line.setNumColumns(last ? int(shown.size()) - starts.at(i) : starts.at(i + 1) - starts.at(i));
        line.setPosition(QPointF(0, std::round(i * spacing)));
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
        const double x = m_layout->textOption().textDirection() == Qt::RightToLeft
                             ? std::round(widest - line.naturalTextWidth())
                             : 0;
        line.setPosition(QPointF(x, line.position().y()));
    }
}

void TitleParagraph::draw(QPainter& painter, const QPointF& topLeft) const
{
    if (m_layout)
        m_layout->draw(&painter, topLeft);
}
