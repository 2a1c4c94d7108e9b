#include "api/ReadableText.h"

#include "api/ItemModels.h"

#include <QTextBoundaryFinder>
#include <algorithm>

namespace {

constexpr char16_t ellipsis = 0x2026;
// Characters after the cut that the boundary rules may look at: enough to
// decide a boundary at the cut without reading the rest of a huge text.
constexpr qsizetype lookAhead = 32;

// The last boundary of `type` at or before `at` in `window`; 0 when none.
qsizetype boundaryBefore(QTextBoundaryFinder::BoundaryType type, QStringView window, qsizetype at)
{
    QTextBoundaryFinder finder(type, window.data(), window.size());
    finder.setPosition(at);
    if (finder.isAtBoundary())
        return at;
    return std::max<qsizetype>(0, finder.toPreviousBoundary());
}

// Where to cut `window` so that at most `at` units stay: after a word when
// that keeps at least half of them, else between graphemes, else between
// code points.
qsizetype cutPosition(QStringView window, qsizetype at)
{
    const qsizetype word = boundaryBefore(QTextBoundaryFinder::Word, window, at);
    if (word >= at / 2)
        return word;
    const qsizetype grapheme = boundaryBefore(QTextBoundaryFinder::Grapheme, window, at);
    if (grapheme > 0)
        return grapheme;
    return window[at].isLowSurrogate() && window[at - 1].isHighSurrogate() ? at - 1 : at;
}

// The terminators of the embeddings, overrides and isolates `text` opens and
// does not close, innermost first.
QString openDirectionScopes(QStringView text)
{
    constexpr char16_t pdf = 0x202C;
    constexpr char16_t pdi = 0x2069;
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

} // namespace

namespace ReadableText {

QString capped(const QString& text, qsizetype limit)
{
    if (text.size() <= limit)
        return text;
    if (limit <= 1)
        return QString(QChar(ellipsis));
    const qsizetype at = limit - 1;  // room for the ellipsis
    const QStringView window = QStringView(text).first(std::min(text.size(), at + lookAhead));
    QStringView kept = window.first(cutPosition(window, at));
    while (!kept.isEmpty() && kept.back().isSpace())
        kept.chop(1);
    return kept.toString() + openDirectionScopes(kept) + QChar(ellipsis);
}

QString headline(const FeedItem& item)
{
    return capped(item.cleanedTitle(), headlineLength);
}

FeedItem withReadableSource(const FeedItem& item)
{
    if (!item.source || !item.source->title || item.source->title->size() <= sourceLength)
        return item;
    FeedItem shown = item;
    shown.source->title = capped(*item.source->title, sourceLength);
    return shown;
}

Qt::LayoutDirection direction(const QString& text)
{
    return text.isRightToLeft() ? Qt::RightToLeft : Qt::LeftToRight;
}

} // namespace ReadableText
