// The label every text from outside that may hold a long word goes through:
// whatever the word, the layouts around it keep their width, the word breaks
// (or is cut with an ellipsis) inside the label, and the text's beginning
// stays where its direction starts it.
#include "WideWords.h"
#include "widgets/ParagraphLabel.h"

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

// A title cut with the ellipsis breaks its lines where the whole title
// breaks, between words, however many glyphs its letters make: Arabic
// letters joined into one (lam-alef) or Latin "fi" and "fl" drawn as one.
TEST(ParagraphLabel, ACutTitleBreaksOnlyBetweenWords)
{
    const struct {
        const char* name;
        QString title;
    } cases[] = {
        {"Arabic", QStringLiteral("تراجع الأسواق العالمية وسط المخاوف الاقتصادية من تباطؤ النمو "
                                  "والاقتصاد لا ينتظر إصلاحات شاملة في الأسواق الكبرى ")
                       .repeated(3)
                       .trimmed()},
        {"Latin ligatures", QStringLiteral("Officials flee fjords as fluffy waffles baffle efficient chefs "
                                           "and affluent offices refill the flagship buffet ")
                                .repeated(3)
                                .trimmed()},
    };
    const QFontMetricsF metrics(titleFont());
    for (const auto& c : cases) {
        for (int width = 160; width <= 520; width += 40) {
            SCOPED_TRACE(testing::Message() << c.name << ", " << width << " px");
            ParagraphLabel label(c.title);
            label.setFont(titleFont());
            label.setWordWrap(true);
            label.setAlignment(Qt::AlignLeft | Qt::AlignTop);
            label.resize(width, int(std::ceil(2 * metrics.lineSpacing() + metrics.height())));
            const QStringList lines = label.shownLines();
            ASSERT_EQ(lines.size(), 3);
            ASSERT_TRUE(lines.last().endsWith(kEllipsis)) << "the title is cut";
            qsizetype at = 0;
            for (qsizetype i = 0; i < lines.size(); ++i) {
                const bool last = i + 1 == lines.size();
                const QString line = last ? beforeEllipsis({lines[i]}) : lines[i];
                SCOPED_TRACE(line.toStdString());
                ASSERT_TRUE(QStringView(c.title).sliced(at).startsWith(line)) << "line " << i;
                EXPECT_TRUE(at == 0 || c.title.at(at - 1) == u' ') << "line " << i << " starts inside a word";
                at += line.size();
                if (!last) {
                    EXPECT_TRUE(c.title.at(at - 1) == u' ' || c.title.at(at) == u' ')
                        << "line " << i << " ends inside a word";
                }
            }
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

// A label lays its text out once for a width: asking for its height and
// painting it again and again at that width lays nothing out again; a new
// text, font or width does.
TEST(ParagraphLabel, KeepsItsLayoutUntilTheTextFontOrWidthChanges)
{
    const QString query = QStringLiteral("Cafe\u0301 re\u0301sume\u0301 nai\u0308ve ").repeated(400);
    ParagraphLabel label(query);
    label.setFont(titleFont());
    label.setWordWrap(true);
    label.setAlignment(Qt::AlignCenter);
    const auto round = [&label](int width) {
        label.resize(width, label.heightForWidth(width));
        label.heightForWidth(width);
        label.sizeHint();
        label.grab();
        return label.layoutCount();
    };
    const int first = round(kWidth);
    EXPECT_GE(first, 1);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(round(kWidth), first) << "round " << i;

    const auto laysOutAgain = [&](const char* change, auto apply) {
        SCOPED_TRACE(change);
        const int before = label.layoutCount();
        apply();
        EXPECT_GT(round(kWidth), before);
        const int after = label.layoutCount();
        EXPECT_EQ(round(kWidth), after) << "and keeps that one";
    };
    laysOutAgain("text", [&] { label.setText(query + QStringLiteral("!")); });
    laysOutAgain("font", [&] {
        QFont font = titleFont();
        font.setPixelSize(14);
        label.setFont(font);
    });
    const int before = label.layoutCount();
    EXPECT_GT(round(kWidth - 40), before) << "a new width";
}
