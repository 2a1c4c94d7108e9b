#include "platform/ParagraphLabel.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QStyle>
#include <QTextLayout>
#include <algorithm>
#include <cmath>
#include <memory>

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

// `text` laid out as one paragraph in `direction`, in lines of
// `width`, at most `maxLines` of them (0: as many as it takes). When more
// would follow, or a line kept whole is wider than `width`, the last line
// keeps what fits of the rest and ends in the ellipsis, in the same
// paragraph, so that it still reads in the text's direction.
class Paragraph {
public:
    Paragraph(const QString& text, const QFont& font, Qt::LayoutDirection direction, bool wrap,
              Qt::Alignment alignment, qreal width, int maxLines)
        : m_spacing(QFontMetricsF(font).lineSpacing()), m_lineHeight(QFontMetricsF(font).height())
    {
        const QString laidOut = laidOutText(text, wrap);
        QTextOption option;
        option.setWrapMode(wrap ? QTextOption::WrapAtWordBoundaryOrAnywhere : QTextOption::NoWrap);
        option.setTextDirection(direction);
        // A text layout takes its alignment as it stands: left is left.
        option.setAlignment(QStyle::visualAlignment(direction, alignment) & Qt::AlignHorizontal_Mask);
        width = std::max(1.0, width);

        QList<int> starts;
        bool cut = false;
        {
            QTextLayout probe(laidOut, font);
            probe.setTextOption(option);
            probe.beginLayout();
            for (QTextLine line = probe.createLine(); line.isValid(); line = probe.createLine()) {
                if (maxLines > 0 && starts.size() == maxLines) {
                    cut = true;
                    break;
                }
                line.setLineWidth(width);
                starts.append(line.textStart());
                cut = !wrap && line.naturalTextWidth() > width;
            }
            probe.endLayout();
        }

        m_shown = laidOut;
        if (cut) {
            const int last = starts.constLast();
            QString rest = laidOut.mid(last);
            for (QChar& c : rest) {
                if (c == QChar::LineSeparator)
                    c = u' ';
            }
            m_shown = laidOut.left(last) + QFontMetricsF(font).elidedText(rest, Qt::ElideRight, width);
        }
        m_layout = std::make_unique<QTextLayout>(m_shown, font);
        m_layout->setTextOption(option);
        m_layout->beginLayout();
        for (qsizetype i = 0; i < starts.size(); ++i) {
            QTextLine line = m_layout->createLine();
            if (!line.isValid())
                break;
            if (!cut)
                line.setLineWidth(width);
            else  // the lines found above, the last one taking what is left
                line.setNumColumns(int((i + 1 < starts.size() ? starts.at(i + 1) : m_shown.size()) - starts.at(i)),
                                   width);
            line.setPosition(QPointF(0, std::round(double(i) * m_spacing)));
        }
        m_layout->endLayout();
    }

    int lineCount() const { return m_layout->lineCount(); }
    qreal height() const { return lineCount() == 0 ? 0 : (lineCount() - 1) * m_spacing + m_lineHeight; }
    qreal width() const
    {
        qreal widest = 0;
        for (int i = 0; i < lineCount(); ++i)
            widest = std::max(widest, m_layout->lineAt(i).naturalTextWidth());
        return widest;
    }
    QSize size() const { return QSize(int(std::ceil(width())), int(std::ceil(height()))); }

    QStringList lines() const
    {
        QStringList lines;
        for (int i = 0; i < lineCount(); ++i) {
            const QTextLine line = m_layout->lineAt(i);
            QString text = m_shown.mid(line.textStart(), line.textLength());
            text.removeIf([](QChar c) { return c == QChar::LineSeparator; });
            lines.append(text);
        }
        return lines;
    }

    void draw(QPainter& painter, const QPointF& topLeft) const { m_layout->draw(&painter, topLeft); }

private:
    qreal m_spacing;
    qreal m_lineHeight;
    QString m_shown;
    std::unique_ptr<QTextLayout> m_layout;
};

// The label's text in `width`, wrapped or not, in at most `maxLines` lines.
Paragraph paragraphOf(const ParagraphLabel& label, bool wrap, qreal width, int maxLines)
{
    return Paragraph(label.text(), label.font(), label.paragraphDirection(), wrap, label.alignment(), width, maxLines);
}

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

QSize ParagraphLabel::sizeHint() const
{
    const auto sizeAt = [this](qreal width) {
        return paragraphOf(*this, wordWrap(), width, wordWrap() ? 0 : 1).size();
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
    const QSize natural = paragraphOf(*this, false, QWIDGETSIZE_MAX, 1).size();
    const int width = std::min(natural.width(), int(std::ceil(metrics.averageCharWidth() * minimumCharacters)));
    return QSize(width, int(std::ceil(metrics.height()))) + extra();
}

int ParagraphLabel::heightForWidth(int width) const
{
    if (!wordWrap())
        return minimumSizeHint().height();
    return paragraphOf(*this, true, width - extra().width(), 0).size().height() + extra().height();
}

QStringList ParagraphLabel::shownLines() const
{
    const QRect rect = textRect();
    return paragraphOf(*this, wordWrap(), rect.width(), wordWrap() ? linesFitting(rect.height()) : 1).lines();
}

void ParagraphLabel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    drawFrame(&painter);
    const QRect rect = textRect();
    const int lines = wordWrap() ? linesFitting(rect.height()) : 1;
    const Paragraph paragraph = paragraphOf(*this, wordWrap(), rect.width(), lines);
    qreal top = rect.top();
    if (alignment() & Qt::AlignBottom)
        top = rect.bottom() + 1 - paragraph.height();
    else if (!(alignment() & Qt::AlignTop))
        top = rect.top() + std::round((rect.height() - paragraph.height()) / 2);
    painter.setClipRect(contentsRect());
    painter.setPen(palette().color(isEnabled() ? palette().currentColorGroup() : QPalette::Disabled, foregroundRole()));
    paragraph.draw(painter, QPointF(rect.left(), top));
}
