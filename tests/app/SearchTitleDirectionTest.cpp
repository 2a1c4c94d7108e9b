// Search results set a title as one paragraph in its own direction: each
// drawn line looks as the same line of a QTextLayout of the whole title does,
// and a title longer than its room ends in an ellipsis where its text ends,
// which is at the left for right-to-left titles.
#include "PaintedText.h"
#include "SearchHarness.h"
#include "ShownText.h"
#include "api/ReadableText.h"
#include "app/SearchResultsView.h"

#include <QAccessible>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QTextLayout>
#include <cmath>
#include <functional>
#include <gtest/gtest.h>

namespace {

using Ink = std::function<bool(QRgb)>;
const Ink anyInk = [](QRgb pixel) { return qGray(pixel) > 0; };

QRect inkBounds(const QImage& image, const Ink& ink = anyInk)
{
    QRect bounds;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (ink(image.pixel(x, y)))
                bounds |= QRect(x, y, 1, 1);
    return bounds;
}

// The view as it paints itself on screen (a painter of its own, in the
// widget's direction), on black.
QImage paintedOnBlack(SearchResultsView& view)
{
    QPalette palette = view.palette();
    palette.setColor(QPalette::Window, Qt::black);
    view.setPalette(palette);
    return view.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

QImage blank(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::black);
    return image;
}

// The whole title as one QTextLayout sets it in `width`, its direction taken
// from the text.
std::unique_ptr<QTextLayout> referenceLayout(const QString& title, const QFont& font, double width)
{
    auto layout = std::make_unique<QTextLayout>(title, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    option.setTextDirection(Qt::LayoutDirectionAuto);
    layout->setTextOption(option);
    layout->beginLayout();
    for (QTextLine line = layout->createLine(); line.isValid(); line = layout->createLine())
        line.setLineWidth(width);
    layout->endLayout();
    return layout;
}

// The columns of `image` that hold ink, at its full height.
QImage inkColumns(const QImage& image)
{
    const QRect ink = inkBounds(image);
    return image.copy(ink.left(), 0, ink.width(), image.height());
}

// Whether `band`, a strip of the view holding one line of text, shows that
// line as `line` paints it, wherever the view put it across and give or take
// a few pixels from `top` down. Ink of other lines reaching into the strip
// would show as a difference too.
bool showsLine(const QImage& band, const QTextLine& line, int top)
{
    const QImage shown = inkColumns(band);
    for (int y = top - 3; y <= top + 3; ++y) {
        QImage reference = blank(QSize(band.width() + 80, band.height()));
        QPainter painter(&reference);
        painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
        painter.setPen(Qt::white);
        line.draw(&painter, QPointF(40, y - line.y()));
        painter.end();
        if (inkColumns(reference) == shown)
            return true;
    }
    return false;
}

// At the end of `read`, a line as the eye reads it from left to right,
// stands the ellipsis: at its left for right-to-left text, at its right
// otherwise, with letters at the other end.
void expectEllipsisAtEnd(const QString& read, bool rightToLeft)
{
    const QChar ellipsis(0x2026);
    ASSERT_GT(read.size(), 3);
    EXPECT_EQ(rightToLeft ? read.front() : read.back(), ellipsis)
        << "the ellipsis is not at the " << (rightToLeft ? "left" : "right") << ": " << read.toStdString();
    EXPECT_TRUE((rightToLeft ? read.back() : read.front()).isLetter()) << read.toStdString();
}

struct TitleCase {
    const char* name;
    QString title;
    bool rightToLeft;
    int lines;      // as the whole title lays out in the column
    bool elided;    // more than two lines: the second ends in an ellipsis
    int viewWidth = 420;
};

TEST(SearchResultsView, TitlesKeepTheirOwnDirectionOnEachLine)
{
    const QString arabic = QStringLiteral("أعلن البنك المركزي اليوم عن خفض أسعار الفائدة بنصف نقطة مئوية ");
    const QString hebrew = QStringLiteral("ראש הממשלה נפגש היום עם נציגי חברות ");
    // Lam-alef pairs each make one glyph of two letters.
    const QString lamAlef = QStringLiteral("طويل: وزارة الاقتصاد تعلن عن حزمة إصلاحات شاملة … ");
    const QList<TitleCase> cases = {
        {"Hebrew with Latin words and numbers", QStringLiteral("שר האוצר: GDP growth של 3.5% בשנת 2026"), true, 1, false},
        {"Hebrew on two lines, Latin at the break",
         hebrew + QStringLiteral("OpenAI ו-Google כדי לדון ברגולציה של בינה מלאכותית בישראל"), true, 2, false},
        {"Arabic too long for two lines", (arabic + arabic + arabic + arabic).trimmed(), true, 0, true},
        {"Hebrew with Latin words, too long",
         hebrew + QStringLiteral("Google Cloud ") + hebrew + QStringLiteral("OpenAI ") + hebrew + hebrew.trimmed(), true,
         0, true},
        {"Arabic with lam-alef pairs, too long", lamAlef.repeated(3).trimmed(), true, 0, true},
        {"Arabic with lam-alef pairs, 520 wide", lamAlef.repeated(3).trimmed(), true, 0, true, 520},
        {"Arabic with lam-alef pairs, 540 wide", lamAlef.repeated(4).trimmed(), true, 0, true, 540},
        {"Arabic with lam-alef pairs, 560 wide", lamAlef.repeated(4).trimmed(), true, 0, true, 560},
        {"Arabic with lam-alef pairs on two lines", lamAlef.repeated(2).trimmed(), true, 2, false},
        {"English with a Hebrew name", QStringLiteral("Talks in ירושלים: 3 options on the table"), false, 1, false},
        {"English too long for two lines",
         QStringLiteral("Markets rally as central banks signal a pause in rate hikes while inflation cools faster "
                        "than expected across the region and the outlook brightens"),
         false, 0, true},
    };
    SearchHarness h;
    for (const TitleCase& c : cases) {
        SCOPED_TRACE(c.name);
        FeedItem item;
        item.stableId = QStringLiteral("a");
        item.title = c.title;
        ASSERT_EQ(c.title, c.title.trimmed());
        item.url = QStringLiteral("https://news.example/a");
        SearchResultsView view(h.context(), [] {});
        view.setResults({item}, 1, {}, 0);
        view.setLayoutWidth(c.viewWidth);
        view.show();

        const QRectF column = view.headlineTitleRect(0);
        std::unique_ptr<QTextLayout> reference = referenceLayout(item.title, view.titleFont(), column.width());
        // A title to cut takes more than two lines in any font: in a narrow
        // one, its words go on again until it does.
        const QStringList words = c.title.split(QLatin1Char(' '));
        for (qsizetype next = 0; c.elided && reference->lineCount() <= 2; ++next) {
            item.title += QLatin1Char(' ') + words.at(next % words.size());
            reference = referenceLayout(item.title, view.titleFont(), column.width());
        }
        view.setResults({item}, 1, {}, 0);
        ASSERT_EQ(view.headlineTitleRect(0).width(), column.width());
        const QImage shown = paintedOnBlack(view);
        const QList<PaintedText::Run> runs = PaintedText::record(view);
        if (c.elided)
            ASSERT_GT(reference->lineCount(), 2);
        else
            ASSERT_EQ(reference->lineCount(), c.lines) << "the case lays out as it means to";
        const int drawn = std::min(2, reference->lineCount());
        const double band = column.height() / drawn;
        for (int i = 0; i < drawn; ++i) {
            SCOPED_TRACE(i == 0 ? "first line" : "second line");
            // Marks reach past a line's box: the strip takes in the row's
            // padding above the first line and the gap below the last, and
            // leaves out the rows where two lines meet (the reference line
            // is cut the same way).
            const int above = i == 0 ? 6 : -2;
            const int below = i + 1 == drawn ? 2 : -2;
            const QRect lineRect = QRectF(column.left() - 8, column.top() + i * band - above, column.width() + 16,
                                          band + above + below)
                                       .toRect();
            if (c.elided && i == 1)
                expectEllipsisAtEnd(PaintedText::leftToRight(runs, lineRect), c.rightToLeft);
            else
                EXPECT_TRUE(showsLine(shown.copy(lineRect), reference->lineAt(i), above))
                    << "drawn in another order than the title's";
        }

        // What is read out and shown as a tip is the whole title as written.
        EXPECT_EQ(ShownText::toolTip(&view, view.headlineRect(0).center()), QStringLiteral("Open ") + item.title);
        QAccessibleInterface* list = QAccessible::queryAccessibleInterface(&view);
        ASSERT_TRUE(list && list->child(0));
        EXPECT_EQ(list->child(0)->text(QAccessible::Name), item.title);
    }
}

// A feed's title has one line; too long, it ends in an ellipsis at its end.
TEST(SearchResultsView, FeedTitlesEndWhereTheirTextEnds)
{
    SearchHarness h;
    for (const bool rightToLeft : {true, false}) {
        SCOPED_TRACE(rightToLeft ? "right to left" : "left to right");
        FeedIndexItem feed;
        feed.id = QStringLiteral("f");
        feed.title = rightToLeft ? QStringLiteral("חדשות הכלכלה והשווקים מסביב לעולם בכל שעה ").repeated(4)
                                 : QStringLiteral("Economy and market news from around the world ").repeated(4);
        SearchResultsView view(h.context(), [] {});
        view.setResults({}, 0, {feed}, 1);
        view.setLayoutWidth(420);
        view.show();
        // The row reads as the title, then the feed's state at the right.
        QString read = PaintedText::leftToRight(PaintedText::record(view), view.feedRect(0));
        ASSERT_TRUE(read.endsWith(QStringLiteral("ON"))) << read.toStdString();
        read.chop(2);
        expectEllipsisAtEnd(read, rightToLeft);
    }
}

// The grey line under a title reads as its source and its time set apart,
// each in its own direction: "6:56 PM" stays one unit after a right-to-left
// source.
TEST(SearchResultsView, MetaLinesKeepTheSourceAndTheTimeEachInItsOwnDirection)
{
    using PaintedText::leftToRight;
    SearchHarness h;
    for (const QString& source : {QStringLiteral("חדשות ישראל"), QStringLiteral("الجزيرة نت"),
                                  QStringLiteral("ערוץ 12"), QStringLiteral("Reuters")}) {
        SCOPED_TRACE(source.toStdString());
        FeedItem item;
        item.stableId = QStringLiteral("a");
        item.title = QStringLiteral("Title");
        item.url = QStringLiteral("https://news.example/a");
        item.publishedAt = QDateTime(QDate(2001, 3, 4), QTime(18, 56), Qt::UTC);
        FeedSource feed;
        feed.id = QStringLiteral("f");
        feed.title = source;
        item.source = feed;
        SearchResultsView view(h.context(), [] {});
        view.setResults({item}, 1, {}, 0);
        view.setLayoutWidth(420);
        view.show();
        const FeedItem::MetaLineParts parts =
            ReadableText::withReadableSource(item).metaLineParts(MetaLineContext::current());
        ASSERT_TRUE(parts.time);
        const QRectF title = view.headlineTitleRect(0);
        const QRectF below(title.left(), title.bottom(), title.width(), view.headlineRect(0).bottom() - title.bottom());
        EXPECT_EQ(leftToRight(PaintedText::record(view), below).toStdString(),
                  (leftToRight(parts.label) + leftToRight(FeedItem::metaSeparator.toString()) + leftToRight(*parts.time))
                      .toStdString());
    }
}

} // namespace
