// A title set in a few lines breaks where the whole title breaks: each line
// but an elided last one holds the characters of that line of the title laid
// out whole, whatever glyphs its characters make (a ligature, a letter with
// its marks, an emoji of several code points); an elided last line holds the
// start of the rest, then "…" at the paragraph's logical end.
#include "api/ReadableText.h"
#include "app/TitleParagraph.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QTextBoundaryFinder>
#include <QTextLayout>
#include <cmath>
#include <gtest/gtest.h>

namespace {

const QString ellipsis = QStringLiteral("\u2026");

QFont titleFont()
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPixelSize(13);
    font.setWeight(QFont::Medium);
    return font;
}

// The characters of each line of `title` laid out whole in `width`, in the
// direction of its text.
QStringList wholeLines(const QString& title, const QFont& font, double width)
{
    QTextLayout layout(title, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    option.setTextDirection(Qt::LayoutDirectionAuto);
    layout.setTextOption(option);
    QStringList lines;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        lines.append(title.mid(line.textStart(), line.textLength()));
    }
    layout.endLayout();
    return lines;
}

struct TitleCase {
    const char* name;
    QString title;
};

QList<TitleCase> titles()
{
    const QString arabic = QStringLiteral("طويل: وزارة الاقتصاد تعلن عن حزمة إصلاحات شاملة … ");
    const QString lamAlef = QStringLiteral("لا سلام بلا عدالة ولا أمان بلا قانون والاقتصاد لا ينتظر ");
    return {
        {"Arabic with lam-alef pairs, too long", (arabic + arabic + arabic).trimmed()},
        {"Arabic made of lam-alef pairs", (lamAlef + lamAlef).trimmed()},
        {"Arabic with marks", QStringLiteral("مَرْحَبًا بِكُمْ فِي الْأَخْبَارِ الْعَاجِلَةِ مِنَ الْعَالَمِ ").repeated(3).trimmed()},
        {"Latin ligatures", QStringLiteral("Official affluent efficient fjords fluff office suffix offline "
                                           "buffalo ruffle stiff waffles affix")},
        {"combining marks", QStringLiteral("Cafe\u0301 re\u0301sume\u0301 nai\u0308ve Zu\u0308rich "
                                           "Ha\u030Acon Se\u0301ville cre\u0300me bru\u0302le\u0301e ")
                                .repeated(2)
                                .trimmed()},
        {"emoji sequences", QStringLiteral("Families \U0001F468\u200D\U0001F469\u200D\U0001F467 gather as "
                                           "\U0001F1EB\U0001F1F7 flags wave \U0001F44D\U0001F3FD and "
                                           "\u2764\uFE0F\u200D\U0001F525 hearts ")
                                .repeated(3)
                                .trimmed()},
        {"Hebrew with points", QStringLiteral("שָׁלוֹם עֲלֵיכֶם מִן הַחֲדָשׁוֹת הַבֵּינְלְאֻמִּיּוֹת הַיּוֹם ").repeated(3).trimmed()},
        {"one long word", QStringLiteral("\u0627\u0644\u0627").repeated(60)},
    };
}

TEST(TitleParagraph, LinesHoldTheCharactersOfTheWholeTitlesLines)
{
    const QFont font = titleFont();
    for (const TitleCase& c : titles()) {
        for (int width = 60; width <= 560; width += 20) {
            SCOPED_TRACE(testing::Message() << c.name << ", " << width << " px");
            const QStringList whole = wholeLines(c.title, font, width);
            const TitleParagraph paragraph(c.title, font, width, 2);
            ASSERT_EQ(paragraph.lineCount(), std::min<qsizetype>(2, whole.size()));
            const bool elided = whole.size() > 2;
            for (int i = 0; i < paragraph.lineCount(); ++i) {
                SCOPED_TRACE(i);
                if (elided && i == 1)
                    break;
                EXPECT_EQ(paragraph.lineText(i).toStdString(), whole[i].toStdString());
            }
            if (!elided)
                continue;
            // The title from where its second line starts, cut, with every
            // scope it opened closed before the ellipsis.
            const QString last = paragraph.lineText(1);
            ASSERT_TRUE(last.endsWith(ellipsis)) << last.toStdString();
            const QString before = paragraph.lineText(0) + last.chopped(1);
            EXPECT_TRUE(ReadableText::closingScopes(before).isEmpty());
            EXPECT_TRUE(c.title.startsWith(before)) << last.toStdString();
            EXPECT_LE(paragraph.width(), width + 1.0);
            if (before.size() > whole[0].size()) {
                EXPECT_FALSE(before.back().isSpace()) << "no blank before the ellipsis";
            }
            // As much of the rest as fits: one grapheme more (after any
            // blanks) and the ellipsis would not.
            qsizetype next = before.size();
            while (next < c.title.size() && c.title.at(next).isSpace())
                ++next;
            QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, c.title);
            graphemes.setPosition(next);
            next = graphemes.toNextBoundary();
            const QString longer = c.title.left(next);
            EXPECT_GT(QFontMetricsF(font).horizontalAdvance(longer.mid(whole[0].size())
                                                            + ReadableText::closingScopes(longer) + ellipsis),
                      width);
        }
    }
    EXPECT_TRUE(TitleParagraph(QStringLiteral("One line"), font, 300, 2).lineText(1).isEmpty());
}

