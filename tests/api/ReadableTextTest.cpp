#include "PaintedText.h"
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

namespace meta {

using PaintedText::leftToRight;

FeedItem dated(const QString& source, std::optional<QDateTime> at)
{
    FeedItem item;
    item.stableId = QStringLiteral("a");
    item.title = QStringLiteral("t");
    FeedSource feed;
    feed.id = QStringLiteral("f");
    feed.title = source;
    item.source = feed;
    item.publishedAt = std::move(at);
    return item;
}

// A meta line reads as its pieces set apart, each as a paragraph of its own:
// the source, the separator, the time, in the order of the line's direction.
// The time never gives a part of itself to the source's direction run.
TEST(ReadableText, MetaLinePiecesKeepTheirOwnDirection)
{
    const QDateTime now(QDate(2026, 1, 15), QTime(20, 0), Qt::UTC);
    const QDateTime today(QDate(2026, 1, 15), QTime(18, 56), Qt::UTC);
    const QDateTime earlier(QDate(2026, 1, 12), QTime(18, 56), Qt::UTC);
    const struct {
        const char* name;
        QString source;
        const char* locale;
        std::optional<QDateTime> at;
    } cases[] = {
        {"Hebrew source", QStringLiteral("חדשות ישראל"), "en_US", today},
        {"Arabic source, another day", QStringLiteral("الجزيرة نت"), "en_US", earlier},
        {"Hebrew source ending in a number and a mark", QStringLiteral("ערוץ 12!"), "en_US", today},
        {"Latin source, Arabic time", QStringLiteral("Reuters"), "ar_EG", today},
        {"Latin source, Hebrew time", QStringLiteral("Reuters"), "he_IL", earlier},
        {"Arabic source, Arabic time", QStringLiteral("الجزيرة"), "ar_EG", earlier},
        {"override left open", QStringLiteral("BBC \u202Eעברית 7"), "en_US", today},
        {"isolate left open", QStringLiteral("\u2067חדשות 24"), "en_US", today},
        {"closer with no opener", QStringLiteral("חדשות\u2069 24"), "en_US", today},
        {"embedding closed twice", QStringLiteral("\u202Bאב\u202C\u202C 5"), "en_US", today},
        {"left-to-right isolate closed inside", QStringLiteral("\u2066BBC\u2069 חדשות"), "en_US", today},
        {"first-strong isolate closed inside", QStringLiteral("\u2068CNN\u2069 עברית"), "en_US", today},
        {"long Hebrew source", QStringLiteral("חדשות ישראל ").repeated(20), "en_US", today},
        {"undated Hebrew source", QStringLiteral("חדשות ישראל"), "en_US", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const MetaLineContext context{now, QTimeZone(Qt::UTC), QString::fromLatin1(c.locale)};
        const FeedItem item = dated(c.source, c.at);
        const QString line = ReadableText::metaLine(item, context);
        const FeedItem::MetaLineParts parts = ReadableText::withReadableSource(item).metaLineParts(context);
        ASSERT_EQ(parts.time.has_value(), c.at.has_value());
        const QString label = leftToRight(parts.label);
        const QString time = parts.time ? leftToRight(*parts.time) : QString();
        const QString separator = parts.time ? leftToRight(FeedItem::metaSeparator.toString()) : QString();
        EXPECT_EQ(leftToRight(line, Qt::LeftToRight), label + separator + time);
        EXPECT_EQ(leftToRight(line, Qt::RightToLeft), time + separator + label);
    }
}

// A line of left-to-right pieces is the plain text, unchanged.
TEST(ReadableText, LeftToRightMetaLinesAreThePlainText)
{
    const MetaLineContext context{QDateTime(QDate(2026, 1, 15), QTime(20, 0), Qt::UTC), QTimeZone(Qt::UTC),
                                  QStringLiteral("en_US")};
    for (const QString& source : {QStringLiteral("Reuters"), QStringLiteral("24/7 News (UK)"), QString()}) {
        const FeedItem item = dated(source, QDateTime(QDate(2026, 1, 15), QTime(18, 56), Qt::UTC));
        EXPECT_EQ(ReadableText::metaLine(item, context), item.metaLine(context));
    }
}

} // namespace meta
