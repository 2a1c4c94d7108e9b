// The label every text from outside that may hold a long word goes through:
// whatever the word, the layouts around it keep their width, the word breaks
// (or is cut with an ellipsis) inside the label, and the text's beginning
// stays where its direction starts it.
#include "WideWords.h"
#include "platform/ParagraphLabel.h"

#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QVBoxLayout>
#include <gtest/gtest.h>
#include <cmath>

namespace {

constexpr int kWidth = 300;
const QChar kEllipsis(0x2026);

struct WideCase {
    const char* name;
    QString text;
    Qt::LayoutDirection direction;
    // Letters that look the same alone; empty for a joining script, whose
    // letters change form at the ends of a run measured or drawn alone.
    QString start;
};

QList<WideCase> wideCases()
{
    return {
        {"compound word", WideWords::compound(), Qt::LeftToRight, QStringLiteral("Don")},
        {"address in a title", QStringLiteral("Report: ") + WideWords::address() + QStringLiteral(" now"),
         Qt::LeftToRight, QStringLiteral("Rep")},
        {"hebrew word", WideWords::hebrew(), Qt::RightToLeft, WideWords::hebrew().left(3)},
        {"arabic word", WideWords::arabic(), Qt::RightToLeft, {}},
        {"line break, then a long word", QStringLiteral("Breaking\n") + WideWords::compound(), Qt::LeftToRight,
         QStringLiteral("Bre")},
    };
}

QFont titleFont()
{
    QFont font;
    font.setPixelSize(18);
    font.setWeight(QFont::Bold);
    return font;
}

QString withoutLineBreaks(QString text)
{
    return text.remove(QLatin1Char('\n'));
}

// What lines cut with the ellipsis show of their text: the ellipsis goes, and
// so does the joiner that keeps a joining letter's form before it.
QString beforeEllipsis(const QStringList& lines)
{
    QString text = lines.join(QString());
    if (text.endsWith(kEllipsis))
        text.chop(1);
    if (text.endsWith(QChar(0x200D)))
        text.chop(1);
    return text;
}

qreal widest(const QStringList& lines, const QFont& font)
{
    qreal width = 0;
    for (const QString& line : lines)
        width = std::max(width, QFontMetricsF(font).horizontalAdvance(line));
    return width;
}

// A wrapping label in a column: the column keeps the width it was given, the
// word breaks inside it and every letter is shown, the text's beginning on
// its leading edge. Given room for two lines only, the second ends in the
// ellipsis.
TEST(ParagraphLabel, AWordWiderThanTheLabelBreaksInsideItAndWidensNothing)
{
    for (const WideCase& c : wideCases()) {
        SCOPED_TRACE(c.name);
        QWidget column;
        auto* layout = new QVBoxLayout(&column);
        layout->setContentsMargins(0, 0, 0, 0);
        auto* label = new ParagraphLabel(c.text);
        label->setFont(titleFont());
        label->setWordWrap(true);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        layout->addWidget(label);
        const QFontMetricsF metrics(titleFont());
        EXPECT_LE(column.minimumSizeHint().width(), kWidth) << "the word sets no minimum width";
        EXPECT_LE(label->sizeHint().width(), metrics.averageCharWidth() * 80 + 1);
        EXPECT_EQ(label->paragraphDirection(), c.direction);

        // Its column asks for the height its lines need at that width.
        column.setFixedSize(kWidth, column.heightForWidth(kWidth));
        column.show();
        ASSERT_EQ(label->size(), column.size());
        const QStringList lines = label->shownLines();
        EXPECT_GT(lines.size(), 2);
        EXPECT_EQ(lines.join(QString()), withoutLineBreaks(c.text)) << "every letter is shown";
        if (!c.start.isEmpty()) {
            EXPECT_LE(widest(lines, titleFont()), kWidth) << "no line runs past the label";
            EXPECT_TRUE(WideWords::showsStartAtLeadingEdge(label, c.start, c.direction));
        }
        EXPECT_EQ(label->text(), c.text) << "the text itself stays whole";

        column.setFixedHeight(int(std::ceil(metrics.lineSpacing() + metrics.height())));
        ASSERT_EQ(label->size(), column.size());
        const QStringList two = label->shownLines();
        ASSERT_EQ(two.size(), 2);
        EXPECT_TRUE(two.last().endsWith(kEllipsis)) << two.last().toStdString();
        EXPECT_TRUE(withoutLineBreaks(c.text).startsWith(beforeEllipsis(two)));
        if (!c.start.isEmpty()) {
            EXPECT_LE(widest(two, titleFont()), kWidth);
        }
    }
}

// Kept to one line, the text is cut at its logical end with the ellipsis, so
// its beginning shows: on the left for a left-to-right text, on the right for
// a right-to-left one.
TEST(ParagraphLabel, OnOneLineALongWordIsCutAtItsEndWithItsBeginningOnItsLeadingEdge)
{
    for (const WideCase& c : wideCases()) {
        SCOPED_TRACE(c.name);
        QWidget row;
        auto* layout = new QHBoxLayout(&row);
        layout->setContentsMargins(0, 0, 0, 0);
        auto* label = new ParagraphLabel(c.text);
        label->setFont(titleFont());
        layout->addWidget(label);
        EXPECT_LE(row.minimumSizeHint().width(), kWidth);

        row.setFixedSize(kWidth, label->sizeHint().height());
        row.show();
        ASSERT_EQ(label->size(), row.size());
        const QStringList lines = label->shownLines();
        ASSERT_EQ(lines.size(), 1);
        EXPECT_TRUE(lines.first().endsWith(kEllipsis));
        EXPECT_TRUE(QString(c.text).replace(QLatin1Char('\n'), QLatin1Char(' ')).startsWith(beforeEllipsis(lines)));
        if (!c.start.isEmpty()) {
            EXPECT_LE(widest(lines, titleFont()), kWidth);
            EXPECT_TRUE(WideWords::showsStartAtLeadingEdge(label, c.start, c.direction));
        }
    }
}

// A widget that would rather be 40 pixels square.
class Square : public QWidget {
public:
    QSize sizeHint() const override { return {40, 40}; }
};

// In a box of fixed size (a card), a label that takes the height its layout
// gives it leaves its neighbours their size and cuts its text to the room
// that is left.
TEST(ParagraphLabel, InABoxOfFixedSizeItTakesTheRoomLeftAndCutsItsText)
{
    QWidget card;
    card.setFixedSize(kWidth, 120);
    auto* layout = new QVBoxLayout(&card);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto* header = new Square;
    layout->addWidget(header);
    auto* title = new ParagraphLabel(WideWords::compound());
    title->setFont(titleFont());
    title->setWordWrap(true);
    title->setHeightFromLayout(true);
    layout->addWidget(title, 1);
    card.show();
    EXPECT_EQ(header->height(), 40);
    EXPECT_EQ(title->height(), 80);
    const QFontMetricsF metrics(titleFont());
    const QStringList lines = title->shownLines();
    EXPECT_EQ(lines.size(), 1 + int((80 - metrics.height()) / metrics.lineSpacing()));
    EXPECT_TRUE(lines.last().endsWith(kEllipsis));
}

// A sentence of ours holding a title from outside reads in the sentence's
// direction, whatever the title's; a title on its own reads in its own.
TEST(ParagraphLabel, ASentenceHoldingARightToLeftTitleReadsInTheWidgetsDirection)
{
    const QString sentence = QStringLiteral("\u201C") + WideWords::hebrew() + QStringLiteral("\u201D is on your ticker now");
    ParagraphLabel label(sentence);
    label.setFont(titleFont());
    label.setWordWrap(true);
    label.setAlignment(Qt::AlignLeft | Qt::AlignTop);
    EXPECT_EQ(label.paragraphDirection(), Qt::RightToLeft) << "a quotation mark is not strong";
    label.setDirection(ParagraphLabel::Direction::OfWidget);
    EXPECT_EQ(label.paragraphDirection(), Qt::LeftToRight);
    label.resize(kWidth, label.heightForWidth(kWidth));
    EXPECT_TRUE(label.shownLines().last().endsWith(QStringLiteral("ticker now")));
    EXPECT_TRUE(WideWords::showsStartAtLeadingEdge(&label, sentence.left(1), Qt::LeftToRight));
}

} // namespace