// In a column too narrow for one letter and the ellipsis, the last line is
// the ellipsis alone; the line before it keeps what it holds whole.
TEST(TitleParagraph, AColumnNarrowerThanALetterEndsInTheEllipsisAlone)
{
    const QFont font = titleFont();
    const QString title = QStringLiteral("a WWW WWW WWW");
    const double width = QFontMetricsF(font).horizontalAdvance(QStringLiteral("a ")) + 1;
    const QStringList whole = wholeLines(title, font, width);
    ASSERT_GT(whole.size(), 2);
    ASSERT_EQ(whole[0], QStringLiteral("a "));
    const TitleParagraph paragraph(title, font, width, 2);
    ASSERT_EQ(paragraph.lineCount(), 2);
    EXPECT_EQ(paragraph.lineText(0), whole[0]);
    EXPECT_EQ(paragraph.lineText(1), ellipsis);
}

// The lines of a paragraph share the edge its direction starts from: the
// right one for a right-to-left title, the left one otherwise.
TEST(TitleParagraph, LinesStartAtTheEdgeOfTheTitlesDirection)
{
    const QFont font = titleFont();
    const struct {
        const char* name;
        QString title;
        bool rightToLeft;
    } cases[] = {
        {"Hebrew", QStringLiteral("ראש הממשלה נפגש היום עם נציגי חברות הטכנולוגיה הגדולות בעולם"), true},
        {"Arabic, elided", QStringLiteral("وزارة الاقتصاد تعلن عن حزمة إصلاحات شاملة ").repeated(4).trimmed(), true},
        {"English", QStringLiteral("Markets rally as central banks signal a pause in rate hikes today"), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const TitleParagraph paragraph(c.title, font, 260, 2);
        ASSERT_EQ(paragraph.lineCount(), 2);
        QImage image(QSize(400, int(std::ceil(paragraph.height())) + 10), QImage::Format_RGB32);
        image.fill(Qt::black);
        QPainter painter(&image);
        painter.setPen(Qt::white);
        paragraph.draw(painter, QPointF(20, 5));
        painter.end();
        QList<QRect> ink;
        const int band = int(paragraph.height() / 2);
        for (int line = 0; line < 2; ++line) {
            QRect bounds;
            for (int y = 5 + line * band; y < 5 + (line + 1) * band; ++y)
                for (int x = 0; x < image.width(); ++x)
                    if (qGray(image.pixel(x, y)) > 60)
                        bounds |= QRect(x, y, 1, 1);
            ink.append(bounds);
        }
        ASSERT_GT(std::abs(ink[0].width() - ink[1].width()), 8) << "the case has lines of unlike widths";
        if (c.rightToLeft)
            EXPECT_NEAR(ink[0].right(), ink[1].right(), 3);
        else
            EXPECT_NEAR(ink[0].left(), ink[1].left(), 3);
        EXPECT_GE(std::min(ink[0].left(), ink[1].left()), 20 - 3) << "nothing left of where it is drawn";
    }
}

// Where the last line is cut inside an embedding, the ellipsis follows its
// closing, so it stands at the end of the paragraph, not of the embedding.
TEST(TitleParagraph, TheEllipsisStandsOutsideEveryEmbedding)
{
    const QFont font = titleFont();
    const QString title = QStringLiteral("Talks on \u202Bשלום ") + QStringLiteral("ועוד שיחות רבות ").repeated(12)
                          + QStringLiteral("\u202C continue");
    const TitleParagraph paragraph(title, font, 300, 2);
    ASSERT_EQ(paragraph.lineCount(), 2);
    EXPECT_TRUE(paragraph.lineText(1).endsWith(QStringLiteral("\u202C\u2026")))
        << paragraph.lineText(1).toStdString();
}

} // namespace
