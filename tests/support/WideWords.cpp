#include "WideWords.h"

#include "PaintedText.h"

#include <QFontMetricsF>
#include <QLabel>
#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

namespace WideWords {

QString compound()
{
    return QStringLiteral("Donaudampfschifffahrt").repeated(9);
}

QString address(qsizetype length)
{
    QString text = QStringLiteral("https://long.example/");
    for (int segment = 0; text.size() < length; ++segment)
        text += QStringLiteral("segment%1/").arg(segment, 2, 10, QLatin1Char('0'));
    return text;
}

QString hebrew()
{
    return QString(QChar(0x05D0)) + QString(QChar(0x05D1)).repeated(178) + QChar(0x05EA);
}

QString arabic()
{
    return QStringLiteral("\u0627\u0644\u0633\u0644\u0627\u0645").repeated(30);
}

namespace {

// One line as `label` draws it: the runs on one baseline.
struct DrawnLine {
    double baseline = 0;
    double left = 0;   // where its leftmost run starts
    double right = 0;  // where its rightmost run ends
    QString read;      // its characters as the eye reads them, left to right
};

// The lines `label` draws, top to bottom. Read from what its painter is
// asked to draw, so that whichever font draws a letter, the letters, their
// order and where the line starts and ends are what is compared.
QList<DrawnLine> drawnLines(QLabel* label)
{
    QList<DrawnLine> lines;
    for (const QList<PaintedText::Run>& line : PaintedText::lines(PaintedText::record(*label))) {
        DrawnLine drawn{line.first().origin.y(), std::numeric_limits<double>::max(),
                        std::numeric_limits<double>::lowest(), {}};
        for (const PaintedText::Run& run : line) {
            drawn.left = std::min(drawn.left, run.origin.x());
            drawn.right = std::max(drawn.right, run.origin.x() + run.width);
        }
        drawn.read = PaintedText::leftToRight(line, QRectF(-1e7, -1e7, 2e7, 2e7));
        lines.append(drawn);
    }
    return lines;
}

// A plain label of `label`'s size, font and margins showing `text` aligned
// by `alignment` (taken as absolute).
std::unique_ptr<QLabel> referenceFor(QLabel* label, const QString& text, Qt::Alignment alignment)
{
    auto reference = std::make_unique<QLabel>();
    reference->setTextFormat(Qt::PlainText);
    reference->setText(text);
    reference->setFont(label->font());
    reference->setContentsMargins(label->contentsMargins());
    reference->setMargin(label->margin());
    reference->setIndent(label->indent());
    reference->setAlignment(alignment | Qt::AlignAbsolute);
    reference->resize(label->size());
    return reference;
}

// Whether `shown` stands where `reference` stands: the same edge of it
// (left or right, as `alignment` says) up to a pixel, its baseline inside
// the label and near the reference's. Fonts that draw a letter for another
// font set their line a little higher or lower: a quarter of a line of the
// label's font is allowed for that.
bool samePlace(const DrawnLine& shown, const DrawnLine& reference, Qt::Alignment alignment, const QLabel* label)
{
    const QFontMetricsF metrics(label->font());
    const bool right = alignment & Qt::AlignRight;
    const double edge = right ? shown.right : shown.left;
    const double expected = right ? reference.right : reference.left;
    return std::abs(edge - expected) <= 1 && shown.baseline > 0 && shown.baseline < label->height()
           && std::abs(shown.baseline - reference.baseline) <= std::max(2.0, metrics.height() / 4);
}

} // namespace

bool showsLine(QLabel* label, const QString& text, Qt::Alignment alignment)
{
    const QList<DrawnLine> lines = drawnLines(label);
    const QList<DrawnLine> expected = drawnLines(referenceFor(label, text, alignment).get());
    if (expected.size() != 1)
        return false;
    return std::ranges::any_of(lines, [&](const DrawnLine& line) {
        return line.read == expected.first().read && samePlace(line, expected.first(), alignment, label);
    });
}

bool showsStartAtLeadingEdge(QLabel* label, const QString& start, Qt::LayoutDirection direction)
{
    const QList<DrawnLine> lines = drawnLines(label);
    if (lines.isEmpty())
        return false;
    const DrawnLine& first = lines.first();
    // The first line where the label's vertical alignment puts a line of its
    // own, or at the top, where it is when the lines fill the label.
    const Qt::Alignment edge = direction == Qt::RightToLeft ? Qt::AlignRight : Qt::AlignLeft;
    const QString read = PaintedText::leftToRight(start, direction);
    if (!(direction == Qt::RightToLeft ? first.read.endsWith(read) : first.read.startsWith(read)))
        return false;
    for (const Qt::Alignment vertical : {label->alignment() & Qt::AlignVertical_Mask, Qt::Alignment(Qt::AlignTop)}) {
        const QList<DrawnLine> reference = drawnLines(referenceFor(label, start, edge | vertical).get());
        if (reference.size() == 1 && samePlace(first, reference.first(), edge, label))
            return true;
    }
    return false;
}

} // namespace WideWords
