#include "api/ItemModels.h"
#include "api/ReadableText.h"

#include <QTextBoundaryFinder>
#include <gtest/gtest.h>

namespace {

const QString ellipsis = QStringLiteral("\u2026");

// Words of `word` and a space, until `length` units.
QString wordsOf(const QString& word, qsizetype length)
{
    QString text;
    while (text.size() < length)
        text += word + u' ';
    text.truncate(length);
    return text;
}

bool isGraphemeBoundary(const QString& text, qsizetype at)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    finder.setPosition(at);
    return finder.isAtBoundary();
}

TEST(ReadableText, TextsUpToTheLimitAreShownAsTheyAre)
{
    for (const QString& text : {QString(), QStringLiteral("Rates hold"), wordsOf(QStringLiteral("rates"), 250),
                                QStringLiteral("  spaced  ")}) {
        EXPECT_EQ(ReadableText::capped(text, 250), text);
    }
    FeedItem item;
    item.title = QStringLiteral("<b>Rates</b> hold &amp; markets weigh a long road ahead");
    EXPECT_EQ(ReadableText::headline(item), item.cleanedTitle());
}

TEST(ReadableText, SmallCutsEndAtAWordOrAGraphemeWithAnEllipsis)
{
    const struct {
        QString text;
        qsizetype limit;
        QString shown;
    } cases[] = {
        {QStringLiteral("Rates hold as markets weigh"), 12, QStringLiteral("Rates hold…")},
        {QStringLiteral("Rates hold, markets weigh"), 12, QStringLiteral("Rates hold,…")},
        // No word end in the second half of the room: between graphemes.
        {QStringLiteral("At supercalifragilistic"), 12, QStringLiteral("At supercal…")},
        {QStringLiteral("supercalifragilistic"), 12, QStringLiteral("supercalifr…")},
        // An accent stays on its letter.
        {QStringLiteral("cafe\u0301cafe\u0301cafe\u0301"), 5, QStringLiteral("caf…")},
        // A pair of surrogates stays whole.
        {QStringLiteral("ab\U0001F600\U0001F600\U0001F600"), 4, QStringLiteral("ab…")},
        // One grapheme longer than the room: cut between code points.
        {QStringLiteral("a") + QStringLiteral("\u0301").repeated(20), 5, QStringLiteral("a\u0301\u0301\u0301…")},
        {QStringLiteral("a") + QStringLiteral("\U0001D167").repeated(20), 5, QStringLiteral("a\U0001D167…")},
        // An embedding left open is closed before the ellipsis; one closed stays as it is.
        {QStringLiteral("Say \u202Bhello world\u202C now"), 12, QStringLiteral("Say \u202Bhello\u202C…")},
        {QStringLiteral("\u2067one\u2069 two three four"), 13, QStringLiteral("\u2067one\u2069 two…")},
        {QStringLiteral("\u2067one \u202Atwo three four"), 13, QStringLiteral("\u2067one \u202Atwo\u202C\u2069…")},
        {QStringLiteral("Rates hold"), 1, ellipsis},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        EXPECT_EQ(ReadableText::capped(c.text, c.limit), c.shown);
    }
}

// Whatever the length and script, a headline is shown at a readable length:
// a start of the clean title on a grapheme boundary, with "…" as its last
// character, and what is cut away starts a new word where words exist.
TEST(ReadableText, HugeHeadlinesAreCutToAReadableLength)
{
    const qsizetype limit = ReadableText::headlineLength;
    const struct {
        const char* name;
        QString title;
        bool byWords;
        Qt::LayoutDirection direction;
    } cases[] = {
        {"100 KB of words", wordsOf(QStringLiteral("harbour"), 100 * 1024), true, Qt::LeftToRight},
        {"2.5 MB of words", wordsOf(QStringLiteral("council"), 2'500'000), true, Qt::LeftToRight},
        {"right to left", wordsOf(QStringLiteral("\u05E9\u05DC\u05D5\u05DD"), 100 * 1024), true, Qt::RightToLeft},
        {"Arabic with marks", wordsOf(QStringLiteral("\u0645\u064E\u0631\u0652\u062D\u064E\u0628\u064B\u0627"), 100 * 1024),
         true, Qt::RightToLeft},
        {"no spaces", QStringLiteral("x").repeated(100 * 1024), false, Qt::LeftToRight},
        {"family emoji", QStringLiteral("\U0001F468\u200D\U0001F469\u200D\U0001F467").repeated(40'000), false,
         Qt::LeftToRight},
        {"flags", QStringLiteral("\U0001F1EB\U0001F1F7").repeated(40'000), false, Qt::LeftToRight},
        {"stacked marks", QStringLiteral("e\u0301\u0302\u0303").repeated(40'000), false, Qt::LeftToRight},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FeedItem item;
        item.title = c.title;
        const QString clean = item.cleanedTitle();
        const QString shown = ReadableText::headline(item);
        ASSERT_TRUE(shown.endsWith(ellipsis));
        ASSERT_LE(shown.size(), limit);
        const QString kept = shown.chopped(1);
        EXPECT_GE(kept.size(), limit / 2) << "most of the room is used";
        ASSERT_TRUE(clean.startsWith(kept));
        EXPECT_TRUE(isGraphemeBoundary(clean, kept.size()));
        EXPECT_FALSE(kept.back().isSpace());
        if (c.byWords) {
            EXPECT_TRUE(clean.at(kept.size()).isSpace()) << "cut after a whole word";
        }
        EXPECT_EQ(ReadableText::direction(shown), c.direction);
    }
}

} // namespace
